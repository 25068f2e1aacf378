#include <algorithm>

#include "tree/tree_node.h"
#include "tree/wstr_buf.h"

namespace kelmo {
namespace {

int CompareNames(const TreeNode* node, const WChar* key, uint32_t length) {
  const WStrBuf& name = node->Name();
  return WStrBuf::Compare(name.Data(), name.Length(), key, length);
}

bool NameLess(const TreeNode* a, const TreeNode* b) {
  const WStrBuf& x = a->Name();
  const WStrBuf& y = b->Name();
  return WStrBuf::Compare(x.Data(), x.Length(), y.Data(), y.Length()) < 0;
}

}  // namespace

void NameIndex::Build(TreeNode* first, uint32_t count) {
  entries_.clear();
  entries_.reserve(count);
  for (TreeNode* child = first; child; child = child->NextSibling()) entries_.push_back(child);
  std::stable_sort(entries_.begin(), entries_.end(), NameLess);
}

void NameIndex::Reserve(size_t count) {
  if (entries_.capacity() - entries_.size() >= count) return;
  // Grow geometrically so that a run of insertions stays amortised.
  size_t wanted = entries_.size() + count;
  size_t grown = entries_.capacity() + entries_.capacity() / 2;
  entries_.reserve(wanted > grown ? wanted : grown);
}

size_t NameIndex::LowerBound(const WChar* key, uint32_t length) const {
  size_t start = 0;
  size_t count = entries_.size();
  while (count > 0) {
    size_t half = count / 2;
    if (CompareNames(entries_[start + half], key, length) < 0) {
      start += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  return start;
}

size_t NameIndex::UpperBound(const WChar* key, uint32_t length) const {
  size_t start = 0;
  size_t count = entries_.size();
  while (count > 0) {
    size_t half = count / 2;
    if (CompareNames(entries_[start + half], key, length) <= 0) {
      start += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  return start;
}

TreeNode* NameIndex::FindFirst(const WChar* key, uint32_t length, uint32_t n) const {
  size_t lower = LowerBound(key, length);
  // Compared without forming n + 1, which would wrap for the largest n.
  if (n >= entries_.size() - lower) return nullptr;
  TreeNode* candidate = entries_[lower + n];
  return CompareNames(candidate, key, length) == 0 ? candidate : nullptr;
}

TreeNode* NameIndex::FindLast(const WChar* key, uint32_t length, uint32_t n) const {
  size_t upper = UpperBound(key, length);
  if (n >= upper) return nullptr;
  TreeNode* candidate = entries_[upper - n - 1];
  return CompareNames(candidate, key, length) == 0 ? candidate : nullptr;
}

void NameIndex::InsertAt(size_t position, TreeNode* child) {
  Reserve(1);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), child);
}

void NameIndex::InsertAfterEqual(TreeNode* child) {
  const WStrBuf& name = child->Name();
  InsertAt(UpperBound(name.Data(), name.Length()), child);
}

void NameIndex::InsertBeforeEqual(TreeNode* child) {
  const WStrBuf& name = child->Name();
  InsertAt(LowerBound(name.Data(), name.Length()), child);
}

void NameIndex::InsertBeside(TreeNode* reference, TreeNode* child, bool after) {
  const WStrBuf& name = child->Name();
  if (CompareNames(reference, name.Data(), name.Length()) == 0) {
    size_t position = Locate(reference);
    if (position != entries_.size()) {
      InsertAt(after ? position + 1 : position, child);
      return;
    }
    // The reference has no entry (cannot happen while the index is kept
    // exact); fall through to placement by document order.
  }
  InsertInDocumentOrder(child);
}

void NameIndex::InsertInDocumentOrder(TreeNode* child) {
  const WStrBuf& name = child->Name();
  const size_t lower = LowerBound(name.Data(), name.Length());
  const size_t upper = UpperBound(name.Data(), name.Length());
  if (lower == upper) return InsertAt(lower, child);
  // The run of equal names must stay in document order, so the entry goes
  // beside the nearest sibling of the same name. Both directions are walked
  // in step: the walk ends at the first equal name or list end either way
  // meets, so its cost is the distance to the closer of them.
  TreeNode* before = child->PrevSibling();
  TreeNode* behind = child->NextSibling();
  while (true) {
    if (!before) return InsertAt(lower, child);
    if (!behind) return InsertAt(upper, child);
    if (before->Name().Equals(name.Data(), name.Length())) {
      const size_t position = Locate(before);
      return InsertAt(position == entries_.size() ? upper : position + 1, child);
    }
    if (behind->Name().Equals(name.Data(), name.Length())) {
      const size_t position = Locate(behind);
      return InsertAt(position == entries_.size() ? lower : position, child);
    }
    before = before->PrevSibling();
    behind = behind->NextSibling();
  }
}

size_t NameIndex::Locate(TreeNode* child) const noexcept {
  const WStrBuf& name = child->Name();
  size_t lower = LowerBound(name.Data(), name.Length());
  size_t upper = UpperBound(name.Data(), name.Length());
  for (size_t i = lower; i < upper; ++i) {
    if (entries_[i] == child) return i;
  }
  return entries_.size();
}

void NameIndex::Erase(TreeNode* child) noexcept {
  size_t position = Locate(child);
  if (position == entries_.size()) {
    // A name changed behind the index's back (the parser's in-place name
    // growth is only allowed without an index). Rather than leave a
    // dangling pointer behind, look for the entry everywhere.
    auto found = std::find(entries_.begin(), entries_.end(), child);
    if (found != entries_.end()) entries_.erase(found);
    return;
  }
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
}

}  // namespace kelmo
