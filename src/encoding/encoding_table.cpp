// The encoding names the library knows, their code pages and the byte-order
// marks that go with them.
#include <cstring>

#include "encoding/encoding.h"

namespace kelmo {

const char kEncodingNames[kEncodingCount][kEncodingNameSize] = {
    "",           "utf-8",     "utf8",       "utf-16le",   "utf16le",
    "utf-16",     "utf16",     "unicode",    "utf-16be",   "utf16be",
    "unicodefffe", "gb2312",   "gbk",        "x-cp20936",  "hz-gb-2312",
    "gb18030",    "big5",      "shift_jis",  "ks_c_5601-1987", "us-ascii",
};

const uint32_t kEncodingCodePages[kEncodingCount] = {
    kCodePageUtf8,    kCodePageUtf8,    kCodePageUtf8,    kCodePageUtf16LE, kCodePageUtf16LE,
    kCodePageUtf16LE, kCodePageUtf16LE, kCodePageUtf16LE, kCodePageUtf16BE, kCodePageUtf16BE,
    kCodePageUtf16BE, 936,              936,              20936,            52936,
    54936,            950,              932,              949,              20127,
};

const unsigned char kBomUtf8[3] = {0xEF, 0xBB, 0xBF};
const unsigned char kBomUtf16Le[2] = {0xFF, 0xFE};
const unsigned char kBomUtf16Be[2] = {0xFE, 0xFF};

uint32_t LookupCodePage(const char* name) {
  // A missing name is the same as an empty one: the first row, UTF-8.
  if (!name) name = "";
  for (int row = 0; row < kEncodingCount; ++row) {
    if (std::strncmp(name, kEncodingNames[row], kEncodingNameSize) == 0)
      return kEncodingCodePages[row];
  }
  return 0;
}

uint32_t ByteOrderMark(uint32_t codePage, const unsigned char** bom) {
  const unsigned char* bytes = nullptr;
  uint32_t length = 0;
  switch (codePage) {
    case kCodePageUtf8:
      bytes = kBomUtf8;
      length = sizeof kBomUtf8;
      break;
    case kCodePageUtf16LE:
      bytes = kBomUtf16Le;
      length = sizeof kBomUtf16Le;
      break;
    case kCodePageUtf16BE:
      bytes = kBomUtf16Be;
      length = sizeof kBomUtf16Be;
      break;
    default:
      break;
  }
  if (bom) *bom = bytes;
  return length;
}

}  // namespace kelmo
