#include "reference_parser/xml_parser.h"

#include <cstring>

#include "syntax/char_classes.h"
#include "syntax/char_ref.h"
#include "text/text_length.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"

namespace kelmo::reference {
namespace {

const WChar kCData[] = {'C', 'D', 'A', 'T', 'A'};
constexpr uint32_t kCDataLength = 5;
const WChar kSectionEnd[] = {']', ']', '>'};
const WChar kPiEnd[] = {'?', '>'};

struct NamedEntity {
  WChar text[6];
  uint32_t length;
  WChar value;
};
const NamedEntity kNamedEntities[] = {
    {{'&', 'a', 'm', 'p', ';'}, 5, '&'},
    {{'&', 'l', 't', ';'}, 4, '<'},
    {{'&', 'g', 't', ';'}, 4, '>'},
    {{'&', 'q', 'u', 'o', 't', ';'}, 6, '"'},
    {{'&', 'a', 'p', 'o', 's', ';'}, 6, '\''},
};

inline bool IsLineBreak(WChar c) { return c == 10 || c == 13; }

// Reads a run up to the next line break or one of a and b: the reader counts
// lines one unit at a time, so line breaks always stop the run.
inline void SkipToStop(CharReader& r, WChar a, WChar b) {
  r.AdvanceTo(text::FindStop(r.position, r.end, text::UnitStops<4>{{10, 13, a, b}}));
}

inline bool IsBlank(WChar c) { return c == ' ' || c == '\t'; }
inline bool IsSectionPlain(WChar c) { return c != ']' && !IsLineBreak(c); }

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
  const bool ok = ResolveReference(out);
  referencePending_ = false;
  return ok;
}

bool XmlParser::ResolveReference(WStrBuf* out) {
  const WChar* ref = reference_.Data();
  const uint32_t length = reference_.Length();
  if (length > 2 && ref[1] == '#') {
    uint32_t codePoint = 0;
    if (!syntax::DecodeCharRef(ref, length, codePoint)) return false;
    if (out) AppendCodePoint(*out, codePoint);
    return true;
  }
  for (const NamedEntity& entity : kNamedEntities) {
    if (reference_.Equals(entity.text, entity.length)) {
      if (out) out->AppendChar(entity.value);
      return true;
    }
  }
  return false;
}

bool XmlParser::StepText(CharReader& r) {
  // Only the first non-blank run inside an element whose value is still
  // Empty is kept; everything else is read for its references and dropped.
  WStrBuf* out = (cur_ != root_.get() && cur_->Type() == ValueType::Empty) ? &text_ : nullptr;
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (c == '<') {
      if (referencePending_) return Fail(ParseError::BadReference);
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
    if (referencePending_ || c == '&') {
      if (!FeedTextChar(c, out)) return Fail(ParseError::BadReference);
      literalBlankTail_ = 0;
      continue;
    }
    if (IsLineBreak(c)) continue;
    if (!out) {
      SkipToStop(r, '<', '&');
      continue;
    }
    // Leading spaces and tabs would be trimmed anyway; not gathering them
    // spares a buffer for every blank run between tags.
    if (IsBlank(c) && text_.IsEmpty()) {
      r.SkipWhile(IsBlank);
      continue;
    }
    const WChar* run = r.position - 1;
    SkipToStop(r, '<', '&');
    const uint32_t length = static_cast<uint32_t>(r.position - run);
    text_.Append(run, length);
    uint32_t blanks = 0;
    while (blanks < length && IsBlank(run[length - 1 - blanks])) ++blanks;
    literalBlankTail_ = blanks == length ? literalBlankTail_ + blanks : blanks;
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
  } else if (IsNameChar(c)) {
    const WChar* name = r.position - 1;
    r.SkipWhile(IsNameChar);
    OpenElement(name, static_cast<uint32_t>(r.position - name));
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
  uint32_t k = matchCount_;
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (c == kSectionEnd[k]) {
      if (k == 2) {
        StoreText();
        text_.Erase();
        matchCount_ = 0;
        state_ = ParseState::Text;
        return true;
      }
      ++k;
      continue;
    }
    // A run of three or more "]" keeps the last two as a possible end.
    if (k == 2 && c == ']') {
      text_.AppendChar(']');
      continue;
    }
    if (k > 0) {
      text_.Append(kSectionEnd, k);
      k = 0;
    }
    const WChar* run = r.position - 1;
    r.SkipWhile(IsSectionPlain);
    text_.Append(run, static_cast<uint32_t>(r.position - run));
  }
  matchCount_ = k;
  return true;
}

bool XmlParser::StepCommentOpen(CharReader& r) {
  if (r.Next() != '-') return Fail(ParseError::Syntax);
  matchCount_ = 0;
  state_ = ParseState::Comment;
  return true;
}

bool XmlParser::StepComment(CharReader& r) {
  uint32_t k = matchCount_;
  while (!r.AtEnd()) {
    if (r.Next() != '-') {
      k = 0;
      SkipToStop(r, '-', '-');
      continue;
    }
    if (k == 1) {
      matchCount_ = k;
      state_ = ParseState::MarkupEnd;
      return true;
    }
    ++k;
  }
  matchCount_ = k;
  return true;
}

bool XmlParser::StepEndTag(CharReader& r) {
  const WStrBuf& name = cur_->Name();
  const WChar* expected = name.Data();
  const uint32_t expectedLength = name.Length();
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (IsNameChar(c)) {
      const WChar* run = r.position - 1;
      r.SkipWhile(IsNameChar);
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
  uint32_t k = matchCount_;
  while (!r.AtEnd()) {
    const WChar c = r.Next();
    if (c == kPiEnd[k]) {
      if (k == 1) {
        matchCount_ = k;
        text_.Erase();
        state_ = ParseState::Text;
        return true;
      }
      k = 1;
    } else if (c != '?') {
      k = 0;
      SkipToStop(r, '?', '?');
    }
  }
  matchCount_ = k;
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
    r.SkipWhile(IsNameChar);
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
      r.SkipWhile(IsNameChar);
      OpenAttribute(name, static_cast<uint32_t>(r.position - name));
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
  cur_->TakeString(frozen);
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
    if (referencePending_ || c == '&') {
      if (!FeedTextChar(c, &text_)) return Fail(ParseError::BadReference);
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
  while (!r.AtEnd()) {
    if (r.Next() != '>') {
      SkipToStop(r, '>', '>');
      continue;
    }
    text_.Erase();
    state_ = ParseState::Text;
    return true;
  }
  return true;
}

void XmlParser::ScratchAppend(const WChar* run, uint32_t n, const WChar* expected,
                              uint32_t expectedLength) {
  if (!scratchDiffers_ &&
      (uint64_t(scratchLength_) + n > expectedLength ||
       std::memcmp(expected + scratchLength_, run, size_t(n) * sizeof(WChar)) != 0))
    scratchDiffers_ = true;
  scratchLength_ += n;
}

// The name arrives whole as one run, unless the input ends inside it; the
// name states append whatever follows.
void XmlParser::OpenElement(const WChar* name, uint32_t length) {
  cur_ = cur_->AppendNewChild(builder_, name, length);
}

void XmlParser::OpenAttribute(const WChar* name, uint32_t length) {
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

}  // namespace kelmo::reference
