#include "syntax/xml_spans.h"

#include "syntax/char_classes.h"
#include "syntax/line_positions.h"
#include "syntax/markup_ends.h"
#include "syntax/value_rules.h"

namespace kelmo::syntax {
namespace {

constexpr size_t kOutside = SIZE_MAX;

bool EndsName(char c) { return IsXmlSpace(c) || c == '/' || c == '>' || c == '=' || c == '<'; }

class Scanner {
 public:
  Scanner(std::string_view text, SourceVisitor& visitor, std::string& why)
      : text_(text), visitor_(visitor), why_(why) {}

  bool Run() {
    bool seenRoot = false;
    while (!stopped_) {
      SkipBlanks();
      if (pos_ >= text_.size()) break;
      if (text_[pos_] != '<') return Fail("text outside the document element");
      if (StartsWith("<?")) {
        if (!SkipPi()) return false;
      } else if (StartsWith("<!--")) {
        if (!SkipComment()) return false;
      } else if (StartsWith("<!")) {
        if (!SkipDoctype()) return false;
      } else if (!seenRoot) {
        if (!Element()) return false;
        seenRoot = true;
      } else {
        return Fail("a second top-level element");
      }
    }
    if (!seenRoot && !stopped_) return Fail("no document element");
    return true;
  }

 private:
  bool Fail(const std::string& why) {
    why_ = why + " at line " + std::to_string(LineOf(text_, pos_));
    return false;
  }

  bool StartsWith(std::string_view prefix) const {
    return text_.compare(pos_, prefix.size(), prefix) == 0;
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && IsXmlSpace(text_[pos_])) ++pos_;
  }

  size_t Depth() const { return open_.empty() ? kOutside : open_.size() - 1; }

  // Moves past the Ending; false when it never comes.
  template <class Ending>
  bool SkipPast() {
    const size_t past = PastEnding<Ending>(text_, pos_);
    if (past == std::string_view::npos) return Fail("unterminated markup");
    pos_ = past;
    return true;
  }

  void Note(const char* what, size_t at) {
    if (!visitor_.Markup(what, at, Depth())) stopped_ = true;
  }

  bool SkipPi() {
    const size_t at = pos_;
    const bool declaration = at == 0 && StartsWith("<?xml") && pos_ + 5 < text_.size() &&
                             IsXmlSpace(text_[pos_ + 5]);
    if (!declaration) Note("a processing instruction", at);
    // The terminator is sought after the opener, which may share its
    // characters ("<?>", "<!--->").
    pos_ += 2;
    return SkipPast<PiEnd>();
  }

  bool SkipComment() {
    Note("a comment", pos_);
    pos_ += 4;
    return SkipPast<CommentEnd>();
  }

  // <!DOCTYPE ...>, with an internal subset in brackets that may hold '>'.
  bool SkipDoctype() {
    if (!StartsWith("<!DOCTYPE")) return Fail("unexpected \"<!\"");
    Note("a DOCTYPE", pos_);
    const size_t begin = pos_;
    const size_t past = PastMarkupEnd(text_, pos_ + 2, true);
    if (past != std::string_view::npos) {
      pos_ = past;
      return SubsetReadAlike(begin);
    }
    pos_ = text_.size();
    return Fail("unterminated DOCTYPE");
  }

  // The reader ends a DOCTYPE at its first '>' and reads the rest of the
  // internal subset as what comes before the document element: declarations
  // ("<!X ...>") to their first '>', comments to "--" (which must end them),
  // processing instructions to "?>". Anything else there, or one of those
  // running past the DOCTYPE's end, it would read otherwise than this scan
  // does; the ends are found with the reader's own scans.
  bool SubsetReadAlike(size_t begin) {
    auto fail = [&](size_t at) {
      pos_ = at;
      return Fail("markup in the DOCTYPE's internal subset that the reader reads otherwise");
    };
    const size_t end = pos_;
    size_t at = PastEnding<DeclarationEnd>(text_, begin);
    while (at < end) {
      if (text_[at] != '<') {
        ++at;
        continue;
      }
      const std::string_view rest = text_.substr(at, end - at);
      // Where the construct ends.
      size_t past = std::string_view::npos;
      if (rest.compare(0, 4, "<!--") == 0) {
        past = PastEnding<CommentDashes>(rest, 4);
        if (past != std::string_view::npos)
          past = past < rest.size() && rest[past] == '>' ? past + 1 : std::string_view::npos;
      } else if (rest.compare(0, 2, "<?") == 0) {
        past = PastEnding<PiEnd>(rest, 2);
      } else if (rest.size() > 2 && rest[1] == '!' && rest[2] != '-' && rest[2] != '[') {
        past = PastEnding<DeclarationEnd>(rest, 2);
      }
      if (past == std::string_view::npos) return fail(at);
      at += past;
    }
    pos_ = end;
    return true;
  }

  std::string_view Name() {
    const size_t begin = pos_;
    while (pos_ < text_.size() && !EndsName(text_[pos_])) ++pos_;
    return text_.substr(begin, pos_ - begin);
  }

  // The start tag at pos_; the element stays open unless it closes itself.
  bool StartTag() {
    SourceElement element;
    element.whole.begin = pos_;
    ++pos_;
    element.name = Name();
    if (element.name.empty()) return Fail("an element without a name");
    element.tagEnd = pos_;
    attributes_.clear();
    while (true) {
      const size_t blanks = pos_;
      SkipBlanks();
      if (pos_ >= text_.size()) return Fail("unterminated start tag");
      if (StartsWith("/>")) {
        element.selfClosing = true;
        pos_ += 2;
        element.contentBegin = element.contentEnd = element.whole.end = pos_;
        break;
      }
      if (text_[pos_] == '>') {
        element.contentBegin = ++pos_;
        break;
      }
      if (pos_ == blanks) return Fail("no blank before an attribute");
      SourceAttribute attribute;
      attribute.blanksBegin = blanks;
      attribute.whole.begin = pos_;
      attribute.name = Name();
      if (attribute.name.empty()) return Fail("an attribute without a name");
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != '=') return Fail("an attribute without '='");
      ++pos_;
      SkipBlanks();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
        return Fail("an unquoted attribute value");
      attribute.quote = text_[pos_++];
      attribute.value.begin = pos_;
      const size_t close = text_.find(attribute.quote, pos_);
      if (close == std::string_view::npos) return Fail("unterminated attribute value");
      attribute.value.end = close;
      pos_ = close + 1;
      attribute.whole.end = element.tagEnd = pos_;
      attributes_.push_back(attribute);
    }
    const size_t depth = open_.size();
    const size_t parentBegin = open_.empty() ? kOutside : open_.back().whole.begin;
    if (!visitor_.StartElement(element, attributes_, depth, parentBegin)) stopped_ = true;
    if (element.selfClosing) {
      if (!stopped_ && !visitor_.EndElement(element, depth)) stopped_ = true;
    } else {
      open_.push_back(element);
    }
    return true;
  }

  bool EndTag() {
    SourceElement& element = open_.back();
    element.contentEnd = pos_;
    pos_ += 2;
    if (Name() != element.name)
      return Fail("an end tag that does not match </" + std::string(element.name) + ">");
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '>') return Fail("unterminated end tag");
    element.whole.end = ++pos_;
    if (!visitor_.EndElement(element, open_.size() - 1)) stopped_ = true;
    open_.pop_back();
    return true;
  }

  // The document element and everything inside it.
  bool Element() {
    if (!StartTag()) return false;
    while (!open_.empty() && !stopped_) {
      const size_t textBegin = pos_;
      const size_t lt = text_.find('<', pos_);
      pos_ = lt == std::string_view::npos ? text_.size() : lt;
      if (pos_ > textBegin) AddText({textBegin, pos_}, false);
      if (stopped_) break;
      if (pos_ >= text_.size())
        return Fail("unclosed <" + std::string(open_.back().name) + ">");
      if (StartsWith("</")) {
        if (!EndTag()) return false;
      } else if (StartsWith("<!--")) {
        if (!SkipComment()) return false;
      } else if (StartsWith("<![CDATA[")) {
        const size_t begin = pos_;
        if (!SkipPast<CDataEnd>()) return false;
        AddText({begin, pos_}, true);
      } else if (StartsWith("<?")) {
        if (!SkipPi()) return false;
      } else if (StartsWith("<!")) {
        return Fail("a declaration inside an element");
      } else if (!StartTag()) {
        return false;
      }
    }
    return true;
  }

  void AddText(Span span, bool cdata) {
    // Blank character data cannot be a value, so visitors never hear of it.
    if (!cdata && IsBlankRun(text_, span.begin, span.end)) return;
    if (!visitor_.Text(span, cdata, open_.size() - 1)) stopped_ = true;
  }

  std::string_view text_;
  SourceVisitor& visitor_;
  std::string& why_;
  size_t pos_ = 0;
  bool stopped_ = false;
  std::vector<SourceElement> open_;
  std::vector<SourceAttribute> attributes_;
};

}  // namespace

bool ScanXmlSource(std::string_view text, SourceVisitor& visitor, std::string& why) {
  return Scanner(text, visitor, why).Run();
}

}  // namespace kelmo::syntax
