// The node's structure operations: inserting, removing and detaching
// children, and stepping to the parent, the children and the siblings.
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "tree/tree_node.h"

namespace kelmo {
TreeNode* TreeNode::FirstChild() const noexcept {
  return children_ ? children_->first_.get() : nullptr;
}

TreeNode* TreeNode::LastChild() const noexcept {
  return children_ ? children_->last_.get() : nullptr;
}

ChildList& TreeNode::EnsureChildren() {
  if (!children_) {
    Spoil();
    children_ = new ChildList;
  }
  return *children_;
}

ChildList& TreeNode::EnsureChildren(DocBuilder& builder) {
  if (!children_) children_ = new (builder) ChildList;
  return *children_;
}

// Climbs from this node and walks node's subtree in turns, one step each,
// so the cost is bounded by the smaller of this node's depth and the size of
// node's subtree: adding a leaf deep down, or a big subtree near the top,
// takes constant time.
bool TreeNode::IsSelfOrAncestor(const TreeNode* node) const noexcept {
  const TreeNode* up = this;
  const TreeNode* down = node;
  for (;;) {
    if (up == node || down == this) return true;
    up = up->parent_;
    if (!up) return false;
    // The next node of node's subtree in document order.
    if (const TreeNode* first = down->FirstChild()) {
      down = first;
      continue;
    }
    while (down && down != node && !down->next_) down = down->parent_;
    if (!down || down == node) return false;
    down = down->next_.get();
  }
}

TreeNode* TreeNode::AcceptableChild(Kelmo* candidate) const noexcept {
  TreeNode* child = From(candidate);
  // Sibling links without a parent belong to a list that is being taken
  // apart; such a node becomes free only when the walk reaches it.
  if (!child || child->parent_ || child->prev_ || child->next_) return nullptr;
  // Linking a node under itself or its own descendant would make a cycle
  // that is never freed and that every walk follows forever.
  if (IsSelfOrAncestor(child)) return nullptr;
  return child;
}

void TreeNode::PrepareInsertion(ChildList& list) {
  if (list.count_ == 0xFFFFFFFFu) throw std::bad_alloc();
  if (list.index_) list.index_->Reserve(1);
}

void TreeNode::LinkLast(ChildList& list, TreeNode* child) noexcept {
  Spoil();
  child->Spoil();
  // The list's hold on the former last child becomes the new child's back
  // link, so that child's count does not change.
  TreeNode* former = list.last_.detach();
  child->prev_ = RefPtr<TreeNode>(former, adopt_ref);
  child->next_ = nullptr;
  if (former)
    former->next_ = child;
  else
    list.first_ = child;
  list.last_ = child;
  ++list.count_;
  child->parent_ = this;
  if (list.index_) list.index_->InsertAfterEqual(child);
}

void TreeNode::LinkFirst(ChildList& list, TreeNode* child) noexcept {
  Spoil();
  child->Spoil();
  child->prev_ = nullptr;
  child->next_ = list.first_;
  if (list.first_)
    list.first_->prev_ = child;
  else
    list.last_ = child;
  list.first_ = child;
  ++list.count_;
  child->parent_ = this;
  if (list.index_) list.index_->InsertBeforeEqual(child);
}

void TreeNode::LinkBeside(ChildList& list, TreeNode* reference, TreeNode* child,
                           bool after) noexcept {
  Spoil();
  child->Spoil();
  // The neighbour on the far side of the new child, and the list end that
  // takes the child when there is none.
  RefPtr<TreeNode>& farSide = after ? reference->next_ : reference->prev_;
  TreeNode* beyond = farSide.get();  // kept alive by farSide until replaced
  child->prev_ = after ? reference : beyond;
  child->next_ = after ? beyond : reference;
  if (beyond)
    (after ? beyond->prev_ : beyond->next_) = child;
  else
    (after ? list.last_ : list.first_) = child;
  farSide = child;
  ++list.count_;
  child->parent_ = this;
  if (list.index_) list.index_->InsertBeside(reference, child, after);
}

void TreeNode::Unlink(ChildList& list, TreeNode* child) noexcept {
  child->Spoil();
  if (child->next_) child->next_->prev_ = child->prev_;
  if (child->prev_) child->prev_->next_ = child->next_;
  if (list.first_.get() == child) list.first_ = child->next_;
  if (list.last_.get() == child) list.last_ = child->prev_;
  child->next_ = nullptr;
  child->prev_ = nullptr;
  --list.count_;
  child->parent_ = nullptr;
  if (list.index_) list.index_->Erase(child);
}

void TreeNode::AppendChildNode(TreeNode* child) {
  if (!child || child->parent_ || child->prev_ || child->next_) return;
  ChildList& list = EnsureChildren();
  PrepareInsertion(list);
  LinkLast(list, child);
}

TreeNode* TreeNode::AppendNewChild(DocBuilder& builder, const WChar* name, uint32_t length) {
  return AppendNewChild(builder, builder.InternName(name, length));
}

TreeNode* TreeNode::AppendNewChild(DocBuilder& builder, WStrBuf&& interned) {
  ChildList& list = EnsureChildren(builder);
  PrepareInsertion(list);
  // Nobody else can see the node yet, so its count is set rather than
  // counted up: one for the link from its previous sibling (or the list's
  // first entry) and one for the list's last entry.
  TreeNode* child = new (builder) TreeNode;
  child->name_.Swap(interned);
  child->count_.store(2, std::memory_order_relaxed);
  TreeNode* former = list.last_.detach();
  child->prev_ = RefPtr<TreeNode>(former, adopt_ref);
  if (former)
    former->next_ = RefPtr<TreeNode>(child, adopt_ref);
  else
    list.first_ = RefPtr<TreeNode>(child, adopt_ref);
  list.last_ = RefPtr<TreeNode>(child, adopt_ref);
  ++list.count_;
  child->parent_ = this;
  if (list.index_) list.index_->InsertAfterEqual(child);
  return child;
}

void TreeNode::AppendToName(DocBuilder& builder, const WChar* text, uint32_t length) {
  std::basic_string<WChar> whole(name_.Data(), name_.Length());
  whole.append(text, length);
  WStrBuf interned = builder.InternName(whole.data(), static_cast<uint32_t>(whole.size()));
  name_.Swap(interned);
}

RefPtr<Kelmo> TreeNode::GetParent() { return Share(parent_); }

void TreeNode::AppendChild(const RefPtr<Kelmo>& child) { InsertAtEnd(child, false); }

void TreeNode::PrependChild(const RefPtr<Kelmo>& child) { InsertAtEnd(child, true); }

void TreeNode::InsertAtEnd(const RefPtr<Kelmo>& child, bool first) {
  RefPtr<Kelmo> held(child);
  ChildList& list = EnsureChildren();
  TreeNode* node = AcceptableChild(held.get());
  if (!node) return;
  PrepareInsertion(list);
  if (first)
    LinkFirst(list, node);
  else
    LinkLast(list, node);
}

void TreeNode::InsertChildBefore(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child) {
  InsertBeside(reference, child, false);
}

void TreeNode::InsertChildAfter(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child) {
  InsertBeside(reference, child, true);
}

// Without a reference, "before" means first and "after" means last.
void TreeNode::InsertBeside(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child,
                             bool after) {
  RefPtr<Kelmo> heldReference(reference);
  RefPtr<Kelmo> held(child);
  ChildList& list = EnsureChildren();
  TreeNode* node = AcceptableChild(held.get());
  if (!node) return;
  if (!heldReference) {
    PrepareInsertion(list);
    if (after) {
      LinkLast(list, node);
    } else {
      LinkFirst(list, node);
    }
    return;
  }
  TreeNode* anchor = From(heldReference.get());
  if (!anchor || anchor->parent_ != this) return;
  PrepareInsertion(list);
  LinkBeside(list, anchor, node, after);
}

void TreeNode::RemoveChild(const RefPtr<Kelmo>& child) {
  if (!children_ || !child) return;
  RefPtr<Kelmo> held(child);
  TreeNode* node = From(held.get());
  if (!node || node->parent_ != this) return;
  Unlink(*children_, node);
}

void TreeNode::Detach() {
  TreeNode* parent = parent_;
  if (!parent || !parent->children_) return;
  RefPtr<TreeNode> self;
  self = this;
  parent->Unlink(*parent->children_, this);
}

void TreeNode::RemoveAllChildren() {
  if (!children_ || children_->count_ == 0) return;
  Spoil();
  ChildList& list = *children_;
  // Move the children out first, so that this node already reads as empty
  // to anything a dying child's value calls back into.
  ChildList taken;
  taken.first_ = std::move(list.first_);
  taken.last_ = std::move(list.last_);
  list.count_ = 0;
  if (list.index_) list.index_->Clear();
  taken.UnlinkAll();
}

RefPtr<Kelmo> TreeNode::GetElement() {
  if (!name_.IsEmpty()) return Share(this);
  return Share(FirstChild());
}

RefPtr<Kelmo> TreeNode::GetFirstChild() { return Share(FirstChild()); }

RefPtr<Kelmo> TreeNode::GetLastChild() { return Share(LastChild()); }

unsigned int TreeNode::GetChildCount() { return children_ ? children_->count_ : 0; }

RefPtr<Kelmo> TreeNode::GetPrevSibling() { return Share(prev_.get()); }

RefPtr<Kelmo> TreeNode::GetNextSibling() { return Share(next_.get()); }

RefPtr<Kelmo> TreeNode::GetPrevSameName() {
  for (TreeNode* at = prev_.get(); at; at = at->prev_.get()) {
    if (at->name_.Equals(name_)) return Share(at);
  }
  return nullptr;
}

RefPtr<Kelmo> TreeNode::GetNextSameName() {
  for (TreeNode* at = next_.get(); at; at = at->next_.get()) {
    if (at->name_.Equals(name_)) return Share(at);
  }
  return nullptr;
}

}  // namespace kelmo
