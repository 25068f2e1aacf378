// The shape both readers are brought to for comparison: a document as a
// pre-order list of nodes with their depth, in the library's mapping (the
// document is a nameless root, attributes are children of kind 2 ahead of
// the element's other children, an element's value is text, a CDATA
// element has kind 1). Within an element's attributes, namespace
// declarations come first; the other reader keeps them apart from the
// attributes, so only their order among themselves can be compared.
#ifndef KELMO_TESTS_DIFF_CONFORMANCE_TREE_H
#define KELMO_TESTS_DIFF_CONFORMANCE_TREE_H

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "support/utf8_reference.h"

namespace kelmo_diff {

struct ConformanceNode {
  uint32_t depth = 0;
  std::u16string name;
  int kind = 0;  // 0 element, 1 CDATA element, 2 attribute
  bool hasText = false;
  std::u16string text;
};

using ConformanceTree = std::vector<ConformanceNode>;

bool IsNamespaceDeclaration(const std::u16string& attributeName);

// What this library reads from the bytes (ParseBuffer).
struct LibraryReading {
  bool ok = false;
  unsigned error = 0;
  unsigned line = 0;
  unsigned column = 0;
  ConformanceTree tree;
};

LibraryReading ReadWithLibrary(const std::string& bytes);

using kelmo_test::Utf16Of;
using kelmo_test::Utf8Of;
// ASCII as it is, everything else as \uXXXX: for failure messages.
using kelmo_fuzz::Printable;

}  // namespace kelmo_diff

#endif  // KELMO_TESTS_DIFF_CONFORMANCE_TREE_H
