#include "tree/number_format.h"

#include <cmath>
#include <cstring>

namespace kelmo {

namespace {

constexpr uint32_t kFractionScale = 1000000000;  // nine fraction digits

// Appends text to out at `at`, returning the new position.
uint32_t Put(char* out, uint32_t at, const char* text, uint32_t n) {
  std::memcpy(out + at, text, n);
  return at + n;
}

// Digits of an integral magnitude of at least 2^64 (a double can reach about
// 1.8e308). The value is spread over 32-bit limbs and divided by 10^9
// repeatedly; each remainder is a group of nine digits.
uint32_t FormatHugeInteger(double magnitude, char* out) {
  int exponent = 0;
  double mantissa = std::frexp(magnitude, &exponent);
  // magnitude = bits * 2^shift exactly, with bits below 2^53 and shift > 0.
  uint64_t bits = static_cast<uint64_t>(std::ldexp(mantissa, 53));
  int shift = exponent - 53;
  constexpr int kLimbs = 34;  // 2^1024 needs 32 limbs; two spare for the spread
  uint32_t limbs[kLimbs] = {};
  int word = shift / 32;
  int bit = shift % 32;
  uint64_t low = bits << bit;
  uint64_t high = bit ? bits >> (64 - bit) : 0;
  limbs[word] = static_cast<uint32_t>(low);
  limbs[word + 1] = static_cast<uint32_t>(low >> 32);
  limbs[word + 2] = static_cast<uint32_t>(high);
  int used = word + 3;

  uint32_t groups[40];  // 309 digits make 35 groups of nine
  int groupCount = 0;
  while (used > 0 && limbs[used - 1] == 0) --used;
  while (used > 0) {
    uint64_t remainder = 0;
    for (int i = used - 1; i >= 0; --i) {
      uint64_t current = (remainder << 32) | limbs[i];
      limbs[i] = static_cast<uint32_t>(current / kFractionScale);
      remainder = current % kFractionScale;
    }
    groups[groupCount++] = static_cast<uint32_t>(remainder);
    while (used > 0 && limbs[used - 1] == 0) --used;
  }

  uint32_t at = FormatMagnitude(false, groups[groupCount - 1], out, kMaxDecimalText);
  for (int g = groupCount - 2; g >= 0; --g) {
    uint32_t value = groups[g];
    for (int d = 8; d >= 0; --d) {
      out[at + d] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    at += 9;
  }
  return at;
}

// Writes the integral magnitude (an integer-valued, finite double >= 0).
uint32_t FormatIntegerPart(double magnitude, char* out) {
  if (magnitude < 18446744073709551616.0)
    return FormatMagnitude(false, static_cast<uint64_t>(magnitude), out, kMaxDecimalText);
  return FormatHugeInteger(magnitude, out);
}

// x split into integer part and fraction, both with the sign of x. A float is
// split as a float (exact) and then widened (also exact).
uint32_t FormatSplit(double x, double whole, double fraction, char* out) {
  if (std::isnan(x)) return Put(out, 0, "nan", 3);
  if (std::isinf(x)) return x < 0 ? Put(out, 0, "-inf", 4) : Put(out, 0, "inf", 3);

  if (fraction < 0) fraction = -fraction;
  double scaled = std::trunc(fraction * kFractionScale);
  uint32_t digits = scaled >= kFractionScale - 1 ? kFractionScale - 1
                                                 : static_cast<uint32_t>(scaled);
  uint32_t at = 0;
  // A negative value keeps its "-" even when its integer part is 0, unless
  // nothing of it survives the nine digits.
  if (x < 0 && (whole != 0 || digits != 0)) out[at++] = '-';
  at += FormatIntegerPart(std::fabs(whole), out + at);
  if (digits == 0) return at;

  out[at++] = '.';
  for (uint32_t divisor = kFractionScale / 10; digits / divisor == 0; divisor /= 10)
    out[at++] = '0';
  while (digits % 10 == 0) digits /= 10;
  at += FormatMagnitude(false, digits, out + at, kMaxDecimalText);
  return at;
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

uint32_t FormatReal(double x, char* out) {
  double whole = 0;
  double fraction = std::modf(x, &whole);
  return FormatSplit(x, whole, fraction, out);
}

uint32_t FormatReal(float x, char* out) {
  float whole = 0;
  float fraction = std::modf(x, &whole);
  return FormatSplit(x, whole, fraction, out);
}

}  // namespace kelmo
