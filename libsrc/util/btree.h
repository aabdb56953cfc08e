// btree.h -- unbalanced binary search tree driven by compare, create and
// destroy callbacks. Its shape follows the insertion order.
// Threading: one owner at a time; no locks.
#pragma once

// Negative: the key lies left of the record; 0: it matches; positive: right.
typedef int (*BTreeCompareFn)(const void* record, const void* key);
// Builds a record for key into *recordOut; nonzero on success.
typedef int (*BTreeCreateFn)(void** recordOut, const void* key);
// Releases what the record holds; the tree then frees the record itself.
typedef void (*BTreeDestroyFn)(void* record);
typedef void (*BTreeWalkFn)(void* record);

struct BTree;

struct BTreeNode {
  BTreeNode* left;
  BTreeNode* right;
  BTree* tree;
  void* record;  // malloc'ed by create, freed by the tree
};

struct BTree {
  BTreeNode* root;
  BTreeCompareFn compare;
  BTreeCreateFn create;
  BTreeDestroyFn destroy;
  int count;
};

BTree* BTreeNew(BTreeCompareFn compare, BTreeCreateFn create, BTreeDestroyFn destroy) noexcept;
// Find-or-insert; null when create or the node allocation fails.
BTreeNode* BTreeInsert(BTree* tree, const void* key) noexcept;
BTreeNode* BTreeNodeNew(BTree* tree, const void* key) noexcept;
BTreeNode* BTreeFind(BTree* tree, const void* key) noexcept;
// In order: left subtree, node, right subtree.
void BTreeWalk(BTree* tree, BTreeWalkFn fn) noexcept;
void BTreeFree(BTree* tree) noexcept;
