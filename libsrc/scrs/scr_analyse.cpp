// scr_analyse.cpp -- the SELECT analyser: a statement parsed into an
// analysis with the flags the cursor layer decides by, the tables, select
// items and sort keys read out of its tree, and the edits that plant
// placeholders or change the ORDER BY.
// Clauses are read from the query's own table expression, found by the
// tree's shape: a derived table or a subquery earlier in the text neither
// hides the query's GROUP BY, UNION or ORDER BY nor lends it its own.
// Owns what the analysis points to; the arrays it fills are the caller's.
// Threading: an analysis is used by one thread at a time.

#include "scrs/scr_analyse.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "scrs/scr_parse.h"

namespace {

char* dupText(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* p = static_cast<char*>(std::malloc(n));
  if (p != nullptr) std::memcpy(p, text, n);
  return p;
}

// A node's text, "" for none (a list level whose text its top keeps).
const char* textOf(const ParseNode* n) { return n != nullptr && n->text != nullptr ? n->text : ""; }

// Copies at most size - 1 bytes and a NUL.
void copyField(char* dst, size_t size, const char* src) {
  size_t n = std::strlen(src);
  if (n > size - 1) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// The direct child of node of the type, or null.
ParseNode* childOfType(const ParseNode* node, int32_t type) {
  if (node == nullptr) return nullptr;
  for (ParseNode* c = node->firstChild; c != nullptr; c = c->nextSibling)
    if (c->type == type) return c;
  return nullptr;
}

// The template of a node with its markers written as '$': "$.$" for o.t.
std::string shape(const ParseNode* n) {
  std::string s;
  if (n == nullptr || n->templ == nullptr) return s;
  for (const char* p = n->templ; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) == 0xFF && p[1] == '\x01' && p[2] != '\0') {
      s += '$';
      p += 2;
    } else {
      s += *p;
    }
  }
  return s;
}

ParseNode* querySpec(const SCR_Analysis* a) {
  if (a == nullptr || a->sa_root == nullptr || a->sa_root->type != PN_SELECT) return nullptr;
  ParseNode* spec = ParseChild(a->sa_root, 1);
  return spec != nullptr && spec->type == PN_QUERY_SPEC ? spec : nullptr;
}

ParseNode* tableExprOf(const ParseNode* spec) {
  ParseNode* te = ParseChild(spec, 3);
  return te != nullptr && te->type == PN_TABLE_EXPR ? te : nullptr;
}

// The SELECT block a UNION clause's option holds, or null.
ParseNode* unionSpec(const ParseNode* unionOpt) {
  if (unionOpt == nullptr || unionOpt->childCount == 0) return nullptr;
  ParseNode* un = unionOpt->firstChild;
  return un != nullptr && un->type == PN_UNION ? childOfType(un, PN_QUERY_SPEC) : nullptr;
}

bool isBlankText(const char* s) {
  for (; *s != '\0'; ++s)
    if (*s != ' ') return false;
  return true;
}

int32_t regenerate(SCR_Analysis* a) {
  return ParseTreeRegenerate(a->sa_root) == 1 ? 0 : ERR_MEMORY;
}

void setFlag(SCR_Analysis* a, uint16_t bit, bool on) {
  if (on)
    a->sa_flags = static_cast<uint16_t>(a->sa_flags | bit);
  else
    a->sa_flags = static_cast<uint16_t>(a->sa_flags & ~bit);
}

// The parts of a column reference by its shape: a, t.a or o.t.a.
void ColumnRefSplit(const ParseNode* ref, char* name, char* table, char* owner) {
  name[0] = table[0] = owner[0] = '\0';
  const int32_t n = ref->childCount;
  if (n == 0) {
    copyField(name, kScrNameSize, textOf(ref));
    return;
  }
  copyField(name, kScrNameSize, textOf(ParseChild(ref, n)));
  if (n >= 2) copyField(table, kScrNameSize, textOf(ParseChild(ref, n - 1)));
  if (n >= 3) copyField(owner, kScrNameSize, textOf(ParseChild(ref, 1)));
}

struct NameParts {
  std::string qualifier, owner, table, server;
};

// A database part: "d", or "d@s" written as a pair.
void qualifierParts(const ParseNode* q, NameParts* out) {
  if (q->childCount == 2 && q->type == PN_NAME_QUALIFIER) {
    out->qualifier = textOf(ParseChild(q, 1));
    out->server = textOf(ParseChild(q, 2));
  } else {
    out->qualifier = textOf(q);
  }
}

// The parts of a table name by the form the grammar read it in, so that a
// quoted name holding '.', ':' or '@' is never cut inside.
bool tableNameParts(const ParseNode* name, NameParts* out) {
  const std::string s = shape(name);
  ParseNode* c1 = ParseChild(name, 1);
  ParseNode* c2 = ParseChild(name, 2);
  ParseNode* c3 = ParseChild(name, 3);
  if (name->childCount == 0) {
    out->table = textOf(name);
  } else if (s == "$" && c1 != nullptr) {
    out->table = textOf(c1);
  } else if (s == "$.$" && c2 != nullptr) {
    out->owner = textOf(c1);
    out->table = textOf(c2);
  } else if (s == "$..$" && c2 != nullptr) {
    out->qualifier = textOf(c1);
    out->table = textOf(c2);
  } else if (s == "$.$.$" && c3 != nullptr) {
    out->qualifier = textOf(c1);
    out->owner = textOf(c2);
    out->table = textOf(c3);
  } else if (s == "$@$" && c2 != nullptr) {
    out->table = textOf(c1);
    out->server = textOf(c2);
  } else if (s == "$.$@$" && c3 != nullptr) {
    out->owner = textOf(c1);
    out->table = textOf(c2);
    out->server = textOf(c3);
  } else if (s == "$:$" && c2 != nullptr) {
    qualifierParts(c1, out);
    out->table = textOf(c2);
  } else if (s == "$:$.$" && c3 != nullptr) {
    qualifierParts(c1, out);
    out->owner = textOf(c2);
    out->table = textOf(c3);
  } else {
    return false;
  }
  return true;
}

int32_t TableRefSplit(ParseNode* ref, DynArray* tables, int32_t keepQualifier, bool* remote) {
  ParseNode* aliasNode = ParseFindBelow(ref, PN_TABLE_ALIAS);
  ParseNode* name = ParseFindBelow(ref, PN_TABLE_NAME);
  NameParts parts;
  if (name == nullptr || !tableNameParts(name, &parts)) return ERR_GENERAL;
  if (keepQualifier == 0) parts.qualifier.clear();
  if (!parts.server.empty()) *remote = true;
  TblDesc d{};
  d.qualifier = dupText(parts.qualifier.c_str());
  d.owner = dupText(parts.owner.c_str());
  d.table = dupText(parts.table.c_str());
  d.alias = dupText(textOf(aliasNode));
  d.server = dupText(parts.server.c_str());
  if (d.qualifier == nullptr || d.owner == nullptr || d.table == nullptr || d.alias == nullptr ||
      d.server == nullptr || DynArrayAppend(tables, &d) == 0) {
    SCR_TableEntryFree(&d);
    return ERR_MEMORY;
  }
  return 0;
}

// Every descendant of node of the type in pre-order, not looking inside
// subqueries; into a work array the caller frees.
DynArray* collectOutsideSubqueries(ParseNode* node, int32_t type) {
  DynArray* arr = DynArrayNew(sizeof(ParseNode*));
  if (arr == nullptr) return nullptr;
  if (node != nullptr) ParseTreeWalkStop(node->firstChild, CollectNodesStop, type, PN_SUBQUERY, arr);
  return arr;
}

ParseNode* nodeAt(const DynArray* arr, uint32_t i) { return static_cast<ParseNode**>(arr->items)[i]; }

// The ORDER BY option that orders the statement: the query's own, or that of
// the last query of its UNION chain, which the grammar gives a trailing
// ORDER BY to; without one anywhere, the last query's empty option, which
// stands at the end of the statement.
ParseNode* ownOrderByOpt(const SCR_Analysis* a) {
  ParseNode* spec = querySpec(a);
  ParseNode* found = nullptr;
  while (spec != nullptr) {
    ParseNode* te = tableExprOf(spec);
    if (te == nullptr) break;
    ParseNode* ob = childOfType(te, PN_ORDER_BY_OPT);
    if (ob == nullptr) break;
    found = ob;
    if (ob->childCount != 0) return ob;
    spec = unionSpec(childOfType(te, PN_UNION_OPT));
  }
  if (found != nullptr) return found;
  ParseNode* stmtOrder = ParseChild(a != nullptr ? a->sa_root : nullptr, 2);
  return stmtOrder != nullptr && stmtOrder->type == PN_ORDER_BY_OPT ? stmtOrder : nullptr;
}

bool hasDistinct(const SCR_Analysis* a) {
  ParseNode* top = ParseChild(querySpec(a), 1);
  ParseNode* q = top != nullptr ? ParseFindBelow(top, PN_SET_QUANTIFIER) : nullptr;
  if (q == nullptr) q = top != nullptr && top->type == PN_SET_QUANTIFIER ? top : nullptr;
  return q != nullptr && (std::strcmp(textOf(q), "DISTINCT") == 0 || std::strcmp(textOf(q), "UNIQUE") == 0);
}

}  // namespace

void SCR_AnalysisInit(SCR_Analysis* a) noexcept {
  if (a == nullptr) return;
  *a = SCR_Analysis{};
  a->sa_kind = -1;
}

void SCR_AnalysisFree(SCR_Analysis* a) noexcept {
  if (a == nullptr) return;
  std::free(a->sa_text);
  std::free(a->sa_errPos);
  std::free(a->sa_errMsg);
  std::free(a->sa_generated);
  a->sa_text = a->sa_errPos = a->sa_errMsg = a->sa_generated = nullptr;
  ParseTreeFree(&a->sa_root, ParseNodeFreeStrings);
  a->sa_flags = 0;
  a->sa_kind = -1;
}

int32_t SCR_AnalyseSQL(SCR_Analysis* a, const char* text, int32_t noFlags,
                       int32_t keepQualifier) noexcept {
  if (a == nullptr || text == nullptr) return ERR_GENERAL;
  while (*text != '\0' && std::isspace(static_cast<unsigned char>(*text))) ++text;
  SCR_AnalysisFree(a);
  a->sa_text = dupText(text);
  if (a->sa_text == nullptr) return ERR_MEMORY;
  a->sa_kind = 0;
  ParseResult r;
  ScrParse(a->sa_text, std::strlen(a->sa_text), &r);
  a->sa_errPos = r.errPos;
  a->sa_errMsg = r.errMsg;
  if (r.rc == 2) return ERR_MEMORY;  // the parser ran out of memory
  if (r.rc != 0) return ERR_SYNTAX;
  a->sa_root = r.root;
  a->sa_kind = r.root->type;
  if (int32_t rc = regenerate(a); rc != 0) return rc;
  if (noFlags != 0 || a->sa_kind != PN_SELECT) return 0;
  int32_t rc = SCR_HasOrderBy(a, nullptr);
  if (rc == 0) rc = SCR_HasGroupBy(a);
  if (rc == 0) rc = SCR_HasUnion(a);
  if (rc == 0) rc = SCR_CountTables(a, keepQualifier);
  if (rc == 0) rc = SCR_HasAggregate(a);
  if (rc == 0) rc = SCR_HasOuterJoin(a);
  if (rc == 0) setFlag(a, SA_DISTINCT, hasDistinct(a));
  return rc;
}

int32_t SCR_HasOrderBy(SCR_Analysis* a, ParseNode** out) noexcept {
  ParseNode* ob = ownOrderByOpt(a);
  if (ob == nullptr) return ERR_GENERAL;
  setFlag(a, SA_ORDERBY, ob->childCount != 0);
  if (out != nullptr) *out = ob;
  return 0;
}

int32_t SCR_HasGroupBy(SCR_Analysis* a) noexcept {
  ParseNode* gb = childOfType(tableExprOf(querySpec(a)), PN_GROUP_BY);
  if (gb == nullptr) return ERR_GENERAL;
  setFlag(a, SA_GROUPBY, gb->childCount != 0);
  return 0;
}

int32_t SCR_HasUnion(SCR_Analysis* a) noexcept {
  ParseNode* un = childOfType(tableExprOf(querySpec(a)), PN_UNION_OPT);
  if (un == nullptr) return ERR_GENERAL;
  setFlag(a, SA_UNION, un->childCount != 0);
  return 0;
}

int32_t SCR_CountTables(SCR_Analysis* a, int32_t keepQualifier) noexcept {
  if (a == nullptr) return ERR_GENERAL;
  DynArray* tables = DynArrayNew(sizeof(TblDesc));
  if (tables == nullptr) return ERR_MEMORY;
  const int32_t rc = SCR_TablesGet(a, tables, keepQualifier);
  setFlag(a, SA_JOIN, tables->count >= 2);
  bool remote = false;
  for (uint32_t i = 0; i < tables->count; ++i)
    remote = remote || static_cast<TblDesc*>(tables->items)[i].server[0] != '\0';
  setFlag(a, SA_REMOTE, remote);
  DynArrayFree(&tables, SCR_TableEntryFree);
  return rc;
}

int32_t SCR_HasAggregate(SCR_Analysis* a) noexcept {
  ParseNode* spec = querySpec(a);
  if (spec == nullptr) return ERR_GENERAL;
  ParseNode* found = nullptr;
  ParseTreeWalkChildren(spec, FindNodeOfType, PN_SET_FUNCTION, &found);
  setFlag(a, SA_AGGREGATE, found != nullptr);
  return 0;
}

int32_t SCR_HasOuterJoin(SCR_Analysis* a) noexcept {
  if (a == nullptr || a->sa_root == nullptr) return ERR_GENERAL;
  ParseNode* found = a->sa_root;
  setFlag(a, SA_OUTERJOIN, SCR_FindNext(PN_JOIN_TYPE, &found) != nullptr);
  return 0;
}

int32_t SCR_TablesGet(SCR_Analysis* a, DynArray* tables, int32_t keepQualifier) noexcept {
  if (tables == nullptr) return ERR_GENERAL;
  ParseNode* te = tableExprOf(querySpec(a));
  if (te == nullptr) return ERR_GENERAL;
  ParseNode* list = ParseChild(te, 1);
  if (list == nullptr || list->type != PN_TABLE_LIST) return 0;  // a query without FROM
  DynArray* refs = DynArrayNew(sizeof(ParseNode*));
  if (refs == nullptr) return ERR_MEMORY;
  SCR_CollectNodes(PN_TABLE_REF, list, refs);
  int32_t rc = refs->count == 0 ? ERR_GENERAL : 0;
  bool remote = false;
  for (uint32_t i = 0; rc == 0 && i < refs->count; ++i)
    rc = TableRefSplit(nodeAt(refs, i), tables, keepQualifier, &remote);
  DynArrayFree(&refs, nullptr);
  return rc;
}

void SCR_TableEntryFree(void* element) noexcept {
  auto* d = static_cast<TblDesc*>(element);
  if (d == nullptr) return;
  std::free(d->qualifier);
  std::free(d->owner);
  std::free(d->table);
  std::free(d->alias);
  std::free(d->server);
  d->qualifier = d->owner = d->table = d->alias = d->server = nullptr;
}

int32_t SCR_SelectColsGet(SCR_Analysis* a, DynArray* cols) noexcept {
  if (cols == nullptr) return ERR_GENERAL;
  ParseNode* list = ParseChild(querySpec(a), 2);
  if (list == nullptr || list->type != PN_SELECT_LIST) return ERR_GENERAL;
  if (list->childCount == 0 && std::strcmp(textOf(list), "*") == 0) {
    ColDesc d{};
    d.itemKind = COLDESC_ALL;
    return DynArrayAppend(cols, &d) != 0 ? 0 : ERR_MEMORY;
  }
  // The items of a subquery inside an item are no items of this list.
  DynArray* items = collectOutsideSubqueries(list, PN_SELECT_ITEM);
  if (items == nullptr) return ERR_MEMORY;
  int32_t rc = items->count == 0 ? ERR_GENERAL : 0;
  for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
    ParseNode* item = nodeAt(items, i);
    ColDesc d{};
    if (shape(item) == "$.*") {
      d.itemKind = COLDESC_TABLE_ALL;
      copyField(d.table, kScrNameSize, textOf(item->firstChild));
    } else {
      d.itemKind = COLDESC_EXPRESSION;
      copyField(d.name, kScrNameSize, textOf(item));
      // A plain column is the one chain of single "$1" nodes from the item's
      // expression down to a column reference; a sign, parentheses, an
      // operator, a CASE, a function or a literal make an expression.
      static constexpr int32_t kChain[] = {PN_ADD_EXPR, PN_MUL_EXPR, PN_SIGNED, PN_PRIMARY};
      ParseNode* n = item->firstChild;
      bool column = true;
      for (int32_t type : kChain) {
        if (n == nullptr || n->type != type || n->childCount != 1 || shape(n) != "$") {
          column = false;
          break;
        }
        n = n->firstChild;
      }
      if (column && n != nullptr && n->type == PN_COLUMN_REF) {
        d.itemKind = COLDESC_COLUMN;
        ColumnRefSplit(n, d.name, d.table, d.owner);
      }
    }
    if (DynArrayAppend(cols, &d) == 0) rc = ERR_MEMORY;
  }
  DynArrayFree(&items, nullptr);
  return rc;
}

int32_t SCR_OrderByColsGet(SCR_Analysis* a, DynArray* out) noexcept {
  if (out == nullptr) return ERR_GENERAL;
  ParseNode* ob = ownOrderByOpt(a);
  if (ob == nullptr) return ERR_GENERAL;
  DynArray* items = DynArrayNew(sizeof(ParseNode*));
  if (items == nullptr) return ERR_MEMORY;
  SCR_CollectNodes(PN_SORT_ITEM, ob, items);
  int32_t rc = items->count == 0 ? ERR_GENERAL : 0;
  for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
    ParseNode* item = nodeAt(items, i);
    ParseNode* key = ParseChild(item, 1);
    ParseNode* ordering = ParseChild(item, 2);
    if (key == nullptr || ordering == nullptr || ordering->type != PN_ORDERING) {
      rc = ERR_GENERAL;
      break;
    }
    OrderByItem o{};
    o.descending = std::strstr(textOf(ordering), "DESC") != nullptr ? 1 : 0;
    if (key->type == PN_UINT) {
      setFlag(a, SA_ORDERBY_ORDINAL, true);
      o.ordinal = static_cast<uint8_t>(std::atoi(textOf(key)));
    } else if (key->type == PN_COLUMN_REF) {
      copyField(o.text, sizeof o.text, textOf(key));
      ColumnRefSplit(key, o.name, o.table, o.owner);
    } else {
      rc = ERR_GENERAL;
      break;
    }
    if (DynArrayAppend(out, &o) == 0) rc = ERR_MEMORY;
  }
  DynArrayFree(&items, nullptr);
  return rc;
}

int32_t SCR_OrderByOrdinalsToNames(SCR_Analysis* a, DynArray* items) noexcept {
  if (items == nullptr) return ERR_GENERAL;
  if (items->count == 0) return 0;
  ParseNode* ob = ownOrderByOpt(a);
  if (ob == nullptr || ob->childCount == 0) return ERR_GENERAL;
  DynArray* keys = DynArrayNew(sizeof(ParseNode*));
  if (keys == nullptr) return ERR_MEMORY;
  SCR_CollectNodes(PN_UINT, ob, keys);
  int32_t rc = 0;
  for (uint32_t i = 0; rc == 0 && i < keys->count; ++i) {
    ParseNode* key = nodeAt(keys, i);
    const char* t = textOf(key);
    if (!std::isdigit(static_cast<unsigned char>(t[0]))) {
      rc = ERR_GENERAL;
      break;
    }
    const int n = std::atoi(t);
    const OrderByItem* match = nullptr;
    for (uint32_t j = 0; j < items->count && match == nullptr; ++j) {
      const auto* it = static_cast<const OrderByItem*>(items->items) + j;
      if (it->ordinal == n) match = it;
    }
    if (match == nullptr || match->text[0] == '\0') {
      rc = ERR_GENERAL;
      break;
    }
    char* copy = dupText(match->text);
    if (copy == nullptr) {
      rc = ERR_MEMORY;
      break;
    }
    std::free(key->text);
    key->text = copy;
  }
  DynArrayFree(&keys, nullptr);
  return rc != 0 ? rc : regenerate(a);
}

int32_t SCR_OrderByReverse(SCR_Analysis* a) noexcept {
  ParseNode* ob = ownOrderByOpt(a);
  if (ob == nullptr) return ERR_GENERAL;
  DynArray* items = DynArrayNew(sizeof(ParseNode*));
  if (items == nullptr) return ERR_MEMORY;
  SCR_CollectNodes(PN_SORT_ITEM, ob, items);
  int32_t rc = items->count == 0 ? ERR_GENERAL : 0;
  for (uint32_t i = 0; i < items->count; ++i) {
    ParseNode* ordering = ParseChild(nodeAt(items, i), 2);
    if (ordering == nullptr || ordering->type != PN_ORDERING) {
      DynArrayFree(&items, nullptr);
      return ERR_GENERAL;
    }
    char* flipped = dupText(std::strstr(textOf(ordering), "DESC") != nullptr ? "" : "DESC");
    if (flipped == nullptr) {
      rc = ERR_MEMORY;
      break;
    }
    std::free(ordering->text);
    ordering->text = flipped;
  }
  DynArrayFree(&items, nullptr);
  const int32_t regen = regenerate(a);
  return rc != 0 ? rc : regen;
}

int32_t SCR_SelListPlaceholder(SCR_Analysis* a) noexcept {
  ParseNode* list = ParseChild(querySpec(a), 2);
  if (list == nullptr || list->type != PN_SELECT_LIST) return ERR_GENERAL;
  char* ph = dupText(kScrPlaceholder);
  if (ph == nullptr) return ERR_MEMORY;
  std::free(list->text);
  std::free(list->templ);
  list->text = ph;
  list->templ = nullptr;
  list->childCount = 0;
  ParseTreeFree(&list->firstChild, ParseNodeFreeStrings);
  return regenerate(a);
}

int32_t SCR_SelListAppendPlaceholder(SCR_Analysis* a) noexcept {
  ParseNode* list = ParseChild(querySpec(a), 2);
  if (list == nullptr || list->type != PN_SELECT_LIST) return ERR_GENERAL;
  char** field = list->childCount == 0 ? &list->text : &list->templ;
  if (*field == nullptr) return ERR_GENERAL;
  std::string t;
  try {
    t = std::string(*field) + kScrPlaceholder;
  } catch (...) {
    return ERR_MEMORY;
  }
  char* copy = dupText(t.c_str());
  if (copy == nullptr) return ERR_MEMORY;
  std::free(*field);
  *field = copy;
  return regenerate(a);
}

int32_t SCR_WherePlaceholder(SCR_Analysis* a) noexcept {
  ParseNode* opt = childOfType(tableExprOf(querySpec(a)), PN_WHERE_OPT);
  if (opt == nullptr) return ERR_GENERAL;
  if (opt->childCount != 0) {
    setFlag(a, SA_WHERE, true);
    ParseNode* where = childOfType(opt, PN_WHERE);
    if (where == nullptr) return ERR_GENERAL;
    // An empty condition (a WHERE with nothing after it) is left out rather
    // than written as "AND ()".
    const bool empty = where->firstChild == nullptr || isBlankText(textOf(where->firstChild));
    static constexpr char kWith[] = "WHERE \x01\x01\x01 AND (\xFF\x01\x01)";
    static constexpr char kAlone[] = "WHERE \x01\x01\x01";
    char* t = dupText(empty ? kAlone : kWith);
    if (t == nullptr) return ERR_MEMORY;
    std::free(where->templ);
    where->templ = t;
  } else {
    setFlag(a, SA_WHERE, false);
    char* ph = dupText(kScrPlaceholder);
    if (ph == nullptr) return ERR_MEMORY;
    std::free(opt->text);
    opt->text = ph;
  }
  return regenerate(a);
}

int32_t SCR_OrderByPlaceholder(SCR_Analysis* a) noexcept {
  ParseNode* ob = nullptr;
  if (int32_t rc = SCR_HasOrderBy(a, &ob); rc != 0) return rc;
  if ((a->sa_flags & SA_ORDERBY) != 0) {
    ParseNode* clause = childOfType(ob, PN_ORDER_BY);
    if (clause == nullptr || clause->templ == nullptr) return ERR_GENERAL;
    std::string t;
    try {
      t = std::string(clause->templ) + kScrPlaceholder;
    } catch (...) {
      return ERR_MEMORY;
    }
    char* copy = dupText(t.c_str());
    if (copy == nullptr) return ERR_MEMORY;
    std::free(clause->templ);
    clause->templ = copy;
  } else {
    char* ph = dupText(kScrPlaceholder);
    if (ph == nullptr) return ERR_MEMORY;
    std::free(ob->text);
    ob->text = ph;
  }
  return regenerate(a);
}
