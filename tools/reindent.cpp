#include "reindent.h"

#include <vector>

#include "syntax/char_classes.h"
#include "syntax/line_positions.h"
#include "syntax/xml_spans.h"

namespace kelmo_tool {
namespace {

constexpr size_t kOutside = SIZE_MAX;

// Collects the runs of blanks to replace, in document order. Whether an
// element's content may be re-laid out is known only at its end tag (text
// may follow its first children), so its runs are kept until then and
// dropped if it turns out to hold text.
class GapFinder : public kelmo::syntax::SourceVisitor {
 public:
  struct Gap {
    size_t begin = 0;
    size_t end = 0;
    size_t level = 0;
    bool kept = true;
    bool mayKeepBlankLine = true;  // not before the first item or an end
  };

  explicit GapFinder(std::string_view text) : text_(text) {}

  bool StartElement(const kelmo::syntax::SourceElement& element,
                    const std::vector<kelmo::syntax::SourceAttribute>&, size_t depth, size_t) override {
    if (open_.empty()) {
      AddTopLevel(element.whole.begin);
    } else {
      AddInside(element.whole.begin, depth);
    }
    open_.push_back({});
    return true;
  }

  bool EndElement(const kelmo::syntax::SourceElement& element, size_t depth) override {
    const Frame frame = std::move(open_.back());
    open_.pop_back();
    if (element.selfClosing) return true;
    if (frame.hasText || !frame.hasMarkup) {
      for (size_t index : frame.gaps) gaps_[index].kept = false;
    } else {
      AddGap(element.contentEnd, depth, false);
    }
    return true;
  }

  bool Text(kelmo::syntax::Span, bool, size_t) override {
    open_.back().hasText = true;
    return true;
  }

  bool Markup(const char*, size_t at, size_t depth) override {
    if (depth == kOutside) {
      AddTopLevel(at);
    } else {
      AddInside(at, depth + 1);
    }
    return true;
  }

  // The blanks after the last item become one line end.
  void Finish() {
    size_t begin = text_.size();
    while (begin > 0 && kelmo::syntax::IsXmlSpace(text_[begin - 1])) --begin;
    gaps_.push_back({begin, text_.size(), 0, true, false});
  }

  const std::vector<Gap>& gaps() const { return gaps_; }

 private:
  struct Frame {
    bool hasText = false;
    bool hasMarkup = false;
    std::vector<size_t> gaps;
  };

  // The run of blanks that ends where the item at `at` begins; the item
  // before it ends in '>', so the run is exactly the blanks between them.
  void AddGap(size_t at, size_t level, bool mayKeepBlankLine) {
    size_t begin = at;
    while (begin > 0 && kelmo::syntax::IsXmlSpace(text_[begin - 1])) --begin;
    gaps_.push_back({begin, at, level, true, mayKeepBlankLine});
  }

  void AddTopLevel(size_t at) {
    size_t begin = at;
    while (begin > 0 && kelmo::syntax::IsXmlSpace(text_[begin - 1])) --begin;
    // Blanks at the very start are not between items.
    if (begin > 0) AddGap(at, 0, true);
  }

  void AddInside(size_t at, size_t level) {
    Frame& parent = open_.back();
    parent.gaps.push_back(gaps_.size());
    AddGap(at, level, parent.hasMarkup);
    parent.hasMarkup = true;
  }

  std::string_view text_;
  std::vector<Frame> open_;
  std::vector<Gap> gaps_;
};

}  // namespace

bool ReindentSource(std::string_view text, const std::string& indent, const std::string& newline,
                    std::string& out, std::string& why) {
  GapFinder finder(text);
  if (!kelmo::syntax::ScanXmlSource(text, finder, why)) return false;
  finder.Finish();
  out.clear();
  out.reserve(text.size());
  size_t copied = 0;
  for (const GapFinder::Gap& gap : finder.gaps()) {
    if (!gap.kept) continue;
    out.append(text.substr(copied, gap.begin - copied));
    // A blank line that separates groups of items stays, as one.
    if (gap.mayKeepBlankLine && kelmo::syntax::LineEndCount(text.substr(gap.begin, gap.end - gap.begin)) >= 2) out.append(newline);
    out.append(newline);
    for (size_t level = 0; level < gap.level; ++level) out.append(indent);
    copied = gap.end;
  }
  out.append(text.substr(copied));
  return true;
}

}  // namespace kelmo_tool
