#include "rewrite_drops.h"

#include <cstdint>
#include <vector>

#include "syntax/value_rules.h"
#include "syntax/xml_spans.h"

namespace kelmo_tool {
namespace {

// What a rewrite drops is read with the syntax layer's span scanner and
// value rules.
using namespace kelmo::syntax;

// Finds the first thing that a rewrite from the tree would leave out.
class DropFinder : public SourceVisitor {
 public:
  explicit DropFinder(std::string_view text) : text_(text) {}

  bool StartElement(const SourceElement&, const std::vector<SourceAttribute>&, size_t,
                    size_t) override {
    if (!content_.empty()) ++content_.back().children;
    content_.push_back({});
    return true;
  }

  bool EndElement(const SourceElement& element, size_t) override {
    const Content content = content_.back();
    content_.pop_back();
    if (content.texts > 1 || (content.texts == 1 && content.children > 0))
      return Found("text beside other content in <" + std::string(element.name) + ">", element.whole.begin);
    if (content.multiLine)
      return Found("text with line breaks in <" + std::string(element.name) + ">", element.whole.begin);
    return true;
  }

  bool Text(Span span, bool cdata, size_t) override {
    Content& content = content_.back();
    ++content.texts;
    // A CDATA section is kept as it is; text loses its line breaks.
    if (cdata) return true;
    size_t begin = span.begin, end = span.end;
    TrimValueBlanks(text_, begin, end);
    if (text_.substr(begin, end - begin).find_first_of("\r\n") != std::string_view::npos)
      content.multiLine = true;
    return true;
  }

  bool Markup(const char* what, size_t at, size_t) override {
    return Found(what, at);
  }

  const std::string& found() const { return found_; }
  size_t at() const { return at_; }

 private:
  struct Content {
    uint32_t texts = 0;
    uint32_t children = 0;
    bool multiLine = false;
  };

  bool Found(std::string what, size_t at) {
    found_ = std::move(what);
    at_ = at;
    return false;
  }

  std::string_view text_;
  std::vector<Content> content_;
  std::string found_;
  size_t at_ = 0;
};

}  // namespace

bool FindWhatARewriteDrops(std::string_view text, std::string& what, size_t& at, std::string& why) {
  DropFinder finder(text);
  if (!ScanXmlSource(text, finder, why)) return false;
  what = finder.found();
  at = finder.at();
  return true;
}

}  // namespace kelmo_tool
