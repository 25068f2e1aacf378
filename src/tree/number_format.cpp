#include "tree/number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace kelmo {

namespace {

uint32_t Put(char* out, const char* text, uint32_t n) {
  std::memcpy(out, text, n);
  return n;
}

// The shortest decimal that reads back as the same value in its own
// precision, in plain notation: every digit of the integer part, a point
// and fraction digits only when needed, never an exponent.
template <class Real>
uint32_t FormatShortest(Real x, char* out) {
  if (std::isnan(x)) return Put(out, "nan", 3);
  if (std::isinf(x)) return x < 0 ? Put(out, "-inf", 4) : Put(out, "inf", 3);
  const std::to_chars_result result =
      std::to_chars(out, out + kMaxRealText, x, std::chars_format::fixed);
  // kMaxRealText holds the longest fixed text of any finite double.
  return result.ec == std::errc() ? static_cast<uint32_t>(result.ptr - out) : 0;
}

}  // namespace

uint32_t FormatMagnitude(bool negative, uint64_t magnitude, char* out, uint32_t room) {
  char digits[kMaxDecimalText];
  uint32_t count = 0;
  if (negative) digits[count++] = '-';
  uint32_t first = count;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  for (uint32_t i = first, j = count - 1; i < j; ++i, --j) {
    char t = digits[i];
    digits[i] = digits[j];
    digits[j] = t;
  }
  std::memcpy(out, digits, count < room ? count : room);
  return count;
}

uint32_t FormatReal(double x, char* out) { return FormatShortest(x, out); }

uint32_t FormatReal(float x, char* out) { return FormatShortest(x, out); }

}  // namespace kelmo
