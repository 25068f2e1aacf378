// Character classes and reference decoding of the XML dialect the parser reads.
#ifndef KELMO_XML_IN_XML_CHARS_H
#define KELMO_XML_IN_XML_CHARS_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

namespace xml_chars_detail {
// One bit per ASCII unit that may appear in a name.
constexpr uint64_t kNameBitsLow = (uint64_t(0x3FF) << '0') | (uint64_t(1) << ':') |
                                  (uint64_t(1) << '-') | (uint64_t(1) << '.');
constexpr uint64_t kNameBitsHigh = (uint64_t(0x3FFFFFF) << ('A' - 64)) |
                                   (uint64_t(0x3FFFFFF) << ('a' - 64)) |
                                   (uint64_t(1) << ('_' - 64));
}  // namespace xml_chars_detail

// Digits, ASCII letters, "_", ":", "-", "." and every unit above 0x7F. The
// same test serves for the first unit of a name, so names may start with a
// digit, "-" or ".".
inline bool IsNameChar(WChar c) {
  const uint16_t u = static_cast<uint16_t>(c);
  if (u >= 0x80) return true;
  if (u < 64) return (xml_chars_detail::kNameBitsLow >> u) & 1;
  return (xml_chars_detail::kNameBitsHigh >> (u - 64)) & 1;
}

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Decodes a numeric character reference: the whole reference from "&#" to
// ";" (length units, at least 3). "&#x" takes lower-case "x" only and hex
// digits of either case; otherwise decimal digits. No digits give 0. False
// for any other unit or a value beyond U+10FFFF.
bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint);

}  // namespace kelmo

#endif  // KELMO_XML_IN_XML_CHARS_H
