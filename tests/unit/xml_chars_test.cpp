// Name characters, numeric references and the reader's line, column and
// offset counting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelmo/xml_name_chars.h"
#include "syntax/char_classes.h"
#include "syntax/char_reader.h"
#include "syntax/char_ref.h"

namespace kelmo {
namespace {

const WChar* AsW(const std::u16string& s) { return reinterpret_cast<const WChar*>(s.c_str()); }

TEST(IsNameChar, AsciiTableAndEverythingAbove7F) {
  const std::string allowed =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_:-.";
  for (unsigned u = 0; u < 0x80; ++u) {
    const bool expected = allowed.find(static_cast<char>(u)) != std::string::npos;
    EXPECT_EQ(IsNameChar(static_cast<WChar>(u)), expected) << "unit " << u;
  }
  for (unsigned u : {0x80u, 0xA0u, 0xFFu, 0x4E2Du, 0xD800u, 0xFFFEu, 0xFFFFu})
    EXPECT_TRUE(IsNameChar(static_cast<WChar>(u))) << "unit " << u;
}

struct CharRefCase {
  const char16_t* reference;
  bool ok;
  uint32_t codePoint;
};

// The scanner's table agrees with the test for every unit: a run of
// name characters ends exactly at the first unit that is not one.
TEST(NameRunEnd, StopsAtTheFirstNonNameUnit) {
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    const WChar run[] = {'a', static_cast<WChar>(u), 'b', ' '};
    const WChar* end = syntax::NameRunEnd(run, run + 4);
    ASSERT_EQ(end - run, IsNameChar(static_cast<WChar>(u)) ? 3 : 1) << u;
    // Long runs are taken eight units at a time: the unit in every place.
    for (size_t at = 0; at < 18; ++at) {
      std::vector<WChar> name(20, 'n');
      name[19] = ' ';
      name[at] = static_cast<WChar>(u);
      const WChar* stop = syntax::NameRunEnd(name.data(), name.data() + name.size());
      ASSERT_EQ(size_t(stop - name.data()), IsNameChar(static_cast<WChar>(u)) ? 19 : at) << u;
    }
  }
  // UTF-8 bytes, sixteen at a time: every byte above 0x7F belongs to a
  // name character.
  for (uint32_t u = 0; u <= 0xFF; ++u) {
    for (size_t at = 0; at < 34; ++at) {
      std::string bytes(36, 'n');
      bytes[35] = ' ';
      bytes[at] = static_cast<char>(u);
      const char* stop = syntax::NameRunEnd(bytes.data(), bytes.data() + bytes.size());
      ASSERT_EQ(size_t(stop - bytes.data()), IsNameChar(static_cast<WChar>(u)) ? 35 : at) << u;
    }
  }
  const WChar name[] = {'x', 'y'};
  EXPECT_EQ(syntax::NameRunEnd(name, name + 2), name + 2);
}

TEST(DecodeCharRef, Table) {
  const CharRefCase cases[] = {
      {u"&#65;", true, 65},
      {u"&#x41;", true, 0x41},
      {u"&#x4a;", true, 0x4A},
      {u"&#x4A;", true, 0x4A},
      {u"&#X41;", false, 0},  // only a lower-case x starts hex digits
      {u"&#;", true, 0},
      {u"&#x;", true, 0},
      {u"&#0;", true, 0},
      {u"&#x0000000041;", true, 0x41},
      {u"&#xFFFF;", true, 0xFFFF},
      {u"&#x1F600;", true, 0x1F600},
      {u"&#128512;", true, 0x1F600},
      {u"&#x10FFFF;", true, 0x10FFFF},
      {u"&#1114111;", true, 0x10FFFF},
      {u"&#x110000;", false, 0},
      {u"&#1114112;", false, 0},
      {u"&#99999999999999999999;", false, 0},
      {u"&#xFFFFFFFFFFFFFFFF41;", false, 0},
      {u"&#1F600;", false, 0},
      {u"&#xg;", false, 0},
      {u"&# 65;", false, 0},
      {u"&#65 ;", false, 0},
      {u"&#-1;", false, 0},
      {u"&#\uFF11;", false, 0},  // a full-width digit is not a digit
  };
  for (const CharRefCase& c : cases) {
    const std::u16string ref = c.reference;
    SCOPED_TRACE(std::string(ref.begin(), ref.end()));
    uint32_t codePoint = 12345;
    ASSERT_EQ(syntax::DecodeCharRef(AsW(ref), uint32_t(ref.size()), codePoint), c.ok);
    EXPECT_EQ(codePoint, c.ok ? c.codePoint : 12345u);
  }
}

TEST(DecodeCharRef, RefusesTooShortInput) {
  uint32_t codePoint = 0;
  EXPECT_FALSE(syntax::DecodeCharRef(nullptr, 3, codePoint));
  EXPECT_FALSE(syntax::DecodeCharRef(AsW(u"&;"), 2, codePoint));
}

struct Position {
  uint32_t line;
  uint32_t column;
  uint32_t offset;
  bool operator==(const Position& o) const {
    return line == o.line && column == o.column && offset == o.offset;
  }
};

std::ostream& operator<<(std::ostream& os, const Position& p) {
  return os << "(" << p.line << ":" << p.column << " @" << p.offset << ")";
}

// Reads the whole text and records the position after each unit.
std::vector<Position> Walk(const std::u16string& text) {
  syntax::CharReader r;
  r.SetInput(AsW(text), uint32_t(text.size()));
  std::vector<Position> positions;
  while (!r.AtEnd()) {
    r.Next();
    r.Count();
    positions.push_back({r.line, r.column, r.Offset()});
  }
  return positions;
}

TEST(CharReader, StartsBeforeLineOneColumnOne) {
  syntax::CharReader r;
  EXPECT_EQ(r.line, 1u);
  EXPECT_EQ(r.column, 0u);
  EXPECT_EQ(r.Offset(), 0u);
  EXPECT_TRUE(r.AtEnd());
}

TEST(CharReader, LineBreaks) {
  const struct {
    const char16_t* text;
    std::vector<Position> positions;
  } cases[] = {
      {u"ab", {{1, 1, 1}, {1, 2, 2}}},
      // The line changes at the first unit after the break.
      {u"a\nb", {{1, 1, 1}, {1, 2, 2}, {2, 1, 3}}},
      {u"a\r\nb", {{1, 1, 1}, {1, 2, 2}, {1, 3, 3}, {2, 1, 4}}},
      {u"a\rb", {{1, 1, 1}, {1, 2, 2}, {2, 1, 3}}},
      {u"\n\n", {{1, 1, 1}, {2, 1, 2}}},
      {u"\r\r\n", {{1, 1, 1}, {2, 1, 2}, {2, 2, 3}}},
      {u"\n\rx", {{1, 1, 1}, {2, 1, 2}, {3, 1, 3}}},
  };
  for (const auto& c : cases) {
    const std::u16string text = c.text;
    SCOPED_TRACE(testing::PrintToString(std::vector<int>(text.begin(), text.end())));
    EXPECT_EQ(Walk(text), c.positions);
    // Counting the whole text at once ends where counting unit by unit does.
    syntax::CharReader whole;
    whole.SetInput(AsW(text), uint32_t(text.size()));
    whole.AdvanceTo(whole.end);
    whole.Count();
    EXPECT_EQ((Position{whole.line, whole.column, whole.Offset()}), c.positions.back());
  }
}

// Counting a whole text at once, as the parser does after each input, ends
// where counting unit by unit does, for texts long enough to be counted in
// blocks and with line breaks everywhere in and between them.
TEST(CharReader, CountingAtOnceAgreesWithUnitByUnit) {
  uint32_t seed = 7;
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    const int length = round % 100;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t pick = (seed >> 16) % 6;
      text += pick == 0 ? u'\n' : pick == 1 ? u'\r' : u'a';
    }
    SCOPED_TRACE(round);
    const std::vector<Position> steps = Walk(text);
    syntax::CharReader whole;
    whole.SetInput(AsW(text), uint32_t(text.size()));
    whole.AdvanceTo(whole.end);
    whole.Count();
    const Position expected = steps.empty() ? Position{1, 0, 0} : steps.back();
    ASSERT_EQ((Position{whole.line, whole.column, whole.Offset()}), expected);
  }
}

TEST(CharReader, SecondInputCarriesOnCounting) {
  const std::u16string first = u"a\r";
  const std::u16string second = u"\nbc";
  syntax::CharReader r;
  r.SetInput(AsW(first), 2);
  while (!r.AtEnd()) r.Next();
  r.SetInput(AsW(second), 3);
  EXPECT_EQ(r.Offset(), 2u);
  r.Next();  // the line feed completes the pair: still line 1
  r.Count();
  EXPECT_EQ((Position{r.line, r.column, r.Offset()}), (Position{1, 3, 3}));
  r.Next();
  r.Count();
  EXPECT_EQ((Position{r.line, r.column, r.Offset()}), (Position{2, 1, 4}));
}

}  // namespace
}  // namespace kelmo
