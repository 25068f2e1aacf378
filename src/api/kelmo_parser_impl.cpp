#include "api/kelmo_parser_impl.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "api/parser_factory.h"
#include "encoding/encoding.h"
#include "encoding/single_byte_page.h"
#include "os/file_open.h"
#include "os/whole_file.h"
#include "text/single_byte_utf8.h"
#include "text/text_length.h"
#include "text/utf8_codec.h"
#include "tree/doc_memory.h"
#include "tree/wstr_buf.h"

namespace kelmo {

RefPtr<KelmoParser> NewKelmoParser() {
  return RefPtr<KelmoParser>(new KelmoParserImpl, adopt_ref);
}

void KelmoParserImpl::Reset() { parser_.Reset(); }

bool KelmoParserImpl::FailAfterReset(ParseError error) {
  Reset();
  parser_.SetError(error);
  return false;
}

bool KelmoParserImpl::ParseWide(const WChar* text, uint32_t length) {
  Reset();
  if (!text || length == 0) return FailAfterReset(ParseError::NoElement);
  return parser_.Feed(text, length) && FinishParse();
}

bool KelmoParserImpl::FinishParse() {
  if (!parser_.FinishInput()) return false;
  // A document without an element is no document: a damaged file must not
  // load as an empty tree that a host would take for its defaults.
  if (!parser_.Root()->FirstChild()) {
    parser_.SetError(ParseError::NoElement);
    return false;
  }
  parser_.ReleaseCurrent();
  // The finished tree may go in one step once nobody holds it.
  DocMemory::Seal(parser_.Root().get());
  return true;
}

bool KelmoParserImpl::ParseStringW(const WChar* text, unsigned int length) {
  return ParseWide(text, text::ResolveLength(text, length));
}

bool KelmoParserImpl::ParseStringA(const char* text, unsigned int length, unsigned int codePage) {
  Reset();
  const uint32_t resolved = text::ResolveLength(text, length);
  if (resolved == 0) return FailAfterReset(ParseError::NoElement);
  // Well-formed UTF-8 is read as it stands, as ParseBuffer reads it.
  if (codePage == kCodePageUtf8) {
    bool illFormed = false;
    const bool parsed = ParseUtf8(reinterpret_cast<const unsigned char*>(text), resolved, illFormed);
    if (!illFormed) return parsed;
    Reset();
  }
  WStrBuf wide;
  if (!WStrBuf::FromNarrow(wide, text, resolved, codePage)) {
    parser_.SetError(ParseError::Encoding);
    return false;
  }
  return parser_.Feed(wide.Data(), wide.Length()) && FinishParse();
}

bool KelmoParserImpl::ParseBuffer(const unsigned char* bytes, unsigned int size) {
  TextDecoder decoder;
  uint32_t bomLength = 0;
  if (size == 0) return FailAfterReset(ParseError::NoElement);
  if (!SniffDocument(decoder, bytes, size, bomLength, nullptr))
    return FailAfterReset(ParseError::Encoding);
  // Large input goes through the machine a piece at a time where its
  // encoding allows, so that its wide text (twice the size of ASCII input)
  // is never whole in memory.
  const Encoding encoding = EncodingOf(decoder.codePage, decoder.charset);
  // UTF-16 whose last byte is half a unit is read up to that byte; a
  // document that reads well so far then fails there, as an encoding error
  // at the end of its text, rather than loading without the byte.
  const bool halfUnitAtEnd = decoder.ReadsUtf16() && (size - bomLength) % 2 != 0;
  bool parsed = false;
  // UTF-8 is read as it stands when it is well-formed: the parser then
  // decodes only what the tree keeps. Ill-formed bytes go the decoding way,
  // which replaces each bad sequence, so both ways read the same text.
  bool decode = encoding != Encoding{kCodePageUtf8, {}};
  if (!decode) {
    parsed = ParseUtf8(bytes + bomLength, size - bomLength, decode);
  }
  // A single-byte page is read as bytes too, made UTF-8 on the way.
  WChar byteUnits[256];
  if (decode && SingleByteUnits(encoding, byteUnits)) {
    parsed = ParseSingleByte(bytes + bomLength, size - bomLength, byteUnits);
  } else if (decode) {
    if (size - bomLength > DocumentPieces::kPieceBytes && DocumentPieces::Supports(encoding)) {
      parsed = ParseInPieces(encoding, bytes + bomLength, size - bomLength);
    } else {
      const WChar* text = nullptr;
      uint32_t units = 0;
      if (!decoder.Decode(bytes + bomLength, size - bomLength, text, units))
        return FailAfterReset(ParseError::Encoding);
      parsed = ParseWide(text, units);
    }
  }
  if (parsed && halfUnitAtEnd) {
    parser_.SetError(ParseError::Encoding);
    return false;
  }
  return parsed;
}

bool KelmoParserImpl::ParseInPieces(const Encoding& encoding, const unsigned char* bytes,
                                    uint32_t size) {
  Reset();
  DocumentPieces pieces(encoding, bytes, size);
  const WChar* text = nullptr;
  uint32_t units = 0;
  while (pieces.Next(text, units)) {
    if (!parser_.Feed(text, units)) return false;
  }
  if (pieces.Failed()) return FailAfterReset(ParseError::Encoding);
  return FinishParse();
}

bool KelmoParserImpl::ParseSingleByte(const unsigned char* bytes, uint32_t size,
                                      const WChar (&units)[256]) {
  Reset();
  text::SingleByteToUtf8 toUtf8;
  if (!toUtf8.Set(units)) return FailAfterReset(ParseError::Encoding);
  constexpr uint32_t kPiece = DocumentPieces::kPieceBytes;
  // Room for the largest piece this document has: a small document does not
  // take (and clear) room for a whole piece.
  const uint32_t largest = size < kPiece ? size : kPiece;
  std::vector<char> utf8(size_t(largest) * text::SingleByteToUtf8::kMaxBytesPerByte +
                         text::SingleByteToUtf8::kSlack);
  // Every byte is one unit, so a piece may end anywhere.
  for (uint32_t done = 0; done < size;) {
    const uint32_t n = size - done < kPiece ? size - done : kPiece;
    const size_t made = toUtf8.Convert(bytes + done, n, utf8.data());
    if (!parser_.FeedBytes(utf8.data(), static_cast<uint32_t>(made), n)) return false;
    done += n;
  }
  return FinishParse();
}

bool KelmoParserImpl::ParseUtf8(const unsigned char* bytes, uint32_t size, bool& illFormed) {
  Reset();
  const char* text = reinterpret_cast<const char*>(bytes);
  // Pieces end after three ASCII bytes (DocumentPieces::PieceEnd), so each
  // feed holds whole characters; the decoding way fails a piece that long.
  // Each piece is checked just before it is read, while it is in the cache,
  // and the check's count of its units spares the reader counting them.
  for (uint32_t done = 0; done < size;) {
    const uint32_t end = DocumentPieces::PieceEnd(bytes, size, done, DocumentPieces::kPieceBytes);
    if (end - done > uint32_t(INT_MAX)) return FailAfterReset(ParseError::Encoding);
    const int64_t units = text::WellFormedUtf8Units(bytes + done, end - done);
    if (units < 0) {
      // What was read so far is dropped: the decoding way starts over.
      Reset();
      illFormed = true;
      return false;
    }
    if (!parser_.FeedBytes(text + done, end - done, static_cast<uint32_t>(units))) return false;
    done = end;
  }
  return FinishParse();
}

bool KelmoParserImpl::ParseOpenFile(std::FILE* file) {
  os::FileBytes bytes(nullptr, &std::free);
  uint32_t size = 0;
  if (!os::ReadWholeFile(file, bytes, size)) return FailAfterReset(ParseError::File);
  return ParseBuffer(bytes.get(), size);
}

bool KelmoParserImpl::ParseFileA(const char* path) {
  return ParseOpenFile(os::OpenFileA(path, "rb"));
}

bool KelmoParserImpl::ParseFileW(const WChar* path) {
  return ParseOpenFile(os::OpenFileW(path, "rb"));
}

unsigned int KelmoParserImpl::GetErrorLine() { return parser_.Line(); }
unsigned int KelmoParserImpl::GetErrorColumn() { return parser_.Column(); }
unsigned int KelmoParserImpl::GetErrorOffset() { return parser_.Offset(); }
unsigned int KelmoParserImpl::GetErrorCode() { return parser_.Error(); }

RefPtr<Kelmo> KelmoParserImpl::GetRoot() { return RefPtr<Kelmo>(parser_.Root()); }

RefPtr<Kelmo> KelmoParserImpl::DetachRoot() {
  RefPtr<Kelmo> root(parser_.Root());
  parser_.ReleaseRoot();
  parser_.ReleaseCurrent();
  return root;
}

}  // namespace kelmo
