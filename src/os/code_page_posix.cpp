// Outside Windows the code pages are served by built-in codecs for the
// Unicode forms, ASCII, HZ and the single-byte pages that iconv reads
// otherwise than Windows, and by iconv for the rest. Code page 0, the
// process default, is UTF-8 here.
#include <climits>

#include "os/code_page.h"
#include "os/iconv_charsets.h"
#include "os/iconv_codec.h"
#include "text/ascii_codec.h"
#include "text/gb2312_table.h"
#include "text/hz_codec.h"
#include "text/output_cursor.h"
#include "text/single_byte_codec.h"
#include "text/utf16_byte_codec.h"
#include "text/utf8_codec.h"

namespace kelmo::platform {
namespace {

constexpr unsigned int kDefaultCodePage = 0;
constexpr unsigned int kUtf8 = 65001;
constexpr unsigned int kUtf16LittleEndian = 1200;
constexpr unsigned int kUtf16BigEndian = 1201;
constexpr unsigned int kUsAscii = 20127;
constexpr unsigned int kHz = 52936;

// The Win32 converters take sizes as int and answer 0 for every failure,
// including a result that an int cannot hold.
int ToCount(int64_t produced) {
  return produced <= 0 || produced > INT_MAX ? 0 : static_cast<int>(produced);
}

bool ValidArguments(const void* in, int inSize, const void* out, int outSize) {
  return in != nullptr && inSize > 0 && outSize >= 0 && (outSize == 0 || out != nullptr);
}

}  // namespace

int MultiByteToWide(unsigned int codePage, const char* in, int inSize, WChar* out, int outSize) {
  if (!ValidArguments(in, inSize, out, outSize)) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  const auto size = static_cast<size_t>(inSize);
  WChar* target = outSize > 0 ? out : nullptr;  // size 0 asks for the count
  const auto capacity = static_cast<size_t>(outSize);

  switch (codePage) {
    case kDefaultCodePage:
    case kUtf8:
      return ToCount(DecodeUtf8(bytes, size, target, capacity));
    case kUsAscii:
      return ToCount(DecodeAscii(bytes, size, target, capacity));
    case kUtf16LittleEndian:
      return ToCount(DecodeUtf16Bytes(ByteOrder::kLittleEndian, bytes, size, target, capacity));
    case kUtf16BigEndian:
      return ToCount(DecodeUtf16Bytes(ByteOrder::kBigEndian, bytes, size, target, capacity));
    case kHz: {
      const Gb2312Table* table = PlatformGb2312Table();
      return table == nullptr ? 0 : ToCount(DecodeHz(*table, bytes, size, target, capacity));
    }
    default: {
      if (const SingleByteTable* table = FindSingleByteTable(codePage)) {
        return ToCount(DecodeSingleByte(*table, bytes, size, target, capacity));
      }
      const IconvCharset* charset = FindIconvCharset(codePage);
      return charset == nullptr ? 0 : ToCount(IconvDecode(*charset, in, size, target, capacity));
    }
  }
}

int WideToMultiByte(unsigned int codePage, const WChar* in, int inSize, char* out, int outSize) {
  if (!ValidArguments(in, inSize, out, outSize)) return 0;
  const auto size = static_cast<size_t>(inSize);
  char* target = outSize > 0 ? out : nullptr;
  auto* bytes = reinterpret_cast<unsigned char*>(target);
  const auto capacity = static_cast<size_t>(outSize);

  switch (codePage) {
    case kDefaultCodePage:
    case kUtf8:
      return ToCount(EncodeUtf8(in, size, bytes, capacity));
    case kUsAscii:
      return ToCount(EncodeAscii(in, size, bytes, capacity));
    case kUtf16LittleEndian:
      return ToCount(EncodeUtf16Bytes(ByteOrder::kLittleEndian, in, size, bytes, capacity));
    case kUtf16BigEndian:
      return ToCount(EncodeUtf16Bytes(ByteOrder::kBigEndian, in, size, bytes, capacity));
    case kHz: {
      const Gb2312Table* table = PlatformGb2312Table();
      return table == nullptr ? 0 : ToCount(EncodeHz(*table, in, size, bytes, capacity));
    }
    default: {
      if (const SingleByteTable* table = FindSingleByteTable(codePage)) {
        return ToCount(EncodeSingleByte(*table, in, size, bytes, capacity));
      }
      const IconvCharset* charset = FindIconvCharset(codePage);
      return charset == nullptr ? 0 : ToCount(IconvEncode(*charset, in, size, target, capacity));
    }
  }
}

bool IsCodePageSupported(unsigned int codePage) {
  switch (codePage) {
    case kDefaultCodePage:
    case kUtf8:
    case kUsAscii:
    case kUtf16LittleEndian:
    case kUtf16BigEndian:
      return true;
    case kHz:
      return PlatformGb2312Table() != nullptr;
    default: {
      if (FindSingleByteTable(codePage) != nullptr) return true;
      const IconvCharset* charset = FindIconvCharset(codePage);
      return charset != nullptr && IconvCanConvert(*charset);
    }
  }
}

int MultiByteToWideNamed(const char* charset, const char* in, int inSize, WChar* out, int outSize) {
  if (charset == nullptr || !ValidArguments(in, inSize, out, outSize)) return 0;
  const IconvCharset named{0, {charset, nullptr}};
  return ToCount(IconvDecode(named, in, static_cast<size_t>(inSize), outSize > 0 ? out : nullptr,
                             static_cast<size_t>(outSize)));
}

int WideToMultiByteNamed(const char* charset, const WChar* in, int inSize, char* out, int outSize) {
  if (charset == nullptr || !ValidArguments(in, inSize, out, outSize)) return 0;
  const IconvCharset named{0, {charset, nullptr}};
  return ToCount(IconvEncode(named, in, static_cast<size_t>(inSize), outSize > 0 ? out : nullptr,
                             static_cast<size_t>(outSize)));
}

bool IsCharsetSupported(const char* charset) {
  if (charset == nullptr || *charset == 0) return false;
  return IconvCanConvert(IconvCharset{0, {charset, nullptr}});
}

}  // namespace kelmo::platform
