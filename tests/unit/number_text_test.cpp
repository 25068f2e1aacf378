#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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

TEST(ParseInteger, WrapsInItsWidth) {
  struct Case {
    const char* text;
    unsigned width;
    uint64_t bits;
  } cases[] = {
      {"300", 8, 44},
      {"-1", 8, 0xFF},
      {"256", 8, 0},
      {"65535", 16, 0xFFFF},
      {"65536", 16, 0},
      {"-32768", 16, 0x8000},
      {"4294967295", 32, 0xFFFFFFFF},
      {"4294967296", 32, 0},
      {"18446744073709551615", 64, ~uint64_t(0)},
      {"18446744073709551616", 64, 0},
      {"-9223372036854775808", 64, uint64_t(1) << 63},
      {"0xFFFFFFFFFFFFFFFF", 64, ~uint64_t(0)},
      {"$7f", 8, 0x7F},
      {"x100", 8, 0},
  };
  for (const Case& c : cases) {
    uint64_t bits = 12345;
    ASSERT_TRUE(ParseBits(c.text, c.width, bits)) << c.text;
    EXPECT_EQ(bits, c.bits) << c.text << " in " << c.width << " bits";
  }
}

TEST(ParseInteger, ZeroTestsSeeTheWrappedValue) {
  uint64_t bits = 0;
  // "256" wraps to 0 in 8 bits, so a sign or prefix may still follow.
  ASSERT_TRUE(ParseBits("256-5", 8, bits));
  EXPECT_EQ(bits, 0xFBu);
  EXPECT_FALSE(ParseBits("256-5", 16, bits));
  ASSERT_TRUE(ParseBits("256x10", 8, bits));
  EXPECT_EQ(bits, 16u);
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

TEST(ParseReal, FloatStepsStayInFloat) {
  // Every step is rounded to float, so the result can differ from the float
  // nearest to the decimal text (0x1.921fap+1 for this one).
  float pi = 0;
  ASSERT_TRUE(ParseText("3.14159", pi));
  EXPECT_EQ(pi, 0x1.921f9cp+1f);
  float other = 0;
  ASSERT_TRUE(ParseText("9.87654321", other));
  EXPECT_EQ(other, 0x1.3c0ca2p+3f);
  float big = 0;
  ASSERT_TRUE(ParseText("16777217", big));
  EXPECT_EQ(big, 16777216.0f);
  // The double path is not rounded to float on the way.
  double wide = 0;
  ASSERT_TRUE(ParseText("3.14159", wide));
  EXPECT_NEAR(wide, 3.14159, 1e-15);
}

// Short decimal texts read as doubles give the double nearest to the text,
// as the library's own real texts do when read back.
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
  const char* bad[] = {"1e3", "1,5", "1.2.3", "0x10", "inf", "nan", "5-", "-+5", "", "1\n"};
  for (const char* text : bad) {
    double d = 42;
    float f = 42;
    EXPECT_FALSE(ParseText(text, d)) << text;
    EXPECT_FALSE(ParseText(text, f)) << text;
    EXPECT_EQ(d, 42);
    EXPECT_EQ(f, 42);
  }
}

TEST(ParseReal, HugeDigitRunsOverflowToInfinityWithoutFailing) {
  std::string digits(400, '9');
  double d = 0;
  ASSERT_TRUE(ParseText(digits, d));
  EXPECT_TRUE(std::isinf(d));
  float f = 0;
  ASSERT_TRUE(ParseText(digits.substr(0, 50), f));
  EXPECT_TRUE(std::isinf(f));
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

TEST(FormatReal, DoubleTable) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {2.5, "2.5"},
      {-2.5, "-2.5"},
      {100.0, "100"},
      {0.001, "0.001"},
      {1.0 / 3.0, "0.333333333"},
      {2.0 / 3.0, "0.666666666"},
      {1e-10, "0"},
      {0.1, "0.1"},
      {0.0, "0"},
      {-0.0, "0"},
      {-0.5, "-0.5"},
      {-0.000000001, "-0.000000001"},
      {1.0000000001, "1"},
      {-0.0000000001, "0"},
      {123456.789, "123456.789"},
      {-7.0, "-7"},
      {0.000000999, "0.000000999"},
  };
  for (const Case& c : cases) EXPECT_EQ(Real(c.value), c.text) << c.value;
}

TEST(FormatReal, FloatTable) {
  EXPECT_EQ(Real(0.1f), "0.100000001");
  EXPECT_EQ(Real(0.7f), "0.699999988");
  EXPECT_EQ(Real(3.14159f), "3.141590118");
  EXPECT_EQ(Real(-1.25f), "-1.25");
  EXPECT_EQ(Real(16777216.0f), "16777216");
}

TEST(FormatReal, IntegerPartsBeyond32BitsAreWrittenInFull) {
  EXPECT_EQ(Real(3000000000.0), "3000000000");
  EXPECT_EQ(Real(-3000000000.5), "-3000000000.5");
  EXPECT_EQ(Real(9007199254740993.0), "9007199254740992");
  EXPECT_EQ(Real(18446744073709551616.0), "18446744073709551616");
  EXPECT_EQ(Real(-1e20), "-100000000000000000000");
  EXPECT_EQ(Real(1e22), "10000000000000000000000");
  EXPECT_EQ(Real(3.4028234663852886e38f),
            "340282346638528859811704183484516925440");
  std::string largest = Real(std::numeric_limits<double>::max());
  EXPECT_EQ(largest.size(), 309u);
  EXPECT_EQ(largest.substr(0, 17), "17976931348623157");
  EXPECT_EQ(largest.substr(300), "124858368");
  std::string lowest = Real(std::numeric_limits<double>::lowest());
  EXPECT_EQ(lowest.size(), 310u);
  EXPECT_LE(lowest.size(), kMaxRealText);
}

TEST(FormatReal, NonFiniteValuesHaveWords) {
  EXPECT_EQ(Real(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(Real(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(Real(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(Real(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(FormatReal, SmallestFractionDigitsAndSubnormals) {
  EXPECT_EQ(Real(std::numeric_limits<double>::denorm_min()), "0");
  EXPECT_EQ(Real(-std::numeric_limits<double>::denorm_min()), "0");
  EXPECT_EQ(Real(0.999999999999), "0.999999999");
}

}  // namespace
}  // namespace kelmo
