#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelmo/com.h"
#include "support/counting_com_object.h"
#include "tree/tree_node.h"

namespace kelmo {
namespace {

using kelmo_test::CountingComObject;
using WText = std::basic_string<WChar>;

WText Wide(const std::string& ascii) { return WText(ascii.begin(), ascii.end()); }

constexpr unsigned int kUnknownCodePage = 98765;

RefPtr<TreeNode> StringNode(const std::string& ascii) {
  RefPtr<TreeNode> node = TreeNode::Make();
  WText text = Wide(ascii);
  node->SetStringW(text.data(), static_cast<unsigned>(text.size()));
  return node;
}

WText StringOf(TreeNode& node) {
  const WChar* text = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  if (!node.GetStringW(text, length, holder)) return Wide("<none>");
  return WText(text, length);
}

// A result buffer that records its own destruction.
class TracedResult final : public ref_counter_base<XInRes, TracedResult> {
 public:
  explicit TracedResult(bool& destroyed) : destroyed_(destroyed) {}
  ~TracedResult() override { destroyed_ = true; }

 private:
  bool& destroyed_;
};

TEST(ValueAccess, NewNodeAnswersNoGetter) {
  RefPtr<TreeNode> node = TreeNode::Make();
  EXPECT_EQ(node->Type(), ValueType::Empty);
  int i = 7;
  double d = 7;
  bool b = true;
  void* p = &i;
  const WChar* text = nullptr;
  const unsigned char* bytes = nullptr;
  unsigned length = 7;
  std::shared_ptr<void> shared;
  IUnknown* unknown = nullptr;
  RefPtr<XInRes> holder;
  EXPECT_FALSE(node->GetInt(i));
  EXPECT_FALSE(node->GetDouble(d));
  EXPECT_FALSE(node->GetBool(b));
  EXPECT_FALSE(node->GetPointer(p));
  EXPECT_FALSE(node->GetStringW(text, length, holder));
  EXPECT_FALSE(node->GetBinary(bytes, length, holder));
  EXPECT_FALSE(node->GetSharedPtr(shared));
  EXPECT_FALSE(node->GetUnknown(unknown));
  EXPECT_EQ(i, 7);
  EXPECT_EQ(d, 7);
  EXPECT_TRUE(b);
  EXPECT_EQ(p, &i);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(holder, nullptr);
}

TEST(ValueAccess, MinusOneThroughEveryNumericGetter) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetInt(-1);
  unsigned u = 0;
  unsigned char uc = 0;
  int16_t s = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  double d = 0;
  bool b = false;
  uint32_t ul = 0;
  int32_t l = 0;
  ASSERT_TRUE(node->GetUInt(u));
  EXPECT_EQ(u, 4294967295u);
  ASSERT_TRUE(node->GetUChar(uc));
  EXPECT_EQ(uc, 255);
  ASSERT_TRUE(node->GetShort(s));
  EXPECT_EQ(s, -1);
  ASSERT_TRUE(node->GetInt64(i64));
  EXPECT_EQ(i64, -1);
  ASSERT_TRUE(node->GetUInt64(u64));
  EXPECT_EQ(u64, 18446744073709551615u);
  ASSERT_TRUE(node->GetDouble(d));
  EXPECT_EQ(d, -1.0);
  ASSERT_TRUE(node->GetBool(b));
  EXPECT_TRUE(b);
  ASSERT_TRUE(node->GetULong(ul));
  EXPECT_EQ(ul, 4294967295u);
  ASSERT_TRUE(node->GetLong(l));
  EXPECT_EQ(l, -1);
  void* p = nullptr;
  const unsigned char* bytes = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  EXPECT_FALSE(node->GetPointer(p));
  EXPECT_FALSE(node->GetBinary(bytes, length, holder));
}

TEST(ValueAccess, UnsignedKindsConvertToRealsAsUnsigned) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetUInt(4294967295u);
  double d = 0;
  float f = 0;
  ASSERT_TRUE(node->GetDouble(d));
  EXPECT_EQ(d, 4294967295.0);
  ASSERT_TRUE(node->GetFloat(f));
  EXPECT_EQ(f, 4294967296.0f);
  node->SetUInt64(18446744073709551615u);
  ASSERT_TRUE(node->GetDouble(d));
  EXPECT_EQ(d, 18446744073709551616.0);
  node->SetULong(3000000000u);
  int64_t i64 = 0;
  ASSERT_TRUE(node->GetInt64(i64));
  EXPECT_EQ(i64, 3000000000);
}

TEST(ValueAccess, RealsToIntegers) {
  struct Case {
    double stored;
    int asInt;
    unsigned char asUChar;
    char asChar;
  } cases[] = {
      {2.9, 2, 2, 2},
      {-2.9, -2, 254, -2},
      {-1.5, -1, 255, -1},
      {300.0, 300, 44, 44},
  };
  for (const Case& c : cases) {
    RefPtr<TreeNode> node = TreeNode::Make();
    node->SetDouble(c.stored);
    int i = 0;
    unsigned char uc = 0;
    char ch = 0;
    ASSERT_TRUE(node->GetInt(i));
    ASSERT_TRUE(node->GetUChar(uc));
    ASSERT_TRUE(node->GetChar(ch));
    EXPECT_EQ(i, c.asInt) << c.stored;
    EXPECT_EQ(uc, c.asUChar) << c.stored;
    EXPECT_EQ(ch, c.asChar) << c.stored;
  }
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetDouble(3000000000.0);
  unsigned u = 0;
  ASSERT_TRUE(node->GetUInt(u));
  EXPECT_EQ(u, 3000000000u);
  node->SetDouble(std::nan(""));
  int i = 5;
  ASSERT_TRUE(node->GetInt(i));  // defined result, not undefined behaviour
  EXPECT_EQ(i, 0);
  node->SetFloat(-1e30f);
  int64_t i64 = 5;
  ASSERT_TRUE(node->GetInt64(i64));
}

TEST(ValueAccess, BoolFromNumbers) {
  RefPtr<TreeNode> node = TreeNode::Make();
  bool b = true;
  node->SetDouble(0.5);
  ASSERT_TRUE(node->GetBool(b));
  EXPECT_FALSE(b);
  node->SetFloat(1.5f);
  ASSERT_TRUE(node->GetBool(b));
  EXPECT_TRUE(b);
  node->SetInt64(4294967296);
  ASSERT_TRUE(node->GetBool(b));
  EXPECT_FALSE(b);
  int i = 9;
  ASSERT_TRUE(node->GetInt(i));
  EXPECT_EQ(i, 0);
  node->SetPointer(&i);
  EXPECT_FALSE(node->GetBool(b));
  EXPECT_FALSE(node->GetInt(i));
}

TEST(ValueAccess, BoolAsNumberAndText) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetBool(true);
  int i = 0;
  double d = 0;
  ASSERT_TRUE(node->GetInt(i));
  EXPECT_EQ(i, 1);
  ASSERT_TRUE(node->GetDouble(d));
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(StringOf(*node), Wide("1"));
  node->SetBool(false);
  EXPECT_EQ(StringOf(*node), Wide("0"));
}

TEST(ValueAccess, DoubleAndLongDoubleShareTheStoredValue) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetLongDouble(1.25L);
  EXPECT_EQ(node->Type(), ValueType::LongDouble);
  long double ld = 0;
  double d = 0;
  ASSERT_TRUE(node->GetLongDouble(ld));
  ASSERT_TRUE(node->GetDouble(d));
  EXPECT_EQ(ld, 1.25L);
  EXPECT_EQ(d, 1.25);
  node->SetDouble(1.25);
  ld = 0;
  ASSERT_TRUE(node->GetLongDouble(ld));
  EXPECT_EQ(ld, 1.25L);
  node->SetFloat(0.1f);
  ASSERT_TRUE(node->GetDouble(d));
  EXPECT_EQ(d, static_cast<double>(0.1f));
}

TEST(ValueAccess, PointerOnlyReadsAsPointer) {
  RefPtr<TreeNode> node = TreeNode::Make();
  int target = 0;
  node->SetPointer(&target);
  void* p = nullptr;
  ASSERT_TRUE(node->GetPointer(p));
  EXPECT_EQ(p, &target);
  int i = 3;
  bool b = false;
  EXPECT_FALSE(node->GetInt(i));
  EXPECT_FALSE(node->GetBool(b));
  node->SetInt(4);
  EXPECT_FALSE(node->GetPointer(p));
}

TEST(ValueAccess, IntegerTexts) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"42", true, 42},          {" 4 2 ", true, 42},       {"-17", true, -17},
      {"+5", true, 5},           {"0x1F", true, 31},        {"$ff", true, 255},
      {"x10", true, 16},         {"+-5", true, -5},         {"--5", true, -5},
      {"0x", true, 0},           {"-", true, 0},            {" ", true, 0},
      {"\t1 000", true, 1000},   {"4294967295", true, -1},  {"4294967296", false, 0},
      {"0XaB", true, 171},       {"", false, 0},            {"1F", false, 0},
      {"12abc", false, 0},       {"5-", false, 0},          {"-+5", false, 0},
      {"0x0x5", false, 0},       {"3.5", false, 0},         {"12\n", false, 0},
      {"\r1", false, 0},         {"0x$1", false, 0},
  };
  for (const Case& c : cases) {
    RefPtr<TreeNode> node = StringNode(c.text);
    int value = 12345;
    EXPECT_EQ(node->GetInt(value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 12345) << '"' << c.text << '"';
  }
}

TEST(ValueAccess, NarrowTextGettersShareBitsAndRefuseWhatDoesNotFit) {
  char ch = 0;
  unsigned char uc = 0;
  int16_t s = 0;
  uint16_t us = 0;
  EXPECT_FALSE(StringNode("300")->GetChar(ch));
  EXPECT_FALSE(StringNode("70000")->GetUShort(us));
  EXPECT_EQ(ch, 0);
  EXPECT_EQ(us, 0);
  ASSERT_TRUE(StringNode("-1")->GetUChar(uc));
  EXPECT_EQ(uc, 255);
  ASSERT_TRUE(StringNode("65535")->GetShort(s));
  EXPECT_EQ(s, -1);
  ASSERT_TRUE(StringNode("-1")->GetUShort(us));
  EXPECT_EQ(us, 65535);
  unsigned u = 0;
  ASSERT_TRUE(StringNode("-1")->GetUInt(u));
  EXPECT_EQ(u, 4294967295u);
  uint64_t u64 = 0;
  ASSERT_TRUE(StringNode("18446744073709551615")->GetUInt64(u64));
  EXPECT_EQ(u64, 18446744073709551615u);
  int64_t i64 = 0;
  ASSERT_TRUE(StringNode("-0x8000000000000000")->GetInt64(i64));
  EXPECT_EQ(i64, INT64_MIN);
}

TEST(ValueAccess, RealTexts) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"3.25", true, 3.25}, {".5", true, 0.5},  {"5.", true, 5.0},   {"-0.5", true, -0.5},
      {" - 2 . 5 ", true, -2.5}, {".", true, 0.0}, {"1e3", false, 0}, {"1,5", false, 0},
      {"1.2.3", false, 0},  {"0x10", false, 0}, {"-inf", true, -HUGE_VAL}, {"", false, 0},
  };
  for (const Case& c : cases) {
    RefPtr<TreeNode> node = StringNode(c.text);
    double value = 99;
    long double wide = 99;
    EXPECT_EQ(node->GetDouble(value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(node->GetLongDouble(wide), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 99) << '"' << c.text << '"';
    EXPECT_EQ(wide, c.ok ? c.value : 99) << '"' << c.text << '"';
  }
  float f = 0;
  ASSERT_TRUE(StringNode("0.1")->GetFloat(f));
  EXPECT_EQ(f, 0.1f);
}

TEST(ValueAccess, BoolTexts) {
  struct Case {
    const char* text;
    bool ok;
    bool value;
  } cases[] = {
      {"TRUE", true, true},   {"yes", true, true},   {"Y", true, true},
      {"false", true, false}, {"No", true, false},   {"n", true, false},
      {"1", true, true},      {"2", true, true},     {"0", true, false},
      {" ", true, false},     {"Nonsense", true, false}, {"t", true, true},
      {"maybe", false, false}, {"", false, false},   {"0.5", false, false},
  };
  for (const Case& c : cases) {
    RefPtr<TreeNode> node = StringNode(c.text);
    bool value = !c.value;
    EXPECT_EQ(node->GetBool(value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : !c.value) << '"' << c.text << '"';
  }
}

TEST(ValueAccess, StringIsReadInPlace) {
  RefPtr<TreeNode> node = StringNode("hello");
  bool destroyed = false;
  RefPtr<XInRes> holder(new TracedResult(destroyed), adopt_ref);
  XInRes* before = holder.get();
  const WChar* text = nullptr;
  unsigned length = 0;
  ASSERT_TRUE(node->GetStringW(text, length, holder));
  EXPECT_EQ(text, node->StringUnits().data);
  EXPECT_EQ(WText(text, length), Wide("hello"));
  EXPECT_EQ(holder.get(), before);
  EXPECT_FALSE(destroyed);

  RefPtr<TreeNode> empty = StringNode("");
  ASSERT_TRUE(empty->GetStringW(text, length, holder));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(text[0], 0);
}

TEST(ValueAccess, NarrowStringInCodePage) {
  RefPtr<TreeNode> node = TreeNode::Make();
  const WChar eAcute[] = {WChar(0x00E9), 0};
  node->SetStringW(eAcute, 0xFFFFFFFFu);
  const char* text = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(node->GetStringA(text, length, kCodePageUtf8, holder));
  ASSERT_EQ(length, 2u);
  EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xC3);
  EXPECT_EQ(static_cast<unsigned char>(text[1]), 0xA9);
  EXPECT_EQ(text[2], 0);
  EXPECT_NE(holder, nullptr);

  RefPtr<XInRes> other;
  EXPECT_FALSE(node->GetStringA(text, length, kUnknownCodePage, other));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(other, nullptr);

  node->SetInt(-42);
  ASSERT_TRUE(node->GetStringA(text, length, kUnknownCodePage, other));
  EXPECT_EQ(std::string(text, length), "-42");
}

TEST(ValueAccess, BinaryFromBase64Text) {
  RefPtr<TreeNode> node = StringNode("QUJD");
  const unsigned char* bytes = nullptr;
  unsigned length = 0;
  bool destroyed = false;
  RefPtr<XInRes> holder(new TracedResult(destroyed), adopt_ref);
  ASSERT_TRUE(node->GetBinary(bytes, length, holder));
  ASSERT_EQ(length, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 3), "ABC");
  EXPECT_TRUE(destroyed);  // the previous result buffer was released

  const unsigned char* kept = bytes;
  RefPtr<XInRes> before = holder;
  EXPECT_FALSE(StringNode("QU=JD")->GetBinary(bytes, length, holder));
  EXPECT_FALSE(StringNode("")->GetBinary(bytes, length, holder));
  EXPECT_EQ(holder, before);
  EXPECT_EQ(bytes, kept);
  EXPECT_EQ(length, 3u);

  ASSERT_TRUE(StringNode(" \n ")->GetBinary(bytes, length, holder));
  EXPECT_EQ(length, 0u);
}

TEST(ValueAccess, BinaryIsReadInPlace) {
  RefPtr<TreeNode> node = TreeNode::Make();
  const unsigned char data[] = {1, 0, 2};
  node->SetBinary(data, 3);
  const unsigned char* bytes = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(node->GetBinary(bytes, length, holder));
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(std::memcmp(bytes, data, 3), 0);
  EXPECT_EQ(holder, nullptr);
  node->SetBinary(nullptr, 5);
  ASSERT_TRUE(node->GetBinary(bytes, length, holder));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(node->Type(), ValueType::Binary);
}

TEST(ValueAccess, StringSetterLengths) {
  RefPtr<TreeNode> node = TreeNode::Make();
  WText text = Wide("abc");
  node->SetStringW(text.c_str(), 0xFFFFFFFFu);
  EXPECT_EQ(StringOf(*node), Wide("abc"));
  node->SetStringW(text.c_str(), 0);
  EXPECT_EQ(node->Type(), ValueType::String);
  EXPECT_EQ(StringOf(*node), WText());
  node->SetStringW(text.c_str(), 2);
  node->SetStringW(nullptr, 5);
  EXPECT_EQ(node->Type(), ValueType::String);
  EXPECT_EQ(StringOf(*node), WText());
  WText withZero = Wide("a");
  withZero.push_back(0);
  withZero += Wide("b");
  node->SetStringW(withZero.data(), 3);
  EXPECT_EQ(StringOf(*node), withZero);
}

TEST(ValueAccess, NarrowStringSetter) {
  RefPtr<TreeNode> node = TreeNode::Make();
  const char utf8[] = "\xC3\xA9";
  node->SetStringA(utf8, 2, kCodePageUtf8);
  WText expected(1, WChar(0x00E9));
  EXPECT_EQ(StringOf(*node), expected);
  // A failed conversion keeps what the node held, whatever its kind.
  node->SetStringA("x", 1, kUnknownCodePage);
  EXPECT_EQ(StringOf(*node), expected);
  node->SetInt(1);
  node->SetStringA(utf8, 2, kUnknownCodePage);
  EXPECT_EQ(node->Type(), ValueType::Int);
  node->SetStringA("xyz", 0xFFFFFFFFu, kCodePageUtf8);
  EXPECT_EQ(StringOf(*node), Wide("xyz"));
}

TEST(ValueAccess, ByteSetterLengths) {
  RefPtr<TreeNode> node = TreeNode::Make();
  const unsigned char data[] = {7, 8, 0, 9};
  node->SetBinary(data, 0xFFFFFFFFu);
  const unsigned char* bytes = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(node->GetBinary(bytes, length, holder));
  EXPECT_EQ(length, 2u);
  node->SetBinary(data, 0);
  ASSERT_TRUE(node->GetBinary(bytes, length, holder));
  EXPECT_EQ(length, 0u);
}

TEST(ValueAccess, SameKindSettersReuseTheBuffer) {
  RefPtr<TreeNode> node = StringNode("abcdefghij");
  const WChar* before = node->StringUnits().data;
  WText next = Wide("klmnopqrst");
  node->SetStringW(next.data(), 10);
  EXPECT_EQ(node->StringUnits().data, before);
  EXPECT_EQ(StringOf(*node), next);
  // Its own inner span is copied safely.
  node->SetStringW(node->StringUnits().data + 2, 3);
  EXPECT_EQ(StringOf(*node), Wide("mno"));
}

TEST(ValueAccess, KindChangeCopiesFromTheOldValueBeforeReleasingIt) {
  // The String's own characters handed to SetBinary: the old block must
  // outlive the copy.
  RefPtr<TreeNode> node = StringNode("wxyz0123456789");
  const WChar* chars = node->StringUnits().data;
  node->SetBinary(reinterpret_cast<const unsigned char*>(chars), 8);
  const unsigned char* bytes = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(node->GetBinary(bytes, length, holder));
  ASSERT_EQ(length, 8u);
  WText back(reinterpret_cast<const WChar*>(bytes), 4);
  EXPECT_EQ(back, Wide("wxyz"));
  // And the other way round.
  node->SetStringW(reinterpret_cast<const WChar*>(bytes), 4);
  EXPECT_EQ(StringOf(*node), Wide("wxyz"));
}

TEST(ValueAccess, NarrowSetterReadingTheNodesOwnCharacters) {
  RefPtr<TreeNode> node = StringNode("ab");
  // The UTF-16 bytes of "ab" read as narrow text: a, 0, b, 0.
  const char* own = reinterpret_cast<const char*>(node->StringUnits().data);
  node->SetStringA(own, 3, kCodePageUtf8);
  WText expected = Wide("a");
  expected.push_back(0);
  expected += Wide("b");
  EXPECT_EQ(StringOf(*node), expected);
}

TEST(ValueAccess, UnknownReferencesBalance) {
  CountingComObject object;
  {
    RefPtr<TreeNode> node = TreeNode::Make();
    node->SetUnknown(&object);
    node->SetUnknown(&object);
    EXPECT_EQ(object.references, 2);
    IUnknown* out = nullptr;
    ASSERT_TRUE(node->GetUnknown(out));
    EXPECT_EQ(out, static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.references, 3);
    // Reading again releases the reference the out-parameter held.
    ASSERT_TRUE(node->GetUnknown(out));
    EXPECT_EQ(object.references, 3);
    out->Release();
    node->SetEmpty();
    EXPECT_EQ(object.references, 1);
    node->SetUnknown(&object);
    node->SetInt(3);  // another kind releases it too
    EXPECT_EQ(object.references, 1);
    node->SetUnknown(&object);
  }
  EXPECT_EQ(object.references, 1);  // destruction released the node's reference
  EXPECT_EQ(object.queries, 0);
}

TEST(ValueAccess, SettingTheHeldObjectAgainNeverDropsItsLastReference) {
  CountingComObject object;
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetDispatch(&object);
  object.Release();  // the node now holds the only reference
  node->SetDispatch(&object);
  EXPECT_EQ(object.deaths, 0);
  EXPECT_EQ(object.references, 1);
  node->SetUnknown(&object);
  EXPECT_EQ(object.deaths, 0);
  node->SetEmpty();
  EXPECT_EQ(object.deaths, 1);
  EXPECT_EQ(object.references, 0);
}

TEST(ValueAccess, CrossKindComGettersAskTheObject) {
  CountingComObject object;
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetDispatch(&object);
  EXPECT_EQ(object.references, 2);
  IUnknown* unknown = nullptr;
  ASSERT_TRUE(node->GetUnknown(unknown));
  EXPECT_EQ(object.queries, 1);
  EXPECT_TRUE(object.lastQuery == IidUnknown());
  EXPECT_EQ(unknown, static_cast<IUnknown*>(&object));
  EXPECT_EQ(object.references, 3);
  unknown->Release();

  CountingComObject plain(false);
  node->SetUnknown(&plain);
  EXPECT_EQ(object.references, 1);
  IDispatch* dispatch = &object;
  object.AddRef();  // the reference the caller's out-parameter holds
  EXPECT_FALSE(node->GetDispatch(dispatch));
  EXPECT_TRUE(plain.lastQuery == IidDispatch());
  EXPECT_EQ(dispatch, nullptr);
  EXPECT_EQ(object.references, 1);  // the previous pointer was released
  EXPECT_EQ(plain.references, 2);
  node->SetEmpty();
  EXPECT_EQ(plain.references, 1);
}

TEST(ValueAccess, NullComValuesAreNeverCalledThrough) {
  RefPtr<TreeNode> node = TreeNode::Make();
  CountingComObject held;
  node->SetDispatch(nullptr);
  EXPECT_EQ(node->Type(), ValueType::Dispatch);
  IUnknown* unknown = &held;
  held.AddRef();
  ASSERT_TRUE(node->GetUnknown(unknown));
  EXPECT_EQ(unknown, nullptr);
  EXPECT_EQ(held.references, 1);
  node->SetUnknown(nullptr);
  IDispatch* dispatch = nullptr;
  ASSERT_TRUE(node->GetDispatch(dispatch));
  EXPECT_EQ(dispatch, nullptr);
  ASSERT_TRUE(node->GetUnknown(unknown));
  EXPECT_EQ(unknown, nullptr);
  node->SetEmpty();
  int i = 0;
  EXPECT_FALSE(node->GetUnknown(unknown));
  EXPECT_FALSE(node->GetInt(i));
}

TEST(ValueAccess, SharedPointerOwnership) {
  auto object = std::make_shared<int>(5);
  auto other = std::make_shared<int>(6);
  std::weak_ptr<int> watch = other;
  {
    RefPtr<TreeNode> node = TreeNode::Make();
    node->SetSharedPtr(object);
    EXPECT_EQ(object.use_count(), 2);
    node->SetSharedPtr(object);
    EXPECT_EQ(object.use_count(), 2);
    std::shared_ptr<void> out = std::move(other);
    ASSERT_TRUE(node->GetSharedPtr(out));
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(out.get(), object.get());
    EXPECT_EQ(object.use_count(), 3);
    out.reset();
    // Assigning the node's own pointer to it again.
    std::shared_ptr<void> same;
    ASSERT_TRUE(node->GetSharedPtr(same));
    node->SetSharedPtr(same);
    same.reset();
    EXPECT_EQ(object.use_count(), 2);
    node->SetInt(1);
    EXPECT_EQ(object.use_count(), 1);
    std::shared_ptr<void> untouched = object;
    EXPECT_FALSE(node->GetSharedPtr(untouched));
    EXPECT_EQ(untouched.get(), object.get());
    untouched.reset();
    node->SetSharedPtr(object);
  }
  EXPECT_EQ(object.use_count(), 1);
}

TEST(ValueAccess, ConvertedTextReplacesTheHoldersBuffer) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetInt(-7);
  bool destroyed = false;
  RefPtr<XInRes> holder(new TracedResult(destroyed), adopt_ref);
  const WChar* text = nullptr;
  unsigned length = 0;
  ASSERT_TRUE(node->GetStringW(text, length, holder));
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(WText(text, length), Wide("-7"));
  // Kinds without a text form leave everything alone.
  XInRes* kept = holder.get();
  std::shared_ptr<void> shared = std::make_shared<int>(1);
  node->SetSharedPtr(shared);
  EXPECT_FALSE(node->GetStringW(text, length, holder));
  EXPECT_EQ(holder.get(), kept);
  EXPECT_EQ(WText(text, length), Wide("-7"));
}

}  // namespace
}  // namespace kelmo

namespace kelmo {
namespace {

// A deleter that looks at the node whose value it is being released from.
TEST(ValueAccess, ReleasedValueSeesItsNodeAlreadyEmpty) {
  RefPtr<TreeNode> node = TreeNode::Make();
  int typeSeenByDeleter = -1;
  TreeNode* raw = node.get();
  node->SetSharedPtr(std::shared_ptr<void>(new int(3), [&](void* p) {
    typeSeenByDeleter = raw->GetType();
    std::shared_ptr<void> probe;
    EXPECT_FALSE(raw->GetSharedPtr(probe));
    delete static_cast<int*>(p);
  }));
  node->SetInt(4);
  EXPECT_EQ(typeSeenByDeleter, 0);
  int value = 0;
  EXPECT_TRUE(node->GetInt(value));
  EXPECT_EQ(value, 4);
}

}  // namespace
}  // namespace kelmo
