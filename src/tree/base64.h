// Base64 (the standard alphabet with "=" padding) for Binary values: bytes
// become text when a byte array is read as a string, and text becomes bytes
// when a string is read as a byte array. The caller supplies the buffers.
#ifndef KELMO_TREE_BASE64_H
#define KELMO_TREE_BASE64_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

// Characters that n bytes encode to: 4 * ceil(n / 3). Computed in 64 bits so
// that the largest byte counts do not wrap.
inline uint64_t Base64EncodedLength(uint32_t n) { return (uint64_t(n) + 2) / 3 * 4; }

// Bytes of room the decoder insists on for a text of m units, whatever
// whitespace or padding the text holds: ((m + 3) / 4) * 3.
inline uint64_t Base64DecodeRoom(uint32_t m) { return (uint64_t(m) + 3) / 4 * 3; }

// Encodes n bytes into out without line breaks and without a terminator.
// Fails, writing nothing and leaving room alone, when bytes or out is null,
// n is 0 or room is below Base64EncodedLength(n). On success room becomes the
// number of characters written.
bool Base64Encode(const unsigned char* bytes, uint32_t n, WChar* out, uint32_t& room);
bool Base64Encode(const unsigned char* bytes, uint32_t n, char* out, uint32_t& room);

// Decodes m units of text (0xFFFFFFFF: up to the terminating zero). Tab, line
// feed, carriage return and space are skipped anywhere; "=" is accepted only
// as one or two final units. Fails when text or out is null, m resolves to 0,
// room is below Base64DecodeRoom(m), a unit is outside the alphabet, or the
// last group holds a single character. On failure room is unchanged (bytes
// already decoded may have been written); on success it becomes the number
// of bytes produced.
bool Base64Decode(const WChar* text, uint32_t m, unsigned char* out, uint32_t& room);

}  // namespace kelmo

#endif  // KELMO_TREE_BASE64_H
