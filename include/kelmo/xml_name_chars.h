// The units a name may hold: the one table of them, kept among the public
// headers because the header-only convenience layer needs it as much as the
// library. The library's syntax layer (syntax/char_classes.h) reads it for
// the parser, which reads names with it, and the writer, which refuses to
// write a name the parser would not read back as the same name; the
// convenience layer refuses such a name when it is given rather than when
// the tree is saved.
#ifndef KELMO_XML_NAME_CHARS_H
#define KELMO_XML_NAME_CHARS_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

namespace name_chars_detail {
// One bit per ASCII unit that may appear in a name.
constexpr uint64_t kNameBitsLow = (uint64_t(0x3FF) << '0') | (uint64_t(1) << ':') |
                                  (uint64_t(1) << '-') | (uint64_t(1) << '.');
constexpr uint64_t kNameBitsHigh = (uint64_t(0x3FFFFFF) << ('A' - 64)) |
                                   (uint64_t(0x3FFFFFF) << ('a' - 64)) |
                                   (uint64_t(1) << ('_' - 64));
}  // namespace name_chars_detail

// Digits, ASCII letters, "_", ":", "-", "." and every unit above 0x7F. The
// same test serves for the first unit of a name, so names may start with a
// digit, "-" or ".".
constexpr bool IsNameChar(WChar c) {
  const uint16_t u = static_cast<uint16_t>(c);
  if (u >= 0x80) return true;
  if (u < 64) return (name_chars_detail::kNameBitsLow >> u) & 1;
  return (name_chars_detail::kNameBitsHigh >> (u - 64)) & 1;
}

// A name the parser reads back as the same name: not empty, and made of
// name characters only.
inline bool IsWritableName(const WChar* units, uint32_t length) {
  if (length == 0) return false;
  for (uint32_t i = 0; i < length; ++i) {
    if (!IsNameChar(units[i])) return false;
  }
  return true;
}

}  // namespace kelmo

#endif  // KELMO_XML_NAME_CHARS_H
