#include "tree/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kelmo {
namespace {

using WText = std::basic_string<WChar>;

WText Wide(const std::string& ascii) { return WText(ascii.begin(), ascii.end()); }

std::string EncodeNarrow(const std::vector<unsigned char>& bytes) {
  std::string out(Base64EncodedLength(static_cast<uint32_t>(bytes.size())), '#');
  uint32_t room = static_cast<uint32_t>(out.size());
  EXPECT_TRUE(Base64Encode(bytes.data(), static_cast<uint32_t>(bytes.size()), &out[0], room));
  EXPECT_EQ(room, out.size());
  return out;
}

// Decodes with exactly the room the decoder asks for.
bool Decode(const WText& text, std::vector<unsigned char>& bytes) {
  uint32_t m = static_cast<uint32_t>(text.size());
  bytes.assign(Base64DecodeRoom(m), 0xEE);
  uint32_t room = static_cast<uint32_t>(bytes.size());
  if (!Base64Decode(text.data(), m, bytes.data(), room)) return false;
  bytes.resize(room);
  return true;
}

std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Base64Encode, KnownVectors) {
  struct Case {
    const char* bytes;
    const char* text;
  } cases[] = {
      {"f", "Zg=="},     {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeNarrow(Bytes(c.bytes)), c.text) << c.bytes;
}

TEST(Base64Encode, ExtremeBytesUseWholeAlphabetRange) {
  EXPECT_EQ(EncodeNarrow({0xFF}), "/w==");
  EXPECT_EQ(EncodeNarrow({0x00}), "AA==");
  EXPECT_EQ(EncodeNarrow({0xFB, 0xFF, 0xBF}), "+/+/");
}

TEST(Base64Encode, WideAndNarrowAgree) {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<unsigned char>(i * 7 + 3));
  std::string narrow = EncodeNarrow(bytes);
  WText wide(narrow.size(), WChar('#'));
  uint32_t room = static_cast<uint32_t>(wide.size());
  ASSERT_TRUE(Base64Encode(bytes.data(), 256, &wide[0], room));
  EXPECT_EQ(wide, Wide(narrow));
}

TEST(Base64Encode, RefusesBadArgumentsWithoutWriting) {
  unsigned char bytes[4] = {1, 2, 3, 4};
  char out[16];
  std::memset(out, '#', sizeof out);
  uint32_t room = 7;  // need is 8
  EXPECT_FALSE(Base64Encode(bytes, 4, out, room));
  EXPECT_EQ(room, 7u);
  room = 16;
  EXPECT_FALSE(Base64Encode(bytes, 0, out, room));
  EXPECT_FALSE(Base64Encode(nullptr, 4, out, room));
  EXPECT_FALSE(Base64Encode(bytes, 4, static_cast<char*>(nullptr), room));
  EXPECT_EQ(room, 16u);
  for (char c : out) EXPECT_EQ(c, '#');
}

TEST(Base64Encode, WritesNoMoreThanTheNeed) {
  unsigned char bytes[2] = {1, 2};
  char out[8];
  std::memset(out, '#', sizeof out);
  uint32_t room = 8;
  ASSERT_TRUE(Base64Encode(bytes, 2, out, room));
  EXPECT_EQ(room, 4u);
  EXPECT_EQ(std::string(out + 4, 4), "####");
}

TEST(Base64, RoundTripsEveryLengthUpTo300) {
  for (uint32_t n = 0; n <= 300; ++n) {
    std::vector<unsigned char> bytes(n);
    for (uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + n) & 0xFF);
    if (n == 0) continue;  // encoding nothing is refused, checked above
    std::string text = EncodeNarrow(bytes);
    EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
    std::vector<unsigned char> decoded;
    ASSERT_TRUE(Decode(Wide(text), decoded)) << n;
    EXPECT_EQ(decoded, bytes) << n;
  }
}

TEST(Base64Decode, SkipsWhitespaceAnywhere) {
  std::vector<unsigned char> plain, spaced;
  ASSERT_TRUE(Decode(Wide("Zm9vYmFy"), plain));
  ASSERT_TRUE(Decode(Wide(" Z\tm9\r\nv Y m\nF\ty\r"), spaced));
  EXPECT_EQ(spaced, plain);
  std::vector<unsigned char> padded;
  ASSERT_TRUE(Decode(Wide("Zm\n9v\tYg=="), padded));
  EXPECT_EQ(padded, Bytes("foob"));
}

TEST(Base64Decode, UnpaddedTailsDecodeLikePaddedOnes) {
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(Decode(Wide("Zm9vYg"), bytes));
  EXPECT_EQ(bytes, Bytes("foob"));
  ASSERT_TRUE(Decode(Wide("Zm9vYmE"), bytes));
  EXPECT_EQ(bytes, Bytes("fooba"));
  ASSERT_TRUE(Decode(Wide("Zm9vYmE="), bytes));
  EXPECT_EQ(bytes, Bytes("fooba"));
}

TEST(Base64Decode, IgnoresSpareLowBitsOfTheLastGroup) {
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(Decode(Wide("/x=="), bytes));  // "x" carries low bits beyond the byte
  EXPECT_EQ(bytes, std::vector<unsigned char>{0xFF});
}

TEST(Base64Decode, WhitespaceOnlyGivesNoBytes) {
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(Decode(Wide(" \t\r\n "), bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST(Base64Decode, RejectsMalformedText) {
  const char* bad[] = {
      "Zm9vY",      // single leftover character
      "Zm=9v",      // "=" in the middle
      "Zm9vYg==\n", // padding followed by a line feed
      "Zm9vYg= =",  // padding split by a blank
      "Zm9-",       // URL-safe alphabet is not accepted
      "Zm9_",
      "Zm9vY===",   // a third padding unit
      "A",
      "A==",
  };
  for (const char* text : bad) {
    std::vector<unsigned char> bytes;
    EXPECT_FALSE(Decode(Wide(text), bytes)) << text;
  }
  WText high = Wide("Zm9v");
  high[1] = WChar(0x00E9);
  std::vector<unsigned char> bytes;
  EXPECT_FALSE(Decode(high, bytes));
}

TEST(Base64Decode, FailureLeavesRoomUnchanged) {
  WText text = Wide("QUJDREVG!");
  unsigned char out[9];
  uint32_t room = 9;
  EXPECT_FALSE(Base64Decode(text.data(), static_cast<uint32_t>(text.size()), out, room));
  EXPECT_EQ(room, 9u);
}

TEST(Base64Decode, RoomRuleIsCheckedBeforeDecoding) {
  WText text = Wide("QUJD");
  unsigned char out[3] = {0xEE, 0xEE, 0xEE};
  uint32_t room = 2;
  EXPECT_FALSE(Base64Decode(text.data(), 4, out, room));
  EXPECT_EQ(room, 2u);
  EXPECT_EQ(out[0], 0xEE);
  room = 3;
  ASSERT_TRUE(Base64Decode(text.data(), 4, out, room));
  EXPECT_EQ(room, 3u);
  EXPECT_EQ(out[0], 'A');
  EXPECT_EQ(out[2], 'C');
  // Whitespace counts toward the room the decoder insists on.
  WText spaced = Wide("QU JD");
  room = 3;
  EXPECT_FALSE(Base64Decode(spaced.data(), 5, out, room));
}

TEST(Base64Decode, ResolvesLengthAndRefusesNulls) {
  WText text = Wide("QUJD");
  unsigned char out[6];
  uint32_t room = 6;
  ASSERT_TRUE(Base64Decode(text.c_str(), 0xFFFFFFFFu, out, room));
  EXPECT_EQ(room, 3u);
  room = 6;
  EXPECT_FALSE(Base64Decode(nullptr, 4, out, room));
  EXPECT_FALSE(Base64Decode(text.c_str(), 0, out, room));
  EXPECT_FALSE(Base64Decode(text.c_str(), 4, nullptr, room));
  WText empty;
  EXPECT_FALSE(Base64Decode(empty.c_str(), 0xFFFFFFFFu, out, room));
  EXPECT_EQ(room, 6u);
}

}  // namespace
}  // namespace kelmo
