// Sorted index of one node's children by name, so that lookups by name take
// a binary search instead of a walk. Entries are plain pointers: the child
// list's links keep the children alive, and an entry leaves the index
// whenever its child leaves the list. One piece of the node's unit: included
// through tree/tree_node.h (by way of child_list.h), it only names the node.
#ifndef KELMO_TREE_NAME_INDEX_H
#define KELMO_TREE_NAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kelmo/platform_types.h"

namespace kelmo {

class TreeNode;

class NameIndex {
 public:
  // Fills the index from a list of `count` children starting at `first`
  // (document order), then sorts it stably so that equal names keep their
  // document order.
  void Build(TreeNode* first, uint32_t count);

  size_t Size() const noexcept { return entries_.size(); }
  TreeNode* At(size_t position) const noexcept { return entries_[position]; }
  void Clear() noexcept { entries_.clear(); }
  // Makes room so that the next `count` insertions cannot fail; insertion
  // reserves before it links a child, so the list and index never disagree.
  void Reserve(size_t count);

  // First entry whose name is not less than the key / greater than the key.
  size_t LowerBound(const WChar* key, uint32_t length) const;
  size_t UpperBound(const WChar* key, uint32_t length) const;

  // The (n+1)-th entry named `key` counting from the front / from the back,
  // or null. The length must already be resolved.
  TreeNode* FindFirst(const WChar* key, uint32_t length, uint32_t n) const;
  TreeNode* FindLast(const WChar* key, uint32_t length, uint32_t n) const;

  // After all entries of the child's name (appending) or before them
  // (prepending).
  void InsertAfterEqual(TreeNode* child);
  void InsertBeforeEqual(TreeNode* child);
  // Placement of a child inserted next to `reference` in the document: right
  // beside the reference's entry when both bear the same name, otherwise
  // among the entries of its name where document order puts it.
  void InsertBeside(TreeNode* reference, TreeNode* child, bool after);
  // Among the entries of the child's name, after those of earlier siblings
  // and before those of later ones (the child is already linked).
  void InsertInDocumentOrder(TreeNode* child);
  // Removes the child's entry, found under the name it bears now.
  void Erase(TreeNode* child) noexcept;

 private:
  // Position of the child's entry within the run of its name, or Size().
  size_t Locate(TreeNode* child) const noexcept;
  void InsertAt(size_t position, TreeNode* child);

  std::vector<TreeNode*> entries_;
};

}  // namespace kelmo

#endif  // KELMO_TREE_NAME_INDEX_H
