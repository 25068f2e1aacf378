#include "os/code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../support/system_code_pages.h"

namespace kelmo::os {
namespace {

using kelmo_test::IsWindows;
using kelmo_test::MissingCodePage;

using Bytes = std::string;
using Text = std::u16string;

const WChar* Units(const Text& text) { return reinterpret_cast<const WChar*>(text.data()); }

// Runs both steps of the contract and checks that they agree: the size asked
// for is exactly what the conversion writes, and one unit less fails (an
// output size of 0 would ask for the size again, so that check needs 2+).
Text Decode(unsigned int codePage, const Bytes& bytes) {
  const int inSize = static_cast<int>(bytes.size());
  const int needed = MultiByteToWide(codePage, bytes.data(), inSize, nullptr, 0);
  EXPECT_GT(needed, 0) << "code page " << codePage;
  if (needed <= 0) return Text();
  std::vector<WChar> out(static_cast<size_t>(needed) + 1, WChar(0x5A5A));
  const int written = MultiByteToWide(codePage, bytes.data(), inSize, out.data(), needed);
  EXPECT_EQ(needed, written) << "code page " << codePage;
  EXPECT_EQ(WChar(0x5A5A), out[static_cast<size_t>(needed)]) << "wrote past the end, code page " << codePage;
  if (needed > 1) {
    std::vector<WChar> tooSmall(static_cast<size_t>(needed));
    const int cut = MultiByteToWide(codePage, bytes.data(), inSize, tooSmall.data(), needed - 1);
    if (kelmo_test::RunningUnderWine() && codePage == 65001) {
      // Wine's UTF-8 decoder drops a surrogate pair that no longer fits and
      // reports the shorter text instead of failing.
      EXPECT_LT(cut, needed) << "code page " << codePage;
    } else {
      EXPECT_EQ(0, cut) << "code page " << codePage;
    }
  }
  return Text(out.begin(), out.begin() + (written > 0 ? written : 0));
}

Bytes Encode(unsigned int codePage, const Text& text) {
  const int inSize = static_cast<int>(text.size());
  const int needed = WideToMultiByte(codePage, Units(text), inSize, nullptr, 0);
  EXPECT_GT(needed, 0) << "code page " << codePage;
  if (needed <= 0) return Bytes();
  Bytes out(static_cast<size_t>(needed) + 1, '\x5A');
  const int written = WideToMultiByte(codePage, Units(text), inSize, &out[0], needed);
  EXPECT_EQ(needed, written) << "code page " << codePage;
  EXPECT_EQ('\x5A', out[static_cast<size_t>(needed)]) << "wrote past the end, code page " << codePage;
  if (needed > 1) {
    Bytes tooSmall(static_cast<size_t>(needed), '\0');
    EXPECT_EQ(0, WideToMultiByte(codePage, Units(text), inSize, &tooSmall[0], needed - 1)) << "code page " << codePage;
  }
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
    hex += ' ';
  }
  return hex;
}

std::string Hex(const Text& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (char16_t unit : text) {
    for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(unit >> shift) & 0xF];
    hex += ' ';
  }
  return hex;
}

// Skips a row about code page 0 on Windows, where it is the ANSI code page;
// DefaultCodePageIsUtf8 checks what it is there.
#define SKIP_IF_DEFAULT_IS_NOT_UTF8(codePage) \
  if (IsWindows() && (codePage) == 0) GTEST_SKIP() << "code page 0 is the ANSI code page on Windows"

// On Windows the system converter decides how legacy code pages replace what
// they cannot convert (best fit, a default character per unit); the Unicode
// forms are the library's own there too.
bool ReplacementIsTheLibrarys(unsigned int codePage) {
  return !IsWindows() || codePage == 1200 || codePage == 1201 || codePage == 65001;
}

Text WithoutRepeatedReplacements(const Text& text) {
  Text out;
  for (char16_t unit : text) {
    if (unit == u'\uFFFD' && !out.empty() && out.back() == u'\uFFFD') continue;
    out += unit;
  }
  return out;
}

// Text and its exact bytes in a code page: both directions must agree.
struct KnownEncoding {
  unsigned int codePage;
  Text text;
  Bytes bytes;
};

class CodePageKnownBytesTest : public ::testing::TestWithParam<KnownEncoding> {};

TEST_P(CodePageKnownBytesTest, EncodesToKnownBytes) {
  const KnownEncoding& known = GetParam();
  SKIP_IF_DEFAULT_IS_NOT_UTF8(known.codePage);
  KELMO_SKIP_WITHOUT_CODE_PAGE(known.codePage);
  EXPECT_EQ(Hex(known.bytes), Hex(Encode(known.codePage, known.text))) << "code page " << known.codePage;
}

TEST_P(CodePageKnownBytesTest, DecodesKnownBytes) {
  const KnownEncoding& known = GetParam();
  SKIP_IF_DEFAULT_IS_NOT_UTF8(known.codePage);
  KELMO_SKIP_WITHOUT_CODE_PAGE(known.codePage);
  EXPECT_EQ(Hex(known.text), Hex(Decode(known.codePage, known.bytes))) << "code page " << known.codePage;
}

TEST_P(CodePageKnownBytesTest, CodePageIsSupported) {
  KELMO_SKIP_WITHOUT_CODE_PAGE(GetParam().codePage);
  EXPECT_TRUE(IsCodePageSupported(GetParam().codePage));
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, CodePageKnownBytesTest,
    ::testing::Values(
        KnownEncoding{65001, u"A\u00E9\u4E2D\U0001F600", "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        KnownEncoding{65001, u"\U0010FFFF\u07FF\u0800\uFFFF", "\xF4\x8F\xBF\xBF\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        KnownEncoding{0, u"A\u00E9\u4E2D\U0001F600", "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        KnownEncoding{20127, u"plain <ascii> ~", "plain <ascii> ~"},
        KnownEncoding{1200, u"A\u00E9\U0001F600", Bytes("A\0\xE9\0\x3D\xD8\x00\xDE", 8)},
        KnownEncoding{1201, u"A\u00E9\U0001F600", Bytes("\0A\0\xE9\xD8\x3D\xDE\x00", 8)},
        KnownEncoding{936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
        KnownEncoding{936, u"a\u4E2Db", "a\xD6\xD0" "b"},
        KnownEncoding{20936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
        KnownEncoding{54936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
        KnownEncoding{54936, u"\U0001F600", "\x94\x39\xFC\x36"},
        KnownEncoding{950, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
        KnownEncoding{932, u"\u65E5\u672C", "\x93\xFA\x96\x7B"},
        KnownEncoding{949, u"\uD55C\uAD6D", "\xC7\xD1\xB1\xB9"},
        KnownEncoding{52936, u"\u4E2D", "~{VP~}"},
        KnownEncoding{52936, u"\u4E2D\u6587", "~{VPND~}"},
        KnownEncoding{52936, u"x\u4E2Dy", "x~{VP~}y"},
        KnownEncoding{52936, u"a~b", "a~~b"},
        KnownEncoding{52936, u"\u4E2D\n\u6587", "~{VP~}\n~{ND~}"},
        KnownEncoding{1252, u"\u20AC\u00E9", "\x80\xE9"},
        KnownEncoding{437, u"\u00E9", "\x82"},
        KnownEncoding{866, u"\u0414", "\x84"},
        KnownEncoding{12000, u"A\U0001F600", Bytes("A\0\0\0\x00\xF6\x01\x00", 8)},
        KnownEncoding{20273, u"A", "\xC1"},
        // The converter must return to ASCII at the end of the text.
        KnownEncoding{50220, u"\u65E5", "\x1B$BF|\x1B(B"}));

TEST(CodePageTest, DefaultCodePageIsUtf8) {
#if defined(_WIN32)
  // Except on Windows, where it is the process's ANSI code page.
  const unsigned int defaultCodePage = GetACP();
#else
  const unsigned int defaultCodePage = 65001;
#endif
  const Bytes mixed = "x\xC3\xA9\xF0\x9F\x98\x80\xFFy";
  EXPECT_EQ(Hex(Decode(defaultCodePage, mixed)), Hex(Decode(0, mixed)));
  const Text text = u"x\u00E9\U0001F600\xD800y";
  EXPECT_EQ(Hex(Encode(defaultCodePage, text)), Hex(Encode(0, text)));
}

struct InvalidInput {
  unsigned int codePage;
  Bytes bytes;
  Text expected;
};

class CodePageInvalidInputTest : public ::testing::TestWithParam<InvalidInput> {};

TEST_P(CodePageInvalidInputTest, DecodesWithReplacement) {
  const InvalidInput& invalid = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(invalid.codePage);
  const Text decoded = Decode(invalid.codePage, invalid.bytes);
  if (ReplacementIsTheLibrarys(invalid.codePage)) {
    EXPECT_EQ(Hex(invalid.expected), Hex(decoded))
        << "code page " << invalid.codePage << ", bytes " << Hex(invalid.bytes);
  } else if (invalid.codePage == 65001) {
    EXPECT_EQ(Hex(WithoutRepeatedReplacements(invalid.expected)),
              Hex(WithoutRepeatedReplacements(decoded)))
        << "bytes " << Hex(invalid.bytes);
  } else {
    GTEST_SKIP() << "the system converter replaces invalid bytes of code page " << invalid.codePage
                 << " its own way on Windows (gave " << Hex(decoded) << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, CodePageInvalidInputTest,
    ::testing::Values(
        InvalidInput{65001, "\x80", u"\uFFFD"},
        InvalidInput{65001, "a\xC3", u"a\uFFFD"},
        InvalidInput{65001, "\xC0\xAF", u"\uFFFD\uFFFD"},                  // overlong "/"
        InvalidInput{65001, "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},        // overlong
        InvalidInput{65001, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},        // encoded surrogate
        InvalidInput{65001, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        InvalidInput{65001, "\xF0\x9F\x98", u"\uFFFD"},                    // cut-off 4-byte sequence
        InvalidInput{65001, "\xE2\x82x", u"\uFFFDx"},
        InvalidInput{65001, "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        // One replacement per maximal subpart, as in the Unicode standard's example.
        InvalidInput{65001, "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
                     u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
        InvalidInput{65001, "abcdefgh\xFFijklmnop\xC3", u"abcdefgh\uFFFDijklmnop\uFFFD"}));

INSTANTIATE_TEST_SUITE_P(
    OtherCodePages, CodePageInvalidInputTest,
    ::testing::Values(
        InvalidInput{20127, "a\xE9z", u"a\uFFFDz"},
        InvalidInput{1200, Bytes("A\0x", 3), u"A\uFFFD"},                 // odd trailing byte
        InvalidInput{936, "a\x81", u"a\uFFFD"},                           // lead byte at the end
        InvalidInput{936, "\x81\x20z", u"\uFFFD z"},                      // lead byte, bad trail byte
        InvalidInput{932, "\xA0z", u"\uFFFDz"},
        InvalidInput{20936, "\xD6\xD0\xFF", u"\u4E2D\uFFFD"},
        InvalidInput{52936, "\xB0z", u"\uFFFDz"},                        // 8-bit byte
        InvalidInput{52936, "~x", u"\uFFFDx"},                           // meaningless escape
        InvalidInput{52936, "~{V", u"\uFFFD"},                           // half a pair
        InvalidInput{52936, "~{VP", u"\u4E2D"},                          // unclosed GB run
        InvalidInput{52936, "~{VP\nVP", u"\u4E2D\nVP"},                  // a line end closes a GB run
        InvalidInput{52936, "a~\nb~}c", u"abc"}));                       // line continuation, stray "~}"

struct Unrepresentable {
  unsigned int codePage;
  Text text;
  Bytes expected;
};

class CodePageUnrepresentableTest : public ::testing::TestWithParam<Unrepresentable> {};

TEST_P(CodePageUnrepresentableTest, EncodesWithReplacement) {
  const Unrepresentable& row = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(row.codePage);
  const Bytes encoded = Encode(row.codePage, row.text);
  if (!ReplacementIsTheLibrarys(row.codePage) && row.codePage != 65001) {
    GTEST_SKIP() << "the system converter replaces what code page " << row.codePage
                 << " cannot carry its own way on Windows (gave " << Hex(encoded) << ")";
  }
  EXPECT_EQ(Hex(row.expected), Hex(encoded)) << "code page " << row.codePage;
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, CodePageUnrepresentableTest,
    ::testing::Values(
        // UTF-8 replaces unpaired surrogates with U+FFFD (UTF-16 as bytes
        // keeps them: see the encoding tests).
        Unrepresentable{65001, Text(u"a") + char16_t(0xD800) + u"b", "a\xEF\xBF\xBD" "b"},
        Unrepresentable{65001, Text(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
        Unrepresentable{65001, Text(u"x") + char16_t(0xD83D), "x\xEF\xBF\xBD"},
        Unrepresentable{65001, Text{char16_t(0xDE00), char16_t(0xD83D)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        // Legacy code pages write "?", once per character.
        Unrepresentable{20127, u"\u00E9\U0001F600!", "?" "?!"},
        Unrepresentable{936, u"a\u0E01\U0001F600b", "a??b"},
        Unrepresentable{936, Text(u"a") + char16_t(0xD800) + u"b", "a?b"},
        Unrepresentable{936, Text(u"a") + char16_t(0xD800), "a?"},
        Unrepresentable{1252, u"\u4E2D", "?"},
        Unrepresentable{950, u"\u0E01", "?"},
        Unrepresentable{54936, Text(1, char16_t(0xDC00)), "?"},
        Unrepresentable{52936, u"\u4E2D\u0E01\u6587", "~{VP~}?~{ND~}"},
        Unrepresentable{52936, u"\U0001F600", "?"},
        Unrepresentable{20273, u"\u4E2D", "\x6F"},  // "?" in EBCDIC
        Unrepresentable{50220, u"\u65E5\u0E01", "\x1B$BF|\x1B(B?"}));

TEST(CodePageTest, UnknownCodePagesFail) {
  const char bytes[] = "abc";
  const WChar units[] = {u'a', u'b', u'c'};
  WChar wide[8];
  char narrow[8];
  // 273 is an iconv name but not a Windows code page. 1 is CP_OEMCP, the
  // console's code page, on Windows.
  const std::vector<unsigned int> unknown =
      IsWindows() ? std::vector<unsigned int>{12345u, 273u, 65002u, 0xFFFFFFFFu}
                  : std::vector<unsigned int>{12345u, 1u, 273u, 65002u, 0xFFFFFFFFu};
  for (unsigned int codePage : unknown) {
    EXPECT_FALSE(IsCodePageSupported(codePage)) << codePage;
    EXPECT_EQ(0, MultiByteToWide(codePage, bytes, 3, nullptr, 0)) << codePage;
    EXPECT_EQ(0, MultiByteToWide(codePage, bytes, 3, wide, 8)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, units, 3, nullptr, 0)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, units, 3, narrow, 8)) << codePage;
  }
}

TEST(CodePageTest, BadArgumentsFail) {
  const char bytes[] = "abc";
  const WChar units[] = {u'a', u'b', u'c'};
  WChar wide[8];
  char narrow[8];
  for (unsigned int codePage : {65001u, 20127u, 1200u, 936u, 52936u}) {
    EXPECT_EQ(0, MultiByteToWide(codePage, nullptr, 3, wide, 8)) << codePage;
    EXPECT_EQ(0, MultiByteToWide(codePage, bytes, 0, wide, 8)) << codePage;
    EXPECT_EQ(0, MultiByteToWide(codePage, bytes, -1, wide, 8)) << codePage;
    EXPECT_EQ(0, MultiByteToWide(codePage, bytes, 3, wide, -1)) << codePage;
    EXPECT_EQ(0, MultiByteToWide(codePage, bytes, 3, nullptr, 8)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, nullptr, 3, narrow, 8)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, units, 0, narrow, 8)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, units, -2, narrow, 8)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, units, 3, narrow, -1)) << codePage;
    EXPECT_EQ(0, WideToMultiByte(codePage, units, 3, nullptr, 8)) << codePage;
  }
}

// Builds text around one non-ASCII character at every offset, so that the
// bulk ASCII paths meet it at every alignment and leave a tail of every size.
TEST(CodePageTest, Utf8AroundEveryOffsetOfTheAsciiFastPath) {
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t at = 0; at < length; ++at) {
      Text text(length, u'a');
      text[at] = u'\u00E9';
      Bytes bytes(length + 1, 'a');
      bytes.replace(at, 2, "\xC3\xA9");
      ASSERT_EQ(Hex(bytes), Hex(Encode(65001, text))) << length << " " << at;
      ASSERT_EQ(Hex(text), Hex(Decode(65001, bytes))) << length << " " << at;
    }
  }
}

TEST(CodePageTest, LongTextThroughIconvCountsAcrossManyOutputRounds) {
  // Far more output than one round of the converter's scratch space holds.
  Text text;
  Bytes bytes;
  for (int i = 0; i < 20000; ++i) {
    text += u"\u4E2Dx";
    bytes += "\xD6\xD0x";
  }
  EXPECT_EQ(bytes, Encode(936, text));
  EXPECT_EQ(text, Decode(936, bytes));
}

// The items whose code page the system can convert; the reasons for leaving
// out the others are added to `missing`, for a test to skip with once it has
// checked the rest.
template <typename Item, typename CodePageOf>
std::vector<Item> Convertible(const std::vector<Item>& items, CodePageOf codePageOf, std::string& missing) {
  std::vector<Item> kept;
  for (const Item& item : items) {
    const std::string why = MissingCodePage(codePageOf(item));
    if (why.empty()) {
      kept.push_back(item);
    } else if (missing.find(why) == std::string::npos) {
      missing += (missing.empty() ? "" : "; ") + why;
    }
  }
  return kept;
}

TEST(CodePageTest, EveryCodePageOfTheEncodingNamesIsSupported) {
  std::string missing;
  const std::vector<unsigned int> codePages = Convertible(
      std::vector<unsigned int>{0u, 65001u, 1200u, 1201u, 936u, 20936u, 52936u, 54936u, 950u, 932u, 949u, 20127u},
      [](unsigned int codePage) { return codePage; }, missing);
  for (unsigned int codePage : codePages) {
    EXPECT_TRUE(IsCodePageSupported(codePage)) << codePage;
  }
  KELMO_REPORT_UNCHECKED_ROWS(codePages.size(), missing);
}

struct RoundTrip {
  unsigned int codePage;
  Text text;
  Bytes bytes;
};

const std::vector<RoundTrip>& RoundTrips() {
  static const std::vector<RoundTrip> roundTrips = {
      {936, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},   {950, u"\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
      {932, u"\u65E5\u672C", "\x93\xFA\x96\x7B"},   {949, u"\uD55C\uAD6D", "\xC7\xD1\xB1\xB9"},
      {54936, u"\U0001F600", "\x94\x39\xFC\x36"},    {50220, u"\u65E5", "\x1B$BF|\x1B(B"},
      {52936, u"\u4E2D", "~{VP~}"},                    {1252, u"\u20AC", "\x80"},
      {866, u"\u0414", "\x84"},                        {437, u"\u00E9", "\x82"},
      {20936, u"\u4E2D", "\xD6\xD0"},                  {28595, u"\u0414", "\xB4"}};
  return roundTrips;
}

// Converts without the test helpers' expectations, so that it can run on any
// thread; false on a wrong result.
bool ConvertsBothWays(const RoundTrip& item) {
  char narrow[32];
  WChar wide[32];
  const int bytes =
      WideToMultiByte(item.codePage, Units(item.text), static_cast<int>(item.text.size()), narrow, sizeof narrow);
  const int units = MultiByteToWide(item.codePage, item.bytes.data(), static_cast<int>(item.bytes.size()), wide, 32);
  return Bytes(narrow, bytes > 0 ? bytes : 0) == item.bytes && Text(wide, wide + (units > 0 ? units : 0)) == item.text;
}

TEST(CodePageTest, ManyCodePagesInTurnKeepConvertingCorrectly) {
  // More code pages than a thread keeps converters for, in both directions.
  std::string missing;
  const std::vector<RoundTrip> items =
      Convertible(RoundTrips(), [](const RoundTrip& item) { return item.codePage; }, missing);
  for (int round = 0; round < 3; ++round) {
    for (const RoundTrip& item : items) EXPECT_TRUE(ConvertsBothWays(item)) << "code page " << item.codePage;
  }
  KELMO_REPORT_UNCHECKED_ROWS(items.size(), missing);
}

TEST(CodePageTest, ConvertsOnManyThreadsAtOnce) {
  // The C library loads and unloads its conversion modules under locks that
  // race detectors cannot see; converting once here first keeps them loaded
  // while the threads run.
  std::string missing;
  const std::vector<RoundTrip> items =
      Convertible(std::vector<RoundTrip>(RoundTrips().begin(), RoundTrips().begin() + 6),
                  [](const RoundTrip& item) { return item.codePage; }, missing);
  ASSERT_FALSE(items.empty());
  for (const RoundTrip& item : items) ASSERT_TRUE(ConvertsBothWays(item)) << "code page " << item.codePage;

  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&items, &failures, t] {
      for (size_t round = 0; round < 300; ++round) {
        for (size_t n = 0; n < items.size(); ++n) {
          if (!ConvertsBothWays(items[(t + round + n) % items.size()])) ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < failures.size(); ++t) EXPECT_EQ(0, failures[t]) << "thread " << t;
  KELMO_REPORT_UNCHECKED_ROWS(items.size(), missing);
}

}  // namespace
}  // namespace kelmo::os
