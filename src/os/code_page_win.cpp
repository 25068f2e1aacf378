// On Windows the system converters do the work, except for the Unicode
// forms: UTF-16 as bytes (1200, 1201), which they refuse, and UTF-8, which
// the library's own codec converts in both directions, so that a document
// reads and writes the same on every platform.
#include <windows.h>

#include <climits>

#include "os/code_page.h"
#include "text/output_cursor.h"
#include "text/utf16_byte_codec.h"
#include "text/utf8_codec.h"
#include "text/code_pages.h"

namespace kelmo::os {
namespace {

using namespace text::code_pages;

bool ValidArguments(const void* in, int inSize, const void* out, int outSize) {
  return in != nullptr && inSize > 0 && outSize >= 0 && (outSize == 0 || out != nullptr);
}

int ToCount(int64_t produced) {
  return produced <= 0 || produced > INT_MAX ? 0 : static_cast<int>(produced);
}

bool IsUtf16CodePage(unsigned int codePage) {
  return codePage == kUtf16LittleEndian || codePage == kUtf16BigEndian;
}

text::ByteOrder OrderOf(unsigned int codePage) {
  return codePage == kUtf16LittleEndian ? text::ByteOrder::kLittleEndian : text::ByteOrder::kBigEndian;
}

}  // namespace

int MultiByteToWide(unsigned int codePage, const char* in, int inSize, WChar* out, int outSize) {
  if (!ValidArguments(in, inSize, out, outSize)) return 0;
  if (IsUtf16CodePage(codePage)) {
    return ToCount(text::DecodeUtf16Bytes(OrderOf(codePage), reinterpret_cast<const unsigned char*>(in),
                                    static_cast<size_t>(inSize), outSize > 0 ? out : nullptr,
                                    static_cast<size_t>(outSize)));
  }
  if (codePage == kUtf8) {
    return ToCount(text::DecodeUtf8(reinterpret_cast<const unsigned char*>(in), static_cast<size_t>(inSize),
                              outSize > 0 ? out : nullptr, static_cast<size_t>(outSize)));
  }
  // Code page 0 is CP_ACP, the process's ANSI code page.
  return ::MultiByteToWideChar(codePage, 0, in, inSize, outSize > 0 ? out : nullptr, outSize);
}

int WideToMultiByte(unsigned int codePage, const WChar* in, int inSize, char* out, int outSize) {
  if (!ValidArguments(in, inSize, out, outSize)) return 0;
  if (IsUtf16CodePage(codePage)) {
    return ToCount(text::EncodeUtf16Bytes(OrderOf(codePage), in, static_cast<size_t>(inSize),
                                    outSize > 0 ? reinterpret_cast<unsigned char*>(out) : nullptr,
                                    static_cast<size_t>(outSize)));
  }
  if (codePage == kUtf8) {
    return ToCount(text::EncodeUtf8(in, static_cast<size_t>(inSize),
                              outSize > 0 ? reinterpret_cast<unsigned char*>(out) : nullptr,
                              static_cast<size_t>(outSize)));
  }
  return ::WideCharToMultiByte(codePage, 0, in, inSize, outSize > 0 ? out : nullptr, outSize, nullptr, nullptr);
}

bool IsCodePageSupported(unsigned int codePage) {
  return codePage == CP_ACP || IsUtf16CodePage(codePage) || ::IsValidCodePage(codePage) != FALSE;
}

int MultiByteToWideNamed(const char*, const char*, int, WChar*, int) { return 0; }

int WideToMultiByteNamed(const char*, const WChar*, int, char*, int) { return 0; }

bool IsCharsetSupported(const char*) { return false; }

}  // namespace kelmo::os
