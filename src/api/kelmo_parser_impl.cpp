#include "api/kelmo_parser_impl.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "api/parser_factory.h"
#include "encoding/encoding.h"
#include "os/file_open.h"
#include "text/text_length.h"
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
  return ParseWide(text, ResolveLength(text, length));
}

bool KelmoParserImpl::ParseStringA(const char* text, unsigned int length, unsigned int codePage) {
  Reset();
  const uint32_t resolved = ResolveLength(text, length);
  if (resolved == 0) return FailAfterReset(ParseError::NoElement);
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
  if (size - bomLength > DocumentPieces::kPieceBytes && DocumentPieces::Supports(encoding)) {
    parsed = ParseInPieces(encoding, bytes + bomLength, size - bomLength);
  } else {
    const WChar* text = nullptr;
    uint32_t units = 0;
    if (!decoder.Decode(bytes + bomLength, size - bomLength, text, units))
      return FailAfterReset(ParseError::Encoding);
    parsed = ParseWide(text, units);
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

namespace {

using FileBytes = std::unique_ptr<unsigned char, decltype(&std::free)>;

// The largest input ParseBuffer takes: its size is 32-bit.
constexpr uint64_t kMaxInput = 0xFFFFFFFFu;

// Reads an open file to its end in growing blocks, for files whose size
// cannot be told in advance: pipes, terminals, and files such as those
// under /proc that report a size of 0.
bool ReadToEnd(std::FILE* file, FileBytes& bytes, uint32_t& size) {
  uint64_t capacity = 0;
  uint64_t filled = 0;
  while (true) {
    if (filled == capacity) {
      if (capacity >= kMaxInput) return false;  // more than ParseBuffer can take
      uint64_t grown = capacity == 0 ? 65536 : capacity * 2;
      if (grown > kMaxInput) grown = kMaxInput;
      void* block = std::realloc(bytes.get(), static_cast<size_t>(grown));
      if (!block) return false;
      bytes.release();
      bytes.reset(static_cast<unsigned char*>(block));
      capacity = grown;
    }
    const size_t read = std::fread(bytes.get() + filled, 1, static_cast<size_t>(capacity - filled), file);
    filled += read;
    if (read == 0 || filled < capacity) {
      if (std::ferror(file)) return false;
      if (std::feof(file)) break;
    }
  }
  size = static_cast<uint32_t>(filled);
  return true;
}

// Reads a whole file and closes it: with one read into a buffer of its
// exact size where the size can be told, otherwise to its end. ParseBuffer
// takes a 32-bit size, so a larger file is a failure rather than a
// truncated prefix.
bool ReadWholeFile(std::FILE* file, FileBytes& bytes, uint32_t& size) {
  if (!file) return false;
  bool ok = false;
  const int64_t fileSize = platform::FileSize(file);
  if (fileSize <= 0) {
    ok = ReadToEnd(file, bytes, size);
  } else if (uint64_t(fileSize) <= kMaxInput) {
    size = static_cast<uint32_t>(fileSize);
    bytes.reset(static_cast<unsigned char*>(std::malloc(size)));
    // A file that grew since its size was taken is read only as far as
    // that size; one that shrank is a failed read.
    ok = bytes && std::fread(bytes.get(), 1, size, file) == size;
  }
  std::fclose(file);
  return ok;
}

}  // namespace

bool KelmoParserImpl::ParseOpenFile(std::FILE* file) {
  FileBytes bytes(nullptr, &std::free);
  uint32_t size = 0;
  if (!ReadWholeFile(file, bytes, size)) return FailAfterReset(ParseError::File);
  return ParseBuffer(bytes.get(), size);
}

bool KelmoParserImpl::ParseFileA(const char* path) {
  return ParseOpenFile(platform::OpenFileA(path, "rb"));
}

bool KelmoParserImpl::ParseFileW(const WChar* path) {
  return ParseOpenFile(platform::OpenFileW(path, "rb"));
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
