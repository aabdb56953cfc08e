// scr_tree.cpp -- parse-tree nodes, their walks and searches, and the
// regeneration of statement text from node templates.
// Owns nothing beyond the nodes it makes; the holder of a root owns the tree.
// Threading: a tree is used by one thread at a time; no shared state.
// Not here: building trees from text (the grammar) or deciding what they mean.

#include "scrs/scr_tree.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "drv/sqltemplate.h"
#include "util/mpl.h"

namespace {

// The allocation that ParseTreeTestFailAlloc makes fail, counted on this thread.
thread_local uint32_t tFailAt = 0;
thread_local uint32_t tAllocs = 0;

void* treeAlloc(size_t n) {
  ++tAllocs;
  if (tFailAt != 0 && tAllocs == tFailAt) return nullptr;
  return std::malloc(n);
}

char* dupText(const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text) + 1;
  char* p = static_cast<char*>(treeAlloc(n));
  if (p != nullptr) std::memcpy(p, text, n);
  return p;
}

// A pending-node stack for the walks. Growth failure ends the walk early
// rather than the process: a walk that stops short only finds less.
class WalkStack {
 public:
  bool push(ParseNode* n) noexcept {
    try {
      items_.push_back(n);
      return true;
    } catch (...) {
      return false;
    }
  }
  ParseNode* pop() noexcept {
    ParseNode* n = items_.back();
    items_.pop_back();
    return n;
  }
  bool empty() const noexcept { return items_.empty(); }

 private:
  std::vector<ParseNode*> items_;
};

// The walk of ParseTreeWalk without recursion: a node that the visitor lets
// through puts its later sibling under its first child, so the child's whole
// chain is done before the sibling, as the recursive definition orders it.
// False when the walk stopped short for want of memory.
template <typename Visit>
bool walk(ParseNode* start, bool withSiblings, Visit visit) noexcept {
  if (start == nullptr) return true;
  if (!withSiblings) {
    if (!visit(start) || start->firstChild == nullptr) return true;
    start = start->firstChild;
  }
  WalkStack stack;
  if (!stack.push(start)) return false;
  while (!stack.empty()) {
    ParseNode* n = stack.pop();
    if (!visit(n)) continue;
    if (n->nextSibling != nullptr && !stack.push(n->nextSibling)) return false;
    if (n->firstChild != nullptr && !stack.push(n->firstChild)) return false;
  }
  return true;
}

}  // namespace

ParseNode* ParseLeafNew(int32_t type, const char* text) noexcept {
  auto* node = static_cast<ParseNode*>(std::calloc(1, sizeof(ParseNode)));
  if (node == nullptr) return nullptr;
  node->type = type;
  node->text = dupText(text);
  if (node->text == nullptr) {
    std::free(node);
    return nullptr;
  }
  return node;
}

ParseNode* ParseNodeNewArray(int32_t type, const char* templ, int32_t n,
                             ParseNode* const* kids) noexcept {
  ParseNode* node = ParseLeafNew(type, "");
  if (node == nullptr) return nullptr;
  node->templ = dupText(templ);
  if (node->templ == nullptr) {
    ParseNodeFreeStrings(node);
    std::free(node);
    return nullptr;
  }
  node->childCount = n;
  ParseNode* prev = nullptr;
  for (int32_t i = 0; i < n; ++i) {
    if (prev == nullptr)
      node->firstChild = kids[i];
    else
      prev->nextSibling = kids[i];
    prev = kids[i];
  }
  return node;
}

ParseNode* ParseNodeNew(int32_t type, const char* templ, int32_t n, ...) noexcept {
  constexpr int32_t kMax = 16;
  if (n < 0 || n > kMax) return nullptr;
  ParseNode* kids[kMax] = {};
  va_list ap;
  va_start(ap, n);
  for (int32_t i = 0; i < n; ++i) kids[i] = va_arg(ap, ParseNode*);
  va_end(ap);
  return ParseNodeNewArray(type, templ, n, kids);
}

ParseNode* ParseNodeNew1(int32_t type, const char* templ, ParseNode* child) noexcept {
  return ParseNodeNew(type, templ, 1, child);
}

void ParseNodeFreeStrings(ParseNode* node) noexcept {
  if (node == nullptr) return;
  std::free(node->text);
  std::free(node->templ);
  node->text = nullptr;
  node->templ = nullptr;
}

void ParseTreeFree(ParseNode** link, ParseNodeDestructor destructor) noexcept {
  if (link == nullptr || *link == nullptr) return;
  // Every node reachable from *link goes, through child and sibling links
  // alike; the order does not matter, so a plain work list does it. When the
  // list cannot grow, the node's links are threaded onto the node itself
  // instead (a child chain is appended to the sibling chain), which needs no
  // memory at all.
  ParseNode* pending = *link;
  *link = nullptr;
  while (pending != nullptr) {
    ParseNode* n = pending;
    pending = n->nextSibling;
    if (n->firstChild != nullptr) {
      // Splice the children in front of the pending chain: their last
      // sibling takes over what was pending.
      ParseNode* last = n->firstChild;
      while (last->nextSibling != nullptr) last = last->nextSibling;
      last->nextSibling = pending;
      pending = n->firstChild;
    }
    if (destructor != nullptr) destructor(n);
    std::free(n);
  }
}

void ParseTreeWalk(ParseNode* node, ParseVisitor visitor, int32_t type, void* context) noexcept {
  walk(node, true, [&](ParseNode* n) { return visitor(n, type, context) != 0; });
}

void ParseTreeWalkStop(ParseNode* node, ParseStopVisitor visitor, int32_t type, int32_t stopType,
                       void* context) noexcept {
  walk(node, true, [&](ParseNode* n) { return visitor(n, type, stopType, context) != 0; });
}

void ParseTreeWalkChildren(ParseNode* node, ParseVisitor visitor, int32_t type,
                           void* context) noexcept {
  walk(node, false, [&](ParseNode* n) { return visitor(n, type, context) != 0; });
}

int FindNodeOfType(ParseNode* node, int32_t type, void* context) {
  auto** result = static_cast<ParseNode**>(context);
  if (node == nullptr || result == nullptr || *result != nullptr) return 0;
  if (node->type != type) return 1;
  *result = node;
  return 0;
}

int FindNodeStop(ParseNode* node, int32_t type, int32_t stopType, void* context) {
  if (node != nullptr && node->type == stopType) return 0;
  return FindNodeOfType(node, type, context);
}

int CollectNodesOfType(ParseNode* node, int32_t type, void* context) {
  auto* array = static_cast<DynArray*>(context);
  if (node == nullptr || array == nullptr) return 0;
  if (node->type != type) return 1;
  return DynArrayAppend(array, &node);
}

int CollectNodesStop(ParseNode* node, int32_t type, int32_t stopType, void* context) {
  if (node != nullptr && node->type == stopType) return 0;
  return CollectNodesOfType(node, type, context);
}

ParseNode* SCR_FindNext(int32_t type, ParseNode** inout) noexcept {
  if (inout == nullptr) return nullptr;
  ParseNode* start = *inout;
  *inout = nullptr;
  ParseTreeWalk(start, FindNodeOfType, type, inout);
  return *inout;
}

void SCR_CollectNodes(int32_t type, ParseNode* node, DynArray* array) noexcept {
  if (node == nullptr || array == nullptr) return;
  ParseTreeWalk(node->firstChild, CollectNodesOfType, type, array);
}

ParseNode* ParseFindBelow(ParseNode* node, int32_t type) noexcept {
  if (node == nullptr) return nullptr;
  ParseNode* found = node->firstChild;
  return SCR_FindNext(type, &found);
}

ParseNode* ParseChild(const ParseNode* node, int32_t i) noexcept {
  if (node == nullptr || i < 1) return nullptr;
  ParseNode* c = node->firstChild;
  while (c != nullptr && --i > 0) c = c->nextSibling;
  return c;
}

NodeStack* NodeStackNew(uint32_t capacity) noexcept {
  if (capacity == 0) return nullptr;
  auto* stack = static_cast<NodeStack*>(treeAlloc(sizeof(NodeStack)));
  if (stack == nullptr) return nullptr;
  stack->items = static_cast<ParseNode**>(treeAlloc(capacity * sizeof(ParseNode*)));
  if (stack->items == nullptr) {
    std::free(stack);
    return nullptr;
  }
  stack->capacity = capacity;
  stack->top = -1;
  return stack;
}

void NodeStackFree(NodeStack* stack) noexcept {
  if (stack == nullptr) return;
  std::free(stack->items);
  std::free(stack);
}

void NodeStackEmpty(NodeStack* stack) noexcept { stack->top = -1; }

int NodeStackFull(const NodeStack* stack) noexcept {
  return static_cast<uint32_t>(stack->top + 1) == stack->capacity;
}

int NodeStackPush(ParseNode* node, NodeStack* stack) noexcept {
  if (NodeStackFull(stack)) {
    if (stack->capacity > (1u << 30)) return 0;
    const uint32_t cap = stack->capacity * 2;
    void* items = std::realloc(stack->items, cap * sizeof(ParseNode*));
    if (items == nullptr) return 0;
    stack->items = static_cast<ParseNode**>(items);
    stack->capacity = cap;
  }
  stack->items[++stack->top] = node;
  return 1;
}

ParseNode* NodeStackPeek(const NodeStack* stack) noexcept {
  return stack->top < 0 ? nullptr : stack->items[stack->top];
}

ParseNode* NodeStackPop(NodeStack* stack) noexcept {
  return stack->top < 0 ? nullptr : stack->items[stack->top--];
}

namespace {

constexpr char kFirstArg[] = "\xFF\x01\x01";

bool isListType(int32_t type) {
  switch (type) {
    case PN_VALUE_LIST:
    case PN_SELECT_LIST:
    case PN_TABLE_LIST:
    case PN_COLUMN_LIST:
    case PN_SORT_LIST:
    case PN_ASSIGN_LIST:
    case PN_CASE_ITEMS:
    case PN_SIMPLE_CASE_ITEMS: return true;
    default: return false;
  }
}

// child continues parent's list: parent's text is child's text followed by
// the rest of parent's template, so child need not keep a text of its own.
bool chainLink(const ParseNode* parent, const ParseNode* child) {
  if (child == nullptr || child != parent->firstChild || child->childCount == 0 ||
      child->type != parent->type || !isListType(parent->type) || parent->templ == nullptr)
    return false;
  return std::strncmp(parent->templ, kFirstArg, 3) == 0 &&
         std::strstr(parent->templ + 3, kFirstArg) == nullptr;
}

constexpr int kMaxArgs = 10;

// Appends the expansion of templ over node's children, without its NUL.
void expandInto(MemPool* pool, const char* templ, const ParseNode* node) {
  char* args[kMaxArgs] = {};
  uint32_t count = 0;
  for (ParseNode* c = node->firstChild; c != nullptr && count < kMaxArgs; c = c->nextSibling)
    args[count++] = c->text;
  ExpandTemplate(pool, templ, args, count);
  --pool->next;  // ExpandTemplate ends the object with a NUL; the caller adds it once
}

struct Regen {
  NodeStack* met = nullptr;   // A: nodes met and not yet consumed
  NodeStack* open = nullptr;  // B: inner nodes whose children are not all complete
  MemPool pool{};
  bool failed = false;

  void complete(ParseNode* node, ParseNode* parent) {
    if (parent != nullptr && chainLink(parent, node)) {  // text kept by the list's top
      std::free(node->text);
      node->text = nullptr;
      return;
    }
    // Expand the bottom of the chain first, then append each level's own
    // text after it, up to node.
    std::vector<const ParseNode*> levels;
    const ParseNode* bottom = node;
    try {
      while (chainLink(bottom, bottom->firstChild)) {
        levels.push_back(bottom);
        bottom = bottom->firstChild;
      }
    } catch (...) {
      failed = true;
      return;
    }
    mpl_release(&pool, nullptr);
    expandInto(&pool, bottom->templ, bottom);
    for (size_t i = levels.size(); i-- > 0;) expandInto(&pool, levels[i]->templ + 3, levels[i]);
    mpl_append_char(&pool, 0);
    char* text = dupText(pool.base);
    mpl_release(&pool, nullptr);
    // Without memory for the new text the node keeps the one it had: a text is
    // never null, and the failure is answered to the caller.
    if (text == nullptr) {
      failed = true;
      return;
    }
    std::free(node->text);
    node->text = text;
  }

  // One node of the pre-order walk; see ParseTreeRegenerate.
  bool visit(ParseNode* node) {
    ParseNode* parent = NodeStackPeek(open);
    if (!NodeStackPush(node, met)) return fail();
    if (node->childCount != 0) {
      if (!NodeStackPush(node, open)) return fail();
      node->visits = 0;
      return true;
    }
    if (parent != nullptr) parent->visits += 1;
    while (parent != nullptr && parent->visits == parent->childCount) {
      for (int32_t i = 0; i <= parent->childCount; ++i) NodeStackPop(met);
      NodeStackPop(open);
      ParseNode* grand = NodeStackPeek(open);
      complete(parent, grand);
      NodeStackPush(parent, met);  // cannot fail: the pops made room
      parent = grand;
      if (parent != nullptr) parent->visits += 1;
    }
    return !failed;
  }

  bool fail() {
    failed = true;
    return false;
  }
};

}  // namespace

int32_t ParseTreeRegenerate(ParseNode* root) noexcept {
  if (root == nullptr) return 0;
  Regen r;
  r.met = NodeStackNew(256);
  r.open = NodeStackNew(256);
  if (r.met == nullptr || r.open == nullptr) {
    NodeStackFree(r.met);
    NodeStackFree(r.open);
    return 0;
  }
  mpl_init(&r.pool);
  // A walk from the root alone: the root of a statement has no siblings.
  if (!walk(root, false, [&](ParseNode* n) { return r.visit(n); })) r.failed = true;
  mpl_destroy(&r.pool);
  NodeStackFree(r.met);
  NodeStackFree(r.open);
  return r.failed ? 0 : 1;
}

void ParseTreeTestFailAlloc(uint32_t n) noexcept {
  tFailAt = n;
  tAllocs = 0;
}
