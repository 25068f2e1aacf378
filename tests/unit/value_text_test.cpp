#include "tree/value_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "tree/blob_buf.h"
#include "tree/tree_node.h"
#include "tree/number_parse.h"

namespace kelmo {
namespace {

using WText = std::basic_string<WChar>;

WText Wide(const std::string& ascii) { return WText(ascii.begin(), ascii.end()); }

struct Texts {
  bool wideOk = false;
  bool narrowOk = false;
  WText wide;
  std::string narrow;
};

// Reads the node's value through both string getters.
Texts Read(TreeNode& node) {
  Texts result;
  const WChar* w = nullptr;
  const char* a = nullptr;
  unsigned wl = 0, al = 0;
  RefPtr<XInRes> wh, ah;
  result.wideOk = node.GetStringW(w, wl, wh);
  result.narrowOk = node.GetStringA(a, al, kCodePageUtf8, ah);
  if (result.wideOk) {
    result.wide.assign(w, wl);
    EXPECT_EQ(w[wl], 0) << "wide text is zero-terminated";
  }
  if (result.narrowOk) {
    result.narrow.assign(a, al);
    EXPECT_EQ(a[al], 0) << "narrow text is zero-terminated";
  }
  return result;
}

TEST(ValueText, NumbersTable) {
  struct Case {
    std::function<void(TreeNode&)> set;
    const char* text;
  } cases[] = {
      {[](TreeNode& n) { n.SetChar(static_cast<char>(-128)); }, "-128"},
      {[](TreeNode& n) { n.SetChar(127); }, "127"},
      {[](TreeNode& n) { n.SetUChar(255); }, "255"},
      {[](TreeNode& n) { n.SetShort(-32768); }, "-32768"},
      {[](TreeNode& n) { n.SetUShort(65535); }, "65535"},
      {[](TreeNode& n) { n.SetInt(INT32_MIN); }, "-2147483648"},
      {[](TreeNode& n) { n.SetLong(INT32_MIN); }, "-2147483648"},
      {[](TreeNode& n) { n.SetUInt(4294967295u); }, "4294967295"},
      {[](TreeNode& n) { n.SetULong(4294967295u); }, "4294967295"},
      {[](TreeNode& n) { n.SetInt64(INT64_MIN); }, "-9223372036854775808"},
      {[](TreeNode& n) { n.SetUInt64(UINT64_MAX); }, "18446744073709551615"},
      {[](TreeNode& n) { n.SetInt64(0); }, "0"},
      {[](TreeNode& n) { n.SetDouble(-0.5); }, "-0.5"},
      {[](TreeNode& n) { n.SetDouble(123456.789); }, "123456.789"},
      {[](TreeNode& n) { n.SetLongDouble(2.5L); }, "2.5"},
      {[](TreeNode& n) { n.SetFloat(3.14159f); }, "3.14159"},
      {[](TreeNode& n) { n.SetLongDouble(1.0L / 3); }, "0.3333333333333333"},
      {[](TreeNode& n) { n.SetDouble(5e9); }, "5000000000"},
      {[](TreeNode& n) { n.SetDouble(std::numeric_limits<double>::infinity()); }, "inf"},
      {[](TreeNode& n) { n.SetBool(true); }, "1"},
      {[](TreeNode& n) { n.SetBool(false); }, "0"},
  };
  for (const Case& c : cases) {
    RefPtr<TreeNode> node = TreeNode::Make();
    c.set(*node);
    Texts texts = Read(*node);
    ASSERT_TRUE(texts.wideOk) << c.text;
    ASSERT_TRUE(texts.narrowOk) << c.text;
    EXPECT_EQ(texts.narrow, c.text);
    EXPECT_EQ(texts.wide, Wide(c.text)) << c.text;
  }
}

TEST(ValueText, KindsWithoutTextFormLeaveEverythingAlone) {
  RefPtr<TreeNode> node = TreeNode::Make();
  std::shared_ptr<void> shared = std::make_shared<int>(3);
  std::function<void()> setters[] = {
      [&] { node->SetEmpty(); },
      [&] { node->SetSharedPtr(shared); },
      [&] { node->SetUnknown(nullptr); },
      [&] { node->SetDispatch(nullptr); },
  };
  for (auto& set : setters) {
    set();
    RefPtr<XInRes> holder;
    const WChar* w = reinterpret_cast<const WChar*>(&holder);
    const char* a = reinterpret_cast<const char*>(&holder);
    unsigned length = 77;
    EXPECT_FALSE(node->GetStringW(w, length, holder));
    EXPECT_FALSE(node->GetStringA(a, length, kCodePageUtf8, holder));
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(w, reinterpret_cast<const WChar*>(&holder));
  }
}

TEST(ValueText, BoolTextIsAConstantFromTheStoredByte) {
  unsigned char storage[16] = {2};
  RefPtr<XInRes> holder;
  XInRes* sentinel = nullptr;
  {
    RefPtr<TreeNode> other = TreeNode::Make();
    other->SetInt(1);
    const WChar* t = nullptr;
    unsigned l = 0;
    ASSERT_TRUE(other->GetStringW(t, l, holder));
    sentinel = holder.get();
  }
  const WChar* wide = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(ValueToStringW(ValueType::Bool, storage, wide, length, holder));
  EXPECT_EQ(WText(wide, length), Wide("1"));
  EXPECT_EQ(holder.get(), sentinel);
  const char* narrow = nullptr;
  storage[0] = 0;
  ASSERT_TRUE(ValueToStringA(ValueType::Bool, storage, narrow, length, holder));
  EXPECT_EQ(std::string(narrow, length), "0");
  EXPECT_EQ(holder.get(), sentinel);
}

TEST(ValueText, BinaryAsBase64) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetBinary(nullptr, 0);
  RefPtr<XInRes> holder;
  const WChar* wide = nullptr;
  unsigned length = 9;
  ASSERT_TRUE(node->GetStringW(wide, length, holder));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(holder, nullptr);

  const unsigned char one = 0xFF;
  node->SetBinary(&one, 1);
  Texts texts = Read(*node);
  EXPECT_EQ(texts.narrow, "/w==");
  EXPECT_EQ(texts.wide, Wide("/w=="));

  const unsigned char abc[] = {'A', 'B', 'C', 'D'};
  node->SetBinary(abc, 4);
  EXPECT_EQ(Read(*node).narrow, "QUJDRA==");
}

TEST(ValueText, PointerHoldsTheWholeAddress) {
  const size_t expectedLength = 2 + 2 * sizeof(void*);
  int a = 0;
  void* addresses[] = {nullptr, &a, reinterpret_cast<void*>(uintptr_t(0x12ab34cd)),
                       reinterpret_cast<void*>(~uintptr_t(0))};
  for (void* address : addresses) {
    RefPtr<TreeNode> node = TreeNode::Make();
    node->SetPointer(address);
    Texts texts = Read(*node);
    ASSERT_TRUE(texts.wideOk);
    ASSERT_EQ(texts.narrow.size(), expectedLength);
    EXPECT_EQ(texts.narrow.substr(0, 2), "0x");
    EXPECT_EQ(texts.wide, Wide(texts.narrow));
    for (char c : texts.narrow.substr(2))
      EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << texts.narrow;
    uint64_t parsed = 0;
    ASSERT_TRUE(ParseInteger(texts.wide.data(), texts.wide.data() + texts.wide.size(), 64,
                             parsed));
    EXPECT_EQ(parsed, reinterpret_cast<uintptr_t>(address)) << texts.narrow;
  }
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetPointer(reinterpret_cast<void*>(uintptr_t(0x12ab34cd)));
  std::string expected = "0x" + std::string(2 * sizeof(void*) - 8, '0') + "12ab34cd";
  EXPECT_EQ(Read(*node).narrow, expected);
}

}  // namespace
}  // namespace kelmo
