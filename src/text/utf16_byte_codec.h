// UTF-16 as bytes (code pages 1200 little-endian and 1201 big-endian) <->
// UTF-16 units. Bytes and units map one to one: every unit comes through as
// it is, unpaired surrogates included, so that a tree saved as UTF-16 and
// read back gives the same units. A trailing odd byte carries no whole unit
// and decodes to U+FFFD, so that it is seen rather than dropped (a parsed
// document ends before it instead).
#ifndef KELMO_TEXT_UTF16_BYTE_CODEC_H
#define KELMO_TEXT_UTF16_BYTE_CODEC_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo::text {

enum class ByteOrder { kLittleEndian, kBigEndian };

// A null output only counts; kConversionFailed when the output is too small.
int64_t DecodeUtf16Bytes(ByteOrder order, const unsigned char* in, size_t size, WChar* out, size_t capacity);
int64_t EncodeUtf16Bytes(ByteOrder order, const WChar* in, size_t size, unsigned char* out, size_t capacity);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_UTF16_BYTE_CODEC_H
