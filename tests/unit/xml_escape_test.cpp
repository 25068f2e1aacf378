#include "syntax/xml_escape.h"
#include "tree/wstr_buf.h"

#include <gtest/gtest.h>

#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "text/text_length.h"
#include "text/unicode_units.h"
#include "text/utf8_codec.h"
#include "xml/utf8_text.h"

namespace kelmo {
namespace {

std::u16string Escaped(const std::u16string& text) {
  WStrBuf out;
  syntax::EscapeXml(reinterpret_cast<const WChar*>(text.data()), static_cast<uint32_t>(text.size()), out);
  return std::u16string(reinterpret_cast<const char16_t*>(out.Data()), out.Length());
}

struct EscapeCase {
  const char* what;
  char16_t unit;
  std::u16string written;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.what; }

class EscapeUnitTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeUnitTest, WritesEachUnitClassAsExpected) {
  const EscapeCase& c = GetParam();
  EXPECT_EQ(Escaped(std::u16string(1, c.unit)), c.written) << c.what;
  // The same unit between ordinary characters: runs around it stay intact.
  EXPECT_EQ(Escaped(u"ab" + std::u16string(1, c.unit) + u"cd"), u"ab" + c.written + u"cd")
      << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    UnitClasses, EscapeUnitTest,
    ::testing::Values(EscapeCase{"ampersand", u'&', u"&amp;"}, EscapeCase{"less", u'<', u"&lt;"},
                      EscapeCase{"greater", u'>', u"&gt;"},
                      EscapeCase{"double quote", u'"', u"&quot;"},
                      EscapeCase{"apostrophe", u'\'', u"&apos;"},
                      EscapeCase{"space", u' ', u" "}, EscapeCase{"letter", u'z', u"z"},
                      EscapeCase{"tilde", u'~', u"~"}, EscapeCase{"delete", 127, u"\x7f"},
                      EscapeCase{"latin", 0xE9, u"\xe9"}, EscapeCase{"cjk", 0x4E2D, u"\x4e2d"},
                      EscapeCase{"lone high surrogate", 0xD83D, u"&#xd83d;"},
                      EscapeCase{"lone low surrogate", 0xDE00, u"&#xde00;"},
                      EscapeCase{"last unit", 0xFFFF, u"\xffff"}, EscapeCase{"tab", 9, u"&#x09;"},
                      EscapeCase{"line feed", 10, u"&#xa;"},
                      EscapeCase{"carriage return", 13, u"&#xd;"},
                      EscapeCase{"zero", 0, u"&#x00;"}, EscapeCase{"one", 1, u"&#x01;"},
                      EscapeCase{"escape", 27, u"&#x1b;"}, EscapeCase{"unit 31", 31, u"&#x1f;"},
                      EscapeCase{"vertical tab", 11, u"&#x0b;"}));

// The bulk copying of unescaped runs must give exactly what one unit at a
// time would.
TEST(EscapeXmlTest, EveryUnitMatchesItsOwnEscapingInsideARun) {
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t c = static_cast<char16_t>(u);
    const std::u16string alone = Escaped(std::u16string(1, c));
    const std::u16string inRun = Escaped(u"x" + std::u16string(1, c) + u"y");
    ASSERT_EQ(inRun, u"x" + alone + u"y") << "unit " << u;
    const bool kept = u >= 32 && u != '&' && u != '<' && u != '>' && u != '"' && u != '\'' &&
                      (u < 0xD800 || u > 0xDFFF);
    if (kept) ASSERT_EQ(alone, std::u16string(1, c)) << "unit " << u;
    else ASSERT_EQ(alone.front(), u'&') << "unit " << u;
  }
}

// The class of characters to escape (syntax/char_classes.h) is what the
// escaper escapes, in element text and in attribute values, one unit at a
// time and in bulk.
TEST(EscapeXmlTest, EscapesExactlyTheClassOfCharactersToEscape) {
  for (uint32_t u = 0; u < 0x80; ++u) {
    const std::u16string run = u"abcdefgh" + std::u16string(1, char16_t(u)) + u"ijklmnopqrstuvwxyz";
    const auto units = reinterpret_cast<const WChar*>(run.data());
    WStrBuf attribute, text;
    syntax::EscapeXml(units, static_cast<uint32_t>(run.size()), attribute);
    syntax::EscapeXmlText(units, static_cast<uint32_t>(run.size()), text);
    EXPECT_EQ(attribute.Length() != run.size(),
              syntax::IsEscaped(u, syntax::EscapeTarget::kAttributeValue)) << "unit " << u;
    EXPECT_EQ(text.Length() != run.size(),
              syntax::IsEscaped(u, syntax::EscapeTarget::kElementText)) << "unit " << u;
  }
}

// UTF-8 output takes plain ASCII in bulk, sixteen or eight units at a time
// in blocks that may overlap, and a long text in windows; it must give the
// bytes of the wide escaping for every length and wherever a unit falls in
// a block, and a pair cut by a window's end must still become one
// four-byte form.
std::vector<std::u16string> Utf8EscapeProbes() {
  const char16_t probes[] = {u'&', u'<', u'>', u'"', u'\'', 9,      10,    13,
                             0,    31,   127,  0x80, 0xE9,  0x4E2D, 0xD83D};
  std::vector<std::u16string> texts;
  for (const char16_t probe : probes) {
    for (const size_t length : {1, 2, 5, 7, 8, 9, 12, 15, 16, 17, 23, 24, 31, 40}) {
      for (size_t at = 0; at < length; ++at) {
        texts.emplace_back(length, u'a');
        texts.back()[at] = probe;
      }
    }
  }
  const size_t window = syntax::escape_steps::kUtf8Window;
  for (size_t at = window - 3; at <= window + 1; ++at) {
    for (const char16_t filler : {u'a', u'\u00E9', u'\u4E2D'}) {
      texts.emplace_back(2 * window + 7, filler);
      texts.back()[at] = 0xD83D;
      texts.back()[at + 1] = 0xDE00;
      texts.back()[2 * window] = u'&';
      texts.back()[2 * window + 3] = 0xDC00;
    }
  }
  return texts;
}

// The UTF-8 escaping of text gives the bytes of its wide escaping, in
// attribute values and in element text, and counts the same units.
void ExpectUtf8MatchesWide(const std::u16string& text) {
  const WChar* units = reinterpret_cast<const WChar*>(text.data());
  const auto length = static_cast<uint32_t>(text.size());
  for (const bool attribute : {true, false}) {
    WStrBuf wide;
    Utf8Text bytes;
    if (attribute) {
      syntax::EscapeXml(units, length, wide);
      syntax::EscapeXml(units, length, bytes);
    } else {
      syntax::EscapeXmlText(units, length, wide);
      syntax::EscapeXmlText(units, length, bytes);
    }
    bytes.Finish();
    std::string expected(size_t(wide.Length()) * 3, '\0');
    expected.resize(text::EncodeUtf8(wide.Data(), wide.Length(),
                                     reinterpret_cast<unsigned char*>(&expected[0]),
                                     expected.size()));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size()), expected)
        << "text of " << length << " units" << (attribute ? " in a value" : " in text");
    EXPECT_EQ(bytes.Units(), wide.Length());
  }
  // Text kept as UTF-8 (which never holds a surrogate half alone) escapes
  // from its bytes to the same bytes; the blanks at the ends of element
  // text are the writer's to escape, so the middle's escaping is compared.
  for (uint32_t i = 0; i < length; ++i) {
    if (!text::IsSurrogate(static_cast<uint16_t>(units[i]))) continue;
    if (!text::StartsSurrogatePair(units, length, i)) return;
    ++i;
  }
  std::string utf8(size_t(length) * 3, '\0');
  utf8.resize(text::EncodeUtf8(units, length, reinterpret_cast<unsigned char*>(&utf8[0]), utf8.size()));
  for (const auto target : {syntax::escape_steps::Target::kAttributeValue,
                            syntax::escape_steps::Target::kElementText}) {
    WStrBuf wide;
    syntax::escape_steps::Escape(units, length, wide, target);
    std::string expected(size_t(wide.Length()) * 3, '\0');
    expected.resize(text::EncodeUtf8(wide.Data(), wide.Length(),
                                     reinterpret_cast<unsigned char*>(&expected[0]), expected.size()));
    std::string escaped(utf8.size() * syntax::escape_steps::kMaxEscapedUnit +
                            syntax::escape_steps::kUtf8StoreSlack,
                        '\0');
    uint64_t counted = 0;
    const char* end =
        syntax::escape_steps::EscapeUtf8ToUtf8(utf8.data(), uint32_t(utf8.size()), &escaped[0], target, counted);
    ASSERT_EQ(std::string(static_cast<const char*>(escaped.data()), end), expected) << "UTF-8 text of " << length << " units";
    EXPECT_EQ(counted, wide.Length());
  }
}

TEST(EscapeXmlTest, Utf8OutputMatchesTheWideEscapingAtEveryPosition) {
  for (const std::u16string& text : Utf8EscapeProbes()) {
    ExpectUtf8MatchesWide(text);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Blocks with several units to escape or encode, next to each other and
// apart, of every length around the block sizes: units of each kind drawn
// at random, plain ASCII most often.
TEST(EscapeXmlTest, Utf8OutputMatchesTheWideEscapingForMixedUnits) {
  const char16_t kinds[] = {u'a', u'a', u'a', u' ', u'&', u'>', u'\'', 9, 10, 0,
                            0x7F, 0xFF, 0x100, 0x7FF, 0x800, 0x4E2D, 0xFFFF, 0xD83D, 0xDE00};
  std::mt19937 random(20261209u);
  for (size_t length = 0; length <= 70; ++length) {
    for (int round = 0; round < 40; ++round) {
      std::u16string text(length, u'a');
      for (char16_t& unit : text) unit = kinds[random() % std::size(kinds)];
      ExpectUtf8MatchesWide(text);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// An XML reader turns a literal tab of an attribute value into a space but
// keeps one inside element text.
TEST(EscapeXmlTest, TabsAreReferencesInAttributeValuesOnly) {
  const std::u16string text = u"\ta\tb\t";
  WStrBuf element;
  syntax::EscapeXmlText(reinterpret_cast<const WChar*>(text.c_str()), kWholeText, element);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(element.Data()), element.Length()),
            u"&#x09;a\tb&#x09;");
  EXPECT_EQ(Escaped(text), u"&#x09;a&#x09;b&#x09;");
}

// Pairs are characters and stay; a half on its own is kept by a reference.
TEST(EscapeXmlTest, SurrogateHalvesOutsideAPairBecomeReferences) {
  const std::u16string text = u"\U0001F600a" + std::u16string(1, 0xDC00) + std::u16string(1, 0xD800) +
                              u"\U0001F600" + std::u16string(1, 0xD800);
  EXPECT_EQ(Escaped(text), u"\U0001F600a&#xdc00;&#xd800;\U0001F600&#xd800;");
}

TEST(EscapeXmlTest, AppendsAfterExistingText) {
  WStrBuf out(reinterpret_cast<const WChar*>(u"<p>"));
  const std::u16string text = u"a<b";
  syntax::EscapeXml(reinterpret_cast<const WChar*>(text.c_str()), kWholeText, out);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out.Data()), out.Length()),
            u"<p>a&lt;b");
}

TEST(EscapeXmlTest, LengthConventions) {
  const char16_t withZero[] = {u'a', 0, u'&', 0};
  WStrBuf whole, explicitLength, none;
  syntax::EscapeXml(reinterpret_cast<const WChar*>(withZero), kWholeText, whole);
  syntax::EscapeXml(reinterpret_cast<const WChar*>(withZero), 3, explicitLength);
  syntax::EscapeXml(nullptr, 5, none);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(whole.Data()), whole.Length()), u"a");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(explicitLength.Data()),
                           explicitLength.Length()),
            u"a&#x00;&amp;");
  EXPECT_TRUE(none.IsEmpty());
}

}  // namespace
}  // namespace kelmo
