// Walking and changing a tree node by node: range-for over the element
// children or the attributes of a node, removal, and attribute values in one
// line with a default.
#ifndef KELMO_EASY_NODES_HPP
#define KELMO_EASY_NODES_HPP

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kelmo/easy/path.hpp"
#include "kelmo/easy/values.hpp"

namespace kelmo {
namespace easy {

// The children of one node of one sort, in order: for (Node item : Children(list)).
// The next node is found before the body runs, so the body may remove the
// node it is given and the walk goes on.
class ChildRange {
 public:
  enum class Sort { Elements, Attributes };

  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Node;
    using difference_type = std::ptrdiff_t;
    using pointer = const Node*;
    using reference = const Node&;

    Iterator() = default;
    Iterator(Node node, Sort sort) : node_(std::move(node)), sort_(sort) { Settle(); }

    const Node& operator*() const { return node_; }
    const Node* operator->() const { return &node_; }
    Iterator& operator++() {
      node_ = std::move(next_);
      Settle();
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& other) const { return node_.get() == other.node_.get(); }
    bool operator!=(const Iterator& other) const { return !(*this == other); }

   private:
    // Moves on to the next node of the wanted sort.
    void Settle() {
      while (node_ && (KindOf(node_) == NodeKind::Attribute) != (sort_ == Sort::Attributes))
        node_ = node_->GetNextSibling();
      next_ = node_ ? node_->GetNextSibling() : nullptr;
    }

    Node node_;
    Node next_;
    Sort sort_ = Sort::Elements;
  };

  ChildRange(const Node& parent, Sort sort) : parent_(parent), sort_(sort) {}
  Iterator begin() const { return Iterator(parent_ ? parent_->GetFirstChild() : nullptr, sort_); }
  Iterator end() const { return Iterator(); }

 private:
  Node parent_;
  Sort sort_;
};

// The element (and CDATA) children of a node; attributes, which the tree
// keeps as children too, are left out (see Attributes).
inline ChildRange Children(const Node& node) { return ChildRange(node, ChildRange::Sort::Elements); }

// The attributes of a node.
inline ChildRange Attributes(const Node& node) {
  return ChildRange(node, ChildRange::Sort::Attributes);
}

namespace detail {
inline Node NewSibling(const Node& sibling, std::string_view name, bool after, std::string* error) {
  auto fail = [&](std::string message) -> Node {
    if (error) *error = std::move(message);
    return nullptr;
  };
  Node parent = sibling ? sibling->GetParent() : nullptr;
  if (!parent) return fail("the node has no parent to insert into");
  const std::u16string wide = ToUtf16(name);
  if (!IsWritableName(AsWide(wide), static_cast<uint32_t>(wide.size())))
    return fail("\"" + std::string(name) +
                "\" is not a valid name: a name holds only letters, digits, "
                "non-ASCII characters and _ : - .");
  Node child = sibling->CreateNode();
  child->SetNameW(AsWide(wide), static_cast<unsigned int>(wide.size()));
  if (after) {
    parent->InsertChildAfter(sibling, child);
  } else {
    parent->InsertChildBefore(sibling, child);
  }
  return child;
}
}  // namespace detail

// A new element named `name` just before or just after `sibling`; null, and
// the reason in *error, when the sibling has no parent or the name is not a
// valid name.
inline Node InsertBefore(const Node& sibling, std::string_view name, std::string* error = nullptr) {
  return detail::NewSibling(sibling, name, false, error);
}

inline Node InsertAfter(const Node& sibling, std::string_view name, std::string* error = nullptr) {
  return detail::NewSibling(sibling, name, true, error);
}

// Takes the node out of its tree; false for a null node.
inline bool Remove(const Node& node) {
  if (!node) return false;
  node->Detach();
  return true;
}

// Removes the node at the path; false when there is none.
inline bool Remove(const Node& from, std::string_view path) { return Remove(Find(from, path)); }

// The attribute's value as T, or `fallback` when the attribute is missing
// or does not convert: GetAttribute(server, "port", 8080).
template <class T, class Fallback>
T GetAttribute(const Node& node, std::string_view name, Fallback&& fallback) {
  std::optional<Path> path = Path::Parse("@" + std::string(name));
  std::optional<T> value = path ? ValueOf<T>(Find(node, *path)) : std::nullopt;
  return value ? *value : T(std::forward<Fallback>(fallback));
}

// Stores the attribute, creating it after the node's other attributes when
// it is missing. False for a null node or a name that is not a plain name.
template <class T>
bool SetAttribute(const Node& node, std::string_view name, T&& value) {
  if (name.empty() || name.find_first_of("/[]@") != std::string_view::npos) return false;
  return Set(node, "@" + std::string(name), std::forward<T>(value));
}

}  // namespace easy
}  // namespace kelmo

#endif  // KELMO_EASY_NODES_HPP
