// Numeric character references as the parser reads them. (The characters
// a name may hold are in the public kelmo/xml_name_chars.h, which the
// convenience layer shares.)
#ifndef KELMO_TEXT_CHAR_REF_H
#define KELMO_TEXT_CHAR_REF_H

#include <cstdint>

#include "kelmo/platform_types.h"
#include "kelmo/xml_name_chars.h"

namespace kelmo {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Decodes a numeric character reference: the whole reference from "&#" to
// ";" (length units, at least 3). "&#x" takes lower-case "x" only and hex
// digits of either case; otherwise decimal digits. No digits give 0. False
// for any other unit or a value beyond U+10FFFF.
bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint);

// The end of the run of name characters (IsNameChar) that starts at p, or
// end. A table lookup per unit: names are the parser's most common runs.
inline const WChar* NameRunEnd(const WChar* p, const WChar* end) {
  struct Table {
    bool name[128];
    constexpr Table() : name() {
      for (int u = 0; u < 128; ++u) {
        name[u] = u < 64 ? (name_chars_detail::kNameBitsLow >> u) & 1
                         : (name_chars_detail::kNameBitsHigh >> (u - 64)) & 1;
      }
    }
  };
  static constexpr Table kTable;
  while (p < end) {
    const uint16_t u = static_cast<uint16_t>(*p);
    if (u < 128 && !kTable.name[u]) break;
    ++p;
  }
  return p;
}

}  // namespace kelmo

#endif  // KELMO_TEXT_CHAR_REF_H
