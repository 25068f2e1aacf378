#include "xml_source.h"

#include <cstdint>

namespace kelmo_tool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool EndsName(char c) { return IsBlank(c) || c == '/' || c == '>' || c == '=' || c == '<'; }

class Scanner {
 public:
  Scanner(std::string_view text, SourceDocument& doc, std::string& why)
      : text_(text), doc_(doc), why_(why) {}

  bool Run() {
    bool seenRoot = false;
    while (true) {
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
    if (!seenRoot) return Fail("no document element");
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
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  // Moves past `terminator`; false when it never comes.
  bool SkipPast(std::string_view terminator) {
    const size_t at = text_.find(terminator, pos_);
    if (at == std::string_view::npos) return Fail("unterminated markup");
    pos_ = at + terminator.size();
    return true;
  }

  void NoteExtra(const char* what, size_t at) {
    if (doc_.firstExtra.empty())
      doc_.firstExtra = std::string(what) + " on line " + std::to_string(LineOf(text_, at));
  }

  void NoteInside() {
    if (!open_.empty()) doc_.elements[open_.back()].hasMarkupInside = true;
  }

  bool SkipPi() {
    const size_t at = pos_;
    const bool declaration = at == 0 && StartsWith("<?xml") && pos_ + 5 < text_.size() &&
                             IsBlank(text_[pos_ + 5]);
    if (!declaration) {
      NoteExtra("a processing instruction", at);
      NoteInside();
    }
    return SkipPast("?>");
  }

  bool SkipComment() {
    NoteExtra("a comment", pos_);
    NoteInside();
    return SkipPast("-->");
  }

  // <!DOCTYPE ...>, with an internal subset in brackets that may hold '>'.
  bool SkipDoctype() {
    if (!StartsWith("<!DOCTYPE")) return Fail("unexpected \"<!\"");
    NoteExtra("a DOCTYPE", pos_);
    int brackets = 0;
    char quote = 0;
    for (pos_ += 2; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++brackets;
      } else if (c == ']') {
        --brackets;
      } else if (c == '>' && brackets <= 0) {
        ++pos_;
        return true;
      }
    }
    return Fail("unterminated DOCTYPE");
  }

  std::string Name() {
    const size_t begin = pos_;
    while (pos_ < text_.size() && !EndsName(text_[pos_])) ++pos_;
    return std::string(text_.substr(begin, pos_ - begin));
  }

  // The start tag at pos_; pushes the element when it stays open.
  bool StartTag() {
    SourceElement element;
    element.whole.begin = pos_;
    ++pos_;
    element.name = Name();
    if (element.name.empty()) return Fail("an element without a name");
    element.nameEnd = element.tagEnd = pos_;
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
      element.attributes.push_back(std::move(attribute));
    }
    element.parent = open_.empty() ? SIZE_MAX : open_.back();
    const size_t index = doc_.elements.size();
    if (element.parent != SIZE_MAX) doc_.elements[element.parent].children.push_back(index);
    const bool selfClosing = element.selfClosing;
    doc_.elements.push_back(std::move(element));
    if (!selfClosing) open_.push_back(index);
    return true;
  }

  bool EndTag() {
    SourceElement& element = doc_.elements[open_.back()];
    element.contentEnd = pos_;
    pos_ += 2;
    if (Name() != element.name) return Fail("an end tag that does not match </" + element.name + ">");
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '>') return Fail("unterminated end tag");
    element.whole.end = ++pos_;
    open_.pop_back();
    return true;
  }

  // The document element and everything inside it.
  bool Element() {
    if (!StartTag()) return false;
    while (!open_.empty()) {
      const size_t textBegin = pos_;
      while (pos_ < text_.size() && text_[pos_] != '<') ++pos_;
      if (pos_ > textBegin) AddText({textBegin, pos_}, false);
      if (pos_ >= text_.size()) return Fail("unclosed <" + doc_.elements[open_.back()].name + ">");
      if (StartsWith("</")) {
        if (!EndTag()) return false;
      } else if (StartsWith("<!--")) {
        if (!SkipComment()) return false;
      } else if (StartsWith("<![CDATA[")) {
        const size_t begin = pos_;
        if (!SkipPast("]]>")) return false;
        AddText({begin, pos_}, true);
      } else if (StartsWith("<?")) {
        if (!SkipPi()) return false;
      } else if (StartsWith("<!")) {
        return Fail("a declaration inside an element");
      } else if (!StartTag()) {
        return false;
      }
    }
    for (const SourceElement& element : doc_.elements) CheckContent(element);
    return true;
  }

  void AddText(Span span, bool cdata) {
    bool blank = !cdata;
    for (size_t i = span.begin; blank && i < span.end; ++i) blank = IsBlank(text_[i]);
    if (!blank) doc_.elements[open_.back()].texts.push_back({span, cdata});
  }

  void CheckContent(const SourceElement& element) {
    auto where = [&] {
      return "<" + element.name + "> on line " + std::to_string(LineOf(text_, element.whole.begin));
    };
    if (doc_.firstMixedContent.empty() &&
        (element.texts.size() > 1 || (!element.texts.empty() && !element.children.empty())))
      doc_.firstMixedContent = "text beside other content in " + where();
    if (!doc_.firstMultiLineText.empty()) return;
    for (const SourceRun& run : element.texts) {
      // A CDATA section is kept as it is; text loses its line breaks.
      if (run.cdata) continue;
      size_t begin = run.span.begin, end = run.span.end;
      while (begin < end && IsBlank(text_[begin])) ++begin;
      while (end > begin && IsBlank(text_[end - 1])) --end;
      if (text_.substr(begin, end - begin).find_first_of("\r\n") != std::string_view::npos) {
        doc_.firstMultiLineText = "text with line breaks in " + where();
        return;
      }
    }
  }

  std::string_view text_;
  SourceDocument& doc_;
  std::string& why_;
  size_t pos_ = 0;
  std::vector<size_t> open_;
};

}  // namespace

bool ScanXmlSource(std::string_view text, SourceDocument& document, std::string& why) {
  document = SourceDocument();
  return Scanner(text, document, why).Run();
}

size_t LineOf(std::string_view text, size_t offset) {
  size_t line = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
      ++line;
  }
  return line;
}

}  // namespace kelmo_tool
