// Character classes and reference decoding of the XML dialect the parser reads.
#ifndef KELMO_TEXT_XML_CHARS_H
#define KELMO_TEXT_XML_CHARS_H

#include <cstdint>

#include "kelmo/xml_name_chars.h"
#include "kelmo/platform_types.h"

namespace kelmo {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Decodes a numeric character reference: the whole reference from "&#" to
// ";" (length units, at least 3). "&#x" takes lower-case "x" only and hex
// digits of either case; otherwise decimal digits. No digits give 0. False
// for any other unit or a value beyond U+10FFFF.
bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint);

}  // namespace kelmo

#endif  // KELMO_TEXT_XML_CHARS_H
