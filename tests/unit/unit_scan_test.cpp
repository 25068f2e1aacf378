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

// Bytes are widened, and compared with units, in blocks that may overlap
// (of eight, four or two): at every length, a non-ASCII byte or a differing
// unit at any place is seen, and nothing outside the run is written.
TEST(UnitScan, AsciiBytesWidenAndCompareAtEveryLengthAndPlace) {
  for (size_t n = 0; n <= 27; ++n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
    std::u16string out(n + 2, u'#');
    auto* units = reinterpret_cast<WChar*>(&out[1]);
    ASSERT_TRUE(WidenAsciiRun(bytes.data(), n, units)) << n;
    EXPECT_EQ(out, u"#" + std::u16string(bytes.begin(), bytes.end()) + u"#") << n;
    EXPECT_TRUE(SameAsciiUnits(bytes.data(), units, n)) << n;
    for (size_t at = 0; at < n; ++at) {
      out[1 + at] ^= 0x20;
      EXPECT_FALSE(SameAsciiUnits(bytes.data(), units, n)) << n << " unit differs at " << at;
      out[1 + at] ^= 0x20;
      // A byte of a longer character never equals a unit, even its own value.
      std::string high = bytes;
      high[at] = static_cast<char>(0xE9);
      out[1 + at] = 0xE9;
      EXPECT_FALSE(SameAsciiUnits(high.data(), units, n)) << n << " high byte at " << at;
      EXPECT_FALSE(WidenAsciiRun(high.data(), n, units)) << n << " high byte at " << at;
      EXPECT_EQ(out.front(), u'#');
      EXPECT_EQ(out.back(), u'#');
      out[1 + at] = static_cast<char16_t>(bytes[at]);
    }
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
