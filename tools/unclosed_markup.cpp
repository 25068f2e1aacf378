#include "unclosed_markup.h"

#include "kelmo/easy/utf.hpp"
#include "syntax/char_classes.h"
#include "syntax/markup_ends.h"

namespace kelmo_tool {
namespace {

constexpr size_t kNpos = std::u16string_view::npos;

// "<![CDATA[", the longest opening that tells one kind of markup from
// another: a "<" is read once this much of the text after it is at hand.
constexpr size_t kLongestOpening = 9;

bool EndsName(char16_t c) { return kelmo::syntax::IsXmlSpace(c) || c == u'>' || c == u'/' || c == u'=' || c == u'<'; }

std::string Utf8(std::u16string_view text) { return kelmo::easy::ToUtf8(text); }

std::string Never(const char* what) { return std::string(what) + " never ends"; }

}  // namespace

uint64_t UnclosedMarkup::Read(std::u16string_view window, uint64_t base, bool last) {
  Take(window, base, last);
  size_t i = 0;
  while (i < text_.size() && mode_ != Mode::Done) {
    const size_t next = mode_ == Mode::Text ? StepText(i) : Skip(i);
    if (next == kNpos) break;
    i = next;
  }
  if (mode_ == Mode::Done) i = text_.size();
  // Everything before the text to be given again is counted, so that the
  // positions of what lies after it can be.
  const uint64_t counted = counter_.Counted();
  if (base_ + i > counted) counter_.Count(text_.data() + (counted - base_), size_t(base_ + i - counted));
  return base_ + i;
}

kelmo::easy::TextPosition UnclosedMarkup::PositionOf(size_t i) {
  const uint64_t counted = counter_.Counted();
  if (base_ + i + 1 > counted) counter_.Count(text_.data() + (counted - base_), size_t(base_ + i + 1 - counted));
  return counter_.Last();
}

size_t UnclosedMarkup::StepText(size_t i) {
  if (text_[i] == u'<') return StepMarkup(i);
  const size_t lt = text_.find(u'<', i);
  const size_t end = lt == kNpos ? text_.size() : lt;
  // Text to the end: a reference in it may be what is cut short. Only the
  // run's last '&' can be, when no ';' follows it.
  const std::u16string_view run = text_.substr(i, end - i);
  const size_t amp = run.rfind(u'&');
  if (amp != kNpos) {
    reference_.reset();
    if (run.find(u';', amp) == kNpos) reference_ = At(i + amp, Never("a reference"));
  } else if (run.find(u';') != kNpos) {
    reference_.reset();
  }
  // The markup that ends the run starts another.
  if (lt != kNpos) reference_.reset();
  return end;
}

size_t UnclosedMarkup::StepMarkup(size_t i) {
  if (!last_ && text_.size() - i < kLongestOpening) return kNpos;
  if (Starts(i, u"<!--")) {
    StartSkip(Ending::Comment, i, "a comment");
    return i + 4;
  }
  if (Starts(i, u"<![CDATA[")) {
    StartSkip(Ending::CData, i, "a CDATA section");
    return i + 9;
  }
  if (Starts(i, u"<?")) {
    StartSkip(Ending::Pi, i, Starts(i, u"<?xml ") ? "the XML declaration" : "a processing instruction");
    return i + 2;
  }
  if (Starts(i, u"<!")) {
    const size_t past = kelmo::syntax::PastMarkupEnd(text_, i + 2, true);
    if (past != kNpos) return past;
    if (!last_) return kNpos;
    result_ = At(i, Never("a declaration"));
    mode_ = Mode::Done;
    return text_.size();
  }
  if (Starts(i, u"</")) {
    StartSkip(Ending::Declaration, i, "an end tag");
    return i;
  }
  return StartTag(i);
}

// A start tag is read whole: a window that ends inside it is given again
// from its '<'.
size_t UnclosedMarkup::StartTag(size_t tag) {
  size_t j = tag + 1;
  while (j < text_.size() && !EndsName(text_[j])) ++j;
  const std::u16string_view name = text_.substr(tag + 1, j - tag - 1);
  size_t nameAt = kNpos;  // the last attribute name seen in the tag
  for (; j < text_.size(); ++j) {
    const char16_t c = text_[j];
    if (c == u'>') {
      if (text_[j - 1] != u'/') open_.emplace_back(name, At(tag, "element <" + Utf8(name) + "> is never closed"));
      return j + 1;
    }
    if (c == u'"' || c == u'\'') {
      const size_t end = text_.find(c, j + 1);
      if (end == kNpos) {
        if (!last_) return kNpos;
        mode_ = Mode::Done;
        if (nameAt == kNpos) {
          result_ = At(j, "a quoted value in <" + Utf8(name) + "> is never closed");
          return text_.size();
        }
        size_t nameEnd = nameAt;
        while (nameEnd < text_.size() && !EndsName(text_[nameEnd])) ++nameEnd;
        result_ = At(nameAt, "the value of attribute \"" + Utf8(text_.substr(nameAt, nameEnd - nameAt)) +
                                 "\" in <" + Utf8(name) + "> is never closed: its quote " +
                                 (c == u'"' ? "(\")" : "(')") + " has no partner");
        return text_.size();
      }
      j = end;
      continue;
    }
    const char16_t before = text_[j - 1];
    if (!EndsName(c) && (EndsName(before) || before == u'"' || before == u'\'')) nameAt = j;
  }
  if (!last_) return kNpos;
  result_ = At(tag, "the start tag <" + Utf8(name) + "> never ends");
  mode_ = Mode::Done;
  return text_.size();
}

void UnclosedMarkup::StartSkip(Ending ending, size_t at, const char* what) {
  ending_ = ending;
  matched_ = 0;
  skipped_ = At(at, Never(what));
  mode_ = Mode::Skip;
}

size_t UnclosedMarkup::Skip(size_t i) {
  const char16_t* p = text_.data() + i;
  const char16_t* end = text_.data() + text_.size();
  const char16_t* past = kelmo::syntax::PastEnding(ending_, p, end, matched_);
  if (!past) return text_.size();
  if (ending_ == Ending::Declaration && !open_.empty()) open_.pop_back();
  skipped_.reset();
  mode_ = Mode::Text;
  return static_cast<size_t>(past - text_.data());
}

std::optional<Unclosed> UnclosedMarkup::Result() const {
  if (result_) return result_;
  if (mode_ == Mode::Skip) return skipped_;
  if (reference_) return reference_;
  if (open_.empty()) return std::nullopt;
  return open_.back().second;
}

std::optional<Unclosed> FindUnclosed(const std::u16string& text) {
  UnclosedMarkup unclosed;
  unclosed.Read(text, 0, true);
  return unclosed.Result();
}

}  // namespace kelmo_tool
