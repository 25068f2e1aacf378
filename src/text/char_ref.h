// Numeric character references as the parser reads them. (The characters
// a name may hold are in the public kelmo/xml_name_chars.h, which the
// convenience layer shares.)
#ifndef KELMO_TEXT_CHAR_REF_H
#define KELMO_TEXT_CHAR_REF_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Decodes a numeric character reference: the whole reference from "&#" to
// ";" (length units, at least 3). "&#x" takes lower-case "x" only and hex
// digits of either case; otherwise decimal digits. No digits give 0. False
// for any other unit or a value beyond U+10FFFF.
bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint);

}  // namespace kelmo

#endif  // KELMO_TEXT_CHAR_REF_H
