#include "text/utf16_byte_codec.h"

#include "text/output_cursor.h"
#include "text/unicode_units.h"

namespace kelmo::text {

int64_t DecodeUtf16Bytes(ByteOrder order, const unsigned char* in, size_t size, WChar* out, size_t capacity) {
  const size_t units = size / 2;
  const bool oddTail = size % 2 != 0;
  const size_t needed = units + (oddTail ? 1 : 0);
  if (out == nullptr) return static_cast<int64_t>(needed);
  if (capacity < needed) return kConversionFailed;

  const bool little = order == ByteOrder::kLittleEndian;
  for (size_t i = 0; i < units; ++i) {
    const unsigned first = in[2 * i];
    const unsigned second = in[2 * i + 1];
    out[i] = static_cast<WChar>(little ? first | (second << 8) : (first << 8) | second);
  }
  if (oddTail) out[units] = static_cast<WChar>(kReplacementCharacter);
  return static_cast<int64_t>(needed);
}

int64_t EncodeUtf16Bytes(ByteOrder order, const WChar* in, size_t size, unsigned char* out, size_t capacity) {
  if (out == nullptr) return static_cast<int64_t>(size) * 2;

  OutputCursor<unsigned char> cursor(out, capacity);
  for (size_t i = 0; i < size; ++i) {
    const uint32_t unit = static_cast<char16_t>(in[i]);
    const auto high = static_cast<unsigned char>(unit >> 8);
    const auto low = static_cast<unsigned char>(unit & 0xFF);
    if (!(order == ByteOrder::kLittleEndian ? cursor.Put(low, high) : cursor.Put(high, low))) {
      return kConversionFailed;
    }
  }
  return static_cast<int64_t>(cursor.used());
}

}  // namespace kelmo::text
