// inf_catkeys.cpp -- the catalog operations on keys, indexes, privileges and
// procedures: ForeignKeys, PrimaryKeys, Statistics, SpecialColumns,
// ColumnPrivileges, TablePrivileges, Procedures and the procedure-text query of
// ProcedureColumns.
// The key and index queries read the index positions of sysindexes (part1 to
// part16 on an Online server, part1 to part8 on SE) with one SELECT per position,
// joined by UNION; those templates are unrolled once per process.
// Threading: on the caller's thread under the connection's call lock; the
// unrolled templates are built under the C++ static-initialisation guard.

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "drv/errtab.h"
#include "drv_inf/inf_catalog.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_proccols.h"

namespace {

// A template written in the notation, built at run time; '#' in a member
// stands for its position number.
class Unrolled {
 public:
  // first + members 2..n joined by join, then the closing text.
  Unrolled(std::string_view first, std::string_view member, int n, std::string_view join,
           std::string_view close) {
    std::string notation(1, ' ');
    for (int k = 1; k <= n; ++k) {
      if (k > 1) notation += join;
      notation += position(k == 1 ? first : member, k);
    }
    notation += close;
    bytes_.resize(notation.size() + 1);
    bytes_.resize(TemplateFromNotation(notation, bytes_.data()));
  }
  const char* text() const { return bytes_.c_str(); }

 private:
  static std::string position(std::string_view s, int k) {
    std::string out;
    for (char c : s) {
      if (c == '#')
        out += std::to_string(k);
      else
        out += c;
    }
    return out;
  }
  std::string bytes_;
};

int positions(const InfCursor* cur) {
  return cur->conn->session != nullptr && cur->conn->session->online != 0 ? 16 : 8;
}

bool online(const InfCursor* cur) {
  return cur->conn->session != nullptr && cur->conn->session->online != 0;
}

constexpr CatalogResultType T(int32_t size) { return {CAT_TEXT, size}; }
constexpr CatalogResultType kSmall{5, 0};
constexpr CatalogResultType kInt{4, 0};
constexpr CatalogResultType kEnd{0, 0};

int32_t finish(InfCursor* cur, int32_t rc, InfRowCallback fix, const CatalogResultType* types) {
  if (rc != 0) return rc;
  cur->rowCallback = fix;
  ApplyResultTypes(cur, types);
  return 0;
}

// ---------------------------------------------------------------------------
// ForeignKeys.

constexpr std::string_view kFkFilter =
    "{IF 1 NOTEMPTY 2} tp.owner = '{ARG 2}' and {ENDIF 1} {IF 1 NOTEMPTY 5} tf.owner = '{ARG 5}' "
    "and {ENDIF 1} {IF 1 NOTEMPTY 3} tp.tabname = '{ARG 3}' and {ENDIF 1} {IF 1 NOTEMPTY 6} "
    "tf.tabname = '{ARG 6}' and {ENDIF 1} ";
constexpr std::string_view kFkTables =
    "\"informix\".systables tp, \"informix\".systables tf, \"informix\".sysreferences r, "
    "\"informix\".sysconstraints cp, \"informix\".sysconstraints cf, \"informix\".sysindexes xp, "
    "\"informix\".sysindexes xf, \"informix\".syscolumns lp, \"informix\".syscolumns lf";
constexpr std::string_view kFkCondition =
    "tp.tabid = r.ptabid and cf.constrid = r.constrid and cp.constrid = r.primary and tf.tabid = "
    "cf.tabid and xf.tabid = cf.tabid and xf.owner = cf.owner and xf.idxname = cf.idxname and "
    "xp.tabid = cp.tabid and xp.owner = cp.owner and xp.idxname = cp.idxname and lp.tabid = "
    "cp.tabid and lp.colno = xp.part# and lf.tabid = cf.tabid and lf.colno = xf.part#";
// ODBC's order: by the foreign-key side when the primary-key table is named,
// by the primary-key side otherwise; each key's columns in sequence.
constexpr std::string_view kFkOrder =
    " {IF 1 NOTEMPTY 3} order by 6,7,12,9 {ELSE 1} order by 2,3,12,9 {ENDIF 1} ";

const char* foreignKeysTemplate(int n) {
  const auto build = [](int k) {
    const std::string first =
        "(select 'Q' as PKTABLE_CAT, tp.owner as PKTABLE_SCHEM, tp.tabname as PKTABLE_NAME, "
        "lp.colname as PKCOLUMN_NAME, 'Q' as FKTABLE_CAT, tf.owner as FKTABLE_SCHEM, tf.tabname as "
        "FKTABLE_NAME, lf.colname as FKCOLUMN_NAME, 1 as KEY_SEQ, '' as UPDATE_RULE, '' as "
        "DELETE_RULE, cf.constrname as FK_NAME, cp.constrname as PK_NAME, 7 as DEFERRABILITY "
        "from " +
        std::string(kFkTables) + " where " + std::string(kFkFilter) + std::string(kFkCondition) +
        ")";
    const std::string member =
        "(select 'Q', tp.owner, tp.tabname, lp.colname, 'Q', tf.owner, tf.tabname, lf.colname, #, "
        "'', '', cf.constrname, cp.constrname, 7 from " +
        std::string(kFkTables) + " where " + std::string(kFkFilter) + std::string(kFkCondition) +
        ")";
    return Unrolled(first, member, k, " union ", kFkOrder);
  };
  static const Unrolled sixteen = build(16);
  static const Unrolled eight = build(8);
  return n == 16 ? sixteen.text() : eight.text();
}

constexpr CatalogResultType kForeignKeysTypes[] = {
    T(128), T(32),  T(128), T(128), T(128), T(32),  T(128), T(128),
    kSmall, kSmall, kSmall, T(-1),  T(-1),  kSmall, kEnd,
};

void fixForeignKeys(InfCursor* cur) {
  CatalogNameRule(cur, 0);
  CatalogNameRule(cur, 4);
  CatSetNull(cur, 9);
  CatSetNull(cur, 10);
}

// ---------------------------------------------------------------------------
// PrimaryKeys.

constexpr std::string_view kPkRest =
    "FROM \"informix\".SYSTABLES T, \"informix\".SYSCOLUMNS C, \"informix\".SYSINDEXES I, "
    "\"informix\".SYSCONSTRAINTS O WHERE {IF 1 NOTEMPTY 2} T.OWNER = '{ARG 2}' AND {ENDIF 1} {IF 1 "
    "NOTEMPTY 3} T.TABNAME = '{ARG 3}' AND {ENDIF 1} I.TABID = T.TABID AND I.IDXNAME = O.IDXNAME "
    "AND O.TABID = T.TABID AND O.CONSTRTYPE = 'P' AND C.TABID = T.TABID AND C.COLNO = I.PART#)";

const char* primaryKeysTemplate(bool isOnline) {
  static const Unrolled onlineTemplate(
      "(SELECT 'Q' AS TABLE_CAT, T.OWNER AS TABLE_SCHEM, T.TABNAME AS TABLE_NAME, C.COLNAME AS "
      "COLUMN_NAME, 1 AS KEY_SEQ, O.CONSTRNAME AS PK_NAME " +
          std::string(kPkRest),
      "(SELECT 'Q', T.OWNER, T.TABNAME, C.COLNAME, #, O.CONSTRNAME " + std::string(kPkRest), 16,
      " UNION ", " ORDER BY 2,3,5 ");
  static const Unrolled seTemplate(
      "(SELECT '' AS TABLE_CAT, T.OWNER AS TABLE_SCHEM, T.TABNAME AS TABLE_NAME, C.COLNAME AS "
      "COLUMN_NAME, 1 AS KEY_SEQ " +
          std::string(kPkRest),
      "(SELECT '', T.OWNER, T.TABNAME, C.COLNAME, # " + std::string(kPkRest), 8, " UNION ",
      " ORDER BY 2,3,5 ");
  return isOnline ? onlineTemplate.text() : seTemplate.text();
}

constexpr CatalogResultType kPrimaryKeysTypes[] = {T(128), T(32), T(128), T(128),
                                                   kSmall, T(-1), kEnd};

void fixPrimaryKeys(InfCursor* cur) { CatalogNameRule(cur, 0); }

// ---------------------------------------------------------------------------
// Statistics.

constexpr std::string_view kStRest =
    "FROM \"informix\".SYSTABLES T, \"informix\".SYSCOLUMNS C, \"informix\".SYSINDEXES I WHERE {IF "
    "1 NOTEMPTY 2} T.OWNER = '{ARG 2}' AND {ENDIF 1} {IF 1 NOTEMPTY 3} T.TABNAME = '{ARG 3}' AND "
    "{ENDIF 1} {IF 1 NOTEMPTY 4} I.IDXTYPE = 'U' AND {ENDIF 1} C.TABID = T.TABID AND I.TABID = "
    "T.TABID AND C.COLNO = I.PART#)";

// The index type letter comes last, under a name of its own: an application that
// reads columns by name finds NON_UNIQUE once.
const char* statisticsTemplate(bool isOnline) {
  const auto build = [](const std::string& cat, int n) {
    return Unrolled(
        "(SELECT " + cat +
            " AS TABLE_CAT, T.OWNER AS TABLE_SCHEM, T.TABNAME AS TABLE_NAME, 1 AS "
            "NON_UNIQUE, I.OWNER AS INDEX_QUALIFIER, I.IDXNAME AS INDEX_NAME, 3 AS "
            "TYPE, 1 AS ORDINAL_POSITION, C.COLNAME AS COLUMN_NAME, 'A' AS ASC_OR_DESC, "
            "0 AS CARDINALITY, 0 AS PAGES, '' AS FILTER_CONDITION, I.IDXTYPE AS "
            "INF_INDEX_TYPE " +
            std::string(kStRest),
        "(SELECT " + cat +
            ", T.OWNER, T.TABNAME, 1, I.OWNER, I.IDXNAME, 3, #, C.COLNAME, 'A', 0, 0, "
            "'', I.IDXTYPE " +
            std::string(kStRest),
        n, " UNION ", " ORDER BY 14,5,6,8 ");
  };
  static const Unrolled onlineTemplate = build("'Q'", 16);
  static const Unrolled seTemplate = build("''", 8);
  return isOnline ? onlineTemplate.text() : seTemplate.text();
}

constexpr CatalogResultType kStatisticsTypes[] = {
    T(128), T(32),  T(128), kSmall, T(128), T(-1), kSmall,
    kSmall, T(128), {1, 1}, kInt,   kInt,   T(1),  kEnd,
};

void fixStatistics(InfCursor* cur) {
  CatalogNameRule(cur, 0);
  CatSetNull(cur, 12);
  if (char* name = CatText(cur, 5); name != nullptr && !CatIsNull(cur, 5)) {
    size_t k = 0;
    while (name[k] != '\0' && std::isspace(static_cast<unsigned char>(name[k]))) ++k;
    if (k > 0) std::memmove(name, name + k, std::strlen(name + k) + 1);
  }
  if (CatFirstChar(cur, 13) == 'U') CatSetInt(cur, 3, 0);
}

// ---------------------------------------------------------------------------
// SpecialColumns.

constexpr auto kNoSpecialColumns = TemplateLiteral(
    " select 0 AS SCOPE, '' AS COLUMN_NAME, 0 AS DATA_TYPE, '' AS TYPE_NAME, 0 AS COLUMN_SIZE, 0 "
    "AS BUFFER_LENGTH, 0 AS DECIMAL_DIGITS, 0 AS PSEUDO_COLUMN from \"informix\".SYSUSERS having "
    "0=1 ");

// The columns of one unique index, position by position. With SQL_NO_NULLS an
// index qualifies only when none of its parts is a nullable column: a unique
// index with a nullable part leaves rows it cannot tell apart.
const char* specialColumnsTemplate(int n) {
  const auto build = [](int parts) {
    std::string anyPart;
    for (int k = 1; k <= parts; ++k) {
      if (k > 1) anyPart += " or ";
      anyPart += "n.colno = i.part" + std::to_string(k);
    }
    const std::string rest =
        "from \"informix\".systables t, \"informix\".syscolumns c, \"informix\".sysindexes i where "
        "{IF 1 NOTEMPTY 2} t.owner = '{ARG 2}' and {ENDIF 1} t.tabname = '{ARG 3}' and {IF 1 "
        "NOTEMPTY 4} not exists (select 1 from \"informix\".syscolumns n where n.tabid = t.tabid "
        "and n.coltype < 256 and (" +
        anyPart +
        ")) and {ENDIF 1} t.tabid = c.tabid and t.tabid = i.tabid and i.idxtype = 'U' and c.colno "
        "= i.part#)";
    return Unrolled(
        "(select 3 as SCOPE, c.colname as COLUMN_NAME, 0 as DATA_TYPE, '' as TYPE_NAME, c.coltype "
        "as COLUMN_SIZE, c.collength as BUFFER_LENGTH, 0 as DECIMAL_DIGITS, 1 as PSEUDO_COLUMN, "
        "i.idxname as NAME, 1 as POSITION " +
            rest,
        "(select 3, c.colname, 0, '', c.coltype, c.collength, 0, 1, i.idxname, # " + rest, parts,
        " union ", " order by 9, 10 ");
  };
  static const Unrolled sixteen = build(16);
  static const Unrolled eight = build(8);
  return n == 16 ? sixteen.text() : eight.text();
}

constexpr CatalogResultType kSpecialColumnsTypes[] = {kSmall, T(128), kSmall, T(32), kInt,
                                                      kInt,   kSmall, kSmall, kEnd};

void fixSpecialColumns(InfCursor* cur) {
  enum { kType = 2, kTypeName = 3, kSize = 4, kBuffer = 5, kDigits = 6, kPosition = 9 };
  const int32_t type = CatInt(cur, kSize);
  const int32_t len = CatInt(cur, kBuffer) & 0xFFFF;
  CatalogTypeValues v = CatalogColumnType(cur, type, len);
  const int32_t base = type & 0xFF;
  if (base == IXR_TYPE_LVARCHAR_CATALOG) v.typeName = nullptr;
  if ((base == IXR_TYPE_DECIMAL || base == IXR_TYPE_MONEY) && cur->conn->options.jet != 0) {
    v.dataType = 8;
    v.size = 15;
    v.buffer = 8;
    v.digits = -1;
  }
  CatalogSetType(cur, v, {kType, kTypeName, kSize, kBuffer, kDigits});
  // Rows come by index name and position: the first index's columns are those
  // whose positions follow on from 1; the first row out of step ends the result.
  ++cur->specialPosition;
  if (CatInt(cur, kPosition) != cur->specialPosition) ixr_sqlca()->sqlcode = IXR_NOTFOUND;
}

// ---------------------------------------------------------------------------
// Privileges.

#define KES_FILTER_OWNER_TABLE                                                                    \
  "{IF 1 NOTEMPTY 2} {IF 2 WILD 12} T.OWNER LIKE '{ARG 2}' AND {ELSE 2} T.OWNER = '{ARG 2}' AND " \
  "{ENDIF 2} {ENDIF 1} {IF 1 NOTEMPTY 3} {IF 2 WILD 13} T.TABNAME LIKE '{ARG 3}' AND {ELSE 2} "   \
  "T.TABNAME = '{ARG 3}' AND {ENDIF 2} {ENDIF 1} "
#define KES_FILTER                                                                                \
  KES_FILTER_OWNER_TABLE                                                                          \
  "{IF 1 NOTEMPTY 4} {IF 2 WILD 14} C.COLNAME LIKE '{ARG 4}' AND {ELSE 2} C.COLNAME = '{ARG 4}' " \
  "AND {ENDIF 2} {ENDIF 1} "

#define KES_CG(P, K, L, l)                                                                    \
  "SELECT 'Q', T.OWNER, T.TABNAME, C.COLNAME, CA.GRANTOR, CA.GRANTEE, '" P "', CA.COLAUTH[" K \
  "," K                                                                                       \
  "] FROM \"informix\".SYSTABLES T, \"informix\".SYSCOLUMNS C, \"informix\".SYSCOLAUTH CA "   \
  "WHERE " KES_FILTER                                                                         \
  "T.TABID=C.TABID AND T.TABID=CA.TABID AND C.COLNO=CA.COLNO AND "                            \
  "(CA.COLAUTH[" K "," K "]='" L "' OR CA.COLAUTH[" K "," K "]='" l "')"
#define KES_TG(P, t, c, L, l)                                                                 \
  "SELECT 'Q', T.OWNER, T.TABNAME, C.COLNAME, TA.GRANTOR, TA.GRANTEE, '" P "', TA.TABAUTH[" t \
  "," t                                                                                       \
  "] FROM \"informix\".SYSTABLES T, \"informix\".SYSTABAUTH TA, \"informix\".SYSCOLUMNS C "   \
  "WHERE " KES_FILTER "T.TABID=TA.TABID AND T.TABID=C.TABID AND (TA.TABAUTH[" t "," t "]='" L \
  "' OR TA.TABAUTH[" t "," t "]='" l                                                          \
  "') AND NOT EXISTS ( SELECT 1 FROM \"informix\".SYSCOLAUTH "                                \
  "SCA WHERE T.TABID=SCA.TABID AND SCA.COLNO=C.COLNO AND (SCA.COLAUTH[" c "," c "]='" L       \
  "' OR SCA.COLAUTH[" c "," c "]='" l "'))"

constexpr auto kColumnPrivileges = TemplateLiteral(
    " SELECT 'Q' AS TABLE_CAT, T.OWNER AS TABLE_SCHEM, T.TABNAME AS TABLE_NAME, C.COLNAME AS "
    "COLUMN_NAME, CA.GRANTOR AS GRANTOR, CA.GRANTEE AS GRANTEE, 'SELECT' AS PRIVILEGE, "
    "CA.COLAUTH[1,1] AS IS_GRANTABLE FROM \"informix\".SYSTABLES T, \"informix\".SYSCOLUMNS C, "
    "\"informix\".SYSCOLAUTH CA WHERE " KES_FILTER
    "T.TABID=C.TABID AND T.TABID=CA.TABID AND C.COLNO=CA.COLNO AND (CA.COLAUTH[1,1]='S' OR "
    "CA.COLAUTH[1,1]='s') UNION " KES_TG("SELECT", "1", "1", "S", "s") " UNION " KES_CG(
        "UPDATE", "2", "U", "u") " UNION " KES_TG("UPDATE", "2", "2", "U",
                                                  "u") " UNION " KES_CG("REFERENCES", "3", "R",
                                                                        "r") " UNION "
        KES_TG("REFERENCES", "8", "3", "R", "r")
    " UNION SELECT 'Q', T.OWNER, T.TABNAME, C.COLNAME, TA.GRANTOR, TA.GRANTEE, 'INSERT', "
    "TA.TABAUTH[4,4] FROM \"informix\".SYSTABLES T, \"informix\".SYSCOLUMNS C, "
    "\"informix\".SYSTABAUTH TA WHERE " KES_FILTER
    "T.TABID=C.TABID AND T.TABID=C.TABID AND T.TABID=TA.TABID AND (TA.TABAUTH[4,4]='I' OR "
    "TA.TABAUTH[4,4]='i') ORDER BY 1, 2, 3, 4, 5, 6 ");

#define KES_TP(P, k, L, l)                                                                   \
  "SELECT 'Q', T.OWNER, T.TABNAME, A.GRANTOR, A.GRANTEE, '" P "', A.TABAUTH[" k "," k        \
  "] FROM \"informix\".SYSTABAUTH A, \"informix\".SYSTABLES T WHERE " KES_FILTER_OWNER_TABLE \
  "A.TABID = T.TABID AND (A.TABAUTH[" k "," k "]='" L "' OR A.TABAUTH[" k "," k "]='" l "')"

constexpr auto kTablePrivileges = TemplateLiteral(
    " SELECT 'Q' AS TABLE_CAT, T.OWNER AS TABLE_SCHEM, T.TABNAME AS TABLE_NAME, A.GRANTOR AS "
    "GRANTOR, A.GRANTEE AS GRANTEE, 'SELECT' AS PRIVILEGE, A.TABAUTH[1,1] AS IS_GRANTABLE FROM "
    "\"informix\".SYSTABAUTH A, \"informix\".SYSTABLES T WHERE " KES_FILTER_OWNER_TABLE
    "A.TABID = T.TABID AND (A.TABAUTH[1,1]='S' OR A.TABAUTH[1,1]='s') UNION " KES_TP(
        "UPDATE", "2", "U", "u") " UNION " KES_TP("INSERT", "4", "I", "i") " UNION "
        KES_TP("DELETE", "5", "D", "d") " UNION " KES_TP("INDEX", "6", "X", "x") " UNION "
        KES_TP("ALTER", "7", "A", "a") " UNION " KES_TP("REFERENCES", "8", "R", "r")
    " ORDER BY 2,3,6 ");

#undef KES_TP
#undef KES_TG
#undef KES_CG
#undef KES_FILTER
#undef KES_FILTER_OWNER_TABLE

// PRIVILEGE is sized for its longest word: the describe of the UNION would take
// the width of the first member's 'SELECT' and cut REFERENCES.
constexpr CatalogResultType kColumnPrivilegesTypes[] = {T(128), T(32),    T(128),  T(128), T(32),
                                                        T(32),  {12, 10}, {12, 3}, kEnd};
constexpr CatalogResultType kTablePrivilegesTypes[] = {T(128), T(32),    T(128),  T(32),
                                                       T(32),  {12, 10}, {12, 3}, kEnd};

void grantable(InfCursor* cur, int j) {
  const char letter = CatFirstChar(cur, j);
  CatSetText(cur, j, letter >= 'A' && letter <= 'Z' ? "YES" : "NO");
}

void fixColumnPrivileges(InfCursor* cur) {
  CatalogNameRule(cur, 0);
  grantable(cur, 7);
}

void fixTablePrivileges(InfCursor* cur) {
  CatalogNameRule(cur, 0);
  grantable(cur, 6);
}

// ---------------------------------------------------------------------------
// Procedures.

constexpr auto kProcedures = TemplateLiteral(
    " select 'Q' as PROCEDURE_CAT, p.owner as PROCEDURE_SCHEM, p.procname as PROCEDURE_NAME, "
    "p.numargs as NUM_INPUT_PARAMS, -1 as NUM_OUTPUT_PARAMS, -1 as NUM_RESULT_SETS, '' as REMARKS, "
    "0 as PROCEDURE_TYPE from \"informix\".sysprocedures p where {IF 1 NOTEMPTY 2} {IF 2 WILD 12} "
    "p.owner like '{ARG 2}' and {ELSE 2} p.owner = '{ARG 2}' and {ENDIF 2} {ENDIF 1} {IF 1 "
    "NOTEMPTY 3} {IF 2 WILD 13} p.procname like '{ARG 3}' and {ELSE 2} p.procname = '{ARG 3}' and "
    "{ENDIF 2} {ENDIF 1} 1 = 1 order by 2, 3 ");

constexpr CatalogResultType kProceduresTypes[] = {T(128), T(32), T(128), kSmall, kSmall,
                                                  kSmall, T(1),  kSmall, kEnd};

void fixProcedures(InfCursor* cur) {
  CatalogNameRule(cur, 0);
  CatSetNull(cur, 6);
}

constexpr auto kProcedureText = TemplateLiteral(
    " SELECT p.owner as PROCEDURE_SCHEM, p.procname as PROCEDURE_NAME, p.procid as PROCEDURE_ID, "
    "b.data as PROCEDURE_SOURCE, b.seqno as PROCEDURE_LINENO, p.numargs as NUM_PROC_ARGS FROM "
    "\"informix\".sysprocedures p, \"informix\".sysprocbody b WHERE {IF 1 NOTEMPTY 2} {IF 2 WILD "
    "12} p.owner LIKE '{ARG 2}' ESCAPE '\\' AND {ELSE 2} p.owner = '{ARG 2}' AND {ENDIF 2} {ENDIF "
    "1} {IF 1 NOTEMPTY 3} {IF 2 WILD 13} p.procname LIKE '{ARG 3}' ESCAPE '\\' AND {ELSE 2} "
    "p.procname = '{ARG 3}' AND {ENDIF 2} {ENDIF 1} p.procid = b.procid AND b.datakey = 'T' ORDER "
    "BY 1, 2, 5  ");

}  // namespace

int32_t INF_DDForeignKeys(DrvHandle hCursor, const DDForeignKeyArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->pkCatalog);
    args.schema(2, a->pkSchema, false);
    args.name(3, a->pkTable);
    args.name(4, a->fkCatalog);
    args.schema(5, a->fkSchema, false);
    args.name(6, a->fkTable);
    const int32_t rc = RunCatalogQuery(cur->handle, foreignKeysTemplate(positions(cur)),
                                       args.args(), args.count());
    return finish(cur, rc, fixForeignKeys, kForeignKeysTypes);
  });
}

int32_t INF_DDPrimaryKeys(DrvHandle hCursor, const DDObjectArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, false);
    args.name(3, a->object);
    const int32_t rc =
        RunCatalogQuery(cur->handle, primaryKeysTemplate(online(cur)), args.args(), args.count());
    return finish(cur, rc, fixPrimaryKeys, kPrimaryKeysTypes);
  });
}

int32_t INF_DDStatistics(DrvHandle hCursor, const DDStatisticsArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, false);
    args.name(3, a->table);
    args.literal(4, a->unique == 0 ? "U" : "");
    const int32_t rc =
        RunCatalogQuery(cur->handle, statisticsTemplate(online(cur)), args.args(), args.count());
    return finish(cur, rc, fixStatistics, kStatisticsTypes);
  });
}

int32_t INF_DDSpecialColumns(DrvHandle hCursor, const DDSpecialColumnArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, false);
    args.name(3, a->table);
    args.literal(4, a->nullable == 0 ? "N" : "");
    if (a->identifierType != 1) {
      const int32_t rc =
          RunCatalogQuery(cur->handle, kNoSpecialColumns.data(), args.args(), args.count());
      return finish(cur, rc, nullptr, kSpecialColumnsTypes);
    }
    const int32_t rc = RunCatalogQuery(cur->handle, specialColumnsTemplate(positions(cur)),
                                       args.args(), args.count());
    cur->specialPosition = 0;
    return finish(cur, rc, fixSpecialColumns, kSpecialColumnsTypes);
  });
}

int32_t INF_DDColumnPrivileges(DrvHandle hCursor, const DDColumnArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, true);
    args.pattern(3, a->object);
    args.pattern(4, a->column);
    const int32_t rc =
        RunCatalogQuery(cur->handle, kColumnPrivileges.data(), args.args(), args.count());
    return finish(cur, rc, fixColumnPrivileges, kColumnPrivilegesTypes);
  });
}

int32_t INF_DDTablePrivileges(DrvHandle hCursor, const DDObjectArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, true);
    args.pattern(3, a->object);
    const int32_t rc =
        RunCatalogQuery(cur->handle, kTablePrivileges.data(), args.args(), args.count());
    return finish(cur, rc, fixTablePrivileges, kTablePrivilegesTypes);
  });
}

int32_t INF_DDProcedures(DrvHandle hCursor, const DDObjectArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, true);
    args.pattern(3, a->object);
    const int32_t rc = RunCatalogQuery(cur->handle, kProcedures.data(), args.args(), args.count());
    return finish(cur, rc, fixProcedures, kProceduresTypes);
  });
}

int32_t INF_DDProcedureColumns(DrvHandle hCursor, const DDColumnArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, true);
    args.pattern(3, a->object);
    int32_t rc = RunCatalogQuery(cur->handle, kProcedureText.data(), args.args(), args.count());
    if (rc != 0) return rc;
    rc = ProcColumnsResult(cur, a->column);
    if (rc != 0) return rc;
    cur->kind = 3;
    cur->memRow = 0;
    ApplyResultTypes(cur, ProcColumnsResultTypes());
    return 0;
  });
}
