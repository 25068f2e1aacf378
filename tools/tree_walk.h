// A walk over a whole tree in document order, without recursion, so that a
// document of any depth can be walked.
#ifndef KELMO_TOOLS_TREE_WALK_H
#define KELMO_TOOLS_TREE_WALK_H

#include <cstddef>

#include "kelmo/easy.hpp"

namespace kelmo_tool {

// Calls visit(node, depth) for every node below `root` (depth 0 for its
// children), parents before children, until visit returns false.
template <class Visit>
void WalkTree(const kelmo::easy::Node& root, Visit&& visit) {
  size_t depth = 0;
  kelmo::easy::Node node = root->GetFirstChild();
  while (node) {
    if (!visit(node, depth)) return;
    if (kelmo::easy::Node child = node->GetFirstChild()) {
      node = child;
      ++depth;
      continue;
    }
    while (node) {
      if (kelmo::easy::Node next = node->GetNextSibling()) {
        node = next;
        break;
      }
      kelmo::easy::Node parent = node->GetParent();
      node = parent == root ? nullptr : parent;
      if (node) --depth;
    }
  }
}

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_TREE_WALK_H
