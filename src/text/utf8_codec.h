// UTF-8 <-> UTF-16 without a platform converter. This is the path every
// parse of UTF-8 XML takes, so runs of ASCII are handled in bulk.
#ifndef KELMO_TEXT_UTF8_CODEC_H
#define KELMO_TEXT_UTF8_CODEC_H

#include <cstddef>
#include <cstdint>
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

// Each ill-formed sequence becomes one U+FFFD, replacing the longest prefix
// that could have begun a valid sequence (the "maximal subpart" rule), so
// that the bytes after it are decoded as if the bad part were not there.
// A null `out` only counts. Returns units produced, or kConversionFailed when
// `out` holds fewer than `capacity` needed.
int64_t DecodeUtf8(const unsigned char* in, size_t size, WChar* out, size_t capacity);

// True when DecodeUtf8 would replace nothing: for narrow text that must
// be taken exactly or not at all.
bool IsWellFormedUtf8(const unsigned char* in, size_t size);

// Surrogate pairs become 4-byte sequences; an unpaired surrogate becomes
// U+FFFD (EF BF BD). Same counting and failure convention as DecodeUtf8.
int64_t EncodeUtf8(const WChar* in, size_t size, unsigned char* out, size_t capacity);

// For names handed to the operating system, where a replaced character would
// name a different file: appends the UTF-8 form of `in` to `out` and returns
// false, leaving `out` unspecified, when `in` holds an unpaired surrogate.
bool AppendUtf8Strict(const WChar* in, size_t size, std::string& out);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_UTF8_CODEC_H
