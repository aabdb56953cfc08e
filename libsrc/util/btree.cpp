// btree.cpp -- unbalanced binary search tree over caller-made records.
// Owns its nodes and the records create made (freed after destroy).
// Threading: one owner; no locks.
#include "util/btree.h"

#include <cstdlib>

namespace {

void walk(BTreeNode* n, BTreeWalkFn fn) {
  while (n != nullptr) {
    walk(n->left, fn);
    fn(n->record);
    n = n->right;
  }
}

void free_nodes(BTree* tree, BTreeNode* n) {
  if (n == nullptr) return;
  free_nodes(tree, n->left);
  free_nodes(tree, n->right);
  if (n->record != nullptr) tree->destroy(n->record);
  free(n->record);
  --tree->count;
  free(n);
}

}  // namespace

BTree* BTreeNew(BTreeCompareFn compare, BTreeCreateFn create, BTreeDestroyFn destroy) noexcept {
  if (compare == nullptr || create == nullptr || destroy == nullptr) return nullptr;
  auto* tree = static_cast<BTree*>(calloc(1, sizeof(BTree)));
  if (tree == nullptr) return nullptr;
  tree->compare = compare;
  tree->create = create;
  tree->destroy = destroy;
  return tree;
}

BTreeNode* BTreeNodeNew(BTree* tree, const void* key) noexcept {
  if (tree == nullptr) return nullptr;
  auto* node = static_cast<BTreeNode*>(calloc(1, sizeof(BTreeNode)));
  if (node == nullptr) return nullptr;
  node->tree = tree;
  if (!tree->create(&node->record, key)) {
    free(node);
    return nullptr;
  }
  ++tree->count;
  return node;
}

BTreeNode* BTreeInsert(BTree* tree, const void* key) noexcept {
  if (tree == nullptr) return nullptr;
  BTreeNode** link = &tree->root;
  while (*link != nullptr) {
    int c = tree->compare((*link)->record, key);
    if (c == 0) return *link;
    link = c < 0 ? &(*link)->left : &(*link)->right;
  }
  BTreeNode* node = BTreeNodeNew(tree, key);
  if (node != nullptr) *link = node;
  return node;
}

BTreeNode* BTreeFind(BTree* tree, const void* key) noexcept {
  if (tree == nullptr) return nullptr;
  BTreeNode* n = tree->root;
  while (n != nullptr) {
    int c = tree->compare(n->record, key);
    if (c == 0) return n;
    n = c < 0 ? n->left : n->right;
  }
  return nullptr;
}

void BTreeWalk(BTree* tree, BTreeWalkFn fn) noexcept {
  if (tree == nullptr || fn == nullptr) return;
  walk(tree->root, fn);
}

void BTreeFree(BTree* tree) noexcept {
  if (tree == nullptr) return;
  free_nodes(tree, tree->root);
  free(tree);
}
