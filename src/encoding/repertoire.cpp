#include "encoding/repertoire.h"

#include <cstring>

namespace kelmo {
namespace {

bool IsWholeUnicode(const Encoding& encoding) {
  if (encoding.charset[0] != 0) return false;
  switch (encoding.codePage) {
    case kCodePageUtf8:
    case kCodePageUtf16LE:
    case kCodePageUtf16BE:
    case 54936:  // GB18030 maps every code point
      return true;
    default:
      return false;
  }
}

}  // namespace

char32_t CharacterAt(const WChar* text, uint32_t n, uint32_t i, uint32_t& units) {
  const uint16_t unit = static_cast<uint16_t>(text[i]);
  units = 1;
  if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n) {
    const uint16_t low = static_cast<uint16_t>(text[i + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      units = 2;
      return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return unit;
}

bool Repertoire::CarriesEvery(const WChar* text, uint32_t n) {
  uint32_t units = 1;
  for (uint32_t i = 0; i < n; i += units) {
    if (!Carries(CharacterAt(text, n, i, units))) return false;
  }
  return true;
}

Repertoire::Repertoire(const Encoding& encoding)
    : encoding_(encoding), carriesAll_(IsWholeUnicode(encoding)) {}

bool Repertoire::Carries(char32_t c) {
  if (carriesAll_) return true;
  if (c > 0xFFFF) return Probe(c);
  if (!known_) {
    known_.reset(new uint8_t[0x10000]);
    std::memset(known_.get(), 0, 0x10000);
  }
  uint8_t& answer = known_[c];
  if (answer == 0) answer = Probe(c) ? 1 : 2;
  return answer == 1;
}

bool Repertoire::Probe(char32_t c) const {
  if (c >= 0xD800 && c <= 0xDFFF) return false;
  WChar units[2];
  int count = 1;
  if (c > 0xFFFF) {
    units[0] = static_cast<WChar>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<WChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<WChar>(c);
  }
  // Converters replace what they cannot carry (by "?" or a look-alike), so
  // only the way back tells whether the character survived.
  char bytes[32];
  const int size = EncodeWith(encoding_, units, count, bytes, sizeof bytes);
  if (size <= 0) return false;
  WChar back[4];
  const int backCount = DecodeWith(encoding_, bytes, size, back, 4);
  return backCount == count && back[0] == units[0] && (count == 1 || back[1] == units[1]);
}

}  // namespace kelmo
