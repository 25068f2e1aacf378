#include "tree/number_parse.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include "syntax/char_classes.h"

namespace kelmo {

namespace {

// The text without its blanks, if it is one of the words FormatReal writes
// for values without digits: "nan", "inf", "-inf" (or "+inf").
// A code unit as a number: a UTF-16 unit, or a byte of UTF-8 (every byte of
// a character beyond ASCII is above 0x7F, so none is taken for a digit).
inline uint32_t UnitValue(WChar c) { return static_cast<uint16_t>(c); }
inline uint32_t UnitValue(char c) { return static_cast<unsigned char>(c); }

template <class Real, class Unit>
bool ParseWord(const Unit* first, const Unit* end, Real& value) {
  char word[5];
  uint32_t n = 0;
  for (const Unit* p = first; p != end && *p != 0; ++p) {
    uint32_t c = UnitValue(*p);
    if (syntax::IsSpaceOrTab(c)) continue;
    if (n == sizeof word || c > 0x7F) return false;
    word[n++] = static_cast<char>(c);
  }
  const std::string_view text(word, n);
  if (text == "nan") {
    value = std::numeric_limits<Real>::quiet_NaN();
  } else if (text == "inf" || text == "+inf") {
    value = std::numeric_limits<Real>::infinity();
  } else if (text == "-inf") {
    value = -std::numeric_limits<Real>::infinity();
  } else {
    return false;
  }
  return true;
}

// Digits with blanks anywhere, at most one point, and a sign only while no
// nonzero digit has come. The digits and the point are gathered without the
// blanks and signs, and the standard reader rounds them once, correctly, to
// the target precision.
template <class Real, class Unit>
bool ParseRealAs(const Unit* first, const Unit* end, Real& value) {
  if (first == end || *first == 0) return false;
  // Short texts are gathered on the stack; a longer one moves to the heap.
  char small[64];
  std::string large;
  uint32_t used = 0;
  auto put = [&](char c) {
    if (used < sizeof small) {
      small[used++] = c;
      return;
    }
    if (large.empty()) large.assign(small, used);
    large.push_back(c);
  };
  bool inFraction = false;
  bool nonzero = false;
  bool negative = false;
  for (const Unit* p = first; p != end; ++p) {
    uint32_t c = UnitValue(*p);
    if (c == 0) break;
    if (c >= '0' && c <= '9') {
      nonzero = nonzero || c != '0';
      put(static_cast<char>(c));
    } else if (syntax::IsSpaceOrTab(c)) {
      continue;
    } else if (c == '.') {
      if (inFraction) return false;
      inFraction = true;
      put('.');
    } else if (c == '-') {
      if (nonzero) return false;
      negative = true;
    } else if (c == '+') {
      if (nonzero || negative) return false;
    } else {
      return ParseWord(first, end, value);
    }
  }
  Real v = 0;
  if (nonzero) {
    const char* digits = large.empty() ? small : large.data();
    const size_t length = large.empty() ? used : large.size();
    const std::from_chars_result read =
        std::from_chars(digits, digits + length, v, std::chars_format::fixed);
    if (read.ec == std::errc::result_out_of_range) {
      // Too large for the type (a nonzero digit before the point), or so
      // small that it rounds to zero.
      const char* lead =
          std::find_if(digits, digits + length, [](char d) { return d != '0'; });
      v = *lead != '.' ? std::numeric_limits<Real>::infinity() : Real(0);
    } else if (read.ec != std::errc()) {
      return false;
    }
  }
  value = negative ? -v : v;
  return true;
}

template <class Unit>
bool ParseIntegerAs(const Unit* first, const Unit* end, unsigned width, uint64_t& bits) {
  if (first == end || *first == 0) return false;
  const uint64_t mask = width >= 64 ? ~uint64_t(0) : (uint64_t(1) << width) - 1;
  uint64_t v = 0;
  unsigned base = 10;
  bool negative = false;
  for (const Unit* p = first; p != end; ++p) {
    uint32_t c = UnitValue(*p);
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
    } else if (syntax::IsSpaceOrTab(c)) {
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
    // A magnitude beyond `width` bits fails rather than wrapping into a
    // different number.
    if (v > (mask - digit) / base) return false;
    v = v * base + digit;
  }
  // The signed and the unsigned reading share these bits, so a negative
  // number may reach the most negative value of the signed kind.
  if (negative && v > (mask >> 1) + 1) return false;
  bits = negative ? (~v + 1) & mask : v;
  return true;
}

}  // namespace

bool ParseInteger(const WChar* first, const WChar* end, unsigned width, uint64_t& bits) {
  return ParseIntegerAs(first, end, width, bits);
}
bool ParseInteger(const char* first, const char* end, unsigned width, uint64_t& bits) {
  return ParseIntegerAs(first, end, width, bits);
}
bool ParseReal(const WChar* first, const WChar* end, float& value) {
  return ParseRealAs(first, end, value);
}
bool ParseReal(const WChar* first, const WChar* end, double& value) {
  return ParseRealAs(first, end, value);
}
bool ParseReal(const char* first, const char* end, float& value) {
  return ParseRealAs(first, end, value);
}
bool ParseReal(const char* first, const char* end, double& value) {
  return ParseRealAs(first, end, value);
}

}  // namespace kelmo
