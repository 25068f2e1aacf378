// Between bytes and wide text: the known encoding names and their code pages,
// byte-order marks, sniffing of a byte buffer, and the conversions used when
// reading bytes and when writing files.
#ifndef KELMO_XML_IN_TEXT_ENCODING_H
#define KELMO_XML_IN_TEXT_ENCODING_H

#include <cstdint>

#include "kelmo/kelmo.h"

namespace kelmo {

constexpr int kEncodingCount = 20;
constexpr int kEncodingNameSize = 32;

// Names (zero-padded, lower case) and code pages, in lookup order.
extern const char kEncodingNames[kEncodingCount][kEncodingNameSize];
extern const uint32_t kEncodingCodePages[kEncodingCount];

// Exact, case-sensitive lookup; 0 (platform default) when the name is unknown.
// A null name counts as the empty name (UTF-8).
uint32_t LookupCodePage(const char* name);

extern const unsigned char kBomUtf8[3];
extern const unsigned char kBomUtf16Le[2];
extern const unsigned char kBomUtf16Be[2];

// The byte-order mark written before output in this code page: its length
// (0 for code pages without one) and, when bom is given, its bytes (null
// when there are none).
uint32_t ByteOrderMark(uint32_t codePage, const unsigned char** bom);

// Sniffs the encoding: byte-order mark, "<" in UTF-16 without a mark, or the
// encoding named by the XML declaration. False when the buffer is shorter than
// 4 bytes or the declaration is cut off by its end. bomLength may be null.
bool DetectEncoding(const unsigned char* bytes, uint32_t size, char name[kEncodingNameSize],
                    uint32_t* bomLength);

// The two UTF-16 code pages (kCodePageUtf16LE, kCodePageUtf16BE) are
// converted here; every other one goes to the platform converter.

// Decodes bytes to wide text for one parse. The text either points into the
// given bytes (UTF-16LE, when suitably aligned) or into the decoder's own copy.
class TextDecoder {
 public:
  TextDecoder() = default;
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  char name[kEncodingNameSize] = {};
  uint32_t codePage = 0;

  bool Decode(const unsigned char* bytes, uint32_t size, const WChar*& text, uint32_t& units);

 private:
  WChar* converted_ = nullptr;
};

// Encodes wide text to output bytes for one save.
class TextEncoder {
 public:
  TextEncoder() = default;
  ~TextEncoder();
  TextEncoder(const TextEncoder&) = delete;
  TextEncoder& operator=(const TextEncoder&) = delete;

  uint32_t codePage = 0;

  bool Encode(const WChar* text, uint32_t units, const unsigned char*& bytes, uint64_t& size);

 private:
  unsigned char* converted_ = nullptr;
};

// The code page for an output encoding name (null or empty: UTF-8), looked
// up with ASCII letters lowered.
uint32_t OutputCodePage(const WChar* encodingName);

// Chooses the code page for an encoding name (null or empty: UTF-8), gives its
// byte-order mark (may be empty) and encodes the text.
bool PrepareOutputEncoding(TextEncoder& encoder, const WChar* encodingName, const WChar* text,
                           uint32_t units, const unsigned char** bom, uint32_t* bomLength,
                           const unsigned char*& bytes, uint64_t& size);

}  // namespace kelmo

#endif  // KELMO_XML_IN_TEXT_ENCODING_H
