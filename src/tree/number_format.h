// Number to text: plain decimal integers, and reals as the shortest plain
// decimal that reads back exactly. The text is ASCII; callers widen it when
// they need UTF-16.
#ifndef KELMO_TREE_NUMBER_FORMAT_H
#define KELMO_TREE_NUMBER_FORMAT_H

#include <cstdint>
#include <type_traits>

namespace kelmo {

// Longest text FormatDecimal writes: "-" and the 19 digits of the most
// negative 64-bit value, or the 20 digits of the largest unsigned one.
constexpr uint32_t kMaxDecimalText = 20;

// Longest text FormatReal writes: a sign, "0.", the 323 zeros after the
// point of the smallest subnormal magnitudes and 17 significant digits
// (longer than the 309 integer digits of the largest double).
constexpr uint32_t kMaxRealText = 1 + 2 + 323 + 17;

// Writes "-" (when negative) and the digits of the magnitude, no leading
// zeros, no "+". Returns the length of the whole text; only the first `room`
// characters are stored.
uint32_t FormatMagnitude(bool negative, uint64_t magnitude, char* out, uint32_t room);

template <class Int>
uint32_t FormatDecimal(Int value, char* out, uint32_t room) {
  static_assert(std::is_integral<Int>::value, "integers only");
  if constexpr (std::is_signed<Int>::value) {
    int64_t wide = value;
    // The magnitude of the most negative value is taken in unsigned
    // arithmetic, where it is representable.
    uint64_t magnitude = wide < 0 ? uint64_t(0) - static_cast<uint64_t>(wide)
                                  : static_cast<uint64_t>(wide);
    return FormatMagnitude(wide < 0, magnitude, out, room);
  } else {
    return FormatMagnitude(false, static_cast<uint64_t>(value), out, room);
  }
}

// Writes x as the shortest decimal text that ParseReal reads back as the
// same value in x's own precision (0.7f gives 0.7, 1.0 / 3 gives
// 0.3333333333333333), in plain notation: no exponent, the integer part in
// full (100 gives 100, 1e-10 gives 0.0000000001), a point only when there
// are fraction digits, "-0" for negative zero. Beyond the shortest digits a
// large value is padded with zeros: 1e23 gives 1 and 23 zeros, not the
// exact expansion of the nearest double. NaN is written "nan" and the
// infinities "inf" and "-inf". `out` must have room for kMaxRealText
// characters; no terminator is written. Returns the length.
uint32_t FormatReal(double x, char* out);
uint32_t FormatReal(float x, char* out);

}  // namespace kelmo

#endif  // KELMO_TREE_NUMBER_FORMAT_H
