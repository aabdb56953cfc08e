// catalog.cpp -- the catalog workers and SQLGetTypeInfo: argument checks, the
// copies of the names the back end receives, and the pending result.
// A catalog call replaces whatever the statement held: its open cursor, its
// descriptions and its preparation (the back end's cursor now holds the
// catalog query).
// Threading: under the connection's call lock.

#include "odbc/catalog.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/drvops.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"
#include "util/str.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

// Closes what the statement had open and drops its descriptions; false with
// errCode set when the statement cannot take a new result.
bool begin(Stmt* stmt) {
  StmtClose(stmt);
  if (stmt->state != STMT_STATE_ALLOCATED) {
    stmt->errCode = ERR_SEQUENCE;
    return false;
  }
  StmtFreeResultInfo(stmt);
  stmt->st_flags &= static_cast<uint16_t>(~STMT_F_PREPARED);
  return true;
}

SQLRETURN finish(Stmt* stmt, int32_t code) {
  if (code != 0) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, code);
  }
  stmt->state = STMT_STATE_PREPARED;
  stmt->st_flags |= STMT_F_RESULT;
  stmt->st_rowNumber = 0;
  return SQL_SUCCESS;
}

// What an absent name becomes.
enum Absent { kEmpty, kAll };

// The copies of a call's names, freed with the call.
class Names {
 public:
  Names() = default;
  Names(const Names&) = delete;
  Names& operator=(const Names&) = delete;
  ~Names() {
    for (char* t : text_) std::free(t);
  }
  // Copies the name in slots (text, length): a length of SQL_NTS reads to the
  // terminator, any other a byte count; one pair of enclosing quotes goes. A NUL
  // inside the length followed by more of the name is refused, whatever checkLength
  // says: the name looked up would not be the one given.
  int32_t add(const CallSlot* args, Absent absent, bool required, bool checkLength) {
    const char* text = SlotAs<const char*>(args[0]);
    int64_t length = SlotI16(args[1]);
    if (length < 0 && length != SQL_NTS) {
      if (checkLength) return ERR_BUFFER_LENGTH;
      length = SQL_NTS;
    }
    if (!str_settle_length(text, &length)) return ERR_BUFFER_LENGTH;
    if (text == nullptr && required) return ERR_ARGUMENT;
    char* copy = nullptr;
    if (text == nullptr && absent == kAll)
      (void)strdup_len(&copy, "%", SQL_NTS);
    else
      (void)strdup_unquoted(&copy, text, length);
    if (copy == nullptr) return ERR_MEMORY;
    text_[count_++] = copy;
    return 0;
  }
  const char* operator[](int i) const { return text_[i]; }

 private:
  char* text_[6] = {};
  int count_ = 0;
};

struct NameRule {
  Absent absent;
  bool required;
};

// Copies n names from the slots, two slots each from `first`.
int32_t copyNames(const CallSlot* args, int first, const NameRule* rules, int n, Names* out,
                  bool checkLength = true) {
  for (int i = 0; i < n; ++i)
    if (int32_t rc =
            out->add(args + first + 2 * i, rules[i].absent, rules[i].required, checkLength);
        rc != 0)
      return rc;
  return 0;
}

const DriverOps* ops(Stmt* stmt) { return stmt->st_drv->ops; }

bool tracing() { return TraceLevel.load() != 0; }

}  // namespace

char* QuoteTableTypes(const char* types) {
  if (types == nullptr) return nullptr;
  std::string out;
  try {
    if (types[0] == '\0' || types[0] == '%') {
      out = types[0] == '%' ? "%" : "";
    } else {
      out = "'";
      const char* p = types;
      for (;;) {
        while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
        std::string item;
        for (; *p != '\0' && *p != ','; ++p)
          if (*p != '\'') item += *p;
        while (!item.empty() &&
               (item.back() == ' ' || (item.back() >= '\t' && item.back() <= '\r')))
          item.pop_back();
        out += item;
        if (*p != ',') break;
        out += "','";
        ++p;
      }
      out += '\'';
    }
  } catch (...) {
    return nullptr;
  }
  char* copy = nullptr;
  (void)strdup_len(&copy, out.c_str(), static_cast<int64_t>(out.size()));
  return copy;
}

SQLRETURN ColumnPrivilegesImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {
      {kEmpty, false}, {kEmpty, false}, {kEmpty, true}, {kAll, false}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 4, &n); rc != 0) return fail(stmt, rc);
  if (tracing())
    TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n", n[0], n[1], n[2], n[3]);
  const DDColumnArgs a{n[0], n[1], n[2], n[3]};
  return finish(stmt, ops(stmt)->DRV_DDColumnPrivileges(stmt->st_hCursor, &a));
}

SQLRETURN ColumnsImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {
      {kEmpty, false}, {kAll, false}, {kAll, false}, {kAll, false}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 4, &n); rc != 0) return fail(stmt, rc);
  if (tracing())
    TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n", n[0], n[1], n[2], n[3]);
  const DDColumnArgs a{n[0], n[1], n[2], n[3]};
  return finish(stmt, ops(stmt)->DRV_DDColumns(stmt->st_hCursor, &a));
}

SQLRETURN ForeignKeysImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kEmpty, false}, {kEmpty, false},
                                        {kEmpty, false}, {kEmpty, false}, {kEmpty, false}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 6, &n); rc != 0) return fail(stmt, rc);
  const DDForeignKeyArgs a{n[0], n[1], n[2], n[3], n[4], n[5]};
  return finish(stmt, ops(stmt)->DRV_DDForeignKeys(stmt->st_hCursor, &a));
}

SQLRETURN PrimaryKeysImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kEmpty, false}, {kEmpty, true}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 3, &n); rc != 0) return fail(stmt, rc);
  if (tracing()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s'\n", n[0], n[1], n[2]);
  const DDObjectArgs a{n[0], n[1], n[2]};
  return finish(stmt, ops(stmt)->DRV_DDPrimaryKeys(stmt->st_hCursor, &a));
}

SQLRETURN ProcedureColumnsImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {
      {kEmpty, false}, {kAll, false}, {kAll, false}, {kAll, false}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 4, &n); rc != 0) return fail(stmt, rc);
  const DDColumnArgs a{n[0], n[1], n[2], n[3]};
  return finish(stmt, ops(stmt)->DRV_DDProcedureColumns(stmt->st_hCursor, &a));
}

SQLRETURN ProceduresImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kAll, false}, {kAll, false}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 3, &n); rc != 0) return fail(stmt, rc);
  const DDObjectArgs a{n[0], n[1], n[2]};
  return finish(stmt, ops(stmt)->DRV_DDProcedures(stmt->st_hCursor, &a));
}

SQLRETURN SpecialColumnsImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kEmpty, false}, {kEmpty, true}};
  Names n;
  if (int32_t rc = copyNames(args, 1, kRules, 3, &n); rc != 0) return fail(stmt, rc);
  if (tracing()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s'\n", n[0], n[1], n[2]);
  const DDSpecialColumnArgs a{
      n[0], n[1], n[2], SlotU16(args[0]), SlotU16(args[7]), SlotU16(args[8])};
  return finish(stmt, ops(stmt)->DRV_DDSpecialColumns(stmt->st_hCursor, &a));
}

SQLRETURN StatisticsImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kEmpty, false}, {kEmpty, true}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 3, &n); rc != 0) return fail(stmt, rc);
  const uint16_t unique = SlotU16(args[6]);
  const uint16_t accuracy = SlotU16(args[7]);
  if (tracing())
    TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Unique=%u Accuracy=%u\n", n[0], n[1], n[2],
              unique, accuracy);
  const DDStatisticsArgs a{n[0], n[1], n[2], unique, accuracy};
  return finish(stmt, ops(stmt)->DRV_DDStatistics(stmt->st_hCursor, &a));
}

SQLRETURN TablePrivilegesImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kAll, false}, {kAll, false}};
  Names n;
  if (int32_t rc = copyNames(args, 0, kRules, 3, &n); rc != 0) return fail(stmt, rc);
  if (tracing()) TraceODBC("Qualifier='%s' Owner='%s' Name='%s'\n", n[0], n[1], n[2]);
  const DDObjectArgs a{n[0], n[1], n[2]};
  return finish(stmt, ops(stmt)->DRV_DDTablePrivileges(stmt->st_hCursor, &a));
}

SQLRETURN TablesImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  static constexpr NameRule kRules[] = {{kEmpty, false}, {kAll, false}, {kAll, false}};
  Names n;
  // A bad length reads as a NUL-terminated name here.
  if (int32_t rc = copyNames(args, 0, kRules, 3, &n, false); rc != 0) return fail(stmt, rc);
  const char* types = SlotAs<const char*>(args[6]);
  int64_t typesLength = SlotI16(args[7]);
  if (typesLength < 0) typesLength = SQL_NTS;
  if (!str_settle_length(types, &typesLength)) return fail(stmt, ERR_BUFFER_LENGTH);
  char* raw = nullptr;
  (void)strdup_len(&raw, types, typesLength);
  if (raw == nullptr) return fail(stmt, ERR_MEMORY);
  if (tracing())
    TraceODBC("Qualifier='%s' Owner='%s' Name='%s' Type='%s'\n", n[0], n[1], n[2], raw);
  char* quoted = QuoteTableTypes(raw);
  std::free(raw);
  if (quoted == nullptr) return fail(stmt, ERR_MEMORY);
  const uint16_t flags = stmt->st_dbc->flags;
  if ((flags & CONN_F_INCLUDE_VIEWS) != 0 && list_index(quoted, "'TABLE'") != 0 &&
      list_index(quoted, "'VIEW'") == 0) {
    if (char* more = static_cast<char*>(std::realloc(quoted, std::strlen(quoted) + 8));
        more != nullptr) {
      quoted = more;
      std::strcat(quoted, ",'VIEW'");
    }
  }
  if ((flags & CONN_F_INCLUDE_ALL) != 0) quoted[0] = '\0';
  const DDTablesArgs a{n[0], n[1], n[2], quoted};
  const int32_t rc = ops(stmt)->DRV_DDTables(stmt->st_hCursor, &a);
  std::free(quoted);
  return finish(stmt, rc);
}

SQLRETURN GetTypeInfoImpl(Stmt* stmt, const CallSlot* args) {
  if (!begin(stmt)) return SQL_ERROR;
  return finish(stmt, ops(stmt)->DRV_DDTypeInfo(stmt->st_hCursor, SlotI16(args[0])));
}
