#include "xml/xml_parser.h"

#include <cstddef>
#include <string>

#include "kelmo/xml_name_chars.h"
#include "syntax/char_classes.h"
#include "syntax/char_ref.h"
#include "syntax/markup_ends.h"
#include "text/text_length.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"

namespace kelmo {
namespace {

const WChar kCData[] = {'C', 'D', 'A', 'T', 'A'};
constexpr uint32_t kCDataLength = 5;

using syntax::IsLineBreak;

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
void AppendCodePoint(WStrBuf& out, uint32_t codePoint) {
  if (codePoint <= 0xFFFF) {
    out.AppendChar(static_cast<WChar>(codePoint));
    return;
  }
  out.AppendChar(text::HighSurrogateOf(codePoint));
  out.AppendChar(text::LowSurrogateOf(codePoint));
}

}  // namespace

void XmlParser::Reset() {
  reader_ = CharReader();
  reference_.Clear();
  referencePending_ = false;
  text_.Clear();
  literalBlankTail_ = 0;
  ClearScratch();
  // Each parse builds a document in memory of its own.
  builder_.OpenNew();
  root_ = RefPtr<TreeNode>(new (builder_) TreeNode, adopt_ref);
  builder_.Close();
  current_ = root_;
  cur_ = nullptr;
  state_ = ParseState::Text;
  error_ = 0;
  matchCount_ = 0;
  attributesRead_ = 0;
  quote_ = 0;
}

bool XmlParser::Feed(const WChar* text, uint32_t length) {
  if (!root_) return Fail(ParseError::NoRoot);
  if (!current_) return Fail(ParseError::NoCurrentNode);
  reader_.SetInput(text, length);

  // Nodes and texts are carved from the root's document memory while the
  // machine runs; the builder lets go of it when the feed ends, however.
  struct CloseOnExit {
    DocBuilder& builder;
    ~CloseOnExit() { builder.Close(); }
  } closeOnExit{builder_};
  builder_.OpenOwnerOf(root_.get());

  // The reader lives in a local while the machine runs so that its counters
  // can stay in registers.
  CharReader r = reader_;
  cur_ = current_.get();
  bool ok = true;
  while (ok && !r.AtEnd()) ok = Step(r);
  r.Count();
  reader_ = r;
  if (current_.get() != cur_) current_ = cur_;
  cur_ = nullptr;
  return ok;
}

bool XmlParser::FinishInput() {
  if (state_ == ParseState::Text && !referencePending_ && current_ == root_) return true;
  return Fail(ParseError::Truncated);
}

bool XmlParser::Step(CharReader& r) {
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

bool XmlParser::FeedTextChar(WChar c, WStrBuf* out) {
  if (!referencePending_) {
    if (c == '&') {
      reference_.AssignChar('&');
      referencePending_ = true;
    } else if (!IsLineBreak(c) && out) {
      out->AppendChar(c);
    }
    return true;
  }
  // A pending reference takes any unit, with no length limit, until ";".
  reference_.AppendChar(c);
  if (c != ';') return true;
  const bool ok = ResolveReference(reference_.Data(), reference_.Length(), out);
  referencePending_ = false;
  return ok;
}

bool XmlParser::ResolveReference(const WChar* ref, uint32_t length, WStrBuf* out) {
  if (length > 2 && ref[1] == '#') {
    uint32_t codePoint = 0;
    if (!syntax::DecodeCharRef(ref, length, codePoint)) return false;
    if (out) AppendCodePoint(*out, codePoint);
    return true;
  }
  const syntax::NamedEntity* entity = syntax::ResolveNamedEntity(ref, length);
  if (entity && out) out->AppendChar(static_cast<WChar>(entity->character));
  return entity != nullptr;
}

// Just after "&" (already read): a reference that ends within a few units
// is read and resolved whole; the unit `markup` ("<" in text, the closing
// quote in a value) before its ";" is error 5 there, as it would be one
// unit at a time. Anything longer, or cut by the end of the input, becomes
// the pending reference and goes on one unit at a time.
bool XmlParser::ReadReference(CharReader& r, WStrBuf* out, WChar markup) {
  constexpr ptrdiff_t kLongest = 16;
  const WChar* start = r.position - 1;
  const WChar* limit = r.end - r.position > kLongest ? r.position + kLongest : r.end;
  const WChar* p = r.position;
  while (p < limit && *p != ';' && *p != markup) ++p;
  if (p == limit) {
    reference_.AssignChar('&');
    referencePending_ = true;
    return true;
  }
  r.AdvanceTo(p + 1);
  if (*p == markup || !ResolveReference(start, static_cast<uint32_t>(p + 1 - start), out))
    return Fail(ParseError::BadReference);
  return true;
}

bool XmlParser::StepText(CharReader& r) {
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
bool XmlParser::ReadText(CharReader& r) {
  // Only the first non-blank run inside an element whose value is still
  // Empty is kept; everything else is read for its references and dropped.
  WStrBuf* out = (cur_ != root_.get() && cur_->Type() == ValueType::Empty) ? &text_ : nullptr;
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
      SkipTo(r, '<', '&');
    } else {
      // Leading blanks and line breaks would be trimmed or dropped anyway;
      // not gathering them spares a buffer for every blank run between tags.
      if (text_.IsEmpty()) r.SkipWhile(syntax::IsXmlSpace);
      const WChar* run = r.position;
      // Indentation is mostly all there is between two tags.
      if (!r.AtEnd() && *r.position != '<') SkipToStop(r, '<', '&');
      const uint32_t length = static_cast<uint32_t>(r.position - run);
      if (length) {
        text_.Append(run, length);
        uint32_t blanks = 0;
        while (blanks < length && syntax::IsSpaceOrTab(static_cast<uint16_t>(run[length - 1 - blanks]))) ++blanks;
        literalBlankTail_ = blanks == length ? literalBlankTail_ + blanks : blanks;
      }
    }
    if (r.AtEnd()) return true;
    const WChar c = r.Next();
    if (c == '<') {
      if (out && !text_.IsEmpty()) {
        // Only literal blanks are trimmed: leading ones were never gathered,
        // trailing ones are counted. Blanks from references stay, so a value
        // of blanks only is kept too.
        text_.Resize(text_.Length() - literalBlankTail_);
        if (!text_.IsEmpty()) {
          StoreText();
          cur_->SetKindByte(static_cast<int8_t>(NodeKind::Element));
        }
      }
      text_.Erase();
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

bool XmlParser::StepMarkupOpen(CharReader& r) {
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
    r.AdvanceTo(syntax::NameRunEnd(r.position, r.end));
    OpenNode(name, static_cast<uint32_t>(r.position - name));
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

bool XmlParser::StepBangOpen(CharReader& r) {
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

bool XmlParser::StepSectionKeyword(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (c == '[') {
      if (ScratchEquals(kCDataLength)) {
        // The node is a section now. Its value stops being empty at once
        // (Bool true until the section's text replaces it at "]]>"), so a
        // text run after the section is not taken as the value, and a
        // section cut off by the end of the input still shows it began.
        cur_->SetKindByte(static_cast<int8_t>(NodeKind::CData));
        cur_->SetBool(true);
      }
      matchCount_ = 0;
      text_.Erase();
      ClearScratch();
      state_ = ParseState::Section;
      return true;
    }
    if (IsLineBreak(c)) continue;
    ScratchAppend(c, kCData, kCDataLength);
  }
  return true;
}

bool XmlParser::StepSection(CharReader& r) {
  // The section's text is gathered with its ending, which may begin in an
  // earlier piece of input; the ending is cut off once it is complete.
  const WChar* run = r.position;
  const WChar* past = syntax::PastEnding<syntax::CDataEnd>(run, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  text_.Append(run, static_cast<uint32_t>(r.position - run));
  if (!past) return true;
  text_.Resize(text_.Length() - syntax::CDataEnd::length);
  StoreText();
  text_.Erase();
  state_ = ParseState::Text;
  return true;
}

bool XmlParser::StepCommentOpen(CharReader& r) {
  if (r.Next() != '-') return Fail(ParseError::Syntax);
  matchCount_ = 0;
  state_ = ParseState::Comment;
  return true;
}

// Kept out of Step: inlined there it would take the room that keeps the
// text state, where most of a document is read, inlined instead.
[[gnu::noinline]] bool XmlParser::StepComment(CharReader& r) {
  const WChar* past = syntax::PastEnding<syntax::CommentDashes>(r.position, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  if (past) state_ = ParseState::MarkupEnd;
  return true;
}

bool XmlParser::StepEndTag(CharReader& r) {
  const WStrBuf& name = cur_->Name();
  const WChar* expected = name.Data();
  const uint32_t expectedLength = name.Length();
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
      r.AdvanceTo(syntax::NameRunEnd(r.position, r.end));
      ScratchAppend(run, static_cast<uint32_t>(r.position - run), expected, expectedLength);
      continue;
    }
    if (scratchLength_ == 0 || !ScratchEquals(expectedLength))
      return Fail(ParseError::TagMismatch);
    ClearScratch();
    if (c == '>') return CloseElement();
    if (!syntax::IsXmlSpace(c)) return Fail(ParseError::Syntax);
    state_ = ParseState::CloseTag;
    return true;
  }
  return true;
}

bool XmlParser::StepPiTarget(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsNameChar(c)) {
      ++scratchLength_;
      continue;
    }
    if (scratchLength_ == 0) return Fail(ParseError::Syntax);
    ClearScratch();
    if (syntax::IsXmlSpace(c)) {
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

bool XmlParser::StepPiBody(CharReader& r) {
  const WChar* past = syntax::PastEnding<syntax::PiEnd>(r.position, r.end, matchCount_);
  r.AdvanceTo(past ? past : r.end);
  if (past) {
    text_.Erase();
    state_ = ParseState::Text;
  }
  return true;
}

// Adds the name characters that come next to the current node's name (a
// name may be cut between two feeds). False when the input ends first;
// otherwise `stop` is the character after the name, already read.
bool XmlParser::ExtendName(CharReader& r, WChar& stop) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (!IsNameChar(c)) {
      stop = c;
      return true;
    }
    const WChar* run = r.position - 1;
    r.AdvanceTo(syntax::NameRunEnd(r.position, r.end));
    cur_->AppendToName(builder_, run, static_cast<uint32_t>(r.position - run));
  }
  return false;
}

bool XmlParser::StepElementName(CharReader& r) {
  WChar c = 0;
  if (!ExtendName(r, c)) return true;
  if (syntax::IsXmlSpace(c)) {
    state_ = ParseState::InTag;
  } else if (c == '/') {
    state_ = ParseState::CloseTag;
  } else if (c == '>') {
    text_.Erase();
    state_ = ParseState::Text;
  } else {
    return Fail(ParseError::Syntax);
  }
  return true;
}

bool XmlParser::StepInTag(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (syntax::IsXmlSpace(c)) continue;
    if (c == '/') {
      state_ = ParseState::CloseTag;
    } else if (c == '>') {
      text_.Erase();
      state_ = ParseState::Text;
    } else if (IsNameChar(c)) {
      const WChar* name = r.position - 1;
      r.AdvanceTo(syntax::NameRunEnd(r.position, r.end));
      // Elements of one kind mostly repeat their attributes in one order.
      cur_ = cur_->AppendNewChild(
          builder_, builder_.InternNameAt(attributesRead_++, name,
                                          static_cast<uint32_t>(r.position - name)));
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
bool XmlParser::ReadPlainAttribute(CharReader& r) {
  if (r.AtEnd() || *r.position != '=') return false;
  r.Next();
  state_ = ParseState::BeforeAttrValue;
  if (r.AtEnd() || (*r.position != '"' && *r.position != '\'')) return false;
  const WChar quote = r.Next();
  quote_ = quote;
  text_.Erase();
  state_ = ParseState::AttrValue;
  const WChar* value = r.position;
  SkipToStop(r, '&', quote);
  const uint32_t length = static_cast<uint32_t>(r.position - value);
  if (r.AtEnd() || *r.position != quote) {
    if (length) text_.Append(value, length);
    return false;
  }
  r.Next();
  // The value is stored straight from the input.
  WStrBuf frozen = builder_.FreezeText(value, length);
  cur_->AdoptFrozenString(frozen);
  return true;
}

bool XmlParser::CloseAttribute() {
  if (referencePending_) return Fail(ParseError::BadReference);
  // An empty text still gives a String value, of length 0.
  StoreText();
  text_.Erase();
  return FinishAttribute();
}

bool XmlParser::FinishAttribute() {
  cur_->SetKindByte(static_cast<int8_t>(NodeKind::Attribute));
  TreeNode* element = cur_->Parent();
  if (!element) return Fail(ParseError::NoCurrentNode);
  cur_ = element;
  state_ = ParseState::InTag;
  return true;
}

bool XmlParser::StepAttrName(CharReader& r) {
  WChar c = 0;
  if (!ExtendName(r, c)) return true;
  if (c == '=') {
    state_ = ParseState::BeforeAttrValue;
  } else if (syntax::IsXmlSpace(c)) {
    state_ = ParseState::AfterAttrName;
  } else {
    return Fail(ParseError::Syntax);
  }
  return true;
}

bool XmlParser::StepAfterAttrName(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (syntax::IsXmlSpace(c)) continue;
    if (c != '=') return Fail(ParseError::Syntax);
    state_ = ParseState::BeforeAttrValue;
    return true;
  }
  return true;
}

bool XmlParser::StepBeforeAttrValue(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (syntax::IsXmlSpace(c)) continue;
    if (c != '"' && c != '\'') return Fail(ParseError::Syntax);
    quote_ = c;
    text_.Erase();
    state_ = ParseState::AttrValue;
    return true;
  }
  return true;
}

bool XmlParser::StepAttrValue(CharReader& r) {
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
    SkipToStop(r, '&', quote);
    text_.Append(run, static_cast<uint32_t>(r.position - run));
  }
  return true;
}

bool XmlParser::StepCloseTag(CharReader& r) {
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (syntax::IsXmlSpace(c)) continue;
    if (c != '>') return Fail(ParseError::Syntax);
    return CloseElement();
  }
  return true;
}

bool XmlParser::StepMarkupEnd(CharReader& r) {
  if (r.Next() != '>') return Fail(ParseError::Syntax);
  text_.Erase();
  state_ = ParseState::Text;
  return true;
}

bool XmlParser::StepSkipToClose(CharReader& r) {
  uint32_t matched = 0;
  const WChar* past = syntax::PastEnding<syntax::DeclarationEnd>(r.position, r.end, matched);
  r.AdvanceTo(past ? past : r.end);
  if (past) {
    text_.Erase();
    state_ = ParseState::Text;
  }
  return true;
}

void XmlParser::ScratchAppend(const WChar* run, uint32_t n, const WChar* expected,
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

// Elements and attributes alike: the name arrives whole as one run, unless
// the input ends inside it; the name states append whatever follows.
void XmlParser::OpenNode(const WChar* name, uint32_t length) {
  cur_ = cur_->AppendNewChild(builder_, name, length);
}

void XmlParser::StoreText() {
  WStrBuf frozen = builder_.FreezeText(text_.Data(), text_.Length());
  cur_->TakeString(frozen);
}

bool XmlParser::CloseElement() {
  // Only a named element can be closed, so the node always has a parent;
  // the check keeps a broken tree from ending the walk at a null node.
  TreeNode* parent = cur_->Parent();
  if (!parent) return Fail(ParseError::NoCurrentNode);
  cur_ = parent;
  text_.Erase();
  state_ = ParseState::Text;
  return true;
}

}  // namespace kelmo
