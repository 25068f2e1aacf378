#include "streamed_check.h"

#include <string>
#include <string_view>
#include <utility>

#include "encoding/encoding.h"
#include "kelmo/easy/decoding.hpp"
#include "kelmo/line_starts.h"
#include "syntax/xml_tokenizer.h"
#include "text/unit_scan.h"
#include "text/utf16_byte_codec.h"

namespace kelmo_tool {
namespace {

using kelmo::DocumentPieces;
using kelmo::WChar;

// The reader's sink for a check: it keeps the names of the open elements,
// which their end tags must repeat, and whether there was an element at
// all. Nothing else is built, and no text is taken.
class OpenNames {
 public:
  void OpenElement(const WChar* name, uint32_t length) {
    starts_.push_back(names_.size());
    names_.append(name, length);
    sawElement_ = true;
  }
  void OpenAttribute(uint32_t, const WChar*, uint32_t) { inAttribute_ = true; }
  void ExtendName(const WChar* run, uint32_t length) {
    if (!inAttribute_) names_.append(run, length);
  }
  bool TakesText() const { return false; }
  void ElementText(const WChar*, uint32_t) {}
  void SectionOpened() {}
  void SectionText(const WChar*, uint32_t) {}
  void PlainAttributeValue(const WChar*, uint32_t) {}
  void AttributeValue(const WChar*, uint32_t) {}
  bool CloseAttribute() {
    inAttribute_ = false;
    return true;
  }
  bool CloseElement() {
    if (starts_.empty()) return false;
    names_.resize(starts_.back());
    starts_.pop_back();
    return true;
  }
  const WChar* OpenName(uint32_t& length) const {
    const size_t start = starts_.empty() ? names_.size() : starts_.back();
    length = static_cast<uint32_t>(names_.size() - start);
    return names_.data() + start;
  }
  bool AtTop() const { return starts_.empty(); }
  bool SawElement() const { return sawElement_; }

 private:
  std::basic_string<WChar> names_;  // the open elements' names, one after another
  std::vector<size_t> starts_;      // where each begins in names_
  bool inAttribute_ = false;
  bool sawElement_ = false;
};

// The input a block at a time, copied as it is read where a copy is kept.
class Blocks {
 public:
  Blocks(std::FILE* in, std::FILE* copy) : in_(in), copy_(copy) {}

  // Appends blocks to `bytes` until it holds more than `size` bytes or the
  // input ends. False when reading or copying fails.
  bool Fill(std::string& bytes, size_t size) {
    while (bytes.size() <= size && !ended_) {
      const size_t before = bytes.size();
      if (!ReadBlock(bytes)) return false;
      if (bytes.size() == before) ended_ = true;
    }
    return true;
  }
  // Reads the rest, for the copy.
  void Drain() {
    std::string rest;
    while (copy_ && !ended_ && ReadBlock(rest)) {
      if (rest.empty()) ended_ = true;
      rest.clear();
    }
  }
  bool Ended() const { return ended_; }
  bool Failed() const { return failed_; }
  uint64_t Total() const { return total_; }

 private:
  bool ReadBlock(std::string& bytes) {
    char block[65536];
    const size_t n = std::fread(block, 1, sizeof block, in_);
    if (std::ferror(in_)) {
      failed_ = true;
      return false;
    }
    if (copy_ && n > 0 && std::fwrite(block, 1, n, copy_) != n) return false;
    bytes.append(block, n);
    total_ += n;
    if (n == 0) ended_ = true;
    return true;
  }

  std::FILE* in_;
  std::FILE* copy_;
  bool ended_ = false;
  bool failed_ = false;
  uint64_t total_ = 0;
};

// A document decoded a piece at a time, as the parser decodes it whole.
class DecodedPieces {
 public:
  DecodedPieces(std::FILE* in, std::FILE* copy) : blocks_(in, copy) {}

  // Sniffs the encoding from the first block as the parser sniffs the whole
  // document. False where the document cannot be read in pieces: nothing
  // read, a declaration cut off by the block's end, an encoding that no
  // converter knows, or one that cannot be decoded in pieces.
  bool Start() {
    if (!blocks_.Fill(bytes_, kPiece) || bytes_.empty()) return false;
    const auto* first = reinterpret_cast<const unsigned char*>(bytes_.data());
    const uint32_t firstSize = static_cast<uint32_t>(bytes_.size());
    char name[kelmo::kEncodingNameSize] = {};
    uint32_t bomLength = 0;
    if (!kelmo::DetectEncoding(first, firstSize, name, &bomLength) && !blocks_.Ended()) return false;
    kelmo::TextDecoder decoder;
    bool known = false;
    if (!kelmo::SniffDocument(decoder, first, firstSize, bomLength, &known) || !known) return false;
    encoding_ = kelmo::EncodingOf(decoder.codePage, decoder.charset);
    utf16_ = decoder.ReadsUtf16();
    if (!utf16_ && !DocumentPieces::Supports(encoding_)) return false;
    order_ = decoder.codePage == kelmo::kCodePageUtf16LE ? kelmo::text::ByteOrder::kLittleEndian
                                                          : kelmo::text::ByteOrder::kBigEndian;
    info_ = DetectDocumentEncoding(bytes_);
    bytes_.erase(0, bomLength);
    return true;
  }

  // The next piece's units and the bytes they were decoded from, valid until
  // the next call. False at the end, or when reading or decoding fails.
  bool Next(const WChar*& text, uint32_t& units, std::string_view& bytes) {
    bytes_.erase(0, used_);
    used_ = 0;
    text = nullptr;
    units = 0;
    if (last_ || !blocks_.Fill(bytes_, kPiece)) return false;
    if (blocks_.Total() >= kelmo::kWholeText) {
      tooLarge_ = true;
      return false;
    }
    if (utf16_) return NextUtf16(text, units, bytes);
    // A piece ends where every decoder of the encoding starts a new
    // character, so the pieces decode to the units of the whole.
    while (true) {
      const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data());
      used_ = bytes_.empty() ? 0 : DocumentPieces::PieceEnd(data, uint32_t(bytes_.size()), 0, kPiece);
      if (used_ < bytes_.size() || blocks_.Ended()) break;
      if (!blocks_.Fill(bytes_, bytes_.size() + kPiece)) return false;
    }
    last_ = blocks_.Ended() && used_ == bytes_.size();
    bytes = std::string_view(bytes_.data(), used_);
    if (used_ == 0) return true;
    DocumentPieces piece(encoding_, reinterpret_cast<const unsigned char*>(bytes_.data()), used_);
    if (!piece.Next(text, units)) return false;
    // The piece's units outlive the piece.
    units_.assign(text, text + units);
    text = units_.data();
    return true;
  }

  bool Last() const { return last_; }
  // UTF-16 whose last byte is half a unit: the parser reads up to that byte
  // and then fails the document, as an encoding error at the end of its text.
  bool HalfUnitAtEnd() const { return halfUnit_; }
  bool TooLarge() const { return tooLarge_; }
  bool ReadFailed() const { return blocks_.Failed(); }
  void Drain() { blocks_.Drain(); }
  const kelmo::Encoding& encoding() const { return encoding_; }
  const EncodingInfo& info() const { return info_; }

 private:
  static constexpr uint32_t kPiece = DocumentPieces::kPieceBytes;
  Blocks blocks_;
  std::string bytes_;  // read and not yet decoded
  uint32_t used_ = 0;  // bytes of the last piece
  std::vector<WChar> units_;
  kelmo::Encoding encoding_;
  EncodingInfo info_;
  bool last_ = false;
  bool tooLarge_ = false;
  bool utf16_ = false;
  kelmo::text::ByteOrder order_ = kelmo::text::ByteOrder::kLittleEndian;
  bool halfUnit_ = false;

  // UTF-16 keeps every unit, two bytes each: a piece may end after any
  // unit but the first half of a surrogate pair, which the piece after it
  // completes.
  bool NextUtf16(const WChar*& text, uint32_t& units, std::string_view& bytes) {
    const bool ended = blocks_.Ended();
    size_t size = bytes_.size() - bytes_.size() % 2;
    if (!ended || size > kPiece) {
      size = kPiece;
      const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data());
      const unsigned unit = order_ == kelmo::text::ByteOrder::kLittleEndian
                                ? data[size - 2] | unsigned(data[size - 1]) << 8
                                : unsigned(data[size - 2]) << 8 | data[size - 1];
      if (unit >= 0xD800 && unit < 0xDC00) size -= 2;
    }
    used_ = static_cast<uint32_t>(size);
    last_ = ended && bytes_.size() - size < 2;
    if (last_) {
      halfUnit_ = bytes_.size() - size == 1;
      used_ = static_cast<uint32_t>(bytes_.size());
    }
    bytes = std::string_view(bytes_.data(), size);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data());
    units_.resize(size / 2);
    const int64_t count = kelmo::text::DecodeUtf16Bytes(order_, data, size, units_.data(), units_.size());
    if (count < 0) return false;
    text = units_.data();
    units = static_cast<uint32_t>(count);
    return true;
  }
};

// Where each problem and each U+FFFD stands, counted as the text goes by:
// the units before `settled` are counted and then let go.
class Placing {
 public:
  // Places the U+FFFD units and the problems before `settled` (all of them
  // are: nothing is found in what must be read again), then counts on to it.
  void Settle(std::u16string_view window, uint64_t base, uint64_t settled, StrictReading& strict,
              StreamedCheck& out) {
    std::vector<StrictReading::Problem>& problems = strict.problems();
    size_t problem = 0;
    while (true) {
      const bool haveReplaced = nextReplaced_ < replaced_.size() && replaced_[nextReplaced_] < settled;
      const bool haveProblem = problem < problems.size();
      if (!haveReplaced && !haveProblem) break;
      const bool replacedFirst = haveReplaced && (!haveProblem || replaced_[nextReplaced_] <= problems[problem].at);
      const uint64_t at = replacedFirst ? replaced_[nextReplaced_] : problems[problem].at;
      CountTo(window, base, at + 1);
      const kelmo::easy::TextPosition where = counter_.Last();
      if (replacedFirst) {
        replacedAt_.push_back(where);
        ++nextReplaced_;
      } else {
        out.warnings.push_back(StrictWarningAt(where.line, where.column, std::move(problems[problem].message)));
        ++problem;
      }
    }
    problems.clear();
    replaced_.erase(replaced_.begin(), replaced_.begin() + static_cast<ptrdiff_t>(nextReplaced_));
    nextReplaced_ = 0;
    CountTo(window, base, settled);
  }

  void Replaced(uint64_t at) { replaced_.push_back(at); }
  const std::vector<kelmo::easy::TextPosition>& ReplacedAt() const { return replacedAt_; }

 private:
  void CountTo(std::u16string_view window, uint64_t base, uint64_t to) {
    const uint64_t from = counter_.Counted();
    if (to > from) counter_.Count(window.data() + (from - base), size_t(to - from));
  }

  kelmo::easy::PositionCounter counter_;
  std::vector<uint64_t> replaced_;  // U+FFFD units not yet placed
  size_t nextReplaced_ = 0;
  std::vector<kelmo::easy::TextPosition> replacedAt_;
};

}  // namespace

StreamedCheck CheckStreamed(std::FILE* in, std::FILE* copy) {
  StreamedCheck result;
  DecodedPieces pieces(in, copy);
  auto undecided = [&] {
    pieces.Drain();
    result.readFailed = pieces.ReadFailed();
    result.tooLarge = pieces.TooLarge();
    return result;
  };
  if (!pieces.Start()) return undecided();
  // Decoding keeps every byte of UTF-8 without a U+FFFD; other encodings
  // may map two byte sequences to one character, so every piece is tried.
  const bool utf8 = pieces.encoding() == kelmo::Encoding{kelmo::kCodePageUtf8, {}};
  kelmo::syntax::XmlTokenizer<OpenNames> reader;
  reader.Reset();
  OpenNames names;
  StrictReading strict;
  Placing placing;
  std::u16string window;  // the text from windowBase on that the strict reading needs again
  uint64_t windowBase = 0;
  uint64_t unitsRead = 0;
  bool notAsWritten = false;
  const WChar* text = nullptr;
  uint32_t units = 0;
  std::string_view bytes;
  while (pieces.Next(text, units, bytes)) {
    const std::u16string_view wide(reinterpret_cast<const char16_t*>(text), units);
    bool replacement = false;
    const kelmo::text::UnitStops<1> replacementCharacter{{static_cast<WChar>(0xFFFD)}};
    for (const WChar* at = kelmo::text::FindStop(text, text + units, replacementCharacter); at < text + units;
         at = kelmo::text::FindStop(at + 1, text + units, replacementCharacter)) {
      placing.Replaced(unitsRead + uint64_t(at - text));
      replacement = true;
    }
    // A U+FFFD stood in the document only where the text encodes back to
    // exactly its bytes: otherwise each one is a repair.
    if (!notAsWritten && units > 0 && (replacement || !utf8)) {
      const std::optional<std::string> back = EncodeBack(pieces.encoding(), std::u16string(wide));
      notAsWritten = !back || std::string_view(*back) != bytes;
    }
    unitsRead += units;
    // The strict reading goes first: a document that does not parse is
    // told of at its first character when that cannot begin markup.
    window.append(wide);
    const uint64_t settled = strict.Read(window, windowBase, pieces.Last());
    placing.Settle(window, windowBase, settled, strict, result);
    window.erase(0, size_t(settled - windowBase));
    windowBase = settled;
    if (units > 0 && !reader.Feed(text, units, names)) {
      result.failure = {reader.Error(), reader.Line(), reader.Column(), reader.Offset(), {}};
      return undecided();
    }
  }
  if (!pieces.Last()) return undecided();
  if (!reader.Finish(names)) {
    result.failure = {reader.Error(), reader.Line(), reader.Column(), reader.Offset(), {}};
    return undecided();
  }
  if (!names.SawElement()) {
    result.failure = {static_cast<unsigned int>(kelmo::ParseError::NoElement), reader.Line(), reader.Column(),
                      reader.Offset(), {}};
    return undecided();
  }
  if (pieces.HalfUnitAtEnd()) {
    result.failure = {static_cast<unsigned int>(kelmo::ParseError::Encoding), reader.Line(), reader.Column(),
                      reader.Offset(), {}};
    return undecided();
  }
  if (notAsWritten) {
    for (const kelmo::easy::TextPosition& at : placing.ReplacedAt())
      result.repairs.push_back({at.line, at.column, ReplacedBytesMessage(pieces.info())});
  }
  result.decided = true;
  return result;
}

bool FindFailingLine(std::FILE* in, unsigned int line, bool entities, FailingLine& out) {
  constexpr size_t kLongestLine = size_t(1) << 20;
  DecodedPieces pieces(in, nullptr);
  if (!pieces.Start()) return false;
  static constexpr char16_t kEntity[] = u"<!ENTITY";
  constexpr size_t kEntityLength = 8;
  std::u16string tail;  // the last units of the text so far, for "<!ENTITY" across pieces
  unsigned int current = 1;
  char16_t previous = 0;
  bool lineDone = false;
  out = FailingLine{};
  const WChar* text = nullptr;
  uint32_t units = 0;
  std::string_view bytes;
  while (pieces.Next(text, units, bytes)) {
    const auto* wide = reinterpret_cast<const char16_t*>(text);
    for (uint32_t i = 0; i < units && !lineDone; ++i) {
      const char16_t c = wide[i];
      const char16_t pair[2] = {previous, c};
      if (kelmo::StartsLine(std::u16string_view(pair, 2), 1)) ++current;
      previous = c;
      if (current < line) continue;
      if (current > line) {
        lineDone = true;
      } else {
        out.units.push_back(c);
        if (out.units.size() > kLongestLine) return false;
      }
    }
    if (entities && !out.declaresEntities) {
      tail.append(wide, units);
      out.declaresEntities = tail.find(kEntity) != std::u16string::npos;
      tail.erase(0, tail.size() > kEntityLength ? tail.size() - kEntityLength : 0);
    }
    if (lineDone && (!entities || out.declaresEntities)) return true;
  }
  // The failing line may be the last; anything else is a failure to read.
  return pieces.Last() && current == line;
}

bool FindUnclosedInPieces(std::FILE* in, std::optional<Unclosed>& out) {
  DecodedPieces pieces(in, nullptr);
  if (!pieces.Start()) return false;
  UnclosedMarkup unclosed;
  std::u16string window;  // the text from windowBase on that must be read again
  uint64_t windowBase = 0;
  const WChar* text = nullptr;
  uint32_t units = 0;
  std::string_view bytes;
  while (pieces.Next(text, units, bytes)) {
    window.append(reinterpret_cast<const char16_t*>(text), units);
    const uint64_t settled = unclosed.Read(window, windowBase, pieces.Last());
    window.erase(0, size_t(settled - windowBase));
    windowBase = settled;
  }
  if (!pieces.Last()) return false;
  out = unclosed.Result();
  return true;
}

}  // namespace kelmo_tool
