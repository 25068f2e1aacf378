// Wide text to output bytes for one save, and the choice of code page and
// byte-order mark from an encoding name.
#include <climits>
#include <cstring>

#include "platform/code_page.h"
#include "xml_in/text_encoding.h"

namespace kelmo {

TextEncoder::~TextEncoder() { delete[] converted_; }

bool TextEncoder::Encode(const WChar* text, uint32_t units, const unsigned char*& bytes,
                         uint64_t& size) {
  if (!text) units = 0;
  if (codePage == kCodePageUtf16LE) {
    bytes = reinterpret_cast<const unsigned char*>(text);
    size = uint64_t(units) * 2;
    return true;
  }

  bytes = nullptr;
  size = 0;
  delete[] converted_;
  converted_ = nullptr;

  if (codePage == kCodePageUtf16BE) {
    const uint64_t count = uint64_t(units) * 2;
    unsigned char* swapped = new unsigned char[count ? count : 1];
    for (uint32_t i = 0; i < units; ++i) {
      const uint16_t unit = static_cast<uint16_t>(text[i]);
      swapped[2 * size_t(i)] = static_cast<unsigned char>(unit >> 8);
      swapped[2 * size_t(i) + 1] = static_cast<unsigned char>(unit & 0xFF);
    }
    converted_ = swapped;
    bytes = converted_;
    size = count;
    return true;
  }

  // The converter counts in int.
  if (!text || units == 0 || units > uint32_t(INT_MAX)) return false;
  const int needed = platform::WideToMultiByte(codePage, text, int(units), nullptr, 0);
  if (needed <= 0) return false;
  unsigned char* narrow = new unsigned char[size_t(needed)];
  const int written = platform::WideToMultiByte(codePage, text, int(units),
                                                reinterpret_cast<char*>(narrow), needed);
  if (written <= 0) {
    delete[] narrow;
    return false;
  }
  converted_ = narrow;
  bytes = converted_;
  size = uint64_t(written);
  return true;
}

uint32_t OutputCodePage(const WChar* encodingName) {
  // The table's names are ASCII: letters are lowered, any other unit keeps
  // its low byte.
  char name[kEncodingNameSize] = {};
  if (encodingName) {
    for (int i = 0; i < kEncodingNameSize - 1 && encodingName[i] != 0; ++i) {
      const uint16_t unit = static_cast<uint16_t>(encodingName[i]);
      name[i] = static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit & 0xFF);
    }
  }
  return LookupCodePage(name);
}

bool PrepareOutputEncoding(TextEncoder& encoder, const WChar* encodingName, const WChar* text,
                           uint32_t units, const unsigned char** bom, uint32_t* bomLength,
                           const unsigned char*& bytes, uint64_t& size) {
  encoder.codePage = OutputCodePage(encodingName);
  const uint32_t markLength = ByteOrderMark(encoder.codePage, bom);
  if (bomLength) *bomLength = markLength;
  return encoder.Encode(text, units, bytes, size);
}

}  // namespace kelmo
