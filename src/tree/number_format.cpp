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
// and fraction digits only when needed, never an exponent. The digits come
// from the shortest scientific form: the fixed form of the standard
// converter is the shortest in characters, not in significant digits, and
// so writes the exact expansion of a large value (99999999999999991611392
// for 1e23) where zeros after the shortest digits read back as well.
template <class Real>
uint32_t FormatShortest(Real x, char* out) {
  if (std::isnan(x)) return Put(out, "nan", 3);
  if (std::isinf(x)) return x < 0 ? Put(out, "-inf", 4) : Put(out, "inf", 3);
  // d.ddde[+-]xxx: a sign, at most 17 digits, a point and a 3-digit exponent.
  char scientific[32];
  const std::to_chars_result result = std::to_chars(
      scientific, scientific + sizeof scientific, x, std::chars_format::scientific);
  if (result.ec != std::errc()) return 0;
  const char* p = scientific;
  uint32_t n = 0;
  if (*p == '-') out[n++] = *p++;
  char digits[20];
  uint32_t count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  int exponent = 0;
  std::from_chars(p[1] == '+' ? p + 2 : p + 1, result.ptr, exponent);
  if (digits[0] == '0') return Put(out + n, "0", 1) + n;  // zero has no exponent
  if (exponent < 0) {
    // 0.000ddd
    out[n++] = '0';
    out[n++] = '.';
    for (int i = -1; i > exponent; --i) out[n++] = '0';
    return Put(out + n, digits, count) + n;
  }
  const uint32_t whole = static_cast<uint32_t>(exponent) + 1;
  if (whole >= count) {
    // ddd000
    n += Put(out + n, digits, count);
    for (uint32_t i = count; i < whole; ++i) out[n++] = '0';
    return n;
  }
  // ddd.ddd
  n += Put(out + n, digits, whole);
  out[n++] = '.';
  return Put(out + n, digits + whole, count - whole) + n;
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
