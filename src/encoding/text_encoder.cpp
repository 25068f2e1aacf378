// Wide text to output bytes for one save, and the choice of code page and
// byte-order mark from an encoding name.
#include <climits>
#include <cstring>

#include "encoding/encoding.h"
#include "os/code_page.h"

namespace kelmo {

int EncodeWith(const Encoding& encoding, const WChar* in, int inSize, char* out, int outSize) {
  if (encoding.charset[0] != 0)
    return platform::WideToMultiByteNamed(encoding.charset, in, inSize, out, outSize);
  return platform::WideToMultiByte(encoding.codePage, in, inSize, out, outSize);
}

TextEncoder::~TextEncoder() { delete[] converted_; }

void TextEncoder::Use(const Encoding& encoding) {
  codePage = encoding.codePage;
  std::memcpy(charset, encoding.charset, kEncodingNameSize);
}

bool TextEncoder::Encode(const WChar* text, uint32_t units, const unsigned char*& bytes,
                         uint64_t& size) {
  if (!text) units = 0;
  const Encoding encoding = EncodingOf(codePage, charset);
  const bool named = encoding.charset[0] != 0;  // then the code page is not used
  if (!named && codePage == kCodePageUtf16LE) {
    bytes = reinterpret_cast<const unsigned char*>(text);
    size = uint64_t(units) * 2;
    return true;
  }

  bytes = nullptr;
  size = 0;
  delete[] converted_;
  converted_ = nullptr;

  if (!named && codePage == kCodePageUtf16BE) {
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
  const int needed = EncodeWith(encoding, text, int(units), nullptr, 0);
  if (needed <= 0) return false;
  unsigned char* narrow = new unsigned char[size_t(needed)];
  const int written = EncodeWith(encoding, text, int(units), reinterpret_cast<char*>(narrow), needed);
  if (written <= 0) {
    delete[] narrow;
    return false;
  }
  converted_ = narrow;
  bytes = converted_;
  size = uint64_t(written);
  return true;
}

bool FindOutputEncoding(const WChar* encodingName, Encoding& encoding) {
  char name[kEncodingNameSize];
  return LowerEncodingName(encodingName, name) && FindEncoding(name, encoding);
}

bool PrepareOutputEncoding(TextEncoder& encoder, const WChar* encodingName, const WChar* text,
                           uint32_t units, const unsigned char** bom, uint32_t* bomLength,
                           const unsigned char*& bytes, uint64_t& size) {
  Encoding encoding;
  if (!FindOutputEncoding(encodingName, encoding)) return false;
  encoder.Use(encoding);
  // Encodings known only by name carry no mark; the reader finds them by
  // the declaration alone.
  const uint32_t markLength = ByteOrderMark(encoding.charset[0] ? 0 : encoding.codePage, bom);
  if (bomLength) *bomLength = markLength;
  return encoder.Encode(text, units, bytes, size);
}

bool ReadsBackAs(const Encoding& encoding, const unsigned char* bom, uint32_t bomLength,
                 const unsigned char* bytes, uint64_t size, const WChar* text, uint32_t units) {
  // The reader sniffs the mark and the declaration at the start; the first
  // bytes are enough for any declaration that names a known encoding.
  unsigned char start[512];
  const uint64_t taken = bomLength + (size < sizeof start - bomLength ? size : sizeof start - bomLength);
  if (bomLength > 0) std::memcpy(start, bom, bomLength);
  if (size > 0) std::memcpy(start + bomLength, bytes, size_t(taken - bomLength));
  char name[kEncodingNameSize];
  uint32_t foundBom = 0;
  Encoding found;
  if (!DetectEncoding(start, uint32_t(taken), name, &foundBom) || foundBom != bomLength ||
      !FindEncoding(name, found) || found != encoding)
    return false;
  if (size > uint64_t(INT_MAX)) return false;
  TextDecoder decoder;
  decoder.Use(encoding);
  const WChar* back = nullptr;
  uint32_t backUnits = 0;
  if (size == 0) return units == 0;
  if (!decoder.Decode(bytes, uint32_t(size), back, backUnits) || backUnits != units) return false;
  return std::memcmp(back, text, size_t(units) * sizeof(WChar)) == 0;
}

}  // namespace kelmo
