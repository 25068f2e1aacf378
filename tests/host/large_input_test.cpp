// Inputs far larger than usual through every interface: a value of a
// hundred megabytes, a million attributes, a million levels.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "host/child_process.h"
#include "host/bad_input.h"
#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "support/com_names.h"
#include "support/counting_com_object.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::StringOf;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;
using namespace kelmo_test::bad_input;

namespace {

// --- Very large inputs ---

TEST(BadInput, HundredMegabyteValue) {
  ScratchDir dir;
  ModuleScope m;
  constexpr unsigned kUnits = 50u * 1024 * 1024;  // 100 MB of UTF-16
  std::u16string value(kUnits, u'x');
  value[0] = u'<';  // escaped on output
  value[kUnits - 1] = u'\u00e9';
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"big"), kWhole);
  node->SetStringW(W(value), kUnits);
  g_badInputs += 3;
  {
    const kelmo::WChar* text = nullptr;
    unsigned length = 0;
    RefPtr<XInRes> holder;
    ASSERT_TRUE(node->GetStringW(text, length, holder));
    EXPECT_EQ(length, kUnits);
    EXPECT_EQ(text[kUnits], 0);
  }
  // Saved, read back and compared.
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  const std::string path = dir.File("big.xml").string();
  ASSERT_TRUE(t->SaveFileA(node, path.c_str(), nullptr, nullptr, nullptr, kUtf8));
  node = nullptr;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseFileA(path.c_str())) << p->GetErrorCode();
  RefPtr<Kelmo> back = p->DetachRoot()->GetFirstChild();
  p = nullptr;
  EXPECT_TRUE(StringOf(back) == value);
}

TEST(BadInput, MillionAttributesOnOneElement) {
  ModuleScope m;
  constexpr unsigned kCount = 1000000;
  std::u16string xml = u"<e";
  xml.reserve(kCount * 12);
  for (unsigned i = 0; i < kCount; ++i) {
    xml += u" a";
    const std::string digits = std::to_string(i % 1000);
    xml.append(digits.begin(), digits.end());
    xml += u"=\"";
    xml.push_back(static_cast<char16_t>(u'0' + (i / 1000) % 10));
    xml += u"\"";
  }
  xml += u"/>";
  g_badInputs += 3;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())));
  RefPtr<Kelmo> e = p->DetachRoot()->GetFirstChild();
  p = nullptr;
  ASSERT_EQ(e->GetChildCount(), kCount);
  EXPECT_EQ(e->GetLastChild()->GetKind(), int(kelmo::NodeKind::Attribute));
  EXPECT_EQ(StringOf(e->GetLastChild()), u"9");
  // Duplicate names are kept; lookups find the n-th of a thousand.
  e->BuildNameIndex();
  EXPECT_EQ(StringOf(e->FindChildW(W(u"a7"), kWhole, 0)), u"0");
  EXPECT_EQ(StringOf(e->FindChildW(W(u"a7"), kWhole, 123)), u"3");
  EXPECT_EQ(StringOf(e->FindChildW(W(u"a7"), kWhole, 999)), u"9");
  EXPECT_EQ(StringOf(e->FindLastChildW(W(u"a7"), kWhole, 1)), u"8");
  EXPECT_EQ(e->FindChildW(W(u"a7"), kWhole, 1000), nullptr);

  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  RefPtr<XInRes> holder;
  unsigned length = 0;
  const kelmo::WChar* text = t->ToXmlW(e, &length, nullptr, nullptr, holder);
  EXPECT_EQ(length, xml.size());
  EXPECT_TRUE(Text(text, length) == xml);
  RefPtr<Kelmo> copy = e->Clone();
  EXPECT_EQ(copy->GetChildCount(), kCount);
  e->RemoveAllChildren();
  EXPECT_EQ(e->GetChildCount(), 0u);
  EXPECT_EQ(copy->GetChildCount(), kCount);
}

TEST(BadInput, MillionLevelsThroughBytesCloneAndLookups) {
  ModuleScope m;
  constexpr size_t kDepth = 1000000;
  std::string xml;
  xml.reserve(kDepth * 9);
  for (size_t i = 0; i < kDepth; ++i) xml += "<d a=\"1\">";  // left open
  g_badInputs += 2;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_FALSE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                              static_cast<unsigned>(xml.size())));
  EXPECT_EQ(p->GetErrorCode(), 13u);  // left open: cut short, the tree stays
  RefPtr<Kelmo> top = p->DetachRoot()->GetFirstChild();
  p = nullptr;
  RefPtr<Kelmo> copy = top->Clone();
  // Down the copy by lookups; each level holds its attribute, then the next.
  RefPtr<Kelmo> node = copy;
  size_t depth = 1;
  while (RefPtr<Kelmo> next = node->FindLastChildW(W(u"d"), kWhole, 0)) {
    node = next;
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(StringOf(node->FindChildW(W(u"a"), kWhole, 0)), u"1");
  // Parent links hold no reference: dropping the copy's top frees the whole
  // chain above the bottom node, which the caller still holds.
  copy = nullptr;
  EXPECT_EQ(node->GetParent(), nullptr);
  EXPECT_EQ(node->GetChildCount(), 1u);
  top = nullptr;
}

}  // namespace
