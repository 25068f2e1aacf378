// A node tree flattened into pre-order records (depth, name, kind, value as
// text), so that trees can be compared and described without recursion: a
// pre-order listing with depths determines the tree, and walking it needs no
// stack however deep the document nests.
#ifndef KELMO_FUZZ_TREE_SNAPSHOT_H
#define KELMO_FUZZ_TREE_SNAPSHOT_H

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "kelmo/xml_name_chars.h"
#include "syntax/char_classes.h"
#include "syntax/char_ref.h"
#include "tree/tree_node.h"

namespace kelmo_fuzz {

using kelmo::TreeNode;
using kelmo::WChar;

struct NodeRecord {
  uint32_t depth = 0;
  std::u16string name;
  int kind = 0;
  // False when the value has no text form (Empty, shared pointers, COM).
  bool hasText = false;
  std::u16string text;
};

using TreeSnapshot = std::vector<NodeRecord>;

inline NodeRecord RecordOf(TreeNode& node, uint32_t depth) {
  NodeRecord record;
  record.depth = depth;
  record.name.assign(reinterpret_cast<const char16_t*>(node.Name().Data()), node.Name().Length());
  record.kind = node.Kind();
  const WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  record.hasText = node.GetStringW(text, length, holder);
  if (record.hasText) record.text.assign(reinterpret_cast<const char16_t*>(text), length);
  return record;
}

// Pre-order walk over the raw links: first child, next sibling, and the
// parent link to climb back up.
inline TreeSnapshot Snapshot(TreeNode* root) {
  TreeSnapshot nodes;
  if (!root) return nodes;
  TreeNode* node = root;
  uint32_t depth = 0;
  while (node) {
    nodes.push_back(RecordOf(*node, depth));
    if (TreeNode* child = node->FirstChild()) {
      node = child;
      ++depth;
      continue;
    }
    while (node != root && !node->NextSibling()) {
      node = node->Parent();
      --depth;
    }
    node = node == root ? nullptr : node->NextSibling();
  }
  return nodes;
}

inline std::string Describe(const NodeRecord& r) {
  std::string out = "depth " + std::to_string(r.depth) + " <" + Printable(r.name) + "> kind " +
                    std::to_string(r.kind);
  out += r.hasText ? " text \"" + Printable(r.text) + "\"" : " no text";
  return out;
}

// Empty when equal, otherwise the first difference.
inline std::string CompareSnapshots(const TreeSnapshot& expected, const TreeSnapshot& actual) {
  const size_t n = expected.size() < actual.size() ? expected.size() : actual.size();
  for (size_t i = 0; i < n; ++i) {
    const NodeRecord& a = expected[i];
    const NodeRecord& b = actual[i];
    if (a.depth != b.depth || a.name != b.name || a.kind != b.kind || a.hasText != b.hasText ||
        a.text != b.text) {
      return "node " + std::to_string(i) + ": expected " + Describe(a) + ", got " + Describe(b);
    }
  }
  if (expected.size() != actual.size()) {
    return "expected " + std::to_string(expected.size()) + " nodes, got " +
           std::to_string(actual.size());
  }
  return std::string();
}

// What every tree that the parser builds looks like: a nameless root of
// kind 0 or 1 at depth 0 only; every other node named by name characters,
// of kind 0, 1 or 2; attributes hold String values, have no children and
// come before their element's other children. Empty when all holds.
inline std::string CheckParserShape(TreeNode* root) {
  if (!root) return "no root";
  if (!root->Name().IsEmpty()) return "the root has a name";
  if (root->Parent()) return "the root has a parent";
  if (root->Kind() != 0 && root->Kind() != 1) return "the root has kind " + std::to_string(root->Kind());
  TreeNode* node = root;
  while (node) {
    bool contentSeen = false;
    uint32_t count = 0;
    for (TreeNode* child = node->FirstChild(); child; child = child->NextSibling()) {
      ++count;
      if (child->Parent() != node) return "a child's parent link is wrong";
      const int kind = child->Kind();
      if (kind < 0 || kind > 2) return "a node has kind " + std::to_string(kind);
      const kelmo::WStrBuf& name = child->Name();
      if (name.IsEmpty()) return "an element without a name";
      for (uint32_t i = 0; i < name.Length(); ++i) {
        if (!kelmo::IsNameChar(name.Data()[i])) return "a name holds a non-name character";
      }
      if (kind == 2) {
        if (contentSeen) return "an attribute after content";
        if (child->Type() != kelmo::ValueType::String) return "an attribute without a String";
        if (child->FirstChild()) return "an attribute with children";
      } else {
        contentSeen = true;
      }
    }
    if (count != node->GetChildCount()) return "child count disagrees with the list";
    if (TreeNode* child = node->FirstChild()) {
      node = child;
      continue;
    }
    while (node != root && !node->NextSibling()) node = node->Parent();
    node = node == root ? nullptr : node->NextSibling();
  }
  return std::string();
}

}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_TREE_SNAPSHOT_H
