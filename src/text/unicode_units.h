// UTF-16 facts shared by the codecs.
#ifndef KELMO_TEXT_UNICODE_UNITS_H
#define KELMO_TEXT_UNICODE_UNITS_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo::text {

constexpr char16_t kReplacementCharacter = 0xFFFD;

inline bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// True when in[i] starts a well-formed surrogate pair.
inline bool StartsSurrogatePair(const WChar* in, size_t size, size_t i) {
  return IsHighSurrogate(static_cast<char16_t>(in[i])) && i + 1 < size &&
         IsLowSurrogate(static_cast<char16_t>(in[i + 1]));
}

inline uint32_t CombineSurrogates(uint32_t high, uint32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// The code point that starts at in[i], moving i past it: a well-formed pair
// is one code point, an unpaired half stands for itself.
template <typename Unit>
inline char32_t NextCodePoint(const Unit* in, size_t size, size_t& i) {
  const uint32_t unit = static_cast<char16_t>(in[i]);
  if (IsHighSurrogate(unit) && i + 1 < size && IsLowSurrogate(static_cast<char16_t>(in[i + 1]))) {
    i += 2;
    return CombineSurrogates(unit, static_cast<char16_t>(in[i - 1]));
  }
  ++i;
  return unit;
}

// The two halves of a code point from U+10000 to U+10FFFF.
inline WChar HighSurrogateOf(uint32_t codePoint) {
  return static_cast<WChar>(0xD800 + ((codePoint - 0x10000) >> 10));
}
inline WChar LowSurrogateOf(uint32_t codePoint) {
  return static_cast<WChar>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
}

}  // namespace kelmo::text

#endif  // KELMO_TEXT_UNICODE_UNITS_H
