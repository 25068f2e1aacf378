// Hexadecimal character references, "&#x...;", as the writer spells them:
// lower-case digits, no more leading zeros than asked for.
#ifndef KELMO_TEXT_CHARACTER_REFERENCE_H
#define KELMO_TEXT_CHARACTER_REFERENCE_H

#include <cstdint>

namespace kelmo {

// Room for the longest reference, "&#x10ffff;", and then some.
constexpr uint32_t kCharacterReferenceSize = 12;

// Writes the reference to `c` with at least `minDigits` (1 to 6) hex digits
// into `out`, which has room for kCharacterReferenceSize units, and returns
// its length.
template <typename Unit>
uint32_t FormatCharacterReference(char32_t c, int minDigits, Unit* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  uint32_t length = 0;
  out[length++] = Unit('&');
  out[length++] = Unit('#');
  out[length++] = Unit('x');
  int shift = 20;
  while (shift >= 4 * minDigits && ((c >> shift) & 15) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) out[length++] = Unit(kHex[(c >> shift) & 15]);
  out[length++] = Unit(';');
  return length;
}

}  // namespace kelmo

#endif  // KELMO_TEXT_CHARACTER_REFERENCE_H
