// The search for the next unit of interest takes eight units (sixteen UTF-8
// bytes) per test where it can; every unit value at every place of a block, and in the tail after
// the last whole block, must be found exactly where a plain search finds it.
#include <gtest/gtest.h>

#include <string>

#include "text/unit_scan.h"

namespace kelmo::text {
namespace {

template <class Stops, class IsStop>
void ExpectFoundWhereAPlainSearchFindsIt(const Stops& stops, IsStop isStop) {
  // 19 units: two whole blocks and a tail of three.
  std::u16string run(19, u'a');
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    for (size_t at : {size_t(0), size_t(5), size_t(7), size_t(8), size_t(15), size_t(17)}) {
      run[at] = static_cast<char16_t>(u);
      const WChar* begin = reinterpret_cast<const WChar*>(run.data());
      const size_t found = static_cast<size_t>(FindStop(begin, begin + run.size(), stops) - begin);
      ASSERT_EQ(found, isStop(u) ? at : run.size()) << "unit " << u << " at " << at;
      run[at] = u'a';
    }
  }
  // UTF-8 bytes, sixteen per test: 35 bytes are two blocks and a tail.
  std::string bytes(35, 'a');
  for (uint32_t u = 0; u <= 0xFF; ++u) {
    for (size_t at : {size_t(0), size_t(5), size_t(15), size_t(16), size_t(31), size_t(33)}) {
      bytes[at] = static_cast<char>(u);
      const char* begin = bytes.data();
      const size_t found = static_cast<size_t>(FindStop(begin, begin + bytes.size(), stops) - begin);
      ASSERT_EQ(found, isStop(u) ? at : bytes.size()) << "byte " << u << " at " << at;
      bytes[at] = 'a';
    }
  }
}

// Known-ASCII units are narrowed in overlapping blocks: every length comes
// out whole, and the bytes around the output stay as they were.
TEST(UnitScan, KnownAsciiNarrowsEveryLengthExactly) {
  std::u16string units;
  for (char16_t c = 0; c < 45; ++c) units.push_back(u'0' + c);
  for (size_t n = 0; n <= units.size(); ++n) {
    std::string out(n + 2, '#');
    text::NarrowKnownAscii(reinterpret_cast<const WChar*>(units.data()), n, &out[1]);
    std::string expected(1, '#');
    for (size_t i = 0; i < n; ++i) expected.push_back(static_cast<char>(units[i]));
    EXPECT_EQ(out, expected + "#") << n;
  }
}

TEST(UnitScan, ListedUnitsAndLineBreaks) {
  ExpectFoundWhereAPlainSearchFindsIt(UnitStops<4>{{10, 13, '<', '&'}}, [](uint32_t u) {
    return u == 10 || u == 13 || u == '<' || u == '&';
  });
}

TEST(UnitScan, MarkupAndControlUnitsButTab) {
  ExpectFoundWhereAPlainSearchFindsIt(
      UnitStops<5, true>{{'&', '<', '>', '"', '\''}}, [](uint32_t u) {
        return (u < 0x20 && u != 9) || u == '&' || u == '<' || u == '>' || u == '"' || u == '\'';
      });
}

TEST(UnitScan, EmptyAndStopFreeRunsGiveTheirEnd) {
  const std::u16string run = u"plain text without any stop at all";
  const WChar* begin = reinterpret_cast<const WChar*>(run.data());
  const UnitStops<2> stops{{'<', '&'}};
  EXPECT_EQ(FindStop(begin, begin, stops), begin);
  EXPECT_EQ(FindStop(begin, begin + run.size(), stops), begin + run.size());
}

}  // namespace
}  // namespace kelmo::text
