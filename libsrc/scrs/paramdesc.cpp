// paramdesc.cpp -- the parameter describer: finds, for each parameter marker
// of a statement, the column or expression it is compared with, assigned to
// or inserted into, and writes probe queries whose result columns have those
// types, one per SELECT block or statement.
// Clauses are found by the tree's shape, so that a subquery in a select list
// never lends the query its WHERE clause.
// Owns everything the record points to but pd_default.
// Threading: a record is used by one thread; parses need no lock.
// Not here: preparing and describing the probes (the agent does).

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <string>
#include <vector>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_parse.h"

static_assert(offsetof(ParamDescriber, pd_text) == offsetof(SCR_Analysis, sa_text));
static_assert(offsetof(ParamDescriber, pd_errPos) == offsetof(SCR_Analysis, sa_errPos));
static_assert(offsetof(ParamDescriber, pd_errMsg) == offsetof(SCR_Analysis, sa_errMsg));
static_assert(offsetof(ParamDescriber, pd_root) == offsetof(SCR_Analysis, sa_root));
static_assert(offsetof(ParamDescriber, pd_kind) == offsetof(SCR_Analysis, sa_kind));
static_assert(offsetof(ParamDescriber, pd_flags) == offsetof(SCR_Analysis, sa_flags));

namespace {

const char* textOf(const ParseNode* n) { return n != nullptr && n->text != nullptr ? n->text : ""; }

ParseNode* childOfType(const ParseNode* node, int32_t type) {
  if (node == nullptr) return nullptr;
  for (ParseNode* c = node->firstChild; c != nullptr; c = c->nextSibling)
    if (c->type == type) return c;
  return nullptr;
}

bool below(const ParseNode* node, int32_t type) { return ParseFindBelow(const_cast<ParseNode*>(node), type) != nullptr; }

bool HasParamMarker(const ParseNode* node) {
  return node != nullptr && (node->type == PN_PARAM || below(node, PN_PARAM));
}

// Every descendant of node of the type in pre-order, not entering stopType.
std::vector<ParseNode*> collect(ParseNode* node, int32_t type, int32_t stopType) {
  std::vector<ParseNode*> out;
  if (node == nullptr) return out;
  DynArray* arr = DynArrayNew(sizeof(ParseNode*));
  if (arr == nullptr) throw std::bad_alloc();
  ParseTreeWalkStop(node->firstChild, CollectNodesStop, type, stopType, arr);
  try {
    out.assign(static_cast<ParseNode**>(arr->items), static_cast<ParseNode**>(arr->items) + arr->count);
  } catch (...) {
    DynArrayFree(&arr, nullptr);
    throw;
  }
  DynArrayFree(&arr, nullptr);
  return out;
}

constexpr int32_t kNoStop = -1;

// The work of one probe: the tables it reads and its columns, where a null
// column stands for a parameter without one (the default item is written).
struct Work {
  std::vector<std::string> tables;
  std::vector<ParseNode*> columns;
};

class Describer {
 public:
  explicit Describer(ParamDescriber* pd) : pd_(pd) {}

  int32_t statement();

 private:
  int32_t ParamDescPredicate(ParseNode* pred, Work& w);
  int32_t clause(ParseNode* clauseNode, Work& w);
  int32_t ParamDescWhere(ParseNode* container, Work& w);
  int32_t ParamDescHaving(ParseNode* te, Work& w);
  int32_t ParamDescTables(ParseNode* te, Work& w);
  int32_t ParamDescProbe(const Work& w);
  int32_t ParamDescProbeTable(const std::string& table);
  int32_t store(const std::string& text, int32_t counted);
  int32_t ParamDescSelect(ParseNode* firstSpec);
  int32_t ParamDescQuerySpec(ParseNode* spec);
  int32_t update(ParseNode* root);
  int32_t updateCurrent(ParseNode* root);
  int32_t ParamDescSetList(ParseNode* list, Work& w);
  int32_t remove(ParseNode* root);
  int32_t insert(ParseNode* root);

  ParamDescriber* pd_;
};

// The operand whose type the parameters of a predicate take, appended once
// for every operand that holds a parameter.
int32_t Describer::ParamDescPredicate(ParseNode* pred, Work& w) {
  ParseNode* p = pred->firstChild;
  if (p == nullptr) return ERR_GENERAL;
  auto addFor = [&w](ParseNode* target, std::initializer_list<ParseNode*> operands) {
    if (target == nullptr) return;
    for (ParseNode* op : operands)
      if (HasParamMarker(op)) w.columns.push_back(target);
  };
  switch (p->type) {
    case PN_COMPARISON: {
      ParseNode* a = ParseChild(p, 1);
      ParseNode* b = ParseChild(p, 3);
      if (a == nullptr || b == nullptr) return ERR_GENERAL;
      const bool hb = b->type != PN_SUBQUERY && HasParamMarker(b);
      if (!HasParamMarker(a)) {
        if (hb) w.columns.push_back(a);
      } else if (!hb) {
        w.columns.push_back(b);
      }
      return 0;
    }
    case PN_BETWEEN: {
      ParseNode* ops[3] = {ParseChild(p, 1), ParseChild(p, 2), ParseChild(p, 3)};
      if (ops[2] == nullptr) return ERR_GENERAL;
      ParseNode* target = nullptr;
      for (ParseNode* op : ops)
        if (target == nullptr && !HasParamMarker(op)) target = op;
      addFor(target, {ops[0], ops[1], ops[2]});
      return 0;
    }
    case PN_LIKE: {
      ParseNode* a = ParseChild(p, 1);
      ParseNode* pattern = ParseChild(p, 2);
      if (pattern == nullptr) return ERR_GENERAL;
      ParseNode* target = !HasParamMarker(a) ? a : !HasParamMarker(pattern) ? pattern : nullptr;
      addFor(target, {a, pattern});
      return 0;
    }
    case PN_QUANTIFIED_CMP: {
      ParseNode* a = ParseChild(p, 1);
      ParseNode* sub = ParseChild(p, 4);
      if (sub == nullptr) return ERR_GENERAL;
      ParseNode* target = !HasParamMarker(a) ? a : !HasParamMarker(sub) ? sub : nullptr;
      addFor(target, {a, sub});
      return 0;
    }
    case PN_IS_NULL:
      if (HasParamMarker(p->firstChild)) w.columns.push_back(nullptr);
      return 0;
    case PN_IN: {
      ParseNode* a = ParseChild(p, 1);
      ParseNode* right = ParseChild(p, 2);
      if (right == nullptr) return ERR_GENERAL;
      const bool ha = HasParamMarker(a);
      if (right->type == PN_SUBQUERY) {
        if (ha)
          w.columns.push_back(right);
        return 0;  // parameters inside the subquery take no column here
      }
      std::vector<ParseNode*> items = collect(right, PN_INSERT_VALUE, kNoStop);
      if (right->type == PN_INSERT_VALUE) items.insert(items.begin(), right);
      if (items.empty()) return ERR_GENERAL;
      if (ha) {
        if (HasParamMarker(items[0])) return ERR_GENERAL;
        w.columns.push_back(items[0]);
        return 0;
      }
      for (ParseNode* item : items)
        if (HasParamMarker(item)) w.columns.push_back(a);
      return 0;
    }
    default: return 0;
  }
}

// The predicates of a WHERE or HAVING clause, not those of its subqueries.
int32_t Describer::clause(ParseNode* clauseNode, Work& w) {
  ParseNode* cond = clauseNode->firstChild;
  if (cond == nullptr || cond->type != PN_SEARCH_COND) return ERR_GENERAL;
  std::vector<ParseNode*> preds = collect(cond, PN_PREDICATE, PN_SUBQUERY);
  for (ParseNode* pred : preds)
    if (int32_t rc = ParamDescPredicate(pred, w); rc != 0) return rc;
  return 0;
}

int32_t Describer::ParamDescWhere(ParseNode* container, Work& w) {
  ParseNode* opt = childOfType(container, PN_WHERE_OPT);
  ParseNode* clauseNode = childOfType(opt, PN_WHERE);
  return clauseNode == nullptr ? 0 : clause(clauseNode, w);
}

int32_t Describer::ParamDescHaving(ParseNode* te, Work& w) {
  ParseNode* h = childOfType(te, PN_HAVING);
  if (h == nullptr || h->childCount == 0) return 0;
  return clause(h, w);
}

int32_t Describer::ParamDescTables(ParseNode* te, Work& w) {
  ParseNode* list = childOfType(te, PN_TABLE_LIST);
  if (list == nullptr) return 0;
  std::vector<ParseNode*> refs = collect(list, PN_TABLE_REF, kNoStop);
  if (refs.empty()) return ERR_GENERAL;
  for (ParseNode* r : refs) w.tables.emplace_back(textOf(r));
  return 0;
}

int32_t Describer::store(const std::string& text, int32_t counted) {
  char* copy = strdup(text.c_str());
  if (copy == nullptr) return ERR_MEMORY;
  auto** grown = static_cast<char**>(
      std::realloc(pd_->pd_probes, (static_cast<size_t>(pd_->pd_count) + 1) * sizeof(char*)));
  if (grown == nullptr) {
    std::free(copy);
    return ERR_MEMORY;
  }
  pd_->pd_probes = grown;
  pd_->pd_probes[pd_->pd_count++] = copy;
  pd_->pd_total += counted;
  return 0;
}

// One probe over the work's tables with a column per entry.
int32_t Describer::ParamDescProbe(const Work& w) {
  // A statement without tables gives nothing to describe its parameters by.
  if (w.columns.empty() || w.tables.empty()) return 0;
  const bool qualify = pd_->pd_kind == PN_UPDATE || pd_->pd_kind == PN_UPDATE_CURRENT;
  std::string s = "SELECT ";
  int32_t counted = 0;
  bool first = true;
  for (ParseNode* c : w.columns) {
    std::string item;
    if (c == nullptr) {
      item = pd_->pd_default != nullptr ? pd_->pd_default : "";
    } else if (c->type == PN_SUBQUERY) {
      continue;  // nothing to write, and no separator for it either
    } else {
      // An unqualified column of an UPDATE names the target table's column.
      std::string qualifier;
      if (qualify && (c->type == PN_IDENT || below(c, PN_IDENT)) && c->type != PN_NAME_PART &&
          !below(c, PN_NAME_PART))
        qualifier = w.tables.front() + ".";
      ParseNode* fn = c->type == PN_SET_FUNCTION ? c : ParseFindBelow(c, PN_SET_FUNCTION);
      if (fn != nullptr && w.columns.size() > 1) {
        // Beside other columns an aggregate would need a GROUP BY: its
        // argument stands in for a sum or an extreme, a constant for a count.
        const std::string name = fn->childCount != 0 ? textOf(fn->firstChild) : "COUNT";
        auto is = [&name](const char* n) { return strcasecmp(name.c_str(), n) == 0; };
        if (is("SUM") || is("AVG") || is("MAX") || is("MIN"))
          item = "(" + qualifier + textOf(ParseChild(fn, 2)) + ")";
        else if (is("COUNT"))
          item = "1";
        else
          item = qualifier + textOf(c);
      } else {
        item = qualifier + textOf(c);
      }
    }
    if (!first) s += ", ";
    first = false;
    s += item;
    ++counted;
  }
  if (counted == 0) return 0;  // subqueries only: no column to describe anything by
  s += " FROM ";
  for (size_t i = 0; i < w.tables.size(); ++i) {
    if (i > 0) s += ", ";
    s += w.tables[i];
  }
  s += " WHERE 1=0 ";
  return store(s, counted);
}

int32_t Describer::ParamDescProbeTable(const std::string& table) {
  const int32_t n = pd_->pd_markers != nullptr ? static_cast<int32_t>(std::strlen(pd_->pd_markers)) : 0;
  return store("SELECT * FROM " + table + " WHERE 1=0 ", n);
}

int32_t Describer::ParamDescQuerySpec(ParseNode* spec) {
  ParseNode* te = ParseChild(spec, 3);
  if (te == nullptr || te->type != PN_TABLE_EXPR) return 0;
  Work w;
  if (int32_t rc = ParamDescTables(te, w); rc != 0) return rc;
  (void)ParamDescWhere(te, w);  // a failure ends only that clause
  (void)ParamDescHaving(te, w);
  return ParamDescProbe(w);
}

// Every SELECT block of a UNION chain, one probe each.
int32_t Describer::ParamDescSelect(ParseNode* spec) {
  if (spec == nullptr || spec->type != PN_QUERY_SPEC) return ERR_GENERAL;
  while (spec != nullptr) {
    if (int32_t rc = ParamDescQuerySpec(spec); rc != 0) return rc;
    ParseNode* un = childOfType(childOfType(ParseChild(spec, 3), PN_UNION_OPT), PN_UNION);
    spec = childOfType(un, PN_QUERY_SPEC);
  }
  return 0;
}

int32_t Describer::ParamDescSetList(ParseNode* list, Work& w) {
  std::vector<ParseNode*> assigns = collect(list, PN_ASSIGN, kNoStop);
  if (list->type == PN_ASSIGN) assigns.insert(assigns.begin(), list);
  for (ParseNode* as : assigns) {
    if (as->childCount < 2) continue;  // "= NULL"
    if (HasParamMarker(ParseChild(as, 2))) w.columns.push_back(ParseChild(as, 1));
  }
  return 0;
}

int32_t Describer::update(ParseNode* root) {
  ParseNode* target = root->firstChild;
  if (target == nullptr) return ERR_GENERAL;
  Work w;
  w.tables.emplace_back(textOf(target));
  Work whereCols;
  for (ParseNode* c = target->nextSibling; c != nullptr; c = c->nextSibling) {
    int32_t rc = 0;
    if (c->type == PN_TABLE_LIST) {
      for (ParseNode* r : collect(c, PN_TABLE_REF, kNoStop)) w.tables.emplace_back(textOf(r));
    } else if (c->type == PN_ASSIGN_LIST) {
      rc = ParamDescSetList(c, w);
    } else if (c->type == PN_WHERE_OPT) {
      ParseNode* clauseNode = childOfType(c, PN_WHERE);
      if (clauseNode != nullptr) rc = clause(clauseNode, whereCols);
    }
    if (rc != 0) return rc;
  }
  w.columns.insert(w.columns.end(), whereCols.columns.begin(), whereCols.columns.end());
  return ParamDescProbe(w);
}

int32_t Describer::updateCurrent(ParseNode* root) {
  ParseNode* target = ParseChild(root, 1);
  ParseNode* list = ParseChild(root, 2);
  if (target == nullptr) return ERR_GENERAL;
  Work w;
  w.tables.emplace_back(textOf(target));
  if (list != nullptr && list->type == PN_ASSIGN_LIST) {
    if (int32_t rc = ParamDescSetList(list, w); rc != 0) return rc;
  }
  return ParamDescProbe(w);
}

int32_t Describer::remove(ParseNode* root) {
  ParseNode* target = ParseChild(root, 1);
  if (target == nullptr) return ERR_GENERAL;
  Work w;
  w.tables.emplace_back(textOf(target));
  if (int32_t rc = ParamDescWhere(root, w); rc != 0) return rc;
  return ParamDescProbe(w);
}

int32_t Describer::insert(ParseNode* root) {
  ParseNode* target = ParseChild(root, 1);
  ParseNode* colsOpt = ParseChild(root, 2);
  ParseNode* source = ParseChild(root, 3);
  if (target == nullptr || colsOpt == nullptr || colsOpt->type != PN_COLUMN_LIST_OPT ||
      source == nullptr || source->type != PN_INSERT_SOURCE || source->firstChild == nullptr)
    return ERR_GENERAL;
  const std::vector<ParseNode*> insertCols = collect(colsOpt, PN_COLUMN_REF, kNoStop);
  ParseNode* body = source->firstChild;
  Work w;
  w.tables.emplace_back(textOf(target));
  std::vector<ParseNode*> items;
  if (body->type == PN_VALUE_LIST) {
    items = collect(body, PN_INSERT_VALUE, kNoStop);
    if (insertCols.empty()) {
      // Without a column list the values go to the table's columns in order.
      std::string markers;
      for (ParseNode* it : items) markers += HasParamMarker(it) ? '?' : 'X';
      pd_->pd_markers = strdup(markers.c_str());
      if (pd_->pd_markers == nullptr) return ERR_MEMORY;
      return ParamDescProbeTable(w.tables.front());
    }
  } else if (body->type == PN_QUERY_SPEC) {
    if (body->childCount < 3) return ERR_GENERAL;
    // One item per select item: an item's own sums and products are parts
    // of one value, not values of their own.
    items = collect(ParseChild(body, 2), PN_SELECT_ITEM, PN_SUBQUERY);
  } else {
    return ERR_GENERAL;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (!HasParamMarker(items[i])) continue;
    if (i >= insertCols.size()) return ERR_GENERAL;
    w.columns.push_back(insertCols[i]);
  }
  if (int32_t rc = ParamDescProbe(w); rc != 0) return rc;
  return body->type == PN_QUERY_SPEC ? ParamDescSelect(body) : 0;
}

int32_t Describer::statement() {
  ParseNode* root = pd_->pd_root;
  try {
    switch (pd_->pd_kind) {
      case PN_SELECT: return ParamDescSelect(ParseChild(root, 1));
      case PN_INSERT: return insert(root);
      case PN_DELETE: return remove(root);
      case PN_UPDATE: return update(root);
      case PN_UPDATE_CURRENT: return updateCurrent(root);
      default: return 0;
    }
  } catch (...) {
    return ERR_MEMORY;
  }
}

}  // namespace

void ParamDescInit(ParamDescriber* pd, const char* defaultItem) noexcept {
  if (pd == nullptr) return;
  *pd = ParamDescriber{};
  pd->pd_kind = -1;
  pd->pd_default = defaultItem;
}

void ParamDescFree(ParamDescriber* pd) noexcept {
  if (pd == nullptr) return;
  for (int32_t i = 0; i < pd->pd_count; ++i) std::free(pd->pd_probes[i]);
  std::free(pd->pd_probes);
  std::free(pd->pd_markers);
  std::free(pd->pd_text);
  std::free(pd->pd_errPos);
  std::free(pd->pd_errMsg);
  ParseTreeFree(&pd->pd_root, ParseNodeFreeStrings);
  const char* item = pd->pd_default;
  *pd = ParamDescriber{};
  pd->pd_kind = -1;
  pd->pd_default = item;
}

int32_t ParamDescAnalyse(ParamDescriber* pd, const char* text) noexcept {
  if (pd == nullptr || text == nullptr) return ERR_GENERAL;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  ParamDescFree(pd);
  pd->pd_text = strdup(text);
  if (pd->pd_text == nullptr) return ERR_MEMORY;
  pd->pd_kind = 0;
  ParseResult r;
  ScrParse(pd->pd_text, std::strlen(pd->pd_text), &r);
  pd->pd_errPos = r.errPos;
  pd->pd_errMsg = r.errMsg;
  if (r.rc == 2) return ERR_MEMORY;  // the parser ran out of memory
  if (r.rc != 0) return ERR_SYNTAX;
  pd->pd_root = r.root;
  pd->pd_kind = r.root->type;
  if (ParseTreeRegenerate(pd->pd_root) != 1) return ERR_MEMORY;
  // Shapes the builders do not know and allocation failures while building
  // are not reported: the probes written so far stay, and the caller sees
  // their count differ from the parameters'.
  (void)Describer(pd).statement();
  return 0;
}
