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

// Line and column of the given units of a decoded text (indexes ascending),
// from 1, the column in characters as a user sees them; lines start as
// kelmo/line_starts.h says (a carriage return and line feed pair breaks the
// line once).
inline std::vector<TextPosition> PositionsOf(const std::u16string& text,
                                             const std::vector<size_t>& indexes) {
  std::vector<TextPosition> positions;
  unsigned int line = 1, column = 0;
  size_t next = 0;
  for (size_t i = 0; i < text.size() && next < indexes.size(); ++i) {
    const bool newLine = i > 0 && StartsLine(std::u16string_view(text), i);
    // Columns count characters: the second half of a surrogate pair adds none.
    const bool secondHalf = i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF &&
                            text[i - 1] >= 0xD800 && text[i - 1] < 0xDC00;
    if (newLine) {
      ++line;
      column = 1;
    } else if (!secondHalf) {
      ++column;
    }
    if (i == indexes[next]) {
      positions.push_back({line, column});
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
