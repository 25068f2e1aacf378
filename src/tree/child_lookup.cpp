// The node's lookups of children by name: a walk along the sibling links,
// or a binary search when the children carry a name index (name_index.h),
// and the operations that build and drop that index.
#include <cstdint>

#include "tree/tree_node.h"
#include "tree/wstr_buf.h"

namespace kelmo {
TreeNode* TreeNode::FindByName(const WChar* key, uint32_t length, uint32_t occurrence,
                                 bool fromLast) const {
  if (!children_) return nullptr;
  if (const NameIndex* index = children_->Index()) {
    return fromLast ? index->FindLast(key, length, occurrence)
                    : index->FindFirst(key, length, occurrence);
  }
  uint32_t seen = 0;
  for (TreeNode* child = fromLast ? children_->Last() : children_->First(); child;
       child = fromLast ? child->prev_.get() : child->next_.get()) {
    if (!child->name_.EqualsResolved(key, length)) continue;
    if (seen == occurrence) return child;
    ++seen;
  }
  return nullptr;
}

RefPtr<Kelmo> TreeNode::FindChildW(const WChar* name, unsigned int length,
                                    unsigned int occurrence) {
  if (!children_) return nullptr;
  return Share(FindByName(name, text::ResolveLength(name, length), occurrence, false));
}

RefPtr<Kelmo> TreeNode::FindLastChildW(const WChar* name, unsigned int length,
                                        unsigned int occurrence) {
  if (!children_) return nullptr;
  return Share(FindByName(name, text::ResolveLength(name, length), occurrence, true));
}

RefPtr<Kelmo> TreeNode::FindChildA(const char* name, unsigned int length, unsigned int codePage,
                                    unsigned int occurrence) {
  if (!children_) return nullptr;
  WStrBuf key;
  if (!WStrBuf::FromNarrow(key, name, length, codePage)) return nullptr;
  return Share(FindByName(key.Data(), key.Length(), occurrence, false));
}

RefPtr<Kelmo> TreeNode::FindLastChildA(const char* name, unsigned int length,
                                        unsigned int codePage, unsigned int occurrence) {
  if (!children_) return nullptr;
  WStrBuf key;
  if (!WStrBuf::FromNarrow(key, name, length, codePage)) return nullptr;
  return Share(FindByName(key.Data(), key.Length(), occurrence, true));
}

bool TreeNode::HasNameIndex() { return children_ && children_->Index(); }

void TreeNode::BuildNameIndex() {
  Spoil();
  ChildList& list = EnsureChildren();
  if (list.index_) return;
  std::unique_ptr<NameIndex> index(new NameIndex);
  index->Build(list.first_.get(), list.count_);
  list.index_ = std::move(index);
}

void TreeNode::DropNameIndex() {
  if (children_) children_->index_.reset();
}

}  // namespace kelmo
