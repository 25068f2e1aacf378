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

constexpr const char* kNotMarkup =
    "the document does not start with markup: this character cannot begin it";

// Walks the top level of a document: the prolog, the elements at depth 0
// and what follows them. Inside an element only the markup that changes the
// depth is followed; everything in it belongs to the element.
class TopLevel {
 public:
  explicit TopLevel(const std::u16string& text) : text_(text) {}

  // (unit index, message) of each thing a strict reader rejects.
  std::vector<std::pair<size_t, std::string>> Problems() {
    size_t i = text_.size() > 0 && text_[0] == 0xFEFF ? 1 : 0;
    bool seenMarkup = false;
    int elements = 0;
    while (i < text_.size()) {
      const char16_t c = text_[i];
      if (kelmo::syntax::IsXmlSpace(c)) {
        ++i;
        continue;
      }
      if (c != u'<') {
        if (!seenMarkup) {
          Add(i, kNotMarkup);
        } else {
          Add(i, elements == 0 ? "text before the document element"
                               : "text after the document element");
        }
        seenMarkup = true;
        i = Find(i, u"<");
        continue;
      }
      seenMarkup = true;
      if (Starts(i, u"<?")) {
        i = Past<kelmo::syntax::PiEnd>(i);
      } else if (Starts(i, u"<!--")) {
        i = Past<kelmo::syntax::CommentEnd>(i + 4);
      } else if (Starts(i, u"<![CDATA[")) {
        Add(i, "a CDATA section outside the document element");
        i = Past<kelmo::syntax::CDataEnd>(i);
      } else if (Starts(i, u"<!")) {
        i = SkipDeclaration(i);
      } else if (Starts(i, u"</")) {
        Add(i, "an end tag outside the document element");
        i = Past<kelmo::syntax::DeclarationEnd>(i);
      } else {
        if (++elements == 2) Add(i, "a second top-level element: a document has one");
        i = SkipElement(i);
      }
    }
    return std::move(problems_);
  }

 private:
  void Add(size_t at, std::string message) { problems_.emplace_back(at, std::move(message)); }

  size_t NameEnd(size_t i, size_t end) const {
    while (i < end && kelmo::IsNameChar(static_cast<kelmo::WChar>(text_[i]))) ++i;
    return i;
  }
  size_t BlanksEnd(size_t i, size_t end) const {
    while (i < end && kelmo::syntax::IsXmlSpace(text_[i])) ++i;
    return i;
  }

  // An attribute named twice in the start tag [i, end): the library keeps
  // both, a strict reader refuses the tag. The scan stops at anything that
  // is not name="value" or name='value'; the parser tells of that.
  void CheckAttributes(size_t i, size_t end) {
    std::vector<std::u16string_view> names;
    i = NameEnd(i + 1, end);
    while (true) {
      i = BlanksEnd(i, end);
      const size_t nameBegin = i;
      i = NameEnd(i, end);
      if (i == nameBegin) return;
      const std::u16string_view name(text_.data() + nameBegin, i - nameBegin);
      i = BlanksEnd(i, end);
      if (i >= end || text_[i] != u'=') return;
      i = BlanksEnd(i + 1, end);
      if (i >= end || (text_[i] != u'"' && text_[i] != u'\'')) return;
      const size_t close = std::u16string_view(text_).find(text_[i], i + 1);
      if (close == std::u16string_view::npos || close >= end) return;
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

  bool Starts(size_t i, std::u16string_view s) const {
    return std::u16string_view(text_).substr(i, s.size()) == s;
  }
  size_t Find(size_t i, std::u16string_view s) const {
    const size_t at = std::u16string_view(text_).find(s, i);
    return at == std::u16string_view::npos ? text_.size() : at;
  }
  // Past the Ending (or the end of the text), with the reader's own scan.
  template <class Ending>
  size_t Past(size_t i) const {
    const size_t past = kelmo::syntax::PastEnding<Ending>(std::u16string_view(text_), i);
    return past == std::u16string_view::npos ? text_.size() : past;
  }

  // "<!DOCTYPE ...>" with an internal subset in brackets and quoted texts.
  size_t SkipDeclaration(size_t i) const {
    const size_t past = kelmo::syntax::PastMarkupEnd(std::u16string_view(text_), i + 2, true);
    return past == std::u16string_view::npos ? text_.size() : past;
  }

  // Past the end of the start tag that starts at i; sets selfClosing.
  size_t SkipTag(size_t i, bool& selfClosing) {
    const size_t past = kelmo::syntax::PastMarkupEnd(std::u16string_view(text_), i + 1, false);
    selfClosing = past != std::u16string_view::npos && text_[past - 2] == u'/';
    const size_t end = past == std::u16string_view::npos ? text_.size() : past;
    CheckAttributes(i, end);
    return end;
  }

  // Past the end of the element that starts at i (or the end of the text).
  size_t SkipElement(size_t i) {
    int depth = 0;
    while (i < text_.size()) {
      if (text_[i] != u'<') {
        i = Find(i, u"<");
      } else if (Starts(i, u"<!--")) {
        i = Past<kelmo::syntax::CommentEnd>(i + 4);
      } else if (Starts(i, u"<![CDATA[")) {
        i = Past<kelmo::syntax::CDataEnd>(i);
      } else if (Starts(i, u"<?")) {
        i = Past<kelmo::syntax::PiEnd>(i);
      } else if (Starts(i, u"<!")) {
        i = SkipDeclaration(i);
      } else if (Starts(i, u"</")) {
        i = Past<kelmo::syntax::DeclarationEnd>(i);
        if (--depth <= 0) return i;
      } else {
        bool selfClosing = false;
        i = SkipTag(i, selfClosing);
        if (!selfClosing) ++depth;
        if (depth == 0) return i;
      }
    }
    return i;
  }

  const std::u16string& text_;
  std::vector<std::pair<size_t, std::string>> problems_;
};

}  // namespace

std::vector<StrictWarning> FindStrictWarnings(const std::u16string& text) {
  const std::vector<std::pair<size_t, std::string>> problems = TopLevel(text).Problems();
  std::vector<size_t> at;
  for (const auto& problem : problems) at.push_back(problem.first);
  const std::vector<kelmo::easy::TextPosition> positions = kelmo::easy::PositionsOf(text, at);
  std::vector<StrictWarning> warnings;
  for (size_t i = 0; i < problems.size() && i < positions.size(); ++i)
    warnings.push_back({positions[i].line, positions[i].column, problems[i].second,
                        problems[i].second == kNotMarkup});
  return warnings;
}

}  // namespace kelmo_tool
