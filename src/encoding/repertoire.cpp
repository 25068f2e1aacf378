#include "encoding/repertoire.h"

#include <cstring>
#include "text/unicode_units.h"

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
  size_t next = i;
  const char32_t c = text::NextCodePoint(text, n, next);
  units = uint32_t(next - i);
  return c;
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
  if (text::IsSurrogate(c)) return false;
  WChar units[2];
  int count = 1;
  if (c > 0xFFFF) {
    units[0] = text::HighSurrogateOf(c);
    units[1] = text::LowSurrogateOf(c);
    count = 2;
  } else {
    units[0] = static_cast<WChar>(c);
  }
  // Converters replace what they cannot carry (by "?" or a look-alike), so
  // only the way back tells whether the character survived.
  char bytes[32];
  const int size = EncodeWith(encoding_, units, count, bytes, sizeof bytes);
  if (size <= 0) return false;
  return DecodesTo(encoding_, reinterpret_cast<const unsigned char*>(bytes), uint64_t(size), units,
                   uint32_t(count));
}

}  // namespace kelmo
