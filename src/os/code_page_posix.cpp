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
#include "text/code_pages.h"

namespace kelmo::os {
namespace {

using namespace text::code_pages;

constexpr unsigned int kDefaultCodePage = 0;

// The Win32 converters take sizes as int and answer 0 for every failure,
// including a result that an int cannot hold.
int ToCount(int64_t produced) {
  return produced <= 0 || produced > INT_MAX ? 0 : static_cast<int>(produced);
}

bool ValidArguments(const void* in, int inSize, const void* out, int outSize) {
  return in != nullptr && inSize > 0 && outSize >= 0 && (outSize == 0 || out != nullptr);
}

using DecodeFunction = int64_t (*)(const unsigned char* in, size_t size, WChar* out, size_t capacity);
using EncodeFunction = int64_t (*)(const WChar* in, size_t size, unsigned char* out, size_t capacity);

// The code pages the library converts with codecs of its own, both ways.
struct BuiltInCodec {
  unsigned int codePage;
  DecodeFunction decode;
  EncodeFunction encode;
};

const BuiltInCodec kBuiltInCodecs[] = {
    {kDefaultCodePage, text::DecodeUtf8, text::EncodeUtf8},
    {kUtf8, text::DecodeUtf8, text::EncodeUtf8},
    {kUsAscii, text::DecodeAscii, text::EncodeAscii},
    {kUtf16LittleEndian,
     [](const unsigned char* in, size_t size, WChar* out, size_t capacity) {
       return text::DecodeUtf16Bytes(text::ByteOrder::kLittleEndian, in, size, out, capacity);
     },
     [](const WChar* in, size_t size, unsigned char* out, size_t capacity) {
       return text::EncodeUtf16Bytes(text::ByteOrder::kLittleEndian, in, size, out, capacity);
     }},
    {kUtf16BigEndian,
     [](const unsigned char* in, size_t size, WChar* out, size_t capacity) {
       return text::DecodeUtf16Bytes(text::ByteOrder::kBigEndian, in, size, out, capacity);
     },
     [](const WChar* in, size_t size, unsigned char* out, size_t capacity) {
       return text::EncodeUtf16Bytes(text::ByteOrder::kBigEndian, in, size, out, capacity);
     }},
    // HZ needs the GB2312 grid, which a system may lack.
    {kHz,
     [](const unsigned char* in, size_t size, WChar* out, size_t capacity) {
       const text::Gb2312Table* table = PlatformGb2312Table();
       return table == nullptr ? text::kConversionFailed : text::DecodeHz(*table, in, size, out, capacity);
     },
     [](const WChar* in, size_t size, unsigned char* out, size_t capacity) {
       const text::Gb2312Table* table = PlatformGb2312Table();
       return table == nullptr ? text::kConversionFailed : text::EncodeHz(*table, in, size, out, capacity);
     }},
};

const BuiltInCodec* FindBuiltInCodec(unsigned int codePage) {
  for (const BuiltInCodec& codec : kBuiltInCodecs) {
    if (codec.codePage == codePage) return &codec;
  }
  return nullptr;
}

}  // namespace

namespace {

// The converters a code page may have, tried in this order in both
// directions: a built-in codec, a single-byte table, iconv. Each step gets
// the input length, the output (null to count) and its capacity.
template <class In, class Out, class ByCodec, class ByTable, class ByIconv>
int Convert(unsigned int codePage, const In* in, int inSize, Out* out, int outSize,
            ByCodec byCodec, ByTable byTable, ByIconv byIconv) {
  if (!ValidArguments(in, inSize, out, outSize)) return 0;
  const auto size = static_cast<size_t>(inSize);
  Out* target = outSize > 0 ? out : nullptr;  // size 0 asks for the count
  const auto capacity = static_cast<size_t>(outSize);
  if (const BuiltInCodec* codec = FindBuiltInCodec(codePage))
    return ToCount(byCodec(*codec, size, target, capacity));
  if (const text::SingleByteTable* table = text::FindSingleByteTable(codePage))
    return ToCount(byTable(*table, size, target, capacity));
  const std::optional<IconvCharset> charset = FindIconvCharset(codePage);
  return !charset ? 0 : ToCount(byIconv(*charset, size, target, capacity));
}

}  // namespace

int MultiByteToWide(unsigned int codePage, const char* in, int inSize, WChar* out, int outSize) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  return Convert(
      codePage, in, inSize, out, outSize,
      [&](const BuiltInCodec& codec, size_t n, WChar* to, size_t room) {
        return codec.decode(bytes, n, to, room);
      },
      [&](const text::SingleByteTable& table, size_t n, WChar* to, size_t room) {
        return text::DecodeSingleByte(table, bytes, n, to, room);
      },
      [&](const IconvCharset& charset, size_t n, WChar* to, size_t room) {
        return IconvDecode(charset, in, n, to, room);
      });
}

int WideToMultiByte(unsigned int codePage, const WChar* in, int inSize, char* out, int outSize) {
  auto bytes = [](char* to) { return reinterpret_cast<unsigned char*>(to); };
  return Convert(
      codePage, in, inSize, out, outSize,
      [&](const BuiltInCodec& codec, size_t n, char* to, size_t room) {
        return codec.encode(in, n, bytes(to), room);
      },
      [&](const text::SingleByteTable& table, size_t n, char* to, size_t room) {
        return text::EncodeSingleByte(table, in, n, bytes(to), room);
      },
      [&](const IconvCharset& charset, size_t n, char* to, size_t room) {
        return IconvEncode(charset, in, n, to, room);
      });
}

bool IsCodePageSupported(unsigned int codePage) {
  // The built-in codecs convert everything but HZ on their own; HZ needs
  // the GB2312 grid, which a system may lack.
  if (FindBuiltInCodec(codePage) != nullptr)
    return codePage != kHz || PlatformGb2312Table() != nullptr;
  if (text::FindSingleByteTable(codePage) != nullptr) return true;
  const std::optional<IconvCharset> charset = FindIconvCharset(codePage);
  return charset && IconvCanConvert(*charset);
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

}  // namespace kelmo::os
