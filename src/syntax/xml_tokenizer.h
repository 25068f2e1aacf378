// The XML reader's machine: a single pass over UTF-16 text that reads the
// markup (tags, attributes, sections, comments, instructions, declarations),
// checks it and its references, and tells a sink what it found. What the
// reading builds is the sink's business: the parser's sink makes the tree,
// other sinks may build nothing. The sink is a template argument, so its
// calls are inlined into the scanners.
//
// The machine takes whole runs at a time (text, names, attribute values,
// comment, section and instruction bodies); the stored state names the step
// that goes on where an input ended, so a document may arrive in several
// feeds, and nesting depth costs no stack.
//
// A sink provides:
//   void OpenElement(const WChar* name, uint32_t length);
//     a start tag's name (the whole run read so far: see ExtendName);
//   void OpenAttribute(uint32_t place, const WChar* name, uint32_t length);
//     an attribute's name, `place` counting the attributes of its tag;
//   void ExtendName(const WChar* run, uint32_t length);
//     more of the name just opened, where a feed ended inside it;
//   bool TakesText() const;
//     whether the open element still takes a text as its value;
//   void ElementText(const WChar* text, uint32_t length);
//     that text, decoded, without line breaks, trimmed (never empty);
//   void SectionOpened();  a "<![CDATA[" section began in the open element;
//   void SectionText(const WChar* text, uint32_t length);
//     the text of a section ("<![CDATA[" or any other keyword) at its end;
//   void PlainAttributeValue(const WChar* text, uint32_t length);
//     an attribute's value straight from the input (nothing to decode);
//   void AttributeValue(const WChar* text, uint32_t length);
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

#include "kelmo/kelmo.h"
#include "syntax/char_classes.h"
#include "syntax/char_reader.h"
#include "syntax/char_ref.h"
#include "syntax/markup_ends.h"
#include "syntax/value_rules.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"

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

// Reads a run up to the next a or b.
inline void SkipTo(CharReader& r, WChar a, WChar b) {
  r.AdvanceTo(text::FindStop(r.position, r.end, text::UnitStops<2>{{a, b}}));
}

// Reads a run up to the next line break or one of a and b: text that is kept
// drops its line breaks.
inline void SkipToStop(CharReader& r, WChar a, WChar b) {
  r.AdvanceTo(text::FindStop(r.position, r.end, text::UnitStops<4>{{10, 13, a, b}}));
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

}  // namespace tokenizer_detail

template <class Sink>
class XmlTokenizer {
 public:
  using Text = std::basic_string<WChar>;

  // A fresh machine at the start of a document, line 1, no error.
  void Reset() {
    reader_ = CharReader();
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
  bool Feed(const WChar* text, uint32_t length, Sink& sink) {
    reader_.SetInput(text, length);
    sink_ = &sink;
    // The reader lives in a local while the machine runs so that its
    // counters can stay in registers.
    CharReader r = reader_;
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
  uint32_t Column() const { return reader_.column; }
  uint32_t Offset() const { return reader_.Offset(); }
  uint32_t Error() const { return error_; }
  void SetError(ParseError error) { error_ = static_cast<uint32_t>(error); }
  bool Fail(ParseError error) {
    SetError(error);
    return false;
  }

 private:
  bool Step(CharReader& r);
  // Character data and attribute values: starts, extends or resolves a
  // reference, drops line breaks, and appends everything else to out (when
  // out is null the text is checked but not kept). False for a reference
  // that cannot be decoded.
  bool FeedTextChar(WChar c, Text* out);
  // Resolves the pending reference that c = ";" just ended.
  bool ResolveReference(const WChar* ref, uint32_t length, Text* out);
  bool ReadReference(CharReader& r, Text* out, WChar markup);
  bool StepText(CharReader& r);
  bool ReadText(CharReader& r);
  bool StepMarkupOpen(CharReader& r);
  bool StepBangOpen(CharReader& r);
  bool StepSectionKeyword(CharReader& r);
  bool StepSection(CharReader& r);
  bool StepCommentOpen(CharReader& r);
  bool StepComment(CharReader& r);
  bool StepEndTag(CharReader& r);
  bool StepPiTarget(CharReader& r);
  bool StepPiBody(CharReader& r);
  bool ExtendName(CharReader& r, WChar& stop);
  bool StepElementName(CharReader& r);
  bool StepInTag(CharReader& r);
  // After an attribute's name: reads ="value" at once when the value needs
  // no decoding, and hands it over. False, with the state set to where it
  // stopped, otherwise.
  bool ReadPlainAttribute(CharReader& r);
  bool StepAttrName(CharReader& r);
  bool StepAfterAttrName(CharReader& r);
  bool StepBeforeAttrValue(CharReader& r);
  bool StepAttrValue(CharReader& r);
  // The closing quote of an attribute value: the value is handed over and
  // the element's tag goes on.
  bool CloseAttribute();
  bool FinishAttribute();
  bool StepCloseTag(CharReader& r);
  bool StepMarkupEnd(CharReader& r);
  bool StepSkipToClose(CharReader& r);
  bool CloseElement();

  // Scratch: the name being read after "</" or "<?", or the keyword after
  // "<![", is checked against what it must equal as it arrives rather than
  // gathered, so no buffer is made per tag.
  void ClearScratch() {
    scratchLength_ = 0;
    scratchDiffers_ = false;
  }
  void ScratchAppend(WChar c, const WChar* expected, uint32_t expectedLength) {
    if (scratchLength_ >= expectedLength || expected[scratchLength_] != c) scratchDiffers_ = true;
    ++scratchLength_;
  }
  void ScratchAppend(const WChar* run, uint32_t n, const WChar* expected, uint32_t expectedLength);
  bool ScratchEquals(uint32_t expectedLength) const {
    return !scratchDiffers_ && scratchLength_ == expectedLength;
  }

  CharReader reader_;
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
  WChar quote_ = 0;
};

template <class Sink>
bool XmlTokenizer<Sink>::Step(CharReader& r) {
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

template <class Sink>
bool XmlTokenizer<Sink>::FeedTextChar(WChar c, Text* out) {
  if (!referencePending_) {
    if (c == '&') {
      reference_.assign(1, WChar('&'));
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

template <class Sink>
bool XmlTokenizer<Sink>::ResolveReference(const WChar* ref, uint32_t length, Text* out) {
  if (length > 2 && ref[1] == '#') {
    uint32_t codePoint = 0;
    if (!DecodeCharRef(ref, length, codePoint)) return false;
    if (out) tokenizer_detail::AppendCodePoint(*out, codePoint);
    return true;
  }
  const NamedEntity* entity = ResolveNamedEntity(ref, length);
  if (entity && out) out->push_back(static_cast<WChar>(entity->character));
  return entity != nullptr;
}

// Just after "&" (already read): a reference that ends within a few units
// is read and resolved whole; the unit `markup` ("<" in text, the closing
// quote in a value) before its ";" is error 5 there, as it would be one
// unit at a time. Anything longer, or cut by the end of the input, becomes
// the pending reference and goes on one unit at a time.
template <class Sink>
bool XmlTokenizer<Sink>::ReadReference(CharReader& r, Text* out, WChar markup) {
  constexpr ptrdiff_t kLongest = 16;
  const WChar* start = r.position - 1;
  const WChar* limit = r.end - r.position > kLongest ? r.position + kLongest : r.end;
  const WChar* p = r.position;
  while (p < limit && *p != ';' && *p != markup) ++p;
  if (p == limit) {
    reference_.assign(1, WChar('&'));
    referencePending_ = true;
    return true;
  }
  r.AdvanceTo(p + 1);
  if (*p == markup || !ResolveReference(start, static_cast<uint32_t>(p + 1 - start), out))
    return Fail(ParseError::BadReference);
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepText(CharReader& r) {
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
template <class Sink>
bool XmlTokenizer<Sink>::ReadText(CharReader& r) {
  // Only the first non-blank run inside an element whose value is still
  // open is kept; everything else is read for its references and dropped.
  Text* out = sink_->TakesText() ? &text_ : nullptr;
  while (!r.AtEnd()) {
    if (referencePending_) {
      // A pending reference takes any unit but "<", one at a time.
      const WChar c = r.Next();
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
      if (text_.empty()) r.SkipWhile(IsValueBlank<WChar>);
      const WChar* run = r.position;
      // Indentation is mostly all there is between two tags.
      if (!r.AtEnd() && *r.position != '<') tokenizer_detail::SkipToStop(r, '<', '&');
      const uint32_t length = static_cast<uint32_t>(r.position - run);
      if (length) {
        text_.append(run, length);
        const uint32_t blanks = static_cast<uint32_t>(TrailingValueBlanks(run, length));
        literalBlankTail_ = blanks == length ? literalBlankTail_ + blanks : blanks;
      }
    }
    if (r.AtEnd()) return true;
    const WChar c = r.Next();
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

template <class Sink>
bool XmlTokenizer<Sink>::StepMarkupOpen(CharReader& r) {
  const WChar c = r.Next();
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
    const WChar* name = r.position - 1;
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

template <class Sink>
bool XmlTokenizer<Sink>::StepBangOpen(CharReader& r) {
  const WChar c = r.Next();
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

template <class Sink>
bool XmlTokenizer<Sink>::StepSectionKeyword(CharReader& r) {
  using tokenizer_detail::kCData;
  using tokenizer_detail::kCDataLength;
  while (!r.AtEnd()) {
    const WChar c = r.Next();
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

template <class Sink>
bool XmlTokenizer<Sink>::StepSection(CharReader& r) {
  // The section's text is gathered with its ending, which may begin in an
  // earlier piece of input; the ending is cut off once it is complete.
  const WChar* run = r.position;
  const WChar* past = PastEnding<CDataEnd>(run, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  text_.append(run, static_cast<size_t>(r.position - run));
  if (!past) return true;
  text_.resize(text_.size() - CDataEnd::length);
  sink_->SectionText(text_.data(), static_cast<uint32_t>(text_.size()));
  text_.clear();
  state_ = ParseState::Text;
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepCommentOpen(CharReader& r) {
  if (r.Next() != '-') return Fail(ParseError::Syntax);
  matchCount_ = 0;
  state_ = ParseState::Comment;
  return true;
}

// Kept out of Step: inlined there it would take the room that keeps the
// text state, where most of a document is read, inlined instead.
template <class Sink>
[[gnu::noinline]] bool XmlTokenizer<Sink>::StepComment(CharReader& r) {
  const WChar* past = PastEnding<CommentDashes>(r.position, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  if (past) state_ = ParseState::MarkupEnd;
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepEndTag(CharReader& r) {
  uint32_t expectedLength = 0;
  const WChar* expected = sink_->OpenName(expectedLength);
  if (scratchLength_ == 0) {
    // Mostly the open element's name follows: read as much of it as
    // matches in one go. The element's name was read from the input as name
    // characters, so the units taken here are name characters too.
    const WChar* p = r.position;
    const uint32_t most = static_cast<uint32_t>(
        r.end - p < ptrdiff_t(expectedLength) ? r.end - p : ptrdiff_t(expectedLength));
    uint32_t matched = 0;
    while (matched < most && p[matched] == expected[matched]) ++matched;
    r.AdvanceTo(p + matched);
    scratchLength_ = matched;
  }
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsNameChar(c)) {
      const WChar* run = r.position - 1;
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

template <class Sink>
bool XmlTokenizer<Sink>::StepPiTarget(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
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

template <class Sink>
bool XmlTokenizer<Sink>::StepPiBody(CharReader& r) {
  const WChar* past = PastEnding<PiEnd>(r.position, r.end, matchCount_);
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
template <class Sink>
bool XmlTokenizer<Sink>::ExtendName(CharReader& r, WChar& stop) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (!IsNameChar(c)) {
      stop = c;
      return true;
    }
    const WChar* run = r.position - 1;
    r.AdvanceTo(NameRunEnd(r.position, r.end));
    sink_->ExtendName(run, static_cast<uint32_t>(r.position - run));
  }
  return false;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepElementName(CharReader& r) {
  WChar c = 0;
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

template <class Sink>
bool XmlTokenizer<Sink>::StepInTag(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c == '/') {
      state_ = ParseState::CloseTag;
    } else if (c == '>') {
      text_.clear();
      state_ = ParseState::Text;
    } else if (IsNameChar(c)) {
      const WChar* name = r.position - 1;
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
template <class Sink>
bool XmlTokenizer<Sink>::ReadPlainAttribute(CharReader& r) {
  if (r.AtEnd() || *r.position != '=') return false;
  r.Next();
  state_ = ParseState::BeforeAttrValue;
  if (r.AtEnd() || (*r.position != '"' && *r.position != '\'')) return false;
  const WChar quote = r.Next();
  quote_ = quote;
  text_.clear();
  state_ = ParseState::AttrValue;
  const WChar* value = r.position;
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

template <class Sink>
bool XmlTokenizer<Sink>::CloseAttribute() {
  if (referencePending_) return Fail(ParseError::BadReference);
  // An empty text still gives a value, of length 0.
  sink_->AttributeValue(text_.data(), static_cast<uint32_t>(text_.size()));
  text_.clear();
  return FinishAttribute();
}

template <class Sink>
bool XmlTokenizer<Sink>::FinishAttribute() {
  if (!sink_->CloseAttribute()) return Fail(ParseError::NoCurrentNode);
  state_ = ParseState::InTag;
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepAttrName(CharReader& r) {
  WChar c = 0;
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

template <class Sink>
bool XmlTokenizer<Sink>::StepAfterAttrName(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c != '=') return Fail(ParseError::Syntax);
    state_ = ParseState::BeforeAttrValue;
    return true;
  }
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepBeforeAttrValue(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c != '"' && c != '\'') return Fail(ParseError::Syntax);
    quote_ = c;
    text_.clear();
    state_ = ParseState::AttrValue;
    return true;
  }
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepAttrValue(CharReader& r) {
  const WChar quote = quote_;
  while (!r.AtEnd()) {
    const WChar c = r.Next();
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
    const WChar* run = r.position - 1;
    tokenizer_detail::SkipToStop(r, '&', quote);
    text_.append(run, static_cast<size_t>(r.position - run));
  }
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepCloseTag(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsXmlSpace(c)) continue;
    if (c != '>') return Fail(ParseError::Syntax);
    return CloseElement();
  }
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepMarkupEnd(CharReader& r) {
  if (r.Next() != '>') return Fail(ParseError::Syntax);
  text_.clear();
  state_ = ParseState::Text;
  return true;
}

template <class Sink>
bool XmlTokenizer<Sink>::StepSkipToClose(CharReader& r) {
  uint32_t matched = 0;
  const WChar* past = PastEnding<DeclarationEnd>(r.position, r.end, matched);
  r.AdvanceTo(past ? past : r.end);
  if (past) {
    text_.clear();
    state_ = ParseState::Text;
  }
  return true;
}

template <class Sink>
void XmlTokenizer<Sink>::ScratchAppend(const WChar* run, uint32_t n, const WChar* expected,
                                       uint32_t expectedLength) {
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

template <class Sink>
bool XmlTokenizer<Sink>::CloseElement() {
  // Only a named element can be closed, so one is always open here; the
  // check keeps a broken tree from ending the walk at nothing.
  if (!sink_->CloseElement()) return Fail(ParseError::NoCurrentNode);
  text_.clear();
  state_ = ParseState::Text;
  return true;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_XML_TOKENIZER_H
