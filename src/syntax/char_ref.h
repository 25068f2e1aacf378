// Character and entity references: the numeric references as the parser
// reads them and the writer spells them, and the five named entities, which
// the parser resolves and the writer writes for the markup characters.
#ifndef KELMO_SYNTAX_CHAR_REF_H
#define KELMO_SYNTAX_CHAR_REF_H

#include <cstdint>
#include <iterator>

#include "kelmo/platform_types.h"

namespace kelmo::syntax {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Decodes a numeric character reference: the whole reference from "&#" to
// ";" (length units, at least 3). "&#x" takes lower-case "x" only and hex
// digits of either case; otherwise decimal digits. No digits give 0. False
// for any other unit or a value beyond U+10FFFF. Takes UTF-16 units or
// UTF-8 bytes (the digits are ASCII either way).
bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint);
// (A template, so that a null pointer still means the UTF-16 form; made for
// char only.)
template <class Byte>
bool DecodeCharRef(const Byte* reference, uint32_t length, uint32_t& codePoint);

// Room for the longest reference, "&#x10ffff;", and then some.
constexpr uint32_t kCharacterReferenceSize = 12;

inline constexpr char kLowerHexDigits[] = "0123456789abcdef";

// Writes the hexadecimal reference to `c`, "&#x...;", with lower-case digits
// and at least `minDigits` (1 to 6) of them, into `out`, which has room for
// kCharacterReferenceSize units, and returns its length. constexpr, so that
// the writer can build its table of escaped ASCII units at compile time.
template <typename Unit>
constexpr uint32_t FormatCharacterReference(char32_t c, int minDigits, Unit* out) {
  uint32_t length = 0;
  out[length++] = Unit('&');
  out[length++] = Unit('#');
  out[length++] = Unit('x');
  int shift = 20;
  while (shift >= 4 * minDigits && ((c >> shift) & 15) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) out[length++] = Unit(kLowerHexDigits[(c >> shift) & 15]);
  out[length++] = Unit(';');
  return length;
}

// The named entities: each of the five markup characters and the reference
// that stands for it, from "&" to ";".
struct NamedEntity {
  char character;
  const char* reference;
  uint32_t length;
};
inline constexpr NamedEntity kNamedEntities[] = {
    {'&', "&amp;", 5}, {'<', "&lt;", 4}, {'>', "&gt;", 4}, {'"', "&quot;", 6}, {'\'', "&apos;", 6},
};

// The place in kNamedEntities of the entity that stands for the unit, or -1
// when it is not one of the five markup characters: an index rather than a
// pointer, so that tables built at compile time can use it even where the
// sanitizers make a pointer's comparison with null no constant expression.
constexpr int EntityIndexFor(uint32_t unit) {
  for (int k = 0; k < static_cast<int>(std::size(kNamedEntities)); ++k) {
    if (unit == static_cast<unsigned char>(kNamedEntities[k].character)) return k;
  }
  return -1;
}
// The entity itself, or nullptr.
constexpr const NamedEntity* EntityFor(uint32_t unit) {
  const int k = EntityIndexFor(unit);
  return k < 0 ? nullptr : &kNamedEntities[k];
}

// The character a named reference (the whole reference, "&" to ";") stands
// for, or nullptr when it names none of the five.
template <typename Unit>
const NamedEntity* ResolveNamedEntity(const Unit* reference, uint32_t length) {
  for (const NamedEntity& entity : kNamedEntities) {
    if (length != entity.length) continue;
    uint32_t i = 0;
    while (i < length && reference[i] == static_cast<Unit>(entity.reference[i])) ++i;
    if (i == length) return &entity;
  }
  return nullptr;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_CHAR_REF_H
