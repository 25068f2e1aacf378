// The one rule for lines (syntax/line_positions.h) on bytes and UTF-16
// units alike, and the parser's block-wise count held to it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "syntax/line_positions.h"
#include "syntax/char_reader.h"

namespace kelmo::syntax {
namespace {

std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// For each unit of the text (and the place past its end): the line it
// stands on and where that line starts.
TEST(LinePositions, LineAndLineStartOfEveryOffset) {
  const struct {
    const char* text;
    const char* lines;   // the line of each offset, up to and with text.size()
    const char* starts;  // the start of that line
  } cases[] = {
      {"ab", "111", "000"},
      {"a\nb", "1122", "0022"},
      {"a\r\nb", "11122", "00033"},  // the pair ends the line once
      {"a\rb", "1122", "0022"},      // so does a lone carriage return
      {"\n\r\r\nx", "123344", "012244"},
      {"a\r", "112", "002"},  // a break at the end starts the empty last line
  };
  for (const auto& c : cases) {
    const std::string_view bytes = c.text;
    const std::u16string units = Widen(bytes);
    SCOPED_TRACE(testing::PrintToString(std::string(bytes)));
    for (size_t at = 0; at <= bytes.size(); ++at) {
      const size_t line = static_cast<size_t>(c.lines[at] - '0');
      const size_t start = static_cast<size_t>(c.starts[at] - '0');
      EXPECT_EQ(LineOf(bytes, at), line) << at;
      EXPECT_EQ(LineOf(std::u16string_view(units), at), line) << at;
      EXPECT_EQ(LineStartOf(bytes, at), start) << at;
      EXPECT_EQ(LineStartOf(std::u16string_view(units), at), start) << at;
      EXPECT_EQ(LineStart(bytes, line), start) << at;
    }
    EXPECT_EQ(LineStart(bytes, LineOf(bytes, bytes.size()) + 1), std::string_view::npos);
    EXPECT_EQ(LineEndCount(bytes), LineOf(bytes, bytes.size()) - 1);
  }
}

TEST(LinePositions, LineEnds) {
  const std::string_view text = "a\r\nb\rc\nd";
  EXPECT_EQ(LineEndLength(text, 0), 0u);
  EXPECT_EQ(LineEndLength(text, 1), 2u);
  EXPECT_EQ(LineEndLength(text, 4), 1u);
  EXPECT_EQ(LineEndLength(text, 6), 1u);
  EXPECT_EQ(LineEndLength(text, 8), 0u);
  EXPECT_EQ(LineEndLength(text.substr(0, 2), 1), 1u);  // the pair cut at the end
  EXPECT_EQ(LineEndAt(text, 0), 1u);
  EXPECT_EQ(LineEndAt(text, 3), 4u);
  EXPECT_EQ(LineEndAt(text, 7), 8u);
}

// The parser counts lines and columns in blocks of 32 units as it reads;
// after any number of units it stands where the rule puts the last of them.
TEST(LinePositions, ParserCountAgreesWithTheRule) {
  uint32_t seed = 11;
  for (int round = 0; round < 200; ++round) {
    std::u16string text;
    const int length = 1 + round % 90;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t pick = (seed >> 16) % 7;
      text += pick == 0 ? u'\n' : pick == 1 ? u'\r' : u'a';
    }
    const std::u16string_view view = text;
    for (size_t read = 1; read <= text.size(); ++read) {
      CharReader r;
      r.SetInput(reinterpret_cast<const WChar*>(text.data()), static_cast<uint32_t>(text.size()));
      r.AdvanceTo(r.position + read);
      r.Count();
      const size_t last = read - 1;
      ASSERT_EQ(r.line, LineOf(view, last)) << round << " " << read;
      ASSERT_EQ(r.column, last - LineStartOf(view, last) + 1) << round << " " << read;
    }
  }
}

}  // namespace
}  // namespace kelmo::syntax
