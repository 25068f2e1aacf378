// What a document that ends too early leaves open, for the message: the
// parser says only that the text ended, at its last character, while a
// person looks for where the unclosed thing began.
#ifndef KELMO_TOOLS_UNCLOSED_MARKUP_H
#define KELMO_TOOLS_UNCLOSED_MARKUP_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelmo/easy/decoding.hpp"
#include "syntax/markup_ends.h"
#include "text_window.h"

namespace kelmo_tool {

struct Unclosed {
  size_t at = 0;        // unit index in the text where it begins
  std::string message;  // what is left open, naming it
  kelmo::easy::TextPosition where;  // the line and column of `at`
};

// The innermost thing left open at the end of a decoded document that
// arrives a window at a time: an attribute value whose quote has no partner
// (at the attribute's name), a tag, comment, CDATA section, processing
// instruction or declaration that never ends, a reference that never ends,
// or else the innermost element never closed.
class UnclosedMarkup : private TextWindow {
 public:
  // Reads what it can of `window`, the text from unit `base` on: what the
  // last call asked to be given again, then the units that follow. `last`:
  // the text ends with the window. Returns the unit from which the text must
  // be given again.
  uint64_t Read(std::u16string_view window, uint64_t base, bool last);

  // After the last window: what is left open; nothing when the text closes
  // everything it opens.
  std::optional<Unclosed> Result() const;

 private:
  enum class Mode : uint8_t { Text, Skip, Done };
  // An end tag is passed over as a declaration is: up to its first '>'.
  using Ending = kelmo::syntax::SkippedConstruct;

  // Position of a unit of the window, counting on to it.
  kelmo::easy::TextPosition PositionOf(size_t i);
  Unclosed At(size_t i, std::string message) { return {size_t(base_ + i), std::move(message), PositionOf(i)}; }
  bool Starts(size_t i, std::u16string_view s) const { return text_.substr(i, s.size()) == s; }
  size_t StepText(size_t i);
  size_t StepMarkup(size_t i);
  size_t StartTag(size_t i);
  size_t Skip(size_t i);
  void StartSkip(Ending ending, size_t at, const char* what);

  Mode mode_ = Mode::Text;
  kelmo::easy::PositionCounter counter_;
  // Open elements: name, and where the start tag begins.
  std::vector<std::pair<std::u16string, Unclosed>> open_;
  // In text: the last '&' of the run, unless a ';' followed it.
  std::optional<Unclosed> reference_;
  // While skipping: the construct, and how much of its ending was seen.
  Ending ending_ = Ending::Comment;
  uint32_t matched_ = 0;
  std::optional<Unclosed> skipped_;
  std::optional<Unclosed> result_;  // found at the end of the text
};

// The same for a whole decoded text.
std::optional<Unclosed> FindUnclosed(const std::u16string& text);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_UNCLOSED_MARKUP_H
