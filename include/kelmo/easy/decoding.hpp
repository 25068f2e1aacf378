// Whether a document was read as written: which units of its decoded text
// are U+FFFD that the decoder put in place of bytes it could not decode, and
// where they stand. The rule is shared by the command-line tool and the
// convenience layer; each hands it the decoded text and an encoder of the
// library's own (the tool links them, the convenience layer reaches them
// through a node's string conversions).
#ifndef KELMO_EASY_DECODING_HPP
#define KELMO_EASY_DECODING_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelmo/line_starts.h"

namespace kelmo {
namespace easy {

struct TextPosition {
  unsigned int line = 0;    // from 1
  unsigned int column = 0;  // from 1
};

// Line and column counted along a decoded text given in order, in runs of
// any length, so that a text that is never whole in memory is counted as
// PositionsOf counts a whole one: from 1, the column in characters as a user
// sees them, lines starting as kelmo/line_starts.h says (a carriage return
// and line feed pair breaks the line once, even where a run ends between
// them).
class PositionCounter {
 public:
  // Counts the units, which follow those counted before.
  void Count(const char16_t* units, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const char16_t c = units[i];
      if (previous_ == u'\n' || previous_ == u'\r') {
        // Only after a break can a line start (never before the first unit,
        // as previous_ starts as 0).
        const char16_t pair[2] = {previous_, c};
        if (StartsLine(std::u16string_view(pair, 2), 1)) {
          ++line_;
          column_ = 0;
        }
      }
      // The second half of a surrogate pair adds no column.
      if ((c & 0xFC00) != 0xDC00 || (previous_ & 0xFC00) != 0xD800) ++column_;
      previous_ = c;
    }
    counted_ += n;
  }
  // How many units have been counted: the index of the next one.
  unsigned long long Counted() const { return counted_; }
  // The position of the last unit counted.
  TextPosition Last() const { return {line_, column_}; }

 private:
  unsigned long long counted_ = 0;
  char16_t previous_ = 0;
  unsigned int line_ = 1;
  unsigned int column_ = 0;
};

// Line and column of the given units of a decoded text (indexes ascending),
// as PositionCounter counts them.
inline std::vector<TextPosition> PositionsOf(const std::u16string& text,
                                             const std::vector<size_t>& indexes) {
  std::vector<TextPosition> positions;
  PositionCounter counter;
  size_t next = 0;
  for (size_t i = 0; i < text.size() && next < indexes.size(); ++i) {
    counter.Count(text.data() + i, 1);
    if (i == indexes[next]) {
      positions.push_back(counter.Last());
      ++next;
    }
  }
  return positions;
}

// The units of `text`, decoded from `bytes`, that the decoder replaced: every
// U+FFFD, unless the text encodes back (through `encode`, text to
// std::optional<std::string>) to exactly `bytes`, in which case each U+FFFD
// stood in the document as such and nothing was replaced.
template <class Encode>
std::vector<size_t> ReplacedUnits(const std::u16string& text, std::string_view bytes,
                                  Encode&& encode) {
  constexpr char16_t kReplacement = 0xFFFD;
  std::vector<size_t> replaced;
  if (text.find(kReplacement) == std::u16string::npos) return replaced;
  const std::optional<std::string> back = std::forward<Encode>(encode)(text);
  if (back && *back == bytes) return replaced;
  for (size_t i = text.find(kReplacement); i != std::u16string::npos;
       i = text.find(kReplacement, i + 1))
    replaced.push_back(i);
  return replaced;
}

}  // namespace easy
}  // namespace kelmo

#endif  // KELMO_EASY_DECODING_HPP
