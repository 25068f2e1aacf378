// A one-line picture of a parsed tree, for comparing whole trees in tables:
// name, then "#kind" when the kind is not 0, then ="value" for a String value
// (units below 0x20 as \xNN, text as UTF-8), ":bool" for a Bool, and the
// children in parentheses separated by commas.
#ifndef KELMO_TESTS_SUPPORT_TREE_OUTLINE_H
#define KELMO_TESTS_SUPPORT_TREE_OUTLINE_H

#include <string>

#include "kelmo/kelmo.h"

namespace kelmo_test {

// The node alone, without its children.
std::string Label(const kelmo::RefPtr<kelmo::Kelmo>& node);
// The children of root and everything below them (root's own label left out).
std::string Outline(const kelmo::RefPtr<kelmo::Kelmo>& root);
// UTF-16 to UTF-8, escaping units below 0x20 and lone surrogates.
std::string Printable(const std::u16string& text);

}  // namespace kelmo_test

#endif  // KELMO_TESTS_SUPPORT_TREE_OUTLINE_H
