#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <limits>
#include <string>

#include "tree/number_format.h"
#include "tree/number_parse.h"
#include "tree/numeric_cast.h"

namespace kelmo {
namespace {

using WText = std::basic_string<WChar>;

WText Wide(const std::string& ascii) { return WText(ascii.begin(), ascii.end()); }

bool ParseBits(const std::string& text, unsigned width, uint64_t& bits) {
  WText wide = Wide(text);
  return ParseInteger(wide.data(), wide.data() + wide.size(), width, bits);
}

template <class Real>
bool ParseText(const std::string& text, Real& value) {
  WText wide = Wide(text);
  return ParseReal(wide.data(), wide.data() + wide.size(), value);
}

std::string Real(double x) {
  char out[kMaxRealText];
  return std::string(out, FormatReal(x, out));
}

std::string Real(float x) {
  char out[kMaxRealText];
  return std::string(out, FormatReal(x, out));
}

// The range of a width runs from the most negative signed value to the
// largest unsigned one; both readings share the bits. Beyond it, fail.
TEST(ParseInteger, AcceptsExactlyTheRangeOfItsWidth) {
  struct Case {
    const char* text;
    unsigned width;
    bool ok;
    uint64_t bits;
  } cases[] = {
      {"255", 8, true, 0xFF},
      {"-1", 8, true, 0xFF},
      {"-128", 8, true, 0x80},
      {"-129", 8, false, 0},
      {"256", 8, false, 0},
      {"300", 8, false, 0},
      {"65535", 16, true, 0xFFFF},
      {"70000", 16, false, 0},
      {"65536", 16, false, 0},
      {"-32768", 16, true, 0x8000},
      {"-32769", 16, false, 0},
      {"4294967295", 32, true, 0xFFFFFFFF},
      {"4294967296", 32, false, 0},
      {"-2147483648", 32, true, 0x80000000},
      {"-2147483649", 32, false, 0},
      {"0x1 0000 0000", 32, false, 0},
      {"18446744073709551615", 64, true, ~uint64_t(0)},
      {"18446744073709551616", 64, false, 0},
      {"99999999999999999999", 64, false, 0},
      {"-9223372036854775808", 64, true, uint64_t(1) << 63},
      {"-9223372036854775809", 64, false, 0},
      {"0xFFFFFFFFFFFFFFFF", 64, true, ~uint64_t(0)},
      {"0x10000000000000000", 64, false, 0},
      {"$7f", 8, true, 0x7F},
      {"x100", 8, false, 0},
      {"000000000000000000000000255", 8, true, 0xFF},
  };
  for (const Case& c : cases) {
    uint64_t bits = 12345;
    EXPECT_EQ(c.ok, ParseBits(c.text, c.width, bits)) << c.text << " in " << c.width << " bits";
    EXPECT_EQ(c.ok ? c.bits : 12345u, bits) << c.text << " in " << c.width << " bits";
  }
}

TEST(ParseInteger, StopsAtZeroUnitAndRefusesLeadingZero) {
  WText text = Wide("12");
  text.push_back(0);
  text += Wide("junk");
  uint64_t bits = 99;
  ASSERT_TRUE(ParseInteger(text.data(), text.data() + text.size(), 32, bits));
  EXPECT_EQ(bits, 12u);
  WText leading(1, WChar(0));
  leading += Wide("5");
  bits = 99;
  EXPECT_FALSE(ParseInteger(leading.data(), leading.data() + leading.size(), 32, bits));
  EXPECT_FALSE(ParseInteger(leading.data(), leading.data(), 32, bits));
  EXPECT_EQ(bits, 99u);
}

// Each precision gets the value nearest to the decimal text, rounded once.
TEST(ParseReal, RoundsCorrectlyToEachPrecision) {
  float f = 0;
  ASSERT_TRUE(ParseText("3.14159", f));
  EXPECT_EQ(f, 3.14159f);
  ASSERT_TRUE(ParseText("0.699999988", f));
  EXPECT_EQ(f, 0.7f);
  ASSERT_TRUE(ParseText("9.87654321", f));
  EXPECT_EQ(f, 9.87654321f);
  ASSERT_TRUE(ParseText("16777217", f));
  EXPECT_EQ(f, 16777216.0f);
  double d = 0;
  ASSERT_TRUE(ParseText("0.30000000000000004", d));
  EXPECT_EQ(d, 0.1 + 0.2);
  ASSERT_TRUE(ParseText("0.0000000001", d));
  EXPECT_EQ(d, 1e-10);
}

TEST(ParseReal, ShortDecimalsGiveTheNearestDouble) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"0.75", 0.75},         {"0.1", 0.1},
      {"0.3", 0.3},           {"123456.789", 123456.789},
      {"-2.675", -2.675},     {" 1 . 0 5 ", 1.05},
      {"0.000000001", 1e-9},  {"9007199254740993", 9007199254740992.0},
      {"0.333333333", 0.333333333},
  };
  for (const Case& c : cases) {
    double value = 0;
    ASSERT_TRUE(ParseText(c.text, value)) << c.text;
    EXPECT_EQ(value, c.expected) << c.text;
  }
}

TEST(ParseReal, MinusZeroKeepsItsSign) {
  double value = 1;
  ASSERT_TRUE(ParseText("-0", value));
  EXPECT_EQ(value, 0.0);
  EXPECT_TRUE(std::signbit(value));
}

TEST(ParseReal, RejectsEverythingButDigitsSignsAndOnePoint) {
  const char* bad[] = {"1e3", "1,5", "1.2.3", "0x10", "infinity", "nan5", "in f5", "5-", "-+5",
                       "", "1\n", "--inf", "5inf"};
  for (const char* text : bad) {
    double d = 42;
    float f = 42;
    EXPECT_FALSE(ParseText(text, d)) << text;
    EXPECT_FALSE(ParseText(text, f)) << text;
    EXPECT_EQ(d, 42);
    EXPECT_EQ(f, 42);
  }
}

TEST(ParseReal, ReadsTheWordsForNonFiniteValues) {
  double d = 0;
  ASSERT_TRUE(ParseText(" nan", d));
  EXPECT_TRUE(std::isnan(d));
  ASSERT_TRUE(ParseText("inf", d));
  EXPECT_EQ(d, std::numeric_limits<double>::infinity());
  float f = 0;
  ASSERT_TRUE(ParseText("- inf", f));
  EXPECT_EQ(f, -std::numeric_limits<float>::infinity());
}

TEST(ParseReal, HugeDigitRunsOverflowToInfinityWithoutFailing) {
  std::string digits(400, '9');
  double d = 0;
  ASSERT_TRUE(ParseText(digits, d));
  EXPECT_TRUE(std::isinf(d));
  float f = 0;
  ASSERT_TRUE(ParseText(digits.substr(0, 50), f));
  EXPECT_TRUE(std::isinf(f));
  // The other way the digits round to a zero that keeps its sign.
  ASSERT_TRUE(ParseText("-0." + std::string(400, '0') + "1", d));
  EXPECT_EQ(d, 0.0);
  EXPECT_TRUE(std::signbit(d));
}

TEST(NumericCast, IntegerToInteger) {
  EXPECT_EQ(NumericCast<uint32_t>(int8_t(-1)), 0xFFFFFFFFu);
  EXPECT_EQ(NumericCast<int64_t>(uint32_t(0xFFFFFFFF)), 4294967295);
  EXPECT_EQ(NumericCast<int32_t>(int64_t(4294967296)), 0);
  EXPECT_EQ(NumericCast<int8_t>(int32_t(300)), 44);
  EXPECT_EQ(NumericCast<uint8_t>(int16_t(-1)), 255);
  EXPECT_EQ(NumericCast<int16_t>(uint64_t(0xFFFF)), -1);
  EXPECT_EQ(NumericCast<unsigned>(true), 1u);
}

TEST(NumericCast, RealToIntegerTruncatesThenKeepsLowBits) {
  EXPECT_EQ(NumericCast<int>(2.9), 2);
  EXPECT_EQ(NumericCast<int>(-2.9), -2);
  EXPECT_EQ(NumericCast<unsigned char>(-1.5), 255);
  EXPECT_EQ(NumericCast<signed char>(300.0), 44);
  EXPECT_EQ(NumericCast<unsigned>(3000000000.0), 3000000000u);
  EXPECT_EQ(NumericCast<int16_t>(-32769.0f), 32767);
  EXPECT_EQ(NumericCast<int64_t>(-9223372036854775808.0), INT64_MIN);
}

TEST(NumericCast, OutOfRangeRealsWrapAndNonFiniteGiveZero) {
  // Beyond every intermediate range: the exact integer's low bits.
  EXPECT_EQ(NumericCast<uint64_t>(1e19), 10000000000000000000u);
  EXPECT_EQ(NumericCast<int64_t>(1e19), static_cast<int64_t>(10000000000000000000u));
  EXPECT_EQ(NumericCast<uint64_t>(18446744073709551616.0), 0u);
  EXPECT_EQ(NumericCast<uint64_t>(-18446744073709551616.0 - 4096.0 * 4096.0), uint64_t(0) - 16777216u);
  EXPECT_EQ(NumericCast<int>(1e300), 0);
  EXPECT_EQ(NumericCast<int>(4294967297.0), 1);
  EXPECT_EQ(NumericCast<int>(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(NumericCast<uint64_t>(std::numeric_limits<double>::infinity()), 0u);
  EXPECT_EQ(NumericCast<int64_t>(-std::numeric_limits<float>::infinity()), 0);
}

TEST(NumericCast, IntegerToRealRoundsUnsignedAsUnsigned) {
  EXPECT_EQ(NumericCast<double>(uint32_t(4294967295u)), 4294967295.0);
  EXPECT_EQ(NumericCast<float>(uint32_t(4294967295u)), 4294967296.0f);
  EXPECT_EQ(NumericCast<double>(~uint64_t(0)), 18446744073709551616.0);
  EXPECT_EQ(NumericCast<float>(16777217.0), 16777216.0f);
}

TEST(FormatDecimal, StoresOnlyWhatFits) {
  char out[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(FormatDecimal(-12345, out, 3), 6u);
  EXPECT_EQ(std::string(out, 4), "-12#");
}

TEST(FormatReal, ShortestPlainText) {
  struct Case {
    double value;
    std::string text;
  } cases[] = {
      {2.5, "2.5"},
      {-2.5, "-2.5"},
      {100.0, "100"},
      {0.001, "0.001"},
      {1.0 / 3.0, "0.3333333333333333"},
      {2.0 / 3.0, "0.6666666666666666"},
      {1e-10, "0.0000000001"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.0, "0"},
      {-0.0, "-0"},
      {1.0000000001, "1.0000000001"},
      {123456.789, "123456.789"},
      {3000000000.0, "3000000000"},
      {-1e20, "-100000000000000000000"},
      {1e23, "1" + std::string(23, '0')},
      {1e300, "1" + std::string(300, '0')},
      {123456789012345678.0, "123456789012345680"},
      {1.5e-7, "0.00000015"},
  };
  for (const Case& c : cases) EXPECT_EQ(Real(c.value), c.text) << c.value;
  EXPECT_EQ(Real(0.7f), "0.7");
  EXPECT_EQ(Real(0.1f), "0.1");
  EXPECT_EQ(Real(3.14159f), "3.14159");
  EXPECT_EQ(Real(16777216.0f), "16777216");
  EXPECT_EQ(Real(3e38f), "3" + std::string(38, '0'));
  EXPECT_EQ(Real(std::numeric_limits<float>::max()), "34028235" + std::string(31, '0'));
  const std::string tiny = Real(std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny, "0." + std::string(323, '0') + "5");
  EXPECT_EQ(Real(std::numeric_limits<double>::max()).size(), 309u);
}

TEST(FormatReal, NonFiniteValuesHaveWords) {
  EXPECT_EQ(Real(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(Real(-std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(Real(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(Real(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(Real(-std::numeric_limits<float>::infinity()), "-inf");
}

// The digits of a plain text between its first and last nonzero digit.
size_t SignificantDigits(const std::string& text) {
  const size_t first = text.find_first_of("123456789");
  const size_t last = text.find_last_of("123456789");
  if (first == std::string::npos) return 0;
  const std::string between = text.substr(first, last - first + 1);
  return between.size() - (between.find('.') != std::string::npos ? 1 : 0);
}

// The fewest significant digits printf needs for a text that reads back
// as the same value: the length of the shortest text, by another road.
size_t FewestDigitsThatReadBack(double value) {
  char text[40];
  for (int digits = 1;; ++digits) {
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    if (std::strtod(text, nullptr) == value) return static_cast<size_t>(digits);
  }
}

size_t FewestDigitsThatReadBack(float value) {
  char text[40];
  for (int digits = 1;; ++digits) {
    std::snprintf(text, sizeof text, "%.*e", digits - 1, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) return static_cast<size_t>(digits);
  }
}

// Random bit patterns, each read back from its text as the same value in
// its own precision, with no more significant digits than it needs (the
// rest of a large value is zeros); the text is never longer than the room
// reserved.
TEST(FormatReal, EveryValueReadsBackExactly) {
  std::mt19937_64 random(7);
  auto check = [](auto value) {
    using T = decltype(value);
    const std::string text = Real(value);
    ASSERT_LE(text.size(), kMaxRealText);
    ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    T back = 0;
    ASSERT_TRUE(ParseText(text, back)) << text;
    if (std::isnan(value)) {
      EXPECT_TRUE(std::isnan(back)) << text;
    } else {
      EXPECT_EQ(0, std::memcmp(&back, &value, sizeof value)) << text;
    }
    if (std::isfinite(value) && value != 0) {
      EXPECT_EQ(SignificantDigits(text), FewestDigitsThatReadBack(value)) << text;
    }
  };
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    float f;
    const uint32_t low = static_cast<uint32_t>(bits);
    std::memcpy(&f, &low, sizeof f);
    check(d);
    check(f);
    check(static_cast<double>(static_cast<int64_t>(bits) >> (bits & 63)) / 1000.0);
  }
  // The longest texts: the smallest normal and subnormal magnitudes.
  check(-std::numeric_limits<double>::min());
  check(-std::nextafter(std::numeric_limits<double>::min(), 0.0));
  check(std::numeric_limits<double>::lowest());
}

}  // namespace
}  // namespace kelmo
