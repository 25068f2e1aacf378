// A node's name and String value as UTF-16, read through the node interface
// alone, so that internal units and host-style tests both can use it.
#ifndef KELMO_TESTS_SUPPORT_NODE_TEXT_H
#define KELMO_TESTS_SUPPORT_NODE_TEXT_H

#include <string>

#include "kelmo/kelmo.h"

namespace kelmo_test {

// read(node, text, length, holder) is GetNameW or GetStringW; "<none>" for a
// null node or one that gives no text.
template <class Read>
std::u16string TextOf(const kelmo::RefPtr<kelmo::Kelmo>& node, Read read) {
  const kelmo::WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  if (!node || !read(*node, text, length, holder)) return u"<none>";
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string NameOf(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  return TextOf(node, [](kelmo::Kelmo& n, auto&... out) { return n.GetNameW(out...); });
}
inline std::u16string StringOf(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  return TextOf(node, [](kelmo::Kelmo& n, auto&... out) { return n.GetStringW(out...); });
}

// The kind that a node reads back with after it was written: a CDATA value
// that no section can carry (one holding "]]>", a carriage return or a
// surrogate half outside a pair) is written as escaped text and reads back
// as an element.
inline char KindAfterWriting(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  const char kind = node->GetKind();
  if (kind != 1) return kind;
  const std::u16string text = StringOf(node);
  bool noSection = text.find(u"]]>") != std::u16string::npos;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] < 0xD800 || text[k] > 0xDFFF) continue;
    const bool paired =
        text[k] <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] <= 0xDFFF;
    noSection |= !paired;
    k += paired;
  }
  return noSection ? 0 : kind;
}

}  // namespace kelmo_test

#endif  // KELMO_TESTS_SUPPORT_NODE_TEXT_H
