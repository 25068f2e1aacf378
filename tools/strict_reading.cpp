#include "strict_reading.h"

#include <cstddef>
#include <string_view>
#include <utility>

#include "kelmo/easy/decoding.hpp"
#include "kelmo/easy/utf.hpp"
#include "syntax/char_classes.h"
#include "syntax/markup_ends.h"

namespace kelmo_tool {
namespace {

constexpr size_t kNpos = std::u16string_view::npos;
constexpr size_t kStartTag = kNpos - 1;

constexpr const char* kNotMarkup =
    "the document does not start with markup: this character cannot begin it";

// "<![CDATA[", the longest opening that tells one kind of markup from
// another: a "<" is read once this much of the text after it is at hand.
constexpr size_t kLongestOpening = 9;

// The first '<' from i on, or the end of the text.
size_t NextMarkup(std::u16string_view text, size_t i) {
  return static_cast<size_t>(kelmo::syntax::FindUnit(text.data() + i, text.data() + text.size(), '<') - text.data());
}

}  // namespace

uint64_t StrictReading::Read(std::u16string_view window, uint64_t base, bool last) {
  Take(window, base, last);
  size_t i = 0;
  // A byte-order mark that stayed in the text is not text before the element.
  if (base == 0 && !window.empty() && window[0] == 0xFEFF && mode_ == Mode::Top && !seenMarkup_) i = 1;
  while (i < text_.size()) {
    size_t next = kNpos;
    switch (mode_) {
      case Mode::Top: next = StepTop(i); break;
      case Mode::TopText: {
        // Text already told of runs to the next markup.
        next = NextMarkup(text_, i);
        if (next < text_.size()) mode_ = Mode::Top;
        break;
      }
      case Mode::Element: next = StepElement(i); break;
      case Mode::Skip: next = Skip(i); break;
    }
    if (next == kNpos) return base_ + i;
    i = next;
  }
  return base_ + text_.size();
}

size_t StrictReading::Skip(size_t i) {
  const char16_t* p = text_.data() + i;
  const char16_t* end = text_.data() + text_.size();
  const char16_t* past = kelmo::syntax::PastEnding(ending_, p, end, matched_);
  if (!past) return text_.size();
  mode_ = after_;
  return static_cast<size_t>(past - text_.data());
}

size_t StrictReading::StepTop(size_t i) {
  const char16_t c = text_[i];
  if (kelmo::syntax::IsXmlSpace(c)) return i + 1;
  if (c != u'<') {
    if (!seenMarkup_) {
      Add(i, kNotMarkup);
    } else {
      Add(i, elements_ == 0 ? "text before the document element" : "text after the document element");
    }
    seenMarkup_ = true;
    mode_ = Mode::TopText;
    return i;
  }
  seenMarkup_ = true;
  if (const size_t next = StepMarkup(i); next != kStartTag) return next;
  // The element's start tag is read whole before it is counted, so that a
  // tag given again is counted once.
  bool selfClosing = false;
  if (kelmo::syntax::PastMarkupEnd(text_, i + 1, false) == kNpos && !last_) return kNpos;
  if (++elements_ == 2) Add(i, "a second top-level element: a document has one");
  const size_t past = StartTag(i, selfClosing);
  if (!selfClosing) {
    depth_ = 1;
    mode_ = Mode::Element;
  }
  return past;
}

// The markup at i, at the top level or in an element, unless it is a start
// tag (kStartTag): where the next step starts, or npos when the window must
// be given again from i.
size_t StrictReading::StepMarkup(size_t i) {
  if (!last_ && text_.size() - i < kLongestOpening) return kNpos;
  const Mode here = mode_;
  const bool top = here == Mode::Top;
  if (Starts(i, u"<?")) {
    StartSkip(Ending::Pi, here);
    return i;
  }
  if (Starts(i, u"<!--")) {
    StartSkip(Ending::Comment, here);
    return i + 4;
  }
  if (Starts(i, u"<![CDATA[")) {
    if (top) Add(i, "a CDATA section outside the document element");
    StartSkip(Ending::CData, here);
    return i;
  }
  if (Starts(i, u"<!")) {
    // "<!DOCTYPE ...>" with an internal subset in brackets and quoted texts.
    const size_t past = kelmo::syntax::PastMarkupEnd(text_, i + 2, true);
    if (past != kNpos) return past;
    return last_ ? text_.size() : kNpos;
  }
  if (Starts(i, u"</")) {
    if (top) Add(i, "an end tag outside the document element");
    StartSkip(Ending::Declaration, top || --depth_ <= 0 ? Mode::Top : Mode::Element);
    return i;
  }
  return kStartTag;
}

// Inside an element everything belongs to it: only the markup that changes
// the depth is followed, and each start tag's attributes checked.
size_t StrictReading::StepElement(size_t i) {
  if (text_[i] != u'<') {
    return NextMarkup(text_, i);
  }
  if (const size_t next = StepMarkup(i); next != kStartTag) return next;
  bool selfClosing = false;
  const size_t past = StartTag(i, selfClosing);
  if (past == kNpos) return kNpos;
  if (!selfClosing) ++depth_;
  return past;
}

size_t StrictReading::StartTag(size_t i, bool& selfClosing) {
  const size_t past = kelmo::syntax::PastMarkupEnd(text_, i + 1, false);
  if (past == kNpos && !last_) return kNpos;
  selfClosing = past != kNpos && text_[past - 2] == u'/';
  const size_t end = past == kNpos ? text_.size() : past;
  CheckAttributes(i, end);
  return end;
}

size_t StrictReading::NameEnd(size_t i, size_t end) const {
  while (i < end && kelmo::IsNameChar(static_cast<kelmo::WChar>(text_[i]))) ++i;
  return i;
}

size_t StrictReading::BlanksEnd(size_t i, size_t end) const {
  while (i < end && kelmo::syntax::IsXmlSpace(text_[i])) ++i;
  return i;
}

// An attribute named twice in the start tag [i, end): the library keeps
// both, a strict reader refuses the tag. The scan stops at anything that
// is not name="value" or name='value'; the parser tells of that.
void StrictReading::CheckAttributes(size_t i, size_t end) {
  std::vector<std::u16string_view>& names = names_;
  names.clear();
  i = NameEnd(i + 1, end);
  while (true) {
    i = BlanksEnd(i, end);
    const size_t nameBegin = i;
    i = NameEnd(i, end);
    if (i == nameBegin) return;
    const std::u16string_view name = text_.substr(nameBegin, i - nameBegin);
    i = BlanksEnd(i, end);
    if (i >= end || text_[i] != u'=') return;
    i = BlanksEnd(i + 1, end);
    if (i >= end || (text_[i] != u'"' && text_[i] != u'\'')) return;
    const size_t close = text_.find(text_[i], i + 1);
    if (close == kNpos || close >= end) return;
    i = close + 1;
    for (const std::u16string_view& earlier : names) {
      if (earlier == name) {
        Add(nameBegin, "the attribute " + kelmo::easy::ToUtf8(name) +
                           " is repeated in one start tag: a strict reader refuses it, this "
                           "library keeps both");
        break;
      }
    }
    names.push_back(name);
  }
}

StrictWarning StrictWarningAt(unsigned int line, unsigned int column, std::string message) {
  const bool notMarkup = message == kNotMarkup;
  return {line, column, std::move(message), notMarkup};
}

std::vector<StrictWarning> FindStrictWarnings(const std::u16string& text) {
  StrictReading reading;
  reading.Read(text, 0, true);
  std::vector<size_t> at;
  for (const StrictReading::Problem& problem : reading.problems()) at.push_back(size_t(problem.at));
  const std::vector<kelmo::easy::TextPosition> positions = kelmo::easy::PositionsOf(text, at);
  std::vector<StrictWarning> warnings;
  for (size_t i = 0; i < positions.size(); ++i)
    warnings.push_back(StrictWarningAt(positions[i].line, positions[i].column, reading.problems()[i].message));
  return warnings;
}

}  // namespace kelmo_tool
