// Taking a child list apart without recursion.
//
// Adjacent siblings hold each other, so a list is taken apart link by link.
// Dropping a link must not call Release: a node that dies would free its own
// children from inside that call, one stack frame per tree level. Instead
// the count is decremented here, and a node that reaches zero gets its value
// released at once (as its destructor would) and is pushed onto a stack of
// dead nodes threaded through their parent fields (a dead node is in no
// list). The top of that stack is always worked on first, so subtrees are
// freed depth first, in the same order as nested destructors would free
// them. A dead node's walk position is kept in its value storage, which
// means nothing once the value is Empty.
#include "tree/tree_node.h"

#include <atomic>

namespace kelmo {

void TreeNode::DropLink(TreeNode* node, TreeNode*& dead) noexcept {
  if (!node) return;
  // A count of 1 is the link being dropped: no other reference exists that
  // could change it, so the node dies without a read-modify-write (the
  // acquire load still orders it after every earlier release).
  if (node->count_.load(std::memory_order_acquire) != 1 && !node->DropCount()) return;
  // The children forget their parent before anything of the node is
  // released: see ForgetParent.
  if (node->children_ && AnyValueCallsOut()) node->children_->ForgetParent();
  node->ResetValue();
  TreeNode* first = node->children_ ? node->children_->first_.get() : nullptr;
  // The walk holds its own reference to the child it stands on.
  if (first) first->AddCount();
  node->value_.pointer = first;
  node->parent_ = dead;
  dead = node;
}

bool ChildList::UnlinkStep(TreeNode*& cursor, TreeNode*& dead) noexcept {
  if (TreeNode* child = cursor) {
    // The next link moves into the walk's own hold, as the cursor.
    TreeNode* next = child->next_.detach();
    TreeNode* prev = child->prev_.detach();
    child->parent_ = nullptr;
    cursor = next;
    // The child is still held by its next sibling's back link or by the
    // last entry, so only the previous sibling can die here.
    TreeNode::DropLink(child, dead);
    TreeNode::DropLink(prev, dead);
    return true;
  }
  if (first_) {
    TreeNode::DropLink(first_.detach(), dead);
    return true;
  }
  if (last_) {
    TreeNode::DropLink(last_.detach(), dead);
    return true;
  }
  return false;
}

void ChildList::ForgetParent() noexcept {
  for (TreeNode* child = first_.get(); child; child = child->next_.get()) child->parent_ = nullptr;
}

void ChildList::UnlinkAll() noexcept {
  if (TreeNode::AnyValueCallsOut()) ForgetParent();
  TreeNode* cursor = first_.get();
  if (cursor) cursor->AddCount();
  TreeNode* dead = nullptr;
  // Dead nodes of one document give their memory back in one step at the
  // end, not one by one.
  FreedBlocks freed;
  for (;;) {
    if (TreeNode* node = dead) {
      TreeNode* walk = static_cast<TreeNode*>(node->value_.pointer);
      bool more = node->children_ && node->children_->UnlinkStep(walk, dead);
      node->value_.pointer = walk;
      if (more) continue;
      // Nothing of the node is left to free but its own record.
      dead = node->parent_;
      node->parent_ = nullptr;
      if (ChildList* list = node->children_) {
        node->children_ = nullptr;
        list->~ChildList();
        freed.Add(list);
      }
      TreeNode::DropLink(node->next_.detach(), dead);
      TreeNode::DropLink(node->prev_.detach(), dead);
      node->~TreeNode();
      freed.Add(node);
      continue;
    }
    if (!UnlinkStep(cursor, dead)) break;
  }
  count_ = 0;
}

}  // namespace kelmo
