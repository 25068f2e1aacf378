// Helpers shared by the node tree tests: naming nodes, reading a child list
// both ways, and the COM object that counts its references.
#ifndef KELMO_TESTS_UNIT_TREE_TEST_SUPPORT_H
#define KELMO_TESTS_UNIT_TREE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelmo/com.h"
#include "kelmo/kelmo.h"
#include "support/com_names.h"
#include "support/counting_com_object.h"
#include "support/node_text.h"
#include "tree/tree_node.h"

namespace kelmo_tree_test {

using kelmo::Kelmo;
using kelmo::TreeNode;
using kelmo::RefPtr;
using kelmo::WChar;
using kelmo_test::CountingComObject;

inline const WChar* W(const std::u16string& text) {
  return reinterpret_cast<const WChar*>(text.c_str());
}

inline RefPtr<Kelmo> Node(const std::u16string& name) {
  RefPtr<Kelmo> node = TreeNode::Make();
  node->SetNameW(W(name), static_cast<unsigned int>(name.size()));
  return node;
}

using kelmo_test::NameOf;

inline int RefCount(const RefPtr<Kelmo>& node) { return TreeNode::From(node.get())->RefCount(); }

// The children's names joined by commas, read along the next links. The
// walk back along the previous links, the parent pointers, the first and
// last entries and the count must all agree with it, or the test fails.
inline std::u16string ChildNames(const RefPtr<Kelmo>& parent) {
  std::vector<RefPtr<Kelmo>> forward;
  for (RefPtr<Kelmo> at = parent->GetFirstChild(); at; at = at->GetNextSibling()) {
    EXPECT_EQ(parent, at->GetParent()) << "parent pointer of " << forward.size();
    forward.push_back(at);
  }
  std::vector<RefPtr<Kelmo>> backward;
  for (RefPtr<Kelmo> at = parent->GetLastChild(); at; at = at->GetPrevSibling()) {
    backward.insert(backward.begin(), at);
  }
  EXPECT_EQ(forward, backward) << "previous links disagree with next links";
  EXPECT_EQ(forward.size(), parent->GetChildCount());
  if (!forward.empty()) {
    EXPECT_FALSE(forward.front()->GetPrevSibling());
    EXPECT_FALSE(forward.back()->GetNextSibling());
  }
  std::u16string names;
  for (const RefPtr<Kelmo>& child : forward) {
    if (!names.empty()) names += u",";
    names += NameOf(child);
  }
  return names;
}

// A free-standing node: no parent and no siblings.
inline void ExpectFreeStanding(const RefPtr<Kelmo>& node) {
  EXPECT_FALSE(node->GetParent());
  EXPECT_FALSE(node->GetPrevSibling());
  EXPECT_FALSE(node->GetNextSibling());
}

}  // namespace kelmo_tree_test

#endif  // KELMO_TESTS_UNIT_TREE_TEST_SUPPORT_H
