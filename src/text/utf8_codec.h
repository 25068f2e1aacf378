// UTF-8 <-> UTF-16 without a platform converter. This is the path every
// parse of UTF-8 XML takes, so runs of ASCII are handled in bulk.
#ifndef KELMO_TEXT_UTF8_CODEC_H
#define KELMO_TEXT_UTF8_CODEC_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "kelmo/platform_types.h"

namespace kelmo::text {

// Writes the UTF-8 form of one code point (U+0080 and up, not a surrogate
// half) at `to` and returns the end of it: two bytes below U+0800, three
// below U+10000, four above.
template <class Byte>
inline Byte* PutUtf8(uint32_t codePoint, Byte* to) {
  if (codePoint < 0x800) {
    to[0] = static_cast<Byte>(0xC0 | (codePoint >> 6));
    to[1] = static_cast<Byte>(0x80 | (codePoint & 0x3F));
    return to + 2;
  }
  if (codePoint < 0x10000) {
    to[0] = static_cast<Byte>(0xE0 | (codePoint >> 12));
    to[1] = static_cast<Byte>(0x80 | ((codePoint >> 6) & 0x3F));
    to[2] = static_cast<Byte>(0x80 | (codePoint & 0x3F));
    return to + 3;
  }
  to[0] = static_cast<Byte>(0xF0 | (codePoint >> 18));
  to[1] = static_cast<Byte>(0x80 | ((codePoint >> 12) & 0x3F));
  to[2] = static_cast<Byte>(0x80 | ((codePoint >> 6) & 0x3F));
  to[3] = static_cast<Byte>(0x80 | (codePoint & 0x3F));
  return to + 4;
}

// Trusted UTF-8: bytes already found well-formed (IsWellFormedUtf8), in
// which the parser may also have spelled a surrogate half from a character
// reference as the three bytes of its number (ED A0 80 to ED BF BF). These
// decode without any check, a surrogate's bytes to that one unit, so text
// read from UTF-8 gives exactly the units of the same text read as UTF-16.

// Whether trusted UTF-8 holds such a surrogate half: then it is not UTF-8
// that may leave the library as it stands (two halves that form a pair are
// four bytes there, and a lone one has no form at all).
inline bool HoldsSurrogateHalf(const char* bytes, size_t size) {
  const char* const end = bytes + size;
  for (const char* p = bytes; (p = static_cast<const char*>(std::memchr(p, 0xED, size_t(end - p))));
       ++p) {
    if (end - p > 1 && static_cast<unsigned char>(p[1]) >= 0xA0) return true;
  }
  return false;
}

// Decodes the character at p (moving p past it) into one unit, or two for
// a code point above U+FFFF, and returns how many.
inline uint32_t TakeTrustedUtf8Character(const char*& p, WChar units[2]) {
  const uint32_t lead = static_cast<unsigned char>(*p++);
  if (lead < 0x80) {
    units[0] = static_cast<WChar>(lead);
    return 1;
  }
  auto next = [&p] { return static_cast<uint32_t>(static_cast<unsigned char>(*p++) & 0x3F); };
  if (lead < 0xE0) {
    units[0] = static_cast<WChar>(((lead & 0x1F) << 6) | next());
    return 1;
  }
  if (lead < 0xF0) {
    const uint32_t second = next();
    units[0] = static_cast<WChar>(((lead & 0x0F) << 12) | (second << 6) | next());
    return 1;
  }
  uint32_t codePoint = (lead & 0x07) << 18;
  codePoint |= next() << 12;
  codePoint |= next() << 6;
  codePoint |= next();
  units[0] = static_cast<WChar>(0xD7C0 + (codePoint >> 10));
  units[1] = static_cast<WChar>(0xDC00 | (codePoint & 0x3FF));
  return 2;
}

// Decodes trusted UTF-8 into [out, outEnd), which has room for the units
// (text::Utf16UnitsOfUtf8 counts them; never more than the bytes), and
// returns the end of them.
WChar* DecodeTrustedUtf8(const char* in, size_t size, WChar* out, WChar* outEnd);

// Each ill-formed sequence becomes one U+FFFD, replacing the longest prefix
// that could have begun a valid sequence (the "maximal subpart" rule), so
// that the bytes after it are decoded as if the bad part were not there.
// A null `out` only counts. Returns units produced, or kConversionFailed when
// `out` holds fewer than `capacity` needed.
int64_t DecodeUtf8(const unsigned char* in, size_t size, WChar* out, size_t capacity);

// True when DecodeUtf8 would replace nothing: for narrow text that must
// be taken exactly or not at all.
bool IsWellFormedUtf8(const unsigned char* in, size_t size);
// The same check, telling also how many UTF-16 units the bytes decode to:
// those units, or a negative number (kConversionFailed) when DecodeUtf8
// would replace something.
int64_t WellFormedUtf8Units(const unsigned char* in, size_t size);

// Surrogate pairs become 4-byte sequences; an unpaired surrogate becomes
// U+FFFD (EF BF BD). Same counting and failure convention as DecodeUtf8.
int64_t EncodeUtf8(const WChar* in, size_t size, unsigned char* out, size_t capacity);

// For names handed to the operating system, where a replaced character would
// name a different file: appends the UTF-8 form of `in` to `out` and returns
// false, leaving `out` unspecified, when `in` holds an unpaired surrogate.
bool AppendUtf8Strict(const WChar* in, size_t size, std::string& out);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_UTF8_CODEC_H
