// Conversion of a stored number to the type a getter asks for: the plain
// value conversion of the language, with every case that the language leaves
// undefined given a fixed result.
#ifndef KELMO_TREE_NUMERIC_CAST_H
#define KELMO_TREE_NUMERIC_CAST_H

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace kelmo {

// Truncates toward zero and keeps the low 64 bits of the exact integer, so
// that a real converts to an integer the same way a wider integer does: for
// every value that fits the target this is the truncated value itself, and
// values beyond any 64-bit range wrap instead of being undefined. NaN and the
// infinities give 0.
inline uint64_t TruncateToLow64(double x) {
  if (!std::isfinite(x)) return 0;
  double whole = std::trunc(x);
  // fmod is exact; the remainder's magnitude is an integer below 2^64.
  double remainder = std::fabs(std::fmod(whole, 18446744073709551616.0));
  uint64_t low = static_cast<uint64_t>(remainder);
  return whole < 0 ? uint64_t(0) - low : low;
}

// To from From, both arithmetic types (bool counts as the unsigned byte it
// is stored as).
//  - integer to integer: sign or zero extension, then the low bits;
//  - real to integer: truncation toward zero, then the low bits (see
//    TruncateToLow64). Within range this equals going through a signed 32-bit
//    intermediate for signed targets up to 32 bits and a signed 64-bit one
//    for the others;
//  - integer to real, real to real: rounded to nearest by the language.
template <class To, class From>
To NumericCast(From value) {
  static_assert(std::is_arithmetic<To>::value && std::is_arithmetic<From>::value,
                "numbers only");
  if constexpr (std::is_same<To, bool>::value) {
    return NumericCast<unsigned char>(value) != 0;
  } else if constexpr (std::is_same<From, bool>::value) {
    return static_cast<To>(static_cast<unsigned char>(value));
  } else if constexpr (std::is_integral<To>::value && std::is_floating_point<From>::value) {
    using Unsigned = std::make_unsigned_t<To>;
    return static_cast<To>(static_cast<Unsigned>(TruncateToLow64(static_cast<double>(value))));
  } else if constexpr (std::is_integral<To>::value) {
    // Unsigned wrap-around is defined; the final narrowing to a signed type
    // keeps the low bits (two's complement) on every supported compiler.
    using Unsigned = std::make_unsigned_t<To>;
    return static_cast<To>(static_cast<Unsigned>(value));
  } else {
    // Real targets: exact or rounded to nearest; values beyond a float's range
    // become infinities under IEEE arithmetic.
    return static_cast<To>(value);
  }
}

}  // namespace kelmo

#endif  // KELMO_TREE_NUMERIC_CAST_H
