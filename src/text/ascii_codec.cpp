#include "text/ascii_codec.h"

#include "text/output_cursor.h"
#include "text/unicode_units.h"

namespace kelmo::text {

int64_t DecodeAscii(const unsigned char* in, size_t size, WChar* out, size_t capacity) {
  if (out == nullptr) return static_cast<int64_t>(size);  // one unit per byte
  OutputCursor<WChar> cursor(out, capacity);
  for (size_t i = 0; i < size; ++i) {
    const WChar unit = in[i] < 0x80 ? static_cast<WChar>(in[i]) : static_cast<WChar>(kReplacementCharacter);
    if (!cursor.Put(unit)) return kConversionFailed;
  }
  return static_cast<int64_t>(cursor.used());
}

int64_t EncodeAscii(const WChar* in, size_t size, unsigned char* out, size_t capacity) {
  OutputCursor<unsigned char> cursor(out, capacity);
  for (size_t i = 0; i < size; ++i) {
    const uint32_t unit = static_cast<char16_t>(in[i]);
    if (unit < 0x80) {
      if (!cursor.Put(static_cast<unsigned char>(unit))) return kConversionFailed;
      continue;
    }
    if (StartsSurrogatePair(in, size, i)) ++i;
    if (!cursor.Put('?')) return kConversionFailed;
  }
  return static_cast<int64_t>(cursor.used());
}

}  // namespace kelmo::text
