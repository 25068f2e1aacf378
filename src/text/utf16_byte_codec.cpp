#include "text/utf16_byte_codec.h"

#include "text/output_cursor.h"
#include "text/unicode_units.h"

namespace kelmo::platform {
namespace {

uint32_t ReadUnit(ByteOrder order, const unsigned char* bytes) {
  return order == ByteOrder::kLittleEndian ? static_cast<uint32_t>(bytes[0] | (bytes[1] << 8))
                                           : static_cast<uint32_t>((bytes[0] << 8) | bytes[1]);
}

}  // namespace

int64_t DecodeUtf16Bytes(ByteOrder order, const unsigned char* in, size_t size, WChar* out, size_t capacity) {
  const size_t units = size / 2;
  const bool oddTail = size % 2 != 0;
  if (out == nullptr) return static_cast<int64_t>(units + (oddTail ? 1 : 0));

  OutputCursor<WChar> cursor(out, capacity);
  for (size_t i = 0; i < units; ++i) {
    uint32_t unit = ReadUnit(order, in + 2 * i);
    if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(ReadUnit(order, in + 2 * i + 2))) {
      if (!cursor.Put(static_cast<WChar>(unit), static_cast<WChar>(ReadUnit(order, in + 2 * i + 2)))) {
        return kConversionFailed;
      }
      ++i;
      continue;
    }
    if (IsSurrogate(unit)) unit = kReplacementCharacter;
    if (!cursor.Put(static_cast<WChar>(unit))) return kConversionFailed;
  }
  if (oddTail && !cursor.Put(static_cast<WChar>(kReplacementCharacter))) return kConversionFailed;
  return static_cast<int64_t>(cursor.used());
}

int64_t EncodeUtf16Bytes(ByteOrder order, const WChar* in, size_t size, unsigned char* out, size_t capacity) {
  if (out == nullptr) return static_cast<int64_t>(size) * 2;

  OutputCursor<unsigned char> cursor(out, capacity);
  auto put = [&](uint32_t unit) {
    const auto high = static_cast<unsigned char>(unit >> 8);
    const auto low = static_cast<unsigned char>(unit & 0xFF);
    return order == ByteOrder::kLittleEndian ? cursor.Put(low, high) : cursor.Put(high, low);
  };
  for (size_t i = 0; i < size; ++i) {
    const uint32_t unit = static_cast<char16_t>(in[i]);
    if (StartsSurrogatePair(in, size, i)) {
      if (!put(unit) || !put(static_cast<char16_t>(in[i + 1]))) return kConversionFailed;
      ++i;
    } else if (!put(IsSurrogate(unit) ? kReplacementCharacter : unit)) {
      return kConversionFailed;
    }
  }
  return static_cast<int64_t>(cursor.used());
}

}  // namespace kelmo::platform
