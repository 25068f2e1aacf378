// Characters that the target encoding cannot carry: in text and attribute
// values they are written as character references and read back the same;
// in names and CDATA sections they make the save fail without touching the
// file.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>

#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "support/system_code_pages.h"
#include "support/tree_outline.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::NodeKind;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::Outline;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;

namespace {

// A string of letters from many scripts, markup characters and characters
// beyond the Basic Multilingual Plane; it starts and ends with a letter so
// that no blank is trimmed by the reader.
std::u16string RandomText(std::mt19937& random) {
  static const char32_t kRanges[][2] = {
      {'a', 'z'},         {0x00C0, 0x00FF}, {0x0410, 0x044F}, {0x0391, 0x03C9},
      {0x05D0, 0x05EA},   {0x4E00, 0x4E60}, {0x3041, 0x3093}, {0xAC00, 0xAC40},
      {0x1F600, 0x1F64F}, {0x20000, 0x20020}, {'&', '&'},     {'<', '<'},
      {'"', '"'},         {' ', ' '},       {0x20AC, 0x20AC}, {0xFF61, 0xFF9F},
  };
  std::u16string text = u"x";
  const int length = std::uniform_int_distribution<int>(0, 12)(random);
  for (int i = 0; i < length; ++i) {
    const auto& range = kRanges[std::uniform_int_distribution<size_t>(0, std::size(kRanges) - 1)(random)];
    const char32_t c = std::uniform_int_distribution<char32_t>(range[0], range[1])(random);
    if (c > 0xFFFF) {
      text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      text += static_cast<char16_t>(c);
    }
  }
  return text + u"y";
}

class UnencodableTest : public ::testing::TestWithParam<const char*> {
 protected:
  RefPtr<Kelmo> Element(const RefPtr<Kelmo>& parent, const char16_t* name, NodeKind kind) {
    RefPtr<Kelmo> node = m->CreateNodeW(W(name), kelmo::kWholeText);
    node->SetKind(static_cast<char>(kind));
    parent->AppendChild(node);
    return node;
  }

  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
};

// The table's twenty names (the empty one meaning the default, UTF-8).
const char* const kTableNames[] = {
    "",         "utf-8",      "utf8",       "utf-16le", "utf16le",        "utf-16",   "utf16",
    "unicode",  "utf-16be",   "utf16be",    "unicodefffe", "gb2312",      "gbk",      "x-cp20936",
    "hz-gb-2312", "gb18030",  "big5",       "shift_jis", "ks_c_5601-1987", "us-ascii",
};

TEST_P(UnencodableTest, RandomTextAndValuesReadBackIdentically) {
  const char* encoding = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(kelmo_test::CodePageOfEncoding(encoding));
  std::mt19937 random(20261207);
  ScratchDir dir;
  const std::string path = dir.File("random.xml").string();
  for (int round = 0; round < 20; ++round) {
    RefPtr<Kelmo> root = m->CreateNodeW(nullptr, 0);
    RefPtr<Kelmo> doc = Element(root, u"doc", NodeKind::Element);
    // Attributes first: the writer puts them before the child elements.
    for (const char16_t* name : {u"a", u"b", u"c"})
      Element(doc, name, NodeKind::Attribute)->SetStringW(W(RandomText(random)), kelmo::kWholeText);
    for (int i = 0; i < 4; ++i) {
      RefPtr<Kelmo> item = Element(doc, u"item", NodeKind::Element);
      const std::u16string text = RandomText(random);
      item->SetStringW(W(text), static_cast<unsigned>(text.size()));
    }
    ASSERT_TRUE(t->SaveFileA(root, path.c_str(), " ", "\n", encoding, 65001)) << "round " << round;
    RefPtr<KelmoParser> parser = m->CreateParser();
    ASSERT_TRUE(parser->ParseFileA(path.c_str())) << "error " << parser->GetErrorCode();
    ASSERT_EQ(Outline(parser->GetRoot()), Outline(root)) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(TableEncodings, UnencodableTest, ::testing::ValuesIn(kTableNames),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = *info.param ? info.param : "default";
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// Names and CDATA sections cannot use references: the save fails and the
// old file stays byte for byte; ToXmlA fails; text values become references.
TEST(Unencodable, NamesAndSectionsAreRefusedTextBecomesReferences) {
  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  ScratchDir dir;
  const std::string path = dir.File("kept.xml").string();
  WriteBytes(path, "old bytes");
  const struct {
    const char16_t* name;
    int kind;
  } refusals[] = {{u"\u4E2D", 0}, {u"cdata", 1}};
  for (const auto& refusal : refusals) {
    RefPtr<Kelmo> root = m->CreateNodeW(nullptr, 0);
    RefPtr<Kelmo> node = m->CreateNodeW(W(refusal.name), kelmo::kWholeText);
    node->SetKind(static_cast<char>(refusal.kind));
    node->SetStringW(W(u"caf\u00E9 \u4E2D"), kelmo::kWholeText);
    root->AppendChild(node);
    EXPECT_FALSE(t->SaveFileA(root, path.c_str(), "", "", "us-ascii", 65001));
    EXPECT_FALSE(t->SaveFileA(root, path.c_str(), "", "", "iso-8859-1", 65001));
    EXPECT_EQ(ReadBytes(path), "old bytes");
    RefPtr<XInRes> holder;
    unsigned int length = 99;
    t->ToXmlA(root, &length, "", "", 20127, holder);
    EXPECT_EQ(length, 0u);
  }
  EXPECT_FALSE(t->SaveFileA(m->CreateNodeW(nullptr, 0), path.c_str(), "", "", "no-such-encoding", 65001));
  EXPECT_EQ(ReadBytes(path), "old bytes");
  EXPECT_FALSE(t->SaveFileA(m->CreateNodeW(nullptr, 0), dir.File("new.xml").string().c_str(), "", "",
                            "no-such-encoding", 65001));
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.xml")));

  RefPtr<KelmoParser> parser = m->CreateParser();
  const std::u16string xml = u"<a b=\"\u00E9\U0001F600\">\u4E2D&amp;</a>";
  ASSERT_TRUE(parser->ParseStringW(W(xml), static_cast<unsigned>(xml.size())));
  RefPtr<XInRes> holder;
  unsigned int length = 0;
  const char* text = t->ToXmlA(parser->GetRoot(), &length, "", "", 20127, holder);
  EXPECT_EQ(std::string(text, length), "<a b=\"&#xe9;&#x1f600;\">&#x4e2d;&amp;</a>");
  // Display conversions of a single value keep their replacement character.
  const char* narrow = nullptr;
  unsigned int narrowLength = 0;
  RefPtr<XInRes> valueHolder;
  ASSERT_TRUE(parser->GetRoot()->GetFirstChild()->GetStringA(narrow, narrowLength, 20127, valueHolder));
  EXPECT_EQ(std::string(narrow, narrowLength), "?&");
}

}  // namespace
