// A node's children: a doubly linked list in document order whose ends are
// counted links, plus the optional sorted name index. Sibling links live in
// the children themselves (TreeNode::prev_, next_).
//
// The node, its child list and its name index are one unit, included as
// tree/tree_node.h. The includes run one way, down: tree_node.h includes
// this header, which includes name_index.h; the node is only named here,
// and what needs its definition (the destructor of the links) is
// instantiated where tree_node.h is complete.
#ifndef KELMO_TREE_CHILD_LIST_H
#define KELMO_TREE_CHILD_LIST_H

#include <cstdint>
#include <memory>

#include "tree/doc_memory.h"
#include "tree/name_index.h"

namespace kelmo {

class TreeNode;

class ChildList {
 public:
  ChildList() noexcept = default;
  ChildList(const ChildList&) = delete;
  ChildList& operator=(const ChildList&) = delete;
  ~ChildList() = default;

  // A counted block, like the node that owns it (doc_memory.h).
  static void* operator new(size_t size) { return DocMemory::AllocateCounted(nullptr, size); }
  static void* operator new(size_t size, DocBuilder& builder) {
    return builder.NewCountedBlock(size);
  }
  static void operator delete(void* list) noexcept { DocMemory::FreeCounted(list); }
  static void operator delete(void* list, DocBuilder&) noexcept { DocMemory::FreeCounted(list); }

  TreeNode* First() const noexcept { return first_.get(); }
  TreeNode* Last() const noexcept { return last_.get(); }
  uint32_t Count() const noexcept { return count_; }
  NameIndex* Index() const noexcept { return index_.get(); }

  // Takes every child out link by link, in the order a plain walk from the
  // first child drops the links, and frees every node (with its subtree)
  // that nobody else holds. Never recurses per tree level and allocates
  // nothing. Leaves the list empty; the name index is left to the caller.
  void UnlinkAll() noexcept;
  // Clears every child's parent pointer before a list is taken apart, so
  // that nothing a dying value calls back into can reach the owner (which
  // may be dead) or move a child out of the half-dismantled list. Only
  // needed while some value can call back (TreeNode::AnyValueCallsOut);
  // otherwise each child's pointer is cleared as the walk unlinks it.
  void ForgetParent() noexcept;

 private:
  friend class TreeNode;

  // One step of taking this list apart: unlinks the child at `cursor` (the
  // walk holds one reference to it), or once the walk is done releases the
  // first and then the last entry. False when there is nothing left.
  bool UnlinkStep(TreeNode*& cursor, TreeNode*& dead) noexcept;

  RefPtr<TreeNode> first_;
  RefPtr<TreeNode> last_;
  uint32_t count_ = 0;
  std::unique_ptr<NameIndex> index_;
};

}  // namespace kelmo

#endif  // KELMO_TREE_CHILD_LIST_H
