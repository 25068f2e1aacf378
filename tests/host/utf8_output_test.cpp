// XML text in UTF-8 (ToXmlA with code page 65001, files saved as UTF-8) is
// written as bytes directly. It must be exactly the wide text of the same
// tree converted as a whole: surrogate pairs, unpaired halves in text,
// pairs that only form across the indent and newline strings, escapes,
// sections, and the empty result that leaves the holder alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "support/utf8_reference.h"

using kelmo::Kelmo;
using kelmo::KelmoTraversal;
using kelmo::NodeKind;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::Utf8Of;
using kelmo_test::W;

namespace {

class Utf8OutputTest : public ::testing::Test {
 protected:
  RefPtr<Kelmo> Add(const RefPtr<Kelmo>& parent, const std::u16string& name,
                    NodeKind kind = NodeKind::Element) {
    RefPtr<Kelmo> child = m->CreateNodeW(W(name), static_cast<unsigned int>(name.size()));
    child->SetKind(static_cast<char>(kind));
    if (parent) parent->AppendChild(child);
    return child;
  }
  void SetText(const RefPtr<Kelmo>& node, const std::u16string& text) {
    node->SetStringW(W(text), static_cast<unsigned int>(text.size()));
  }

  // Names and values that put every kind of unit next to markup, escapes
  // and run boundaries.
  RefPtr<Kelmo> TrickyTree() {
    RefPtr<Kelmo> root = Add(nullptr, u"r\u00E9sum\u00E9");
    SetText(Add(root, u"pair", NodeKind::Attribute), u"\U0001F600 & \u4E2D \"q\" 'a'");
    SetText(Add(root, u"lone", NodeKind::Attribute), u"x\xD83D");
    SetText(Add(root, u"low", NodeKind::Attribute), u"\xDE00y");
    Add(root, u"n\xD83D\xDE00", NodeKind::Attribute);
    SetText(Add(root, u"ctl", NodeKind::Attribute), u"a\x01\tb\nc\rd\x1B");
    SetText(Add(root, u"text"), u"<tag> \U0001F600\U0001F601 \xDBFF\xDFFF end");
    SetText(Add(root, u"long"), std::u16string(40, u'a') + u"\u00E9" + std::u16string(40, u'b') +
                                    u"\U00010348" + std::u16string(33, u'c'));
    SetText(Add(root, u"half"), u"\xD800");
    SetText(Add(root, u"cd", NodeKind::CData), u"raw <x> \U0001F600");
    SetText(Add(root, u"cdend", NodeKind::CData), u"a]]>b\u4E2D");
    Add(root, u"number")->SetInt(-42);
    RefPtr<Kelmo> nested = Add(root, u"\u4E2D\u6587");
    SetText(nested, u"\u00E9\xD83D");
    SetText(Add(nested, u"k", NodeKind::Attribute), u"\xDC00");
    Add(Add(nested, u""), u"inner\U0001F600");
    return root;
  }

  std::u16string ToXmlW(const RefPtr<Kelmo>& node, const std::u16string& unit,
                        const std::u16string& newline) {
    RefPtr<XInRes> holder;
    unsigned int length = 0;
    const kelmo::WChar* text = traversal->ToXmlW(node, &length, W(unit), W(newline), holder);
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
  }

  std::string ToXmlA(const RefPtr<Kelmo>& node, const std::string& unit, const std::string& newline,
                     RefPtr<XInRes>& holder) {
    unsigned int length = 12345;
    const char* text =
        traversal->ToXmlA(node, &length, unit.c_str(), newline.c_str(), kelmo::kCodePageUtf8, holder);
    return std::string(text, length);
  }

  ModuleScope m;
  RefPtr<KelmoTraversal> traversal = m->CreateTraversal();
};

TEST_F(Utf8OutputTest, TextEqualsTheWideTextConverted) {
  const RefPtr<Kelmo> root = TrickyTree();
  const struct {
    std::u16string unit;
    std::u16string newline;
  } layouts[] = {{u"  ", u"\n"}, {u"", u""}, {u"\t", u"\r\n"}, {u" \t", u"\r"}};
  for (const auto& layout : layouts) {
    RefPtr<XInRes> holder;
    const std::string narrow =
        ToXmlA(root, Utf8Of(layout.unit), Utf8Of(layout.newline), holder);
    EXPECT_EQ(narrow, Utf8Of(ToXmlW(root, layout.unit, layout.newline)))
        << "unit of " << layout.unit.size() << " units, newline of " << layout.newline.size();
    EXPECT_TRUE(holder);
  }
}

TEST_F(Utf8OutputTest, LargeRandomTreeEqualsTheWideTextConverted) {
  std::mt19937 random(7);
  const char16_t pool[] = {u'a', u'z', u'&', u'<', u'"', u'\n', u'\x01', 0x00E9, 0x4E2D,
                           0xD83D, 0xDE00, 0xFFFF, u' '};
  auto text = [&](size_t maxLength) {
    std::u16string s;
    const size_t length = random() % (maxLength + 1);
    for (size_t i = 0; i < length; ++i) s += pool[random() % (sizeof pool / sizeof pool[0])];
    return s;
  };
  const RefPtr<Kelmo> root = Add(nullptr, u"root");
  RefPtr<Kelmo> parent = root;
  for (int i = 0; i < 3000; ++i) {
    const NodeKind kind = static_cast<NodeKind>(random() % 3);
    RefPtr<Kelmo> node = Add(parent, i % 2 ? u"n\x4E2D" : u"n\xD83D\xDE00", kind);
    if (random() % 4) SetText(node, text(i % 50 == 0 ? 300 : 20));
    if (kind == NodeKind::Element && random() % 3 == 0) parent = node;
    if (random() % 7 == 0 && parent->GetParent()) parent = parent->GetParent();
  }
  RefPtr<XInRes> holder;
  EXPECT_EQ(ToXmlA(root, "  ", "\n", holder), Utf8Of(ToXmlW(root, u"  ", u"\n")));
}

TEST_F(Utf8OutputTest, EmptyTextLeavesTheHolderAlone) {
  RefPtr<XInRes> holder;
  const std::string first = ToXmlA(TrickyTree(), " ", "\n", holder);
  ASSERT_FALSE(first.empty());
  XInRes* kept = holder.get();
  // A nameless node without children writes nothing.
  EXPECT_EQ(ToXmlA(Add(nullptr, u""), " ", "\n", holder), "");
  EXPECT_EQ(holder.get(), kept);
}

// Saving takes the indent unit and newline as wide text, so a pair can form
// only across them: a newline ending in a high half followed by an indent
// starting with a low half.
TEST_F(Utf8OutputTest, SavedFileEqualsTheWideTextConverted) {
  ScratchDir dir;
  const RefPtr<Kelmo> root = TrickyTree();
  const struct {
    const char16_t* encoding;
    std::u16string declared;
  } encodings[] = {{nullptr, u"utf-8"}, {u"", u"utf-8"}, {u"UTF-8", u"UTF-8"}, {u"utf8", u"utf8"}};
  const struct {
    std::u16string unit;
    std::u16string newline;
  } layouts[] = {{u"  ", u"\n"}, {u"\t", u"\r\n"}, {u"", u""}};
  for (const auto& encoding : encodings) {
    for (const auto& layout : layouts) {
      const auto file = dir.File("out.xml");
      const std::u16string path = file.u16string();
      ASSERT_TRUE(traversal->SaveFileW(root, W(path), W(layout.unit), W(layout.newline),
                                       encoding.encoding ? W(encoding.encoding) : nullptr));
      const std::u16string wide = u"<?xml version=\"1.0\" encoding=\"" + encoding.declared +
                                  u"\"?>" + layout.newline +
                                  ToXmlW(root, layout.unit, layout.newline);
      EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF" + Utf8Of(wide))
          << "unit of " << layout.unit.size() << " units, newline of " << layout.newline.size();
    }
  }
}

// A name cannot hold a reference, and UTF-8 has no form for a surrogate half
// outside a pair: such a name fails the UTF-8 text and save rather than
// turning into U+FFFD. Wide text keeps the half as it is.
TEST_F(Utf8OutputTest, NameWithAnUnpairedHalfIsRefusedInUtf8) {
  ScratchDir dir;
  for (const std::u16string name : {u"n\xD83D", u"\xDE00" u"n", u"a\xDE00\xD83D"}) {
    const RefPtr<Kelmo> root = Add(nullptr, u"r");
    Add(root, name, NodeKind::Attribute);
    EXPECT_EQ(ToXmlW(root, u"", u""), u"<r " + name + u"=\"\"/>");
    RefPtr<XInRes> holder;
    EXPECT_EQ(ToXmlA(root, "", "", holder), "");
    const auto file = dir.File("named.xml");
    EXPECT_FALSE(traversal->SaveFileW(root, W(file.u16string()), W(u""), W(u""), nullptr));
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

}  // namespace
