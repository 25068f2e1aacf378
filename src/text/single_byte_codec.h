// Single-byte code pages decoded and encoded by tables of this library's
// own instead of the platform converter outside Windows, where that
// converter reads them otherwise than Windows does: glibc composes a Hebrew
// or Vietnamese base letter and the point or tone mark after it into one
// precomposed character (windows-1255, windows-1258), and maps a few bytes
// of some IBM and Mac pages to other characters. Each byte stands for one
// character, as on Windows, whatever the bytes around it. Bytes that the
// code page leaves unassigned decode to U+FFFD; characters outside it encode
// as "?".
#ifndef KELMO_TEXT_SINGLE_BYTE_CODEC_H
#define KELMO_TEXT_SINGLE_BYTE_CODEC_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo::text {

struct SingleByteTable;

// Null for code pages without a table here.
const SingleByteTable* FindSingleByteTable(unsigned int codePage);

// A null output only counts; kConversionFailed when the output is too small.
int64_t DecodeSingleByte(const SingleByteTable& table, const unsigned char* in, size_t size, WChar* out,
                         size_t capacity);
int64_t EncodeSingleByte(const SingleByteTable& table, const WChar* in, size_t size, unsigned char* out,
                         size_t capacity);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_SINGLE_BYTE_CODEC_H
