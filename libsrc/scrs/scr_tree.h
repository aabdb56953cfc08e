#pragma once
// scr_tree.h -- the parse tree of an analysed statement and its text
// regeneration. Every inner node carries a template whose markers (the
// template expander's argument markers, 0xFF 0x01 n) stand for the texts of
// its children; regenerating rebuilds every inner node's text from its
// template and its children's texts, so the root's text is the statement
// again, with whatever edits were made to leaves and templates.
// A tree belongs to whoever holds its root and is used by one thread at a
// time; nothing here is shared between trees, so no lock is needed.
// Walks, frees and regeneration use explicit stacks: lists nest one level per
// item, and a statement with a 100,000-element IN list must not exhaust the
// thread's stack.

#include <cstdint>

#include "util/dynarray.h"

// Node types. The root's type is the statement kind. 65, 82 and 83 are unused.
enum ParseNodeType : int32_t {
  PN_OTHER_STMT = 0,
  PN_SETFUNC_NAME = 1,
  PN_ANY_ALL = 2,
  PN_FN_ARGS = 3,
  PN_ASSIGN = 4,
  PN_ASSIGN_LIST = 5,
  PN_BETWEEN = 6,
  PN_HEXNUM = 7,
  PN_BIT_LITERAL = 8,
  PN_COLUMN_ALIAS = 9,
  PN_IDENT = 10,
  PN_COLUMN_REF = 11,
  PN_COLUMN_LIST = 12,
  PN_COMP_OP = 13,
  PN_COMPARISON = 14,
  PN_TABLE_ALIAS = 15,
  PN_CURSOR_NAME = 16,
  PN_DATE_LIT = 17,
  PN_DELETE_CURRENT = 18,
  PN_DELETE = 19,
  PN_PARAM = 20,
  PN_LIKE_ESCAPE = 21,
  PN_EXISTS = 22,
  PN_ADD_EXPR = 23,
  PN_SIGNED = 24,
  PN_FN_NAME = 25,
  PN_IN = 26,
  PN_INNER = 27,
  PN_INSERT = 28,
  PN_JOINED_TABLE = 29,
  PN_JOIN_KIND = 30,
  PN_LIKE = 31,
  PN_LITERAL = 32,
  PN_IS_NULL = 33,
  PN_DATE_ESCAPE = 34,
  PN_DATETIME_ESCAPE = 35,
  PN_ESC_OPEN = 36,
  PN_ESC_CLOSE = 37,
  PN_OJ_ESCAPE = 38,
  PN_FN_ESCAPE = 39,
  PN_TIME_ESCAPE = 40,
  PN_TIMESTAMP_ESCAPE = 41,
  PN_SET_QUANTIFIER = 42,
  PN_AS = 43,
  PN_ORDERING = 44,
  PN_COLUMN_LIST_OPT = 45,
  PN_TABLE_REF = 46,
  PN_GROUP_BY = 47,
  PN_HAVING = 48,
  PN_LIKE_ESCAPE_OPT = 49,
  PN_ORDER_BY_OPT = 50,
  PN_OUTER = 51,
  PN_UNION_OPT = 52,
  PN_TOP = 53,
  PN_WHERE_OPT = 54,
  PN_ORDER_BY = 55,
  PN_JOIN_TYPE = 56,
  PN_NAME_OWNER = 57,
  PN_LIKE_PATTERN = 58,
  PN_PREDICATE = 59,
  PN_PRIMARY = 60,
  PN_ESCAPE_STMT = 61,
  PN_JOIN = 62,
  PN_NAME_QUALIFIER = 63,
  PN_SITE_PART = 64,
  PN_QUANTIFIED_CMP = 66,
  PN_FUNCTION = 67,
  PN_SEARCH_COND = 68,
  PN_CASE = 69,
  PN_CASE_ITEMS = 70,
  PN_CASE_ITEM = 71,
  PN_QUERY_SPEC = 72,
  PN_SELECT_LIST = 73,
  PN_SELECT = 74,
  PN_SELECT_ITEM = 75,
  PN_SET_FUNCTION = 76,
  PN_SIMPLE_CASE = 77,
  PN_SIMPLE_CASE_ITEMS = 78,
  PN_SIMPLE_CASE_ITEM = 79,
  PN_SORT_ITEM = 80,
  PN_SORT_LIST = 81,
  PN_OJ_PREDICATE = 84,
  PN_SUBQUERY = 85,
  PN_TABLE_EXPR = 86,
  PN_NAME_PART = 87,
  PN_TABLE_NAME = 88,
  PN_TABLE_ITEM = 89,
  PN_TABLE_LIST = 90,
  PN_MUL_EXPR = 91,
  PN_TIME_LIT = 92,
  PN_TIMESTAMP_LIT = 93,
  PN_UNION = 94,
  PN_UINT = 95,
  PN_UPDATE_CURRENT = 96,
  PN_UPDATE = 97,
  PN_INSERT_VALUE = 98,
  PN_VALUE_LIST = 99,
  PN_INSERT_SOURCE = 100,
  PN_WHERE = 101,
};

struct ParseNode {
  ParseNode* firstChild;   // null for a leaf
  ParseNode* nextSibling;  // next child of the same parent
  int32_t type;            // ParseNodeType
  int32_t childCount;      // 0 makes the node a leaf
  int32_t visits;          // regeneration's count of completed children
  char* text;              // owned; leaf: its text; inner node: the regenerated text
  char* templ;             // owned; inner node: its template; leaf: null
};

// The placeholder the SELECT analyser plants; ordinary text to the expander.
inline constexpr char kScrPlaceholder[] = "\x01\x01\x01";

// A leaf holding a copy of text (null text gives an empty one); null when
// memory is short.
ParseNode* ParseLeafNew(int32_t type, const char* text) noexcept;
// An inner node over n children given in order, chained through their
// nextSibling links; null when memory is short (the children stay the
// caller's then).
ParseNode* ParseNodeNew(int32_t type, const char* templ, int32_t n, ...) noexcept;
ParseNode* ParseNodeNew1(int32_t type, const char* templ, ParseNode* child) noexcept;
// The same over an array of n children.
ParseNode* ParseNodeNewArray(int32_t type, const char* templ, int32_t n, ParseNode* const* kids) noexcept;
// Frees text and template and nulls both; the destructor every caller hands
// to ParseTreeFree.
void ParseNodeFreeStrings(ParseNode* node) noexcept;
typedef void (*ParseNodeDestructor)(ParseNode* node);
// Frees *link, its subtree and the siblings that follow it, calling the
// destructor on each node, and nulls *link. Given a node's firstChild link it
// cuts the node's children off.
void ParseTreeFree(ParseNode** link, ParseNodeDestructor destructor) noexcept;

// A visitor answers non-zero to go on into the node's children and then its
// later siblings; 0 skips both.
typedef int (*ParseVisitor)(ParseNode* node, int32_t type, void* context);
typedef int (*ParseStopVisitor)(ParseNode* node, int32_t type, int32_t stopType, void* context);
// Pre-order over node, its subtree and its later siblings with theirs.
void ParseTreeWalk(ParseNode* node, ParseVisitor visitor, int32_t type, void* context) noexcept;
void ParseTreeWalkStop(ParseNode* node, ParseStopVisitor visitor, int32_t type, int32_t stopType,
                       void* context) noexcept;
// The node and, when the visitor goes on, its subtree; never its siblings.
void ParseTreeWalkChildren(ParseNode* node, ParseVisitor visitor, int32_t type,
                           void* context) noexcept;

// context: ParseNode** result, set to the first node of the type.
int FindNodeOfType(ParseNode* node, int32_t type, void* context);
int FindNodeStop(ParseNode* node, int32_t type, int32_t stopType, void* context);
// context: DynArray* of ParseNode* receiving every node of the type.
int CollectNodesOfType(ParseNode* node, int32_t type, void* context);
int CollectNodesStop(ParseNode* node, int32_t type, int32_t stopType, void* context);

// The first node of the type among *inout, its subtree and its later
// siblings; *inout receives it (null when there is none).
ParseNode* SCR_FindNext(int32_t type, ParseNode** inout) noexcept;
// Appends every descendant of node of the type, in pre-order (never node
// itself nor its siblings).
void SCR_CollectNodes(int32_t type, ParseNode* node, DynArray* array) noexcept;
// The first descendant of node of the type, or null; node and its siblings
// are not looked at.
ParseNode* ParseFindBelow(ParseNode* node, int32_t type) noexcept;
// Child i (1-based) of node, or null.
ParseNode* ParseChild(const ParseNode* node, int32_t i) noexcept;

// A stack of node pointers that grows as it is pushed; the regeneration keeps
// its two stacks in these.
struct NodeStack {
  uint32_t capacity;
  int32_t top;  // index of the top item, -1 when empty
  ParseNode** items;
};
NodeStack* NodeStackNew(uint32_t capacity) noexcept;
void NodeStackFree(NodeStack* stack) noexcept;
void NodeStackEmpty(NodeStack* stack) noexcept;
// 1 when a push would have to grow the stack first.
int NodeStackFull(const NodeStack* stack) noexcept;
// 1 after the push; 0 when the stack is full and cannot grow.
int NodeStackPush(ParseNode* node, NodeStack* stack) noexcept;
ParseNode* NodeStackPeek(const NodeStack* stack) noexcept;
ParseNode* NodeStackPop(NodeStack* stack) noexcept;

// Rebuilds the text of every inner node, children before parents. 1 after
// regenerating, 0 for a null root or when memory runs short: the walk then stops
// and every node it did not finish keeps the text it had (never null, but not
// the statement's text), so the caller must not use the tree's text.
// A list node that continues a list of its own type (each level but the top
// of a left-nested VALUES, IN, select, FROM, column, sort, SET or CASE list)
// keeps no text of its own: its text is null and its items appear in the text
// of the list's top node. Materialising every level would cost time and
// memory quadratic in the length of the list.
int32_t ParseTreeRegenerate(ParseNode* root) noexcept;

// Tests only: the n-th allocation of the tree code on this thread from now on
// fails (0: none does).
void ParseTreeTestFailAlloc(uint32_t n) noexcept;
