// US-ASCII (code page 20127) <-> UTF-16. Bytes above 0x7F are not ASCII and
// decode to U+FFFD; characters above U+007F encode as "?" (one per
// character, so a surrogate pair gives one "?").
#ifndef KELMO_TEXT_ASCII_CODEC_H
#define KELMO_TEXT_ASCII_CODEC_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo::text {

// A null output only counts; kConversionFailed when the output is too small.
int64_t DecodeAscii(const unsigned char* in, size_t size, WChar* out, size_t capacity);
int64_t EncodeAscii(const WChar* in, size_t size, unsigned char* out, size_t capacity);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_ASCII_CODEC_H
