// The UTF-8 codec takes runs of ASCII in blocks; these cases put every kind
// of longer form at every place within and across a block, and check the
// result against a plain unit-by-unit reference, with exact and short output
// buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/utf8_reference.h"
#include "text/output_cursor.h"
#include "text/utf8_codec.h"

namespace kelmo::text {
namespace {

std::string Encode(const std::u16string& text, size_t capacity, int64_t& result) {
  std::vector<unsigned char> out(capacity + 32, 0xEE);
  result = EncodeUtf8(reinterpret_cast<const WChar*>(text.data()), text.size(), out.data(), capacity);
  return result < 0 ? std::string() : std::string(out.begin(), out.begin() + result);
}

std::u16string Decode(const std::string& bytes, size_t capacity, int64_t& result) {
  std::vector<WChar> out(capacity + 32, 0xEEEE);
  result = DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data(),
                      capacity);
  return result < 0 ? std::u16string()
                    : std::u16string(reinterpret_cast<const char16_t*>(out.data()), size_t(result));
}

// Units that end an ASCII run: the first two-byte and three-byte forms, a
// pair, lone halves (which encode as U+FFFD), and units at or above 0x8000,
// which a signed comparison would take for small values.
const std::u16string kBreakers[] = {
    u"\u0080", u"\u00E9", u"\u07FF", u"\u0800", u"\u4E2D", u"\uFFFF",
    u"\U0001F600", u"\xD83D", u"\xDE00", u"\u8000"};

TEST(Utf8Bulk, EveryLongerFormAtEveryPlaceMatchesTheReference) {
  for (const std::u16string& breaker : kBreakers) {
    for (size_t before = 0; before <= 40; ++before) {
      for (size_t after : {0u, 1u, 7u, 15u, 16u, 33u}) {
        const std::u16string text =
            std::u16string(before, u'a') + breaker + std::u16string(after, u'z') + breaker;
        const std::string expected = kelmo_test::Utf8Of(text);
        SCOPED_TRACE(testing::Message() << "before " << before << " after " << after
                                        << " unit " << int(breaker[0]));
        EXPECT_EQ(EncodeUtf8(reinterpret_cast<const WChar*>(text.data()), text.size(), nullptr, 0),
                  int64_t(expected.size()));
        int64_t result = 0;
        EXPECT_EQ(Encode(text, expected.size(), result), expected);
        Encode(text, expected.size() - 1, result);
        EXPECT_EQ(result, kConversionFailed);

        // Decoding gives the text back, lone halves as U+FFFD.
        std::u16string back = text;
        for (char16_t& unit : back)
          if (breaker.size() == 1 && unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
        const int64_t count = DecodeUtf8(reinterpret_cast<const unsigned char*>(expected.data()),
                                         expected.size(), nullptr, 0);
        EXPECT_EQ(count, int64_t(back.size()));
        EXPECT_EQ(Decode(expected, back.size(), result), back);
        Decode(expected, back.size() - 1, result);
        EXPECT_EQ(result, kConversionFailed);
      }
    }
  }
}

TEST(Utf8Bulk, LongAsciiRunsRoundTripWithExactBuffers) {
  std::u16string text;
  for (int i = 0; i < 1000; ++i) text += char16_t(' ' + i % 95);
  const std::string expected = kelmo_test::Utf8Of(text);
  int64_t result = 0;
  EXPECT_EQ(Encode(text, expected.size(), result), expected);
  EXPECT_EQ(Decode(expected, text.size(), result), text);
}

TEST(Utf8Bulk, BadBytesAfterAsciiBecomeOneReplacementEach) {
  for (size_t before = 0; before <= 20; ++before) {
    const std::string bytes = std::string(before, 'x') + "\xFF" + std::string(18, 'y') + "\xC3";
    const std::u16string expected =
        std::u16string(before, u'x') + u"\uFFFD" + std::u16string(18, u'y') + u"\uFFFD";
    int64_t result = 0;
    EXPECT_EQ(Decode(bytes, expected.size(), result), expected) << "before " << before;
  }
}

// A text of longer forms has fewer units than bytes, so the exact room runs
// short of a chunk before the input does: ASCII there must still be taken.
TEST(Utf8Bulk, TrustedDecodingFillsExactRoomWhateverMixOfLengths) {
  for (size_t ascii = 0; ascii < 20; ++ascii) {
    for (size_t wide = 0; wide < 20; ++wide) {
      std::string bytes(ascii, 'a');
      for (size_t i = 0; i < wide; ++i) bytes += "\xE6\x97\xA5";
      bytes += "zz";
      std::vector<WChar> expected(bytes.size());
      const int64_t units = DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()),
                                       bytes.size(), expected.data(), expected.size());
      ASSERT_EQ(units, int64_t(ascii + wide + 2));
      std::vector<WChar> out(static_cast<size_t>(units));
      const WChar* last = DecodeTrustedUtf8(bytes.data(), bytes.size(), out.data(), out.data() + out.size());
      ASSERT_EQ(last, out.data() + out.size()) << ascii << " " << wide;
      EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin())) << ascii << " " << wide;
    }
  }
}

}  // namespace
}  // namespace kelmo::text
