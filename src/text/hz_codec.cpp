#include "text/hz_codec.h"

#include "text/output_cursor.h"
#include "text/unicode_units.h"

namespace kelmo::text {
namespace {

constexpr unsigned char kFirstGbByte = 0x21;
constexpr unsigned char kLastGbByte = 0x7E;

bool IsGbByte(unsigned char byte) { return byte >= kFirstGbByte && byte <= kLastGbByte; }

}  // namespace

int64_t DecodeHz(const Gb2312Table& table, const unsigned char* in, size_t size, WChar* out, size_t capacity) {
  OutputCursor<WChar> cursor(out, capacity);
  const auto replacement = static_cast<WChar>(kReplacementCharacter);
  bool gbMode = false;
  size_t i = 0;
  while (i < size) {
    const unsigned char byte = in[i];
    if (byte == '~' && i + 1 < size) {
      const unsigned char next = in[i + 1];
      if (next == '{' || next == '}') {
        gbMode = next == '{';
        i += 2;
        continue;
      }
      if (!gbMode && next == '~') {
        if (!cursor.Put(u'~')) return kConversionFailed;
        i += 2;
        continue;
      }
      if (!gbMode && next == '\n') {
        i += 2;
        continue;
      }
    }

    if (byte >= 0x80) {
      if (!cursor.Put(replacement)) return kConversionFailed;
      ++i;
    } else if (!gbMode || !IsGbByte(byte)) {
      WChar unit = static_cast<WChar>(byte);
      if (byte == '~') unit = replacement;  // ASCII mode: an escape that means nothing
      if (byte == '\n' || byte == '\r') gbMode = false;
      if (!cursor.Put(unit)) return kConversionFailed;
      ++i;
    } else if (i + 1 < size && IsGbByte(in[i + 1])) {
      const char16_t character = table.Decode(byte - kFirstGbByte, in[i + 1] - kFirstGbByte);
      if (!cursor.Put(character != 0 ? static_cast<WChar>(character) : replacement)) return kConversionFailed;
      i += 2;
    } else {
      if (!cursor.Put(replacement)) return kConversionFailed;
      ++i;
    }
  }
  return static_cast<int64_t>(cursor.used());
}

int64_t EncodeHz(const Gb2312Table& table, const WChar* in, size_t size, unsigned char* out, size_t capacity) {
  OutputCursor<unsigned char> cursor(out, capacity);
  bool gbMode = false;
  auto enterAscii = [&]() {
    if (!gbMode) return true;
    gbMode = false;
    return cursor.Put('~', '}');
  };

  for (size_t i = 0; i < size; ++i) {
    const auto unit = static_cast<char16_t>(in[i]);
    if (unit < 0x80) {
      if (!enterAscii()) return kConversionFailed;
      const bool ok = unit == u'~' ? cursor.Put('~', '~') : cursor.Put(static_cast<unsigned char>(unit));
      if (!ok) return kConversionFailed;
      continue;
    }
    unsigned row = 0;
    unsigned cell = 0;
    if (!IsSurrogate(unit) && table.Encode(unit, row, cell)) {
      if (!gbMode) {
        if (!cursor.Put('~', '{')) return kConversionFailed;
        gbMode = true;
      }
      if (!cursor.Put(static_cast<unsigned char>(kFirstGbByte + row), static_cast<unsigned char>(kFirstGbByte + cell))) {
        return kConversionFailed;
      }
      continue;
    }
    if (StartsSurrogatePair(in, size, i)) ++i;
    if (!enterAscii() || !cursor.Put('?')) return kConversionFailed;
  }
  if (!enterAscii()) return kConversionFailed;
  return static_cast<int64_t>(cursor.used());
}

}  // namespace kelmo::text
