// The XML reader's machine: a single pass over text that reads the markup (tags, attributes, sections, comments, instructions, declarations),
// checks it and its references, and tells a sink what it found. What the
// reading builds is the sink's business: the parser's sink makes the tree,
// other sinks may build nothing. The sink is a template argument, so its
// calls are inlined into the scanners.
//
// The text is UTF-16 units (Unit = WChar) or UTF-8 bytes as they stand in
// the input (Unit = char), which spares decoding a document whole before it
// is read. Bytes must be well-formed UTF-8, each feed whole characters: all
// the markup is ASCII and every character above it is a name character, so
// the machine reads bytes as it reads units, and only positions (counted
// in UTF-16 units, see char_reader.h) and the texts and names handed over
// differ. What the sink gets are spans of the input's units, texts with
// their references resolved (in UTF-8 for bytes, see AppendCodePoint).
//
// The machine takes whole runs at a time (text, names, attribute values,
// comment, section and instruction bodies); the stored state names the step
// that goes on where an input ended, so a document may arrive in several
// feeds, and nesting depth costs no stack.
//
// A sink provides:
//   void OpenElement(const Unit* name, uint32_t length);
//     a start tag's name (the whole run read so far: see ExtendName);
//   void OpenAttribute(uint32_t place, const Unit* name, uint32_t length);
//     an attribute's name, `place` counting the attributes of its tag;
//   void ExtendName(const Unit* run, uint32_t length);
//     more of the name just opened, where a feed ended inside it;
//   bool TakesText() const;
//     whether the open element still takes a text as its value;
//   void ElementText(const Unit* text, uint32_t length);
//     that text, decoded, without line breaks, trimmed (never empty);
//   void SectionOpened();  a "<![CDATA[" section began in the open element;
//   void SectionText(const Unit* text, uint32_t length);
//     the text of a section ("<![CDATA[" or any other keyword) at its end;
//   void PlainAttributeValue(const Unit* text, uint32_t length);
//     an attribute's value straight from the input (nothing to decode);
//   void AttributeValue(const Unit* text, uint32_t length);
//     an attribute's value, decoded and without line breaks;
//   bool CloseAttribute();  the attribute is done; false: no element holds it;
//   bool CloseElement();    the open element's end; false: none is open;
//   const WChar* OpenName(uint32_t& length) const;
//     the open element's name, which its end tag must repeat;
//   bool AtTop() const;     no element is open.
#ifndef KELMO_SYNTAX_XML_TOKENIZER_H
#define KELMO_SYNTAX_XML_TOKENIZER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "kelmo/kelmo.h"
#include "syntax/char_classes.h"
#include "syntax/char_reader.h"
#include "syntax/char_ref.h"
#include "syntax/markup_ends.h"
#include "syntax/value_rules.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"
#include "text/utf8_codec.h"

namespace kelmo::syntax {

// The machine's states: each names the step that reads the next character.
enum class ParseState : uint8_t {
  Text,             // character data, until "<"
  MarkupOpen,       // just after "<"
  BangOpen,         // just after "<!"
  SectionKeyword,   // after "<![", the keyword up to the next "["
  Section,          // section text up to "]]>"
  CommentOpen,      // after "<!-", expecting the second "-"
  Comment,          // comment text up to "--"
  EndTag,           // name after "</"
  PiTarget,         // target name after "<?"
  PiBody,           // processing-instruction body up to "?>"
  ElementName,      // rest of a start tag's name
  InTag,            // inside a start tag, between attributes
  AttrName,         // rest of an attribute name
  AfterAttrName,    // spaces between an attribute name and "="
  BeforeAttrValue,  // after "=", expecting the opening quote
  AttrValue,        // attribute value up to the closing quote
  CloseTag,         // after "/" in a start tag, or after an end tag's name
  MarkupEnd,        // expecting the ">" that ends a comment or instruction
  SkipToClose,      // a declaration skipped up to its ">"
};

namespace tokenizer_detail {

inline constexpr WChar kCData[] = {'C', 'D', 'A', 'T', 'A'};
constexpr uint32_t kCDataLength = 5;

// Reads a run up to the next a or b (ASCII).
template <class Reader, class A, class B>
inline void SkipTo(Reader& r, A a, B b) {
  r.AdvanceTo(text::FindStop(
      r.position, r.end,
      text::UnitStops<2>{{WChar(text::UnitValue(a)), WChar(text::UnitValue(b))}}));
}

// Reads a run up to the next line break or one of a and b (ASCII): text that
// is kept drops its line breaks.
template <class Reader, class A, class B>
inline void SkipToStop(Reader& r, A a, B b) {
  r.AdvanceTo(text::FindStop(
      r.position, r.end,
      text::UnitStops<4>{{10, 13, WChar(text::UnitValue(a)), WChar(text::UnitValue(b))}}));
}

// Appends a code point as one unit, or as a surrogate pair above U+FFFF.
inline void AppendCodePoint(std::basic_string<WChar>& out, uint32_t codePoint) {
  if (codePoint <= 0xFFFF) {
    out.push_back(static_cast<WChar>(codePoint));
    return;
  }
  out.push_back(text::HighSurrogateOf(codePoint));
  out.push_back(text::LowSurrogateOf(codePoint));
}

// The same for text kept as UTF-8: the code point's bytes. A reference may
// name a surrogate half, which UTF-16 text keeps as that unit; here it
// takes the three bytes of its number (text::DecodeTrustedUtf8 gives the
// unit back), so that both forms of a text decode to the same units.
inline void AppendCodePoint(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
    return;
  }
  char bytes[4];
  out.append(bytes, static_cast<size_t>(text::PutUtf8(codePoint, bytes) - bytes));
}

}  // namespace tokenizer_detail

template <class Sink, class Unit = WChar>
class XmlTokenizer {
 public:
  static_assert(std::is_same_v<Unit, WChar> || std::is_same_v<Unit, char>,
                "UTF-16 units or UTF-8 bytes");
  static constexpr bool kBytes = sizeof(Unit) == 1;
  using Text = std::basic_string<Unit>;
  using Reader = BasicCharReader<Unit>;

  // A fresh machine at the start of a document, line 1, no error.
  void Reset() {
    reader_ = Reader();
    splitPair_ = false;
    Text().swap(reference_);
    referencePending_ = false;
    Text().swap(text_);
    literalBlankTail_ = 0;
    ClearScratch();
    state_ = ParseState::Text;
    error_ = 0;
    matchCount_ = 0;
    attributesRead_ = 0;
    quote_ = 0;
  }

  // Runs the whole text through the machine, telling `sink`. False when an
  // error stops it; the error and the position of the failing character
  // stay. Running out of input is never an error.
  // `units`, when known, is the UTF-16 units the text stands for.
  bool Feed(const Unit* text, uint32_t length, Sink& sink, uint32_t units = Reader::kUnitsUnknown) {
    reader_.SetInput(text, length, units);
    sink_ = &sink;
    // The reader lives in a local while the machine runs so that its
    // counters can stay in registers.
    Reader r = reader_;
    bool ok = true;
    while (ok && !r.AtEnd()) ok = Step(r);
    r.Count();
    reader_ = r;
    sink_ = nullptr;
    return ok;
  }

  // After the last input: true when the document ended outside every
  // construct with no element left open. Otherwise the input was cut short
  // (inside a tag, an open element, a comment, section, instruction or
  // reference): ParseError::Truncated at the last character.
  bool Finish(const Sink& sink) {
    if (state_ == ParseState::Text && !referencePending_ && sink.AtTop()) return true;
    return Fail(ParseError::Truncated);
  }

  uint32_t Line() const { return reader_.line; }
  uint32_t Column() const { return reader_.column - splitPair_; }
  uint32_t Offset() const { return reader_.Offset() - splitPair_; }
  uint32_t Error() const { return error_; }
  void SetError(ParseError error) { error_ = static_cast<uint32_t>(error); }
  bool Fail(ParseError error) {
    SetError(error);
    return false;
  }

 private:
  // The character c just read cannot stand here: the reading stops with
  // `error` just after c's first UTF-16 unit, where reading UTF-16 would
  // stop. Over bytes the rest of a longer character is taken with it, and
  // one of four bytes, a surrogate pair in UTF-16, leaves the position
  // between its halves.
  bool FailAt(Reader& r, Unit c, ParseError error) {
    if constexpr (kBytes) {
      const uint32_t lead = text::UnitValue(c);
      if (lead >= 0xC0) {
        const ptrdiff_t rest = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        r.AdvanceTo(r.end - r.position < rest ? r.end : r.position + rest);
        splitPair_ = lead >= 0xF0;
      }
    }
    return Fail(error);
  }
  bool Step(Reader& r);
  // Character data and attribute values: starts, extends or resolves a
  // reference, drops line breaks, and appends everything else to out (when
  // out is null the text is checked but not kept). False for a reference
  // that cannot be decoded.
  bool FeedTextChar(Unit c, Text* out);
  // Resolves the pending reference that c = ";" just ended.
  bool ResolveReference(const Unit* ref, uint32_t length, Text* out);
  bool ReadReference(Reader& r, Text* out, Unit markup);
  bool StepText(Reader& r);
  bool ReadText(Reader& r);
  bool StepMarkupOpen(Reader& r);
  bool StepBangOpen(Reader& r);
  bool StepSectionKeyword(Reader& r);
  bool StepSection(Reader& r);
  bool StepCommentOpen(Reader& r);
  bool StepComment(Reader& r);
  bool StepEndTag(Reader& r);
  bool StepPiTarget(Reader& r);
  bool StepPiBody(Reader& r);
  bool ExtendName(Reader& r, Unit& stop);
  bool StepElementName(Reader& r);
  bool StepInTag(Reader& r);
  // After an attribute's name: reads ="value" at once when the value needs
  // no decoding, and hands it over. False, with the state set to where it
  // stopped, otherwise.
  bool ReadPlainAttribute(Reader& r);
  bool StepAttrName(Reader& r);
  bool StepAfterAttrName(Reader& r);
  bool StepBeforeAttrValue(Reader& r);
  bool StepAttrValue(Reader& r);
  // The closing quote of an attribute value: the value is handed over and
  // the element's tag goes on.
  bool CloseAttribute();
  bool FinishAttribute();
  bool StepCloseTag(Reader& r);
  bool StepMarkupEnd(Reader& r);
  bool StepSkipToClose(Reader& r);
  bool CloseElement();

  // Scratch: the name being read after "</" or "<?", or the keyword after
  // "<![", is checked against what it must equal as it arrives rather than
  // gathered, so no buffer is made per tag.
  void ClearScratch() {
    scratchLength_ = 0;
    scratchDiffers_ = false;
  }
  void ScratchAppend(Unit c, const WChar* expected, uint32_t expectedLength) {
    if (scratchLength_ >= expectedLength ||
        text::UnitValue(expected[scratchLength_]) != text::UnitValue(c))
      scratchDiffers_ = true;
    ++scratchLength_;
  }
  void ScratchAppend(const Unit* run, uint32_t n, const WChar* expected, uint32_t expectedLength);
  // Whether an input unit is the name's unit: over bytes only an ASCII byte
  // is a whole character, so the matching in one go stops at any other.
  static bool SameUnit(Unit unit, WChar expected) {
    const uint32_t value = text::UnitValue(unit);
    return value == text::UnitValue(expected) && (!kBytes || value < 0x80);
  }
  bool ScratchEquals(uint32_t expectedLength) const {
    return !scratchDiffers_ && scratchLength_ == expectedLength;
  }

  Reader reader_;
  // The last error stopped between the two halves of a surrogate pair,
  // which over UTF-8 bytes are one character: the position is one unit
  // before the reader's.
  bool splitPair_ = false;
  Sink* sink_ = nullptr;  // while a feed runs
  // The pending reference: its text from "&" on, valid while
  // referencePending_ is set. The block is kept between references.
  Text reference_;
  bool referencePending_ = false;
  Text text_;
  // How many units at the end of text_ are literal spaces and tabs, which
  // trimming removes (blanks decoded from references are not counted).
  uint32_t literalBlankTail_ = 0;
  // Attributes opened in the current start tag so far: where the next one
  // stands in its element's order of attributes.
  uint32_t attributesRead_ = 0;
  uint32_t scratchLength_ = 0;
  bool scratchDiffers_ = false;
  ParseState state_ = ParseState::Text;
  uint32_t error_ = 0;
  uint32_t matchCount_ = 0;
  Unit quote_ = 0;
};

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::Step(Reader& r) {
  switch (state_) {
    case ParseState::Text: return StepText(r);
    case ParseState::MarkupOpen: return StepMarkupOpen(r);
    case ParseState::BangOpen: return StepBangOpen(r);
    case ParseState::SectionKeyword: return StepSectionKeyword(r);
    case ParseState::Section: return StepSection(r);
    case ParseState::CommentOpen: return StepCommentOpen(r);
    case ParseState::Comment: return StepComment(r);
    case ParseState::EndTag: return StepEndTag(r);
    case ParseState::PiTarget: return StepPiTarget(r);
    case ParseState::PiBody: return StepPiBody(r);
    case ParseState::ElementName: return StepElementName(r);
    case ParseState::InTag: return StepInTag(r);
    case ParseState::AttrName: return StepAttrName(r);
    case ParseState::AfterAttrName: return StepAfterAttrName(r);
    case ParseState::BeforeAttrValue: return StepBeforeAttrValue(r);
    case ParseState::AttrValue: return StepAttrValue(r);
    case ParseState::CloseTag: return StepCloseTag(r);
    case ParseState::MarkupEnd: return StepMarkupEnd(r);
    case ParseState::SkipToClose: return StepSkipToClose(r);
  }
  return Fail(ParseError::Syntax);
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::FeedTextChar(Unit c, Text* out) {
  if (!referencePending_) {
    if (c == '&') {
      reference_.assign(1, Unit('&'));
      referencePending_ = true;
    } else if (!IsLineBreak(c) && out) {
      out->push_back(c);
    }
    return true;
  }
  // A pending reference takes any unit, with no length limit, until ";".
  reference_.push_back(c);
  if (c != ';') return true;
  const bool ok =
      ResolveReference(reference_.data(), static_cast<uint32_t>(reference_.size()), out);
  referencePending_ = false;
  return ok;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::ResolveReference(const Unit* ref, uint32_t length, Text* out) {
  if (length > 2 && ref[1] == '#') {
    uint32_t codePoint = 0;
    if (!DecodeCharRef(ref, length, codePoint)) return false;
    if (out) tokenizer_detail::AppendCodePoint(*out, codePoint);
    return true;
  }
  const NamedEntity* entity = ResolveNamedEntity(ref, length);
  if (entity && out) out->push_back(static_cast<Unit>(entity->character));
  return entity != nullptr;
}

// Just after "&" (already read): a reference that ends within a few units
// is read and resolved whole; the unit `markup` ("<" in text, the closing
// quote in a value) before its ";" is error 5 there, as it would be one
// unit at a time. Anything longer, or cut by the end of the input, becomes
// the pending reference and goes on one unit at a time.
template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::ReadReference(Reader& r, Text* out, Unit markup) {
  constexpr ptrdiff_t kLongest = 16;
  const Unit* start = r.position - 1;
  const Unit* limit = r.end - r.position > kLongest ? r.position + kLongest : r.end;
  const Unit* p = r.position;
  while (p < limit && *p != ';' && *p != markup) ++p;
  if (p == limit) {
    reference_.assign(1, Unit('&'));
    referencePending_ = true;
    return true;
  }
  r.AdvanceTo(p + 1);
  if (*p == markup || !ResolveReference(start, static_cast<uint32_t>(p + 1 - start), out))
    return Fail(ParseError::BadReference);
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepText(Reader& r) {
  // Text and the markup after it alternate here, so that the common tags
  // (start and end tags, taken whole by StepMarkupOpen) cost no round
  // through the state loop.
  while (!r.AtEnd()) {
    if (!ReadText(r)) return false;
    if (state_ != ParseState::MarkupOpen || r.AtEnd()) return true;
    if (!StepMarkupOpen(r)) return false;
    if (state_ != ParseState::Text) return true;
  }
  return true;
}

// Character data up to and including the "<" that ends it.
template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::ReadText(Reader& r) {
  // Only the first non-blank run inside an element whose value is still
  // open is kept; everything else is read for its references and dropped.
  Text* out = sink_->TakesText() ? &text_ : nullptr;
  while (!r.AtEnd()) {
    if (referencePending_) {
      // A pending reference takes any unit but "<", one at a time.
      const Unit c = r.Next();
      if (c == '<') return Fail(ParseError::BadReference);
      if (!FeedTextChar(c, out)) return Fail(ParseError::BadReference);
      literalBlankTail_ = 0;
      continue;
    }
    if (!out) {
      tokenizer_detail::SkipTo(r, '<', '&');
    } else {
      // Leading blanks and line breaks would be trimmed or dropped anyway;
      // not gathering them spares a buffer for every blank run between tags.
      if (text_.empty()) r.SkipWhile(IsValueBlank<Unit>);
      const Unit* run = r.position;
      // Indentation is mostly all there is between two tags.
      if (!r.AtEnd() && *r.position != '<') tokenizer_detail::SkipToStop(r, '<', '&');
      const uint32_t length = static_cast<uint32_t>(r.position - run);
      if (length && text_.empty() && !r.AtEnd() && *r.position == '<') {
        // A text of one run that "<" ends, as most are: handed over from the
        // input with no copy. It starts with no blank (leading ones were
        // skipped), so trimming its end leaves something.
        const uint32_t kept = length - static_cast<uint32_t>(TrailingValueBlanks(run, length));
        r.Next();
        sink_->ElementText(run, kept);
        literalBlankTail_ = 0;
        state_ = ParseState::MarkupOpen;
        return true;
      }
      if (length) {
        text_.append(run, length);
        const uint32_t blanks = static_cast<uint32_t>(TrailingValueBlanks(run, length));
        literalBlankTail_ = blanks == length ? literalBlankTail_ + blanks : blanks;
      }
    }
    if (r.AtEnd()) return true;
    const Unit c = r.Next();
    if (c == '<') {
      if (out && !text_.empty()) {
        // Only literal blanks are trimmed: leading ones were never gathered,
        // trailing ones are counted. Blanks from references stay, so a value
        // of blanks only is kept too.
        text_.resize(text_.size() - literalBlankTail_);
        if (!text_.empty()) sink_->ElementText(text_.data(), static_cast<uint32_t>(text_.size()));
      }
      text_.clear();
      literalBlankTail_ = 0;
      state_ = ParseState::MarkupOpen;
      return true;
    }
    if (c == '&') {
      if (!ReadReference(r, out, '<')) return false;
      literalBlankTail_ = 0;
    }
    // Otherwise a line break, dropped.
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepMarkupOpen(Reader& r) {
  const Unit c = r.Next();
  if (c == '!') {
    state_ = ParseState::BangOpen;
  } else if (c == '?') {
    ClearScratch();
    state_ = ParseState::PiTarget;
  } else if (c == '/') {
    ClearScratch();
    state_ = ParseState::EndTag;
    return r.AtEnd() || StepEndTag(r);
  } else if (IsNameChar(c)) {
    const Unit* name = r.position - 1;
    r.AdvanceTo(NameRunEnd(r.position, r.end));
    sink_->OpenElement(name, static_cast<uint32_t>(r.position - name));
    attributesRead_ = 0;
    state_ = ParseState::ElementName;
    // The rest of the start tag follows at once; taking it here spares a
    // round through the state loop per tag (the chain ends with the tag).
    if (r.AtEnd()) return true;
    if (!StepElementName(r)) return false;
    if (state_ == ParseState::InTag && !r.AtEnd()) return StepInTag(r);
    return true;
  } else {
    return Fail(ParseError::Syntax);
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepBangOpen(Reader& r) {
  const Unit c = r.Next();
  if (c == '[') {
    ClearScratch();
    state_ = ParseState::SectionKeyword;
  } else if (c == '-') {
    state_ = ParseState::CommentOpen;
  } else {
    state_ = ParseState::SkipToClose;
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepSectionKeyword(Reader& r) {
  using tokenizer_detail::kCData;
  using tokenizer_detail::kCDataLength;
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (c == '[') {
      if (ScratchEquals(kCDataLength)) sink_->SectionOpened();
      matchCount_ = 0;
      text_.clear();
      ClearScratch();
      state_ = ParseState::Section;
      return true;
    }
    if (IsLineBreak(c)) continue;
    ScratchAppend(c, kCData, kCDataLength);
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepSection(Reader& r) {
  // The section's text is gathered with its ending, which may begin in an
  // earlier piece of input; the ending is cut off once it is complete.
  const Unit* run = r.position;
  const Unit* past = PastEnding<CDataEnd>(run, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  text_.append(run, static_cast<size_t>(r.position - run));
  if (!past) return true;
  text_.resize(text_.size() - CDataEnd::length);
  sink_->SectionText(text_.data(), static_cast<uint32_t>(text_.size()));
  text_.clear();
  state_ = ParseState::Text;
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepCommentOpen(Reader& r) {
  const Unit c = r.Next();
  if (c != '-') return FailAt(r, c, ParseError::Syntax);
  matchCount_ = 0;
  state_ = ParseState::Comment;
  return true;
}

// Kept out of Step: inlined there it would take the room that keeps the
// text state, where most of a document is read, inlined instead.
template <class Sink, class Unit>
[[gnu::noinline]] bool XmlTokenizer<Sink, Unit>::StepComment(Reader& r) {
  const Unit* past = PastEnding<CommentDashes>(r.position, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  if (past) state_ = ParseState::MarkupEnd;
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepEndTag(Reader& r) {
  uint32_t expectedLength = 0;
  const WChar* expected = sink_->OpenName(expectedLength);
  if (scratchLength_ == 0) {
    // Mostly the open element's name follows: read as much of it as
    // matches in one go. The element's name was read from the input as name
    // characters, so the units taken here are name characters too.
    const Unit* p = r.position;
    const uint32_t most = static_cast<uint32_t>(
        r.end - p < ptrdiff_t(expectedLength) ? r.end - p : ptrdiff_t(expectedLength));
    uint32_t matched = 0;
    if constexpr (sizeof(Unit) == 1) {
      // The whole name in one comparison where it is all there and ASCII.
      if (most == expectedLength && text::SameAsciiUnits(p, expected, most)) matched = most;
    }
    while (matched < most && SameUnit(p[matched], expected[matched])) ++matched;
    r.AdvanceTo(p + matched);
    scratchLength_ = matched;
  }
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (IsNameChar(c)) {
      const Unit* run = r.position - 1;
      r.AdvanceTo(NameRunEnd(r.position, r.end));
      ScratchAppend(run, static_cast<uint32_t>(r.position - run), expected, expectedLength);
      continue;
    }
    if (scratchLength_ == 0 || !ScratchEquals(expectedLength))
      return Fail(ParseError::TagMismatch);
    ClearScratch();
    if (c == '>') return CloseElement();
    if (!IsXmlSpace(c)) return Fail(ParseError::Syntax);
    state_ = ParseState::CloseTag;
    return true;
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepPiTarget(Reader& r) {
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (IsNameChar(c)) {
      ++scratchLength_;
      continue;
    }
    if (scratchLength_ == 0) return Fail(ParseError::Syntax);
    ClearScratch();
    if (IsXmlSpace(c)) {
      matchCount_ = 0;
      state_ = ParseState::PiBody;
    } else if (c == '?') {
      state_ = ParseState::MarkupEnd;
    } else {
      return Fail(ParseError::Syntax);
    }
    return true;
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepPiBody(Reader& r) {
  const Unit* past = PastEnding<PiEnd>(r.position, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  if (past) {
    text_.clear();
    state_ = ParseState::Text;
  }
  return true;
}

// Adds the name characters that come next to the name just opened (a name
// may be cut between two feeds). False when the input ends first;
// otherwise `stop` is the character after the name, already read.
template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::ExtendName(Reader& r, Unit& stop) {
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (!IsNameChar(c)) {
      stop = c;
      return true;
    }
    const Unit* run = r.position - 1;
    r.AdvanceTo(NameRunEnd(r.position, r.end));
    sink_->ExtendName(run, static_cast<uint32_t>(r.position - run));
  }
  return false;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepElementName(Reader& r) {
  Unit c = 0;
  if (!ExtendName(r, c)) return true;
  if (IsXmlSpace(c)) {
    state_ = ParseState::InTag;
  } else if (c == '/') {
    state_ = ParseState::CloseTag;
  } else if (c == '>') {
    text_.clear();
    state_ = ParseState::Text;
  } else {
    return Fail(ParseError::Syntax);
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepInTag(Reader& r) {
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c == '/') {
      state_ = ParseState::CloseTag;
    } else if (c == '>') {
      text_.clear();
      state_ = ParseState::Text;
    } else if (IsNameChar(c)) {
      const Unit* name = r.position - 1;
      r.AdvanceTo(NameRunEnd(r.position, r.end));
      sink_->OpenAttribute(attributesRead_++, name, static_cast<uint32_t>(r.position - name));
      state_ = ParseState::AttrName;
      if (!ReadPlainAttribute(r)) return true;
      if (!FinishAttribute()) return false;
      continue;
    } else {
      return Fail(ParseError::Syntax);
    }
    return true;
  }
  return true;
}

// The common attribute, name="value" with nothing in the value to decode or
// drop, read in one go right after its name; anything else is left to the
// attribute states, which take over at the exact place this stops.
template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::ReadPlainAttribute(Reader& r) {
  if (r.AtEnd() || *r.position != '=') return false;
  r.Next();
  state_ = ParseState::BeforeAttrValue;
  if (r.AtEnd() || (*r.position != '"' && *r.position != '\'')) return false;
  const Unit quote = r.Next();
  quote_ = quote;
  text_.clear();
  state_ = ParseState::AttrValue;
  const Unit* value = r.position;
  tokenizer_detail::SkipToStop(r, '&', quote);
  const uint32_t length = static_cast<uint32_t>(r.position - value);
  if (r.AtEnd() || *r.position != quote) {
    if (length) text_.append(value, length);
    return false;
  }
  r.Next();
  sink_->PlainAttributeValue(value, length);
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::CloseAttribute() {
  if (referencePending_) return Fail(ParseError::BadReference);
  // An empty text still gives a value, of length 0.
  sink_->AttributeValue(text_.data(), static_cast<uint32_t>(text_.size()));
  text_.clear();
  return FinishAttribute();
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::FinishAttribute() {
  if (!sink_->CloseAttribute()) return Fail(ParseError::NoCurrentNode);
  state_ = ParseState::InTag;
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepAttrName(Reader& r) {
  Unit c = 0;
  if (!ExtendName(r, c)) return true;
  if (c == '=') {
    state_ = ParseState::BeforeAttrValue;
  } else if (IsXmlSpace(c)) {
    state_ = ParseState::AfterAttrName;
  } else {
    return Fail(ParseError::Syntax);
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepAfterAttrName(Reader& r) {
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c != '=') return FailAt(r, c, ParseError::Syntax);
    state_ = ParseState::BeforeAttrValue;
    return true;
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepBeforeAttrValue(Reader& r) {
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c != '"' && c != '\'') return FailAt(r, c, ParseError::Syntax);
    quote_ = c;
    text_.clear();
    state_ = ParseState::AttrValue;
    return true;
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepAttrValue(Reader& r) {
  const Unit quote = quote_;
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (c == quote) return CloseAttribute();
    if (referencePending_) {
      if (!FeedTextChar(c, &text_)) return Fail(ParseError::BadReference);
      continue;
    }
    if (c == '&') {
      if (!ReadReference(r, &text_, quote)) return false;
      continue;
    }
    if (IsLineBreak(c)) continue;
    const Unit* run = r.position - 1;
    tokenizer_detail::SkipToStop(r, '&', quote);
    text_.append(run, static_cast<size_t>(r.position - run));
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepCloseTag(Reader& r) {
  while (!r.AtEnd()) {
    const Unit c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c != '>') return FailAt(r, c, ParseError::Syntax);
    return CloseElement();
  }
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepMarkupEnd(Reader& r) {
  const Unit c = r.Next();
  if (c != '>') return FailAt(r, c, ParseError::Syntax);
  text_.clear();
  state_ = ParseState::Text;
  return true;
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::StepSkipToClose(Reader& r) {
  uint32_t matched = 0;
  const Unit* past = PastEnding<DeclarationEnd>(r.position, r.end, matched);
  r.AdvanceTo(past ? past : r.end);
  if (past) {
    text_.clear();
    state_ = ParseState::Text;
  }
  return true;
}

template <class Sink, class Unit>
void XmlTokenizer<Sink, Unit>::ScratchAppend(const Unit* run, uint32_t n, const WChar* expected,
                                             uint32_t expectedLength) {
  if constexpr (kBytes) {
    // The name's units are UTF-16: the run's characters are compared as
    // the units they decode to.
    const Unit* end = run + n;
    while (run < end) {
      WChar units[2];
      const uint32_t k = text::TakeTrustedUtf8Character(run, units);
      for (uint32_t i = 0; i < k; ++i) {
        if (scratchLength_ >= expectedLength || expected[scratchLength_] != units[i])
          scratchDiffers_ = true;
        ++scratchLength_;
      }
    }
  } else {
    if (!scratchDiffers_) {
      if (uint64_t(scratchLength_) + n > expectedLength) {
        scratchDiffers_ = true;
      } else {
        // Names are short: a plain loop beats a call to memcmp.
        const WChar* want = expected + scratchLength_;
        for (uint32_t i = 0; i < n; ++i) {
          if (run[i] != want[i]) {
            scratchDiffers_ = true;
            break;
          }
        }
      }
    }
    scratchLength_ += n;
  }
}

template <class Sink, class Unit>
bool XmlTokenizer<Sink, Unit>::CloseElement() {
  // Only a named element can be closed, so one is always open here; the
  // check keeps a broken tree from ending the walk at nothing.
  if (!sink_->CloseElement()) return Fail(ParseError::NoCurrentNode);
  text_.clear();
  state_ = ParseState::Text;
  return true;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_XML_TOKENIZER_H
