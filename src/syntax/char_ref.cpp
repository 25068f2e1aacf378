#include "syntax/char_ref.h"

#include "text/unit_scan.h"

namespace kelmo::syntax {

namespace {

template <class Unit>
bool DecodeReference(const Unit* reference, uint32_t length, uint32_t& codePoint) {
  if (!reference || length < 3) return false;
  uint32_t value = 0;
  const bool hex = reference[2] == 'x';
  const uint32_t first = hex ? 3 : 2;
  const uint32_t last = length - 1;  // the ";"
  for (uint32_t i = first; i < last; ++i) {
    const uint32_t c = text::UnitValue(reference[i]);
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * (hex ? 16 : 10) + digit;
    // Checked on every digit, so the value never wraps.
    if (value > kMaxCodePoint) return false;
  }
  codePoint = value;
  return true;
}

}  // namespace

bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint) {
  return DecodeReference(reference, length, codePoint);
}

template <class Byte>
bool DecodeCharRef(const Byte* reference, uint32_t length, uint32_t& codePoint) {
  return DecodeReference(reference, length, codePoint);
}
template bool DecodeCharRef<char>(const char* reference, uint32_t length, uint32_t& codePoint);

}  // namespace kelmo::syntax
