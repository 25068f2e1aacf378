// The parser object handed to hosts: five ways in (narrow text, wide text,
// sniffed bytes, narrow and wide file paths), the position and code of the
// failure, and the root of the tree that was built.
#ifndef KELMO_API_KELMO_PARSER_IMPL_H
#define KELMO_API_KELMO_PARSER_IMPL_H

#include <cstdio>

#include "encoding/encoding.h"
#include "kelmo/kelmo.h"
#include "xml/xml_parser.h"

namespace kelmo {

class KelmoParserImpl final : public ref_counter_base<KelmoParser, KelmoParserImpl> {
 public:
  KelmoParserImpl() = default;

  bool ParseStringA(const char* text, unsigned int length, unsigned int codePage) override;
  bool ParseStringW(const WChar* text, unsigned int length) override;
  bool ParseBuffer(const unsigned char* bytes, unsigned int size) override;
  bool ParseFileA(const char* path) override;
  bool ParseFileW(const WChar* path) override;
  unsigned int GetErrorLine() override;
  unsigned int GetErrorColumn() override;
  unsigned int GetErrorOffset() override;
  unsigned int GetErrorCode() override;
  RefPtr<Kelmo> GetRoot() override;
  RefPtr<Kelmo> DetachRoot() override;
  // AddRef and Release come from ref_counter_base.

  // Fresh unnamed root, clean reader, error 0. Every parse starts with it.
  void Reset();

  // The parse state, for the library's own tests.
  const XmlParser& Parser() const { return parser_; }

 private:
  // Resets, then feeds a text whose length is already resolved.
  bool ParseWide(const WChar* text, uint32_t length);
  // A document in a single-byte page (units: each byte's unit), made UTF-8
  // a piece at a time and read as bytes.
  bool ParseSingleByte(const unsigned char* bytes, uint32_t size, const WChar (&units)[256]);
  // After the last input: the end-of-input check, and the current node let go.
  bool FinishParse();
  bool ParseInPieces(const Encoding& encoding, const unsigned char* bytes, uint32_t size);
  // Well-formed UTF-8 read as it stands, without a decoded copy of the
  // document: large input in the same pieces as ParseInPieces.
  // Sets illFormed, keeping nothing, when a piece is not well-formed.
  bool ParseUtf8(const unsigned char* bytes, uint32_t size, bool& illFormed);
  // Reads a whole open file (closing it) and parses its bytes; a null file
  // is a read failure.
  bool ParseOpenFile(std::FILE* file);
  bool FailAfterReset(ParseError error);

  XmlParser parser_;
};

}  // namespace kelmo

#endif  // KELMO_API_KELMO_PARSER_IMPL_H
