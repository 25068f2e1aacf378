// Random edits on parsed trees, shared by the tree_edit fuzz target and the
// unit test that replays scripts. A session holds a few nodes; each script
// byte picks an operation (insert, remove, detach, rename, set a value,
// clone, name index on and off, let a handle go, ...) on them, and after
// every step the trees of all held nodes must be sound: links in both
// directions agree with the parent pointers and the counts, name indexes
// hold exactly the children in name order, and every held node still reads
// back the name and value it was last given (parsed trees share read-only
// name texts, so a change to one node must never show through another).
#ifndef KELMO_FUZZ_TREE_EDIT_SESSION_H
#define KELMO_FUZZ_TREE_EDIT_SESSION_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "api/kelmo_parser_impl.h"
#include "finding.h"
#include "fuzz_text.h"
#include "tree/child_list.h"
#include "tree/doc_memory.h"
#include "tree/tree_node.h"
#include "tree/name_index.h"

namespace kelmo_fuzz {
namespace tree_edit {

using kelmo::Kelmo;
using kelmo::TreeNode;
using kelmo::RefPtr;
using kelmo::WChar;

constexpr size_t kMaxHeld = 12;
constexpr size_t kMaxSteps = 4096;
// Walks give up after this many nodes: a cycle would otherwise never end.
constexpr size_t kMaxNodes = 1u << 20;

inline const WChar* W(const std::u16string& text) { return reinterpret_cast<const WChar*>(text.data()); }
inline unsigned int Size(const std::u16string& text) { return static_cast<unsigned int>(text.size()); }

inline std::u16string NameOf(TreeNode& node) {
  return std::u16string(reinterpret_cast<const char16_t*>(node.Name().Data()),
                        node.Name().Length());
}

struct Expected {
  std::u16string name;
  bool knowsValue = false;
  std::u16string value;
};

class Session {
 public:
  explicit Session(const std::u16string& document) : document_(document) {}

  void Run(const uint8_t* script, size_t size) {
    Push(ParseDocument());
    for (size_t step = 0; size > 0 && step < kMaxSteps; ++step) {
      Apply(TakeByte(script, size), script, size);
      CheckAll();
    }
  }

 private:
  RefPtr<Kelmo> ParseDocument() {
    RefPtr<kelmo::KelmoParserImpl> parser(new kelmo::KelmoParserImpl, kelmo::adopt_ref);
    parser->ParseStringW(W(document_), Size(document_));
    // A partial tree from a failed parse is edited as well.
    return parser->DetachRoot();
  }

  static TreeNode* Impl(const RefPtr<Kelmo>& node) { return TreeNode::From(node.get()); }

  void Push(const RefPtr<Kelmo>& node) {
    if (!node) return;
    if (held_.size() == kMaxHeld) Drop(0);
    held_.push_back(node);
    Remember(*Impl(node));
  }

  void Drop(size_t i) {
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
    std::map<TreeNode*, Expected> kept;
    for (const RefPtr<Kelmo>& node : held_) kept[Impl(node)] = expected_[Impl(node)];
    expected_.swap(kept);
  }

  void Remember(TreeNode& node) {
    Expected e;
    e.name = NameOf(node);
    if (node.Type() == kelmo::ValueType::String) {
      e.knowsValue = true;
      e.value.assign(reinterpret_cast<const char16_t*>(node.StringUnits().data),
                     node.StringUnits().length);
    }
    expected_[&node] = e;
  }

  RefPtr<Kelmo>& Held(uint8_t choice) { return held_[choice % held_.size()]; }

  std::u16string NameFrom(uint8_t choice) const {
    static const char16_t* const kNames[] = {u"", u"a", u"b", u"item", u"id", u"r"};
    constexpr size_t kCount = sizeof(kNames) / sizeof(kNames[0]);
    if (choice % 8 < kCount) return kNames[choice % 8];
    // A piece of the document, so that names of any text turn up.
    return Piece(choice);
  }

  std::u16string Piece(uint8_t choice) const {
    if (document_.empty()) return u"";
    const size_t from = (choice * 7u) % document_.size();
    return document_.substr(from, choice % 13);
  }

  // A child of `parent` picked by number, or null.
  static RefPtr<Kelmo> ChildAt(const RefPtr<Kelmo>& parent, uint8_t choice) {
    const unsigned int count = parent->GetChildCount();
    if (count == 0) return nullptr;
    RefPtr<Kelmo> at = parent->GetFirstChild();
    for (unsigned int i = choice % count; i > 0 && at; --i) at = at->GetNextSibling();
    return at;
  }

  void Apply(uint8_t op, const uint8_t*& script, size_t& size) {
    if (held_.empty()) {
      Push(op & 1 ? ParseDocument() : TreeNode::Make());
      return;
    }
    const uint8_t a = TakeByte(script, size);
    const uint8_t b = TakeByte(script, size);
    RefPtr<Kelmo> target = Held(a);
    RefPtr<Kelmo> other = Held(b);
    switch (op % 18) {
      case 0: Push(ChildAt(target, b)); break;
      case 1: Push(target->GetParent()); break;
      case 2: Push(b & 1 ? target->GetNextSibling() : target->GetPrevSibling()); break;
      case 3: target->AppendChild(other); break;
      case 4: target->PrependChild(other); break;
      case 5: target->InsertChildBefore(ChildAt(target, b >> 4), other); break;
      case 6: target->InsertChildAfter(ChildAt(target, b >> 4), other); break;
      case 7: target->RemoveChild(other); break;
      case 8: other->Detach(); break;
      case 9: target->RemoveAllChildren(); break;
      case 10: {
        const std::u16string name = NameFrom(b);
        target->SetNameW(W(name), Size(name));
        expected_[Impl(target)].name = name;
        break;
      }
      case 11: {
        // Narrow names of plain letters convert exactly.
        const std::string name = b & 1 ? "item" : "a";
        target->SetNameA(name.c_str(), static_cast<unsigned int>(name.size()), 65001);
        expected_[Impl(target)].name.assign(name.begin(), name.end());
        break;
      }
      case 12: {
        const std::u16string value = Piece(b);
        target->SetStringW(W(value), Size(value));
        Expected& e = expected_[Impl(target)];
        e.knowsValue = true;
        e.value = value;
        break;
      }
      case 13: {
        if (b & 1)
          target->SetInt(b);
        else
          target->SetEmpty();
        expected_[Impl(target)].knowsValue = false;
        break;
      }
      case 14: Push(target->Clone()); break;
      case 15:
        if (target->HasNameIndex())
          target->DropNameIndex();
        else
          target->BuildNameIndex();
        break;
      case 16: Drop(a % held_.size()); break;
      default: Push(b & 1 ? ParseDocument() : target->CreateNode()); break;
    }
  }

  void CheckAll() {
    for (const RefPtr<Kelmo>& node : held_) {
      TreeNode* impl = Impl(node);
      const Expected& e = expected_[impl];
      Require(NameOf(*impl) == e.name, "a held node's name changed behind its back");
      if (e.knowsValue) {
        Require(impl->Type() == kelmo::ValueType::String, "a held node lost its String value");
        const kelmo::TreeNode::Units value = impl->StringUnits();
        Require(std::u16string(reinterpret_cast<const char16_t*>(value.data), value.length) ==
                    e.value,
                "a held node's value changed behind its back");
      }
      TreeNode* top = impl;
      for (size_t up = 0; top->Parent(); ++up) {
        Require(up < kMaxNodes, "parent links form a cycle");
        top = top->Parent();
      }
      CheckTree(top);
    }
  }

  // Pre-order over the whole tree, checking each node's child list.
  static void CheckTree(TreeNode* root) {
    Require(!root->PrevSibling() && !root->NextSibling(), "a node without parent has siblings");
    TreeNode* node = root;
    size_t visited = 0;
    while (node) {
      Require(++visited < kMaxNodes, "the tree walk does not end");
      CheckChildren(node);
      if (TreeNode* child = node->FirstChild()) {
        node = child;
        continue;
      }
      while (node != root && !node->NextSibling()) node = node->Parent();
      node = node == root ? nullptr : node->NextSibling();
    }
  }

  static void CheckChildren(TreeNode* parent) {
    kelmo::ChildList* list = parent->Children();
    if (!list) return;
    uint32_t count = 0;
    TreeNode* previous = nullptr;
    std::map<TreeNode*, int> members;
    for (TreeNode* child = list->First(); child; child = child->NextSibling()) {
      Require(++count <= list->Count(), "more children along the links than counted");
      Require(child->Parent() == parent, "a child's parent pointer is wrong");
      Require(child->PrevSibling() == previous, "previous link disagrees with next link");
      Require(child->RefCount() >= 1, "a linked child has no reference");
      members[child] = 0;
      previous = child;
    }
    Require(count == list->Count(), "fewer children along the links than counted");
    Require(list->Last() == previous, "last entry is not the last child");
    kelmo::NameIndex* index = list->Index();
    if (!index) return;
    Require(index->Size() == count, "name index size differs from the child count");
    for (size_t i = 0; i < index->Size(); ++i) {
      TreeNode* entry = index->At(i);
      auto member = members.find(entry);
      Require(member != members.end(), "name index holds a node that is not a child");
      Require(++member->second == 1, "name index holds a child twice");
      if (i > 0) {
        const kelmo::WStrBuf& x = index->At(i - 1)->Name();
        const kelmo::WStrBuf& y = entry->Name();
        Require(kelmo::WStrBuf::Compare(x.Data(), x.Length(), y.Data(), y.Length()) <= 0,
                "name index out of order");
      }
    }
  }

  std::u16string document_;
  std::vector<RefPtr<Kelmo>> held_;
  std::map<TreeNode*, Expected> expected_;
};

}  // namespace tree_edit
}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_TREE_EDIT_SESSION_H
