// The encoding names the library knows, their code pages and the byte-order
// marks that go with them.
#include <cstring>

#include "encoding/encoding.h"
#include "text/code_pages.h"

namespace kelmo {

const char kEncodingNames[kEncodingCount][kEncodingNameSize] = {
    "",           "utf-8",     "utf8",       "utf-16le",   "utf16le",
    "utf-16",     "utf16",     "unicode",    "utf-16be",   "utf16be",
    "unicodefffe", "gb2312",   "gbk",        "x-cp20936",  "hz-gb-2312",
    "gb18030",    "big5",      "shift_jis",  "ks_c_5601-1987", "us-ascii",
};

static_assert(code_pages::kUtf8 == kCodePageUtf8 && code_pages::kUtf16LittleEndian == kCodePageUtf16LE &&
                  code_pages::kUtf16BigEndian == kCodePageUtf16BE,
              "the public code-page numbers and the library's own agree");

const uint32_t kEncodingCodePages[kEncodingCount] = {
    kCodePageUtf8,    kCodePageUtf8,    kCodePageUtf8,    kCodePageUtf16LE, kCodePageUtf16LE,
    kCodePageUtf16LE, kCodePageUtf16LE, kCodePageUtf16LE, kCodePageUtf16BE, kCodePageUtf16BE,
    kCodePageUtf16BE, 936,              936,              20936,            52936,
    54936,            950,              932,              949,              20127,
};

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
  std::string_view mark;
  switch (codePage) {
    case kCodePageUtf8: mark = kBomUtf8; break;
    case kCodePageUtf16LE: mark = kBomUtf16Le; break;
    case kCodePageUtf16BE: mark = kBomUtf16Be; break;
    default: break;
  }
  if (bom) *bom = mark.empty() ? nullptr : reinterpret_cast<const unsigned char*>(mark.data());
  return uint32_t(mark.size());
}

}  // namespace kelmo
