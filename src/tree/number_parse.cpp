#include "tree/number_parse.h"

#include <cstdint>

namespace kelmo {

namespace {

bool IsBlank(uint32_t c) { return c == ' ' || c == '\t'; }

// Besides the running value, the double reading keeps the decimal digits as
// an exact integer with the count of fraction digits, so that a text such as
// 0.75 gives exactly the nearest double instead of the sum of digit x scale
// terms, each rounded (0.7500000000000001). Float keeps the step-by-step
// float rounding it has always had.
struct ExactDecimal {
  uint64_t mantissa = 0;
  uint32_t fractionDigits = 0;
  bool fits = true;

  void Add(uint32_t digit, bool inFraction) {
    if (!fits) return;
    if (mantissa > (uint64_t(1) << 53) / 10) {
      fits = false;
      return;
    }
    mantissa = mantissa * 10 + digit;
    if (inFraction && ++fractionDigits > 22) fits = false;
  }

  // Correctly rounded when both operands are exact doubles.
  bool Value(double& out) const {
    static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!fits || mantissa > (uint64_t(1) << 53)) return false;
    out = static_cast<double>(mantissa) / kPowers[fractionDigits];
    return true;
  }
};

template <class Real>
bool ParseRealAs(const WChar* first, const WChar* end, Real& value) {
  if (first == end || *first == 0) return false;
  Real v = 0;
  Real scale = 1;
  ExactDecimal exact;
  bool inFraction = false;
  bool negative = false;
  for (const WChar* p = first; p != end; ++p) {
    uint32_t c = static_cast<uint16_t>(*p);
    if (c == 0) break;
    if (c >= '0' && c <= '9') {
      Real digit = static_cast<Real>(c - '0');
      // One rounding per step in the target precision: for float the result
      // must not depend on wider intermediates.
      if (inFraction) {
        scale = scale / Real(10);
        Real part = digit * scale;
        v = v + part;
      } else {
        Real shifted = v * Real(10);
        v = shifted + digit;
      }
      exact.Add(c - '0', inFraction);
    } else if (IsBlank(c)) {
      continue;
    } else if (c == '.') {
      if (inFraction) return false;
      inFraction = true;
      scale = 1;
    } else if (c == '-') {
      if (v != 0) return false;
      negative = true;
    } else if (c == '+') {
      if (v != 0 || negative) return false;
    } else {
      return false;
    }
  }
  if constexpr (sizeof(Real) == sizeof(double)) {
    double nearest;
    if (v != 0 && exact.Value(nearest)) v = nearest;
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

bool ParseInteger(const WChar* first, const WChar* end, unsigned width, uint64_t& bits) {
  if (first == end || *first == 0) return false;
  const uint64_t mask = width >= 64 ? ~uint64_t(0) : (uint64_t(1) << width) - 1;
  uint64_t v = 0;
  unsigned base = 10;
  bool negative = false;
  for (const WChar* p = first; p != end; ++p) {
    uint32_t c = static_cast<uint16_t>(*p);
    if (c == 0) break;
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
      if (base != 16) return false;
      digit = (c | 0x20) - 'a' + 10;
    } else if (c == 'x' || c == 'X' || c == '$') {
      if (v != 0 || base != 10) return false;
      base = 16;
      continue;
    } else if (IsBlank(c)) {
      continue;
    } else if (c == '-') {
      if (v != 0) return false;
      negative = true;
      continue;
    } else if (c == '+') {
      if (v != 0 || negative) return false;
      continue;
    } else {
      return false;
    }
    // Unsigned arithmetic wraps by definition; the mask keeps `width` bits so
    // that the "still zero" tests above see the wrapped value.
    v = (v * base + digit) & mask;
  }
  bits = negative ? (~v + 1) & mask : v;
  return true;
}

bool ParseReal(const WChar* first, const WChar* end, float& value) {
  return ParseRealAs(first, end, value);
}

bool ParseReal(const WChar* first, const WChar* end, double& value) {
  return ParseRealAs(first, end, value);
}

}  // namespace kelmo
