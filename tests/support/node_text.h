// A node's name and String value as UTF-16, read through the node interface
// alone, so that internal units and host-style tests both can use it.
#ifndef KELMO_TESTS_SUPPORT_NODE_TEXT_H
#define KELMO_TESTS_SUPPORT_NODE_TEXT_H

#include <string>

#include "kelmo/kelmo.h"

namespace kelmo_test {

// "<none>" for a null node or one that gives no text.
inline std::u16string NameOf(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  const kelmo::WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  if (!node || !node->GetNameW(text, length, holder)) return u"<none>";
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string StringOf(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  const kelmo::WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  if (!node || !node->GetStringW(text, length, holder)) return u"<none>";
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace kelmo_test

#endif  // KELMO_TESTS_SUPPORT_NODE_TEXT_H
