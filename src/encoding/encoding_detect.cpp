// Sniffing the encoding of a byte buffer: a byte-order mark, a "<" in UTF-16
// without a mark, or the encoding named by an XML declaration (read by the
// syntax layer, syntax/xml_declaration.h).
#include <cstring>

#include "encoding/encoding.h"
#include "syntax/byte_order_marks.h"
#include "syntax/xml_declaration.h"

namespace kelmo {
namespace {

// Whether the bytes (at least four) start with the mark.
bool StartsWith(const unsigned char* bytes, std::string_view mark) {
  return std::memcmp(bytes, mark.data(), mark.size()) == 0;
}

void CopyName(char name[kEncodingNameSize], const char* text) {
  std::strncpy(name, text, kEncodingNameSize - 1);
  name[kEncodingNameSize - 1] = 0;
}

}  // namespace

bool DetectEncoding(const unsigned char* bytes, uint32_t size, char name[kEncodingNameSize],
                    uint32_t* bomLength) {
  if (!bytes || size < 4 || !name) return false;
  std::memset(name, 0, kEncodingNameSize);
  if (bomLength) *bomLength = 0;

  const unsigned char b0 = bytes[0];
  const unsigned char b1 = bytes[1];
  const char* found = nullptr;
  uint32_t bom = 0;
  if (b0 == 0x3C && b1 == 0x00) {
    found = "utf-16le";
  } else if (b0 == 0x00 && b1 == 0x3C) {
    found = "utf-16be";
  } else if (StartsWith(bytes, syntax::kBomUtf16Le)) {
    found = "utf-16le";
    bom = 2;
  } else if (StartsWith(bytes, syntax::kBomUtf16Be)) {
    found = "utf-16be";
    bom = 2;
  } else if (StartsWith(bytes, syntax::kBomUtf8) && bytes[3] == 0x3C) {
    // Only a mark directly followed by "<" counts as one; otherwise the three
    // bytes stay part of the text.
    found = "utf-8";
    bom = 3;
  }
  if (found) {
    CopyName(name, found);
    if (bomLength) *bomLength = bom;
    return true;
  }
  return syntax::ReadDeclaredEncoding(bytes, size, name, kEncodingNameSize);
}

}  // namespace kelmo
