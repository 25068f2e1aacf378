// The text and byte buffers: capacity policy, explicit lengths with zero
// units, trimming, the byte order of names, and narrow conversions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tree/blob_buf.h"
#include "tree/wstr_buf.h"

namespace kelmo {
namespace {

using Text = std::u16string;

const WChar* U(const Text& text) { return reinterpret_cast<const WChar*>(text.data()); }
uint32_t Size(const Text& text) { return static_cast<uint32_t>(text.size()); }
Text Read(const WStrBuf& buffer) {
  return Text(reinterpret_cast<const char16_t*>(buffer.Data()), buffer.Length());
}

TEST(WStrBuf, EmptyAssignmentsLeaveANullHandle) {
  const Text zeroFirst(u"\0abc", 4);
  struct Case {
    const char* label;
    const WChar* text;
    uint32_t length;
  };
  const Case cases[] = {
      {"length 0", U(u"abc"), 0},
      {"null text", nullptr, 3},
      {"zero first, whole text", U(zeroFirst), kWholeText},
  };
  for (const Case& c : cases) {
    WStrBuf buffer(U(u"old"), 3);
    buffer.Assign(c.text, c.length);
    EXPECT_TRUE(buffer.IsNull()) << c.label;
    EXPECT_EQ(0u, buffer.Length()) << c.label;
    ASSERT_NE(nullptr, buffer.Data()) << c.label;
    EXPECT_EQ(0, buffer.Data()[0]) << c.label;
  }
}

TEST(WStrBuf, AppendingNothingToNullMakesAnEmptyBlock) {
  WStrBuf buffer;
  buffer.Append(nullptr, 0);
  EXPECT_FALSE(buffer.IsNull());
  EXPECT_TRUE(buffer.IsEmpty());
  EXPECT_EQ(8u, buffer.Capacity());
  EXPECT_TRUE(buffer.Equals(WStrBuf()));
  EXPECT_TRUE(WStrBuf().Equals(buffer));
  EXPECT_EQ(0, buffer.Compare(nullptr, 0));
  // Appending an empty buffer makes no block at all.
  WStrBuf other;
  other.Append(WStrBuf());
  EXPECT_TRUE(other.IsNull());
}

TEST(WStrBuf, CharacterAppendsGrowByHalf) {
  WStrBuf buffer;
  std::vector<uint32_t> capacities;
  for (int i = 0; i < 40; ++i) {
    buffer.AppendChar(static_cast<WChar>('a' + i % 26));
    if (capacities.empty() || capacities.back() != buffer.Capacity())
      capacities.push_back(buffer.Capacity());
  }
  EXPECT_EQ((std::vector<uint32_t>{8, 13, 21, 33, 51}), capacities);
  EXPECT_EQ(40u, buffer.Length());
  EXPECT_EQ(0, buffer.Data()[40]);
}

TEST(WStrBuf, AssignmentReusesOnlyAFittingBlock) {
  WStrBuf large;
  large.Resize(100);
  ASSERT_EQ(100u, large.Capacity());
  large.Assign(U(u"abc"), 3);
  EXPECT_EQ(8u, large.Capacity());
  EXPECT_EQ(u"abc", Read(large));

  WStrBuf small(U(u"abcdefgh"), 8);
  const WChar* block = small.Data();
  small.Assign(U(u"xyz"), 3);
  EXPECT_EQ(block, small.Data());
  EXPECT_EQ(8u, small.Capacity());
  EXPECT_EQ(u"xyz", Read(small));
  EXPECT_EQ(0, small.Data()[3]);

  // Its own text (same start, same length) changes nothing; an inner span
  // of its own text becomes the whole text.
  small.Assign(small.Data(), small.Length());
  EXPECT_EQ(u"xyz", Read(small));
  small.Assign(small.Data() + 1, 2);
  EXPECT_EQ(u"yz", Read(small));
  WStrBuf big(U(u"0123456789abcdefghij"), 20);
  big.Assign(big.Data() + 15, 5);  // forces a new block while reading the old
  EXPECT_EQ(u"fghij", Read(big));
}

TEST(WStrBuf, ZeroUnitsKeepTheirFullLength) {
  const Text withZero(u"a\0b", 3);
  WStrBuf buffer(U(withZero), Size(withZero));
  EXPECT_EQ(withZero, Read(buffer));
  WStrBuf copy(buffer);
  EXPECT_EQ(withZero, Read(copy));
  EXPECT_EQ(8u, copy.Capacity());
  copy.Append(U(withZero), Size(withZero));
  EXPECT_EQ(withZero + withZero, Read(copy));
  EXPECT_TRUE(buffer.Equals(U(withZero), Size(withZero)));
  EXPECT_FALSE(buffer.Equals(U(withZero), kWholeText));
  EXPECT_EQ(1, WStrBuf::Compare(U(withZero), 3, U(u"a"), 1));
  WStrBuf assigned;
  assigned = buffer;
  EXPECT_EQ(withZero, Read(assigned));
  WStrBuf& alias = assigned;
  assigned = std::move(alias);
  EXPECT_EQ(withZero, Read(assigned)) << "moved onto itself";
  WStrBuf target(U(u"old"), 3);
  target = std::move(assigned);
  EXPECT_EQ(withZero, Read(target));
  EXPECT_TRUE(assigned.IsNull());
}

TEST(WStrBuf, AppendMayReadFromItsOwnBlock) {
  WStrBuf buffer(U(u"abcdefgh"), 8);  // full: the append must grow
  buffer.Append(buffer.Data(), buffer.Length());
  EXPECT_EQ(u"abcdefghabcdefgh", Read(buffer));
  EXPECT_EQ(16u, buffer.Capacity());
  buffer.Append(buffer);
  EXPECT_EQ(32u, buffer.Length());
}

// Short texts are copied in overlapping blocks: every length must come
// out whole, into a fresh block and a frozen one alike.
TEST(WStrBuf, CopiesOfEveryShortLengthAreExact) {
  std::u16string source;
  for (char16_t unit = 1; unit <= 40; ++unit) source.push_back(unit * 0x0101);
  for (uint32_t n = 0; n <= 40; ++n) {
    const WStrBuf copy(reinterpret_cast<const WChar*>(source.data()), n);
    std::vector<unsigned char> memory(WStrBuf::FrozenBytes(n + 1) + 8, 0xEE);
    const WStrBuf frozen = WStrBuf::Freeze(memory.data(), reinterpret_cast<const WChar*>(source.data()), n ? n : 1);
    ASSERT_EQ(std::u16string(reinterpret_cast<const char16_t*>(copy.Data()), copy.Length()),
              source.substr(0, n));
    ASSERT_EQ(std::u16string(reinterpret_cast<const char16_t*>(frozen.Data()), frozen.Length()),
              source.substr(0, n ? n : 1));
    EXPECT_EQ(memory[WStrBuf::FrozenBytes(n ? n : 1)], 0xEE) << n;
  }
}

TEST(WStrBuf, ResizeZeroFillsNewUnits) {
  // In place: a block of capacity 13 holding 12 letters, cut to 10 (the
  // letters behind stay in the block) and grown to 12 again.
  WStrBuf inPlace;
  for (int i = 0; i < 12; ++i) inPlace.AppendChar('x');
  ASSERT_EQ(13u, inPlace.Capacity());
  inPlace.Resize(10);
  ASSERT_EQ(13u, inPlace.Capacity());
  const WChar* block = inPlace.Data();
  inPlace.Resize(12);
  EXPECT_EQ(block, inPlace.Data());
  EXPECT_EQ(Text(10, u'x') + Text(2, u'\0'), Read(inPlace));
  EXPECT_EQ(0, inPlace.Data()[12]);

  // Replaced: 10 units grown to 20.
  WStrBuf replaced(U(u"0123456789"), 10);
  replaced.Resize(20);
  EXPECT_EQ(20u, replaced.Capacity());
  EXPECT_EQ(Text(u"0123456789") + Text(11, u'\0'),
            Text(reinterpret_cast<const char16_t*>(replaced.Data()), 21));

  WStrBuf fromNull;
  fromNull.Resize(3);
  EXPECT_EQ(Text(3, u'\0'), Read(fromNull));
  fromNull.Resize(0);
  EXPECT_TRUE(fromNull.IsNull());

  WStrBuf shrink;
  shrink.Resize(100);
  shrink.Resize(10);
  EXPECT_EQ(10u, shrink.Capacity());
}

TEST(WStrBuf, CompareUsesLittleEndianByteOrder) {
  struct Case {
    Text a, b;
    int expected;
  };
  const Case cases[] = {
      {u"ab", u"abc", -1},   {u"b", u"ab", 1},        {u"\u0100", u"\u00ff", -1},
      {u"\u00ff", u"\u0100", 1}, {u"abc", u"abc", 0}, {u"", u"", 0},
      {u"", u"a", -1},       {u"\u0201", u"\u0102", -1}, {u"B", u"a", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, WStrBuf::Compare(U(c.a), Size(c.a), U(c.b), Size(c.b)))
        << std::string(c.a.begin(), c.a.end()) << " vs " << std::string(c.b.begin(), c.b.end());
  }
  const Text same = u"abc";
  EXPECT_EQ(0, WStrBuf::Compare(U(same), 3, U(same), 3));
  EXPECT_EQ(-1, WStrBuf::Compare(U(same), 2, U(same), 3));
  EXPECT_EQ(0, WStrBuf::Compare(U(same), kWholeText, U(u"abc"), 3));
  EXPECT_EQ(0, WStrBuf::Compare(nullptr, 5, U(u""), 0));
}

TEST(WStrBuf, NarrowConversions) {
  WStrBuf destination(U(u"old"), 3);
  EXPECT_FALSE(WStrBuf::FromNarrow(destination, "abc", 3, 4242424));
  EXPECT_TRUE(destination.IsNull());

  destination.Assign(U(u"old"), 3);
  EXPECT_TRUE(WStrBuf::FromNarrow(destination, "abc", 0, 4242424));
  EXPECT_TRUE(destination.IsNull());
  EXPECT_TRUE(WStrBuf::FromNarrow(destination, nullptr, 7, kCodePageUtf8));

  EXPECT_TRUE(WStrBuf::FromNarrow(destination, "x\xC3\xA9y", kWholeText, kCodePageUtf8));
  EXPECT_EQ(u"x\u00e9y", Read(destination));

  RefPtr<XInRes> holder;
  const char* text = nullptr;
  uint32_t length = 99;
  EXPECT_TRUE(WStrBuf::ToNarrow(WStrBuf(), 4242424, holder, text, length));
  EXPECT_EQ(0u, length);
  EXPECT_FALSE(holder);
  EXPECT_FALSE(WStrBuf::ToNarrow(destination, 4242424, holder, text, length));
  EXPECT_EQ(0u, length);
  EXPECT_EQ(0, text[0]);
  EXPECT_TRUE(WStrBuf::ToNarrow(destination, kCodePageUtf8, holder, text, length));
  EXPECT_EQ(std::string("x\xC3\xA9y"), std::string(text, length));
  EXPECT_TRUE(holder);
}

TEST(BlobBuf, AssignCopyAndCapacity) {
  const unsigned char bytes[] = {1, 0, 2, 3};
  BlobBuf blob;
  blob.Assign(bytes, 4);
  EXPECT_EQ(4u, blob.Length());
  EXPECT_EQ(8u, blob.Capacity());
  EXPECT_EQ(0, std::memcmp(bytes, blob.Data(), 4));
  EXPECT_EQ(0, blob.Data()[4]);

  blob.Assign(bytes, kWholeText);  // up to the first zero byte
  EXPECT_EQ(1u, blob.Length());

  BlobBuf copy(blob);
  EXPECT_EQ(1u, copy.Length());
  EXPECT_NE(blob.Data(), copy.Data());

  unsigned char many[100] = {7};
  BlobBuf big;
  big.Assign(many, 100);
  big.Assign(bytes, 3);
  EXPECT_EQ(8u, big.Capacity());
  const unsigned char* block = big.Data();
  big.Assign(bytes + 1, 3);
  EXPECT_EQ(block, big.Data());
  EXPECT_EQ(0, std::memcmp(bytes + 1, big.Data(), 3));

  big.Assign(nullptr, 5);
  EXPECT_EQ(0u, big.Length());
  EXPECT_EQ(0u, big.Capacity());
  EXPECT_EQ(0, big.Data()[0]);

  BlobBuf moved(std::move(copy));
  EXPECT_EQ(1u, moved.Length());
  BlobBuf& alias = moved;
  moved = std::move(alias);
  EXPECT_EQ(1u, moved.Length());
}

}  // namespace
}  // namespace kelmo
