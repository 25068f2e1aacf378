// Wide text to output bytes for one save, and the choice of code page and
// byte-order mark from an encoding name.
#include <climits>
#include <cstring>

#include "encoding/encoding.h"
#include "os/code_page.h"
#include "text/utf16_byte_codec.h"

namespace kelmo {

int EncodeWith(const Encoding& encoding, const WChar* in, int inSize, char* out, int outSize) {
  if (encoding.charset[0] != 0)
    return os::WideToMultiByteNamed(encoding.charset, in, inSize, out, outSize);
  return os::WideToMultiByte(encoding.codePage, in, inSize, out, outSize);
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
  Drop();

  if (!named && codePage == kCodePageUtf16BE) {
    const uint64_t count = uint64_t(units) * 2;
    converted_ = new unsigned char[count ? count : 1];
    text::EncodeUtf16Bytes(text::ByteOrder::kBigEndian, text, units, converted_, count);
    bytes = converted_;
    size = count;
    return true;
  }

  // The converter counts in int.
  if (!text || units == 0 || units > uint32_t(INT_MAX)) return false;
  const int needed = EncodeWith(encoding, text, int(units), nullptr, 0);
  const int written = ConvertIntoCopy(needed, [&](unsigned char* narrow, int room) {
    return EncodeWith(encoding, text, int(units), reinterpret_cast<char*>(narrow), room);
  });
  if (written == 0) return false;
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
  return PrepareOutputEncoding(encoder, encoding, text, units, bom, bomLength, bytes, size);
}

bool PrepareOutputEncoding(TextEncoder& encoder, const Encoding& encoding, const WChar* text,
                           uint32_t units, const unsigned char** bom, uint32_t* bomLength,
                           const unsigned char*& bytes, uint64_t& size) {
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
  return DecodesTo(encoding, bytes, size, text, units);
}

}  // namespace kelmo
