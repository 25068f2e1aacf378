// What a strict XML reader rejects that the library's lenient reader passes
// over: text outside the document element, more than one top-level element,
// an attribute repeated in one start tag, and a document whose first
// character cannot start markup.
#ifndef KELMO_TOOLS_STRICT_READING_H
#define KELMO_TOOLS_STRICT_READING_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "syntax/markup_ends.h"
#include "text_window.h"

namespace kelmo_tool {

struct StrictWarning {
  unsigned int line;
  unsigned int column;
  std::string message;
  bool notMarkup = false;  // the document does not start with markup at all
};

// The strict reading of a decoded document that arrives a window at a time,
// so that a large document need not be whole in memory. It walks the top
// level (the prolog, the elements at depth 0 and what follows them) and,
// inside an element, only the markup that changes the depth, checking each
// start tag's attributes. Markup is read as a strict reader reads it, not as
// the library's reader does: a DOCTYPE ends after its internal subset, a
// '>' in quotes ends nothing.
class StrictReading : private TextWindow {
 public:
  struct Problem {
    uint64_t at;  // unit index in the whole text
    std::string message;
  };

  // Reads what it can of `window`, the text from unit `base` on: what the
  // last call asked to be given again, then the units that follow. `last`:
  // the text ends with the window. Returns the unit from which the text must
  // be given again (a start tag or declaration not yet complete, or the few
  // units that tell one kind of markup from another); nothing before it is
  // looked at again. Problems found are appended, in document order.
  uint64_t Read(std::u16string_view window, uint64_t base, bool last);

  std::vector<Problem>& problems() { return problems_; }

 private:
  enum class Mode : uint8_t { Top, TopText, Element, Skip };
  using Ending = kelmo::syntax::SkippedConstruct;

  bool Starts(size_t i, std::u16string_view s) const { return text_.substr(i, s.size()) == s; }
  void Add(size_t i, std::string message) { problems_.push_back({base_ + i, std::move(message)}); }
  // Goes on skipping to the pending Ending from i: where it ends, or the end
  // of the window.
  size_t Skip(size_t i);
  void StartSkip(Ending ending, Mode after) {
    ending_ = ending;
    matched_ = 0;
    after_ = after;
    mode_ = Mode::Skip;
  }
  // One step of the top level or of an element's content at i. Returns where
  // the next step starts, or npos when the window must be given again from i.
  size_t StepTop(size_t i);
  size_t StepElement(size_t i);
  size_t StepMarkup(size_t i);
  // Past the end of the start tag at i, its attributes checked; npos when
  // it is not complete in the window.
  size_t StartTag(size_t i, bool& selfClosing);
  size_t NameEnd(size_t i, size_t end) const;
  size_t BlanksEnd(size_t i, size_t end) const;
  void CheckAttributes(size_t i, size_t end);

  Mode mode_ = Mode::Top;
  Ending ending_ = Ending::Pi;
  Mode after_ = Mode::Top;  // where a skip returns to
  uint32_t matched_ = 0;    // how much of the pending ending the window ended with
  bool seenMarkup_ = false;
  int elements_ = 0;  // top-level elements
  int depth_ = 0;     // open elements, in Mode::Element
  std::vector<Problem> problems_;
  std::vector<std::u16string_view> names_;  // the attributes of the tag being checked, kept for its block
};

// The warnings for a document's whole decoded text, in document order, with
// positions counted as the parser counts them.
std::vector<StrictWarning> FindStrictWarnings(const std::u16string& text);

// The warning for a problem, at its place.
StrictWarning StrictWarningAt(unsigned int line, unsigned int column, std::string message);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_STRICT_READING_H
