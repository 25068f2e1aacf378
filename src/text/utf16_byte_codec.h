// UTF-16 as bytes (code pages 1200 little-endian and 1201 big-endian) <->
// UTF-16 units, for callers that hand such bytes to the code-page converter.
// A trailing odd byte and unpaired surrogates decode to U+FFFD; unpaired
// surrogates encode as U+FFFD, as the other Unicode forms do.
#ifndef KELMO_TEXT_UTF16_BYTE_CODEC_H
#define KELMO_TEXT_UTF16_BYTE_CODEC_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo::platform {

enum class ByteOrder { kLittleEndian, kBigEndian };

// A null output only counts; kConversionFailed when the output is too small.
int64_t DecodeUtf16Bytes(ByteOrder order, const unsigned char* in, size_t size, WChar* out, size_t capacity);
int64_t EncodeUtf16Bytes(ByteOrder order, const WChar* in, size_t size, unsigned char* out, size_t capacity);

}  // namespace kelmo::platform

#endif  // KELMO_TEXT_UTF16_BYTE_CODEC_H
