// Trees read from XML, written out as text or saved in each known encoding,
// and read again come back equal; typed values come back through their
// getters.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <random>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "support/system_code_pages.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::NodeKind;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::ScratchDir;
using kelmo_test::StringOf;
using kelmo_test::U16;
using kelmo_test::W;

namespace {

// Compares names, kinds, values as text and child order, level by level
// without recursion. Returns an empty text when equal, else where they differ.
std::string Difference(const RefPtr<Kelmo>& expected, const RefPtr<Kelmo>& actual) {
  std::vector<std::pair<RefPtr<Kelmo>, RefPtr<Kelmo>>> pending{{expected, actual}};
  while (!pending.empty()) {
    auto [a, b] = std::move(pending.back());
    pending.pop_back();
    if (!a || !b) return "missing node";
    std::string where = "at node '";
    for (char16_t ch : NameOf(a)) where += ch < 128 ? static_cast<char>(ch) : '?';
    where += "'";
    if (NameOf(a) != NameOf(b)) return "name differs " + where;
    if (kelmo_test::KindAfterWriting(a) != b->GetKind())
      return "kind " + std::to_string(a->GetKind()) + " vs " + std::to_string(b->GetKind()) + " " +
             where;
    if (StringOf(a) != StringOf(b)) return "value differs " + where;
    if (a->GetChildCount() != b->GetChildCount()) return "child count differs " + where;
    RefPtr<Kelmo> x = a->GetFirstChild(), y = b->GetFirstChild();
    for (; x; x = x->GetNextSibling(), y = y->GetNextSibling()) pending.emplace_back(x, y);
  }
  return "";
}

class RoundTripTest : public ::testing::Test {
 protected:
  RefPtr<Kelmo> Parse(const std::u16string& xml) {
    RefPtr<KelmoParser> parser = m->CreateParser();
    EXPECT_TRUE(parser->ParseStringW(W(xml), static_cast<unsigned>(xml.size())))
        << "error " << parser->GetErrorCode() << " at offset " << parser->GetErrorOffset();
    return parser->DetachRoot();
  }

  std::u16string ToXml(const RefPtr<Kelmo>& node, const char16_t* unit, const char16_t* newline) {
    RefPtr<XInRes> holder;
    unsigned int length = 0;
    const kelmo::WChar* text =
        t->ToXmlW(node, &length, reinterpret_cast<const kelmo::WChar*>(unit),
                  reinterpret_cast<const kelmo::WChar*>(newline), holder);
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
  }

  // Written as wide text and read back.
  RefPtr<Kelmo> ThroughText(const RefPtr<Kelmo>& tree, const char16_t* unit = u"  ",
                            const char16_t* newline = u"\n") {
    return Parse(ToXml(tree, unit, newline));
  }

  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
};

// A document exercising attributes, text with references, CDATA, empty
// elements and nesting; `sample` is text in the encoding under test.
std::u16string Document(const std::u16string& sample) {
  return u"<?xml version=\"1.0\"?>\n"
         u"<root id=\"7\" text=\"" + sample + u"\" spaced=\"  a\tb  \" broken=\"x&#xa;y&#xd;z\" "
         u"quotes='say \"hi\" &amp; &apos;bye&apos;'>\n"
         u"  <item>" + sample + u"</item>\n"
         u"  <escaped>a &lt;b&gt; &amp; c&#xa;d&#x1;</escaped>\n"
         u"  <raw><![CDATA[" + sample + u" <not markup> & ]] ]>\n second line]]></raw>\n"
         u"  <empty/>\n"
         u"  <emptyCData><![CDATA[]]></emptyCData>\n"
         u"  <list count=\"2\">first\n"
         u"    <" + sample.substr(0, 1) + u"x a=\"\"/>\n"
         u"    <n>-12.5</n>\n"
         u"  </list>\n"
         u"</root>\n"
         u"<second/>\n";
}

TEST_F(RoundTripTest, TextWrittenAndReadAgainGivesAnEqualTree) {
  const std::u16string sample = U16("caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80");
  RefPtr<Kelmo> original = Parse(Document(sample));
  ASSERT_EQ(original->GetChildCount(), 2u);
  const std::pair<const char16_t*, const char16_t*> layouts[] = {
      {u"  ", u"\n"}, {nullptr, nullptr}, {u"\t", u"\r\n"}};
  for (const auto& layout : layouts) {
    EXPECT_EQ(Difference(original, ThroughText(original, layout.first, layout.second)), "");
  }
}

TEST_F(RoundTripTest, NarrowTextInUtf8ReadsBackEqual) {
  RefPtr<Kelmo> original = Parse(Document(U16("\xC3\xBC\xE6\x97\xA5")));
  RefPtr<XInRes> holder;
  unsigned int length = 0;
  const char* text = t->ToXmlA(original, &length, " ", "\n", 65001, holder);
  RefPtr<KelmoParser> parser = m->CreateParser();
  ASSERT_TRUE(parser->ParseStringA(text, length, 65001));
  EXPECT_EQ(Difference(original, parser->GetRoot()), "");
}

struct EncodingCase {
  const char* name;  // null: no encoding name given
  const char* sampleUtf8;
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << (c.name ? c.name : "(none)"); }

// Each known encoding name with text its characters can carry.
const EncodingCase kEncodings[] = {
    {nullptr, "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
    {"utf-8", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
    {"UTF8", "\xC3\xA9\xE4\xB8\xAD"},
    {"utf-16le", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
    {"utf16le", "\xD0\x96\xE4\xB8\xAD"},
    {"UTF-16", "\xC3\xA9\xF0\x9F\x98\x80"},
    {"utf16", "\xCE\xA9\xE4\xB8\xAD"},
    {"Unicode", "\xC3\xA9\xE4\xB8\xAD"},
    {"UTF-16BE", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
    {"utf16be", "\xC3\xA9\xE4\xB8\xAD"},
    {"unicodeFFFE", "\xC3\xA9\xE4\xB8\xAD"},
    {"GB2312", "\xE4\xB8\xAD\xE6\x96\x87\xE5\x8F\x82\xE6\x95\xB0"},          // 中文参数
    {"gbk", "\xE4\xB8\xAD\xE6\x96\x87\xE5\x8F\x82\xE6\x95\xB0\xE9\xBE\x98"},  // ... 龘
    {"x-cp20936", "\xE4\xB8\xAD\xE6\x96\x87\xE5\x8F\x82\xE6\x95\xB0"},
    {"hz-gb-2312", "\xE4\xB8\xAD\xE6\x96\x87 ~ \xE5\x8F\x82\xE6\x95\xB0"},
    {"GB18030", "\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80"},
    {"big5", "\xE4\xB8\xAD\xE6\x96\x87\xE5\x8F\x83\xE6\x95\xB8"},  // 中文參數
    {"Shift_JIS", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88"},
    {"ks_c_5601-1987", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},  // 한국어
    {"us-ascii", "plain ASCII text"},
};

class EncodingRoundTrip : public RoundTripTest,
                          public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingRoundTrip, SavedFileReadsBackEqual) {
  const EncodingCase& c = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(kelmo_test::CodePageOfEncoding(c.name ? c.name : ""));
  RefPtr<Kelmo> original = Parse(Document(U16(c.sampleUtf8)));
  ScratchDir dir;
  const std::u16string encoding = c.name ? U16(c.name) : u"";
  const std::u16string wide = dir.File("w.xml").u16string();
  ASSERT_TRUE(t->SaveFileW(original, W(wide), W(u"  "), W(u"\n"), c.name ? W(encoding) : nullptr));
  RefPtr<KelmoParser> parser = m->CreateParser();
  ASSERT_TRUE(parser->ParseFileW(W(wide))) << "error " << parser->GetErrorCode();
  EXPECT_EQ(Difference(original, parser->GetRoot()), "");

  const std::string narrow = dir.File("a.xml").string();
  ASSERT_TRUE(t->SaveFileA(original, narrow.c_str(), "\t", "\r\n", c.name, 65001));
  ASSERT_TRUE(parser->ParseFileA(narrow.c_str())) << "error " << parser->GetErrorCode();
  EXPECT_EQ(Difference(original, parser->GetRoot()), "");
}

INSTANTIATE_TEST_SUITE_P(KnownEncodings, EncodingRoundTrip, ::testing::ValuesIn(kEncodings),
                         [](const ::testing::TestParamInfo<EncodingCase>& info) {
                           std::string name = info.param.name ? info.param.name : "default";
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST_F(RoundTripTest, TypedValuesComeBackThroughTheirGetters) {
  RefPtr<Kelmo> r = m->CreateNodeW(W(u"values"), kelmo::kWholeText);
  auto add = [&](const char16_t* name, bool attribute = false) {
    RefPtr<Kelmo> child = m->CreateNodeW(W(name), kelmo::kWholeText);
    if (attribute) child->SetKind(static_cast<char>(NodeKind::Attribute));
    r->AppendChild(child);
    return child;
  };
  add(u"c")->SetChar(-128);
  add(u"uc")->SetUChar(255);
  add(u"s")->SetShort(-32768);
  add(u"us")->SetUShort(65535);
  add(u"i", true)->SetInt(-2147483647 - 1);
  add(u"ui")->SetUInt(4294967295u);
  add(u"i64")->SetInt64(INT64_MIN);
  add(u"u64")->SetUInt64(UINT64_MAX);
  add(u"l")->SetLong(-123456);
  add(u"ul", true)->SetULong(3000000000u);
  add(u"f")->SetFloat(-0.25f);
  add(u"d")->SetDouble(12345.125);
  add(u"ld")->SetLongDouble(0.5L);
  add(u"t", true)->SetBool(true);
  add(u"b")->SetBool(false);
  const unsigned char bytes[] = {0, 1, 0x7F, 0x80, 0xFE, 0xFF, '<', '&'};
  add(u"bin")->SetBinary(bytes, sizeof bytes);
  add(u"str")->SetStringW(W(u"  lead <&> \"q\" 'a' tail\ttab"), kelmo::kWholeText);

  RefPtr<Kelmo> back = ThroughText(r)->GetFirstChild();
  ASSERT_TRUE(back);
  auto get = [&](const char16_t* name) { return back->FindChildW(W(name), kelmo::kWholeText, 0); };
  char c = 0;
  unsigned char uc = 0;
  int16_t s = 0;
  uint16_t us = 0;
  int i = 0;
  unsigned int ui = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  int32_t l = 0;
  uint32_t ul = 0;
  float f = 0;
  double d = 0;
  long double ld = 0;
  bool tb = false, fb = true;
  ASSERT_TRUE(get(u"c")->GetChar(c));
  EXPECT_EQ(c, static_cast<char>(-128));
  ASSERT_TRUE(get(u"uc")->GetUChar(uc));
  EXPECT_EQ(uc, 255);
  ASSERT_TRUE(get(u"s")->GetShort(s));
  EXPECT_EQ(s, -32768);
  ASSERT_TRUE(get(u"us")->GetUShort(us));
  EXPECT_EQ(us, 65535);
  ASSERT_TRUE(get(u"i")->GetInt(i));
  EXPECT_EQ(i, -2147483647 - 1);
  EXPECT_EQ(get(u"i")->GetKind(), static_cast<int>(NodeKind::Attribute));
  ASSERT_TRUE(get(u"ui")->GetUInt(ui));
  EXPECT_EQ(ui, 4294967295u);
  ASSERT_TRUE(get(u"i64")->GetInt64(i64));
  EXPECT_EQ(i64, INT64_MIN);
  ASSERT_TRUE(get(u"u64")->GetUInt64(u64));
  EXPECT_EQ(u64, UINT64_MAX);
  ASSERT_TRUE(get(u"l")->GetLong(l));
  EXPECT_EQ(l, -123456);
  ASSERT_TRUE(get(u"ul")->GetULong(ul));
  EXPECT_EQ(ul, 3000000000u);
  ASSERT_TRUE(get(u"f")->GetFloat(f));
  EXPECT_EQ(f, -0.25f);
  ASSERT_TRUE(get(u"d")->GetDouble(d));
  EXPECT_EQ(d, 12345.125);
  ASSERT_TRUE(get(u"ld")->GetLongDouble(ld));
  EXPECT_EQ(ld, 0.5L);
  ASSERT_TRUE(get(u"t")->GetBool(tb));
  EXPECT_TRUE(tb);
  ASSERT_TRUE(get(u"b")->GetBool(fb));
  EXPECT_FALSE(fb);
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(get(u"bin")->GetBinary(data, size, holder));
  ASSERT_EQ(size, sizeof bytes);
  EXPECT_EQ(std::memcmp(data, bytes, size), 0);
  // Blanks at the ends of element text are written as references, so they
  // come back too.
  EXPECT_EQ(StringOf(get(u"str")), u"  lead <&> \"q\" 'a' tail\ttab");
}

// Random texts of blanks, line breaks, markup and letters, as element text
// (inline and on its own line before a child), CDATA text and attribute
// values, come back unchanged through text and through a saved file.
TEST_F(RoundTripTest, RandomTextsWithBlanksComeBackExactly) {
  std::mt19937 random(1234);
  const char16_t alphabet[] = u" \t\n\r <&>\"'xy\u00e9\u4e2d";
  const size_t letters = sizeof alphabet / sizeof alphabet[0] - 1;
  RefPtr<Kelmo> r = m->CreateNodeW(W(u"r"), kelmo::kWholeText);
  for (int i = 0; i < 300; ++i) {
    std::u16string text;
    for (size_t n = 1 + random() % 8; n > 0; --n) text += alphabet[random() % letters];
    if (i % 7 == 0) text = std::u16string(1 + random() % 3, random() % 2 ? u' ' : u'\t');
    RefPtr<Kelmo> child = m->CreateNodeW(W(u"v"), kelmo::kWholeText);
    child->SetKind(static_cast<char>(i % 3 == 2 ? NodeKind::CData : NodeKind::Element));
    child->SetStringW(W(text), static_cast<unsigned>(text.size()));
    if (i % 3 == 1) child->AppendChild(m->CreateNodeW(W(u"c"), kelmo::kWholeText));
    RefPtr<Kelmo> attribute = m->CreateNodeW(W(u"a"), kelmo::kWholeText);
    attribute->SetKind(static_cast<char>(NodeKind::Attribute));
    attribute->SetStringW(W(text), static_cast<unsigned>(text.size()));
    child->PrependChild(attribute);
    r->AppendChild(child);
  }
  EXPECT_EQ(Difference(r, ThroughText(r)->GetFirstChild()), "");
  ScratchDir dir;
  const std::string path = dir.File("blanks.xml").string();
  ASSERT_TRUE(t->SaveFileA(r, path.c_str(), "\t", "\r\n", "utf-16", 65001));
  RefPtr<KelmoParser> parser = m->CreateParser();
  ASSERT_TRUE(parser->ParseFileA(path.c_str()));
  EXPECT_EQ(Difference(r, parser->GetRoot()->GetFirstChild()), "");
}

// Random doubles and floats (any bit pattern) saved and loaded read back as
// the same value through their getters; the file holds plain decimals.
TEST_F(RoundTripTest, RandomRealsComeBackExactly) {
  std::mt19937_64 random(99);
  RefPtr<Kelmo> r = m->CreateNodeW(W(u"r"), kelmo::kWholeText);
  std::vector<double> doubles;
  std::vector<float> floats;
  for (int i = 0; i < 500; ++i) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (i % 4 == 0) d = static_cast<double>(static_cast<int64_t>(bits) >> (bits % 60)) / 1e6;
    float f;
    const uint32_t low = static_cast<uint32_t>(bits >> 7);
    std::memcpy(&f, &low, sizeof f);
    doubles.push_back(d);
    floats.push_back(f);
    RefPtr<Kelmo> node = m->CreateNodeW(W(u"d"), kelmo::kWholeText);
    if (i % 2) {
      node->SetDouble(d);
    } else {
      node->SetLongDouble(d);
    }
    r->AppendChild(node);
    RefPtr<Kelmo> attribute = m->CreateNodeW(W(u"f"), kelmo::kWholeText);
    attribute->SetKind(static_cast<char>(NodeKind::Attribute));
    attribute->SetFloat(f);
    node->AppendChild(attribute);
  }
  ScratchDir dir;
  const std::string path = dir.File("reals.xml").string();
  ASSERT_TRUE(t->SaveFileA(r, path.c_str(), " ", "\n", nullptr, 65001));
  RefPtr<KelmoParser> parser = m->CreateParser();
  ASSERT_TRUE(parser->ParseFileA(path.c_str()));
  RefPtr<Kelmo> node = parser->GetRoot()->GetFirstChild()->GetFirstChild();
  auto same = [](auto a, auto b) {
    return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0;
  };
  for (size_t i = 0; i < doubles.size(); ++i, node = node->GetNextSibling()) {
    ASSERT_TRUE(node);
    double d = 0;
    long double ld = 0;
    float f = 0;
    ASSERT_TRUE(node->GetDouble(d) && node->GetLongDouble(ld));
    ASSERT_TRUE(node->GetFirstChild()->GetFloat(f));
    EXPECT_TRUE(same(d, doubles[i])) << StringOf(node).size() << " " << i;
    EXPECT_TRUE(same(static_cast<double>(ld), doubles[i])) << i;
    EXPECT_TRUE(same(f, floats[i])) << i;
    EXPECT_EQ(StringOf(node).find_first_of(u"eE"), std::u16string::npos);
  }
}

// A surrogate half outside a pair has no form in any encoding; in text and
// attribute values it is written as a reference and comes back as itself.
TEST_F(RoundTripTest, LoneSurrogateHalvesInValuesSurviveEveryEncoding) {
  const std::u16string value = u"a" + std::u16string(1, 0xD800) + u"\U0001F600" + std::u16string(1, 0xDC00);
  RefPtr<Kelmo> r = m->CreateNodeW(W(u"r"), kelmo::kWholeText);
  r->SetStringW(W(value), static_cast<unsigned>(value.size()));
  RefPtr<Kelmo> attribute = m->CreateNodeW(W(u"a"), kelmo::kWholeText);
  attribute->SetKind(static_cast<char>(NodeKind::Attribute));
  attribute->SetStringW(W(value), static_cast<unsigned>(value.size()));
  r->AppendChild(attribute);
  ScratchDir dir;
  const std::string path = dir.File("halves.xml").string();
  RefPtr<Kelmo> pairOnly = m->CreateNodeW(W(u"r"), kelmo::kWholeText);
  pairOnly->SetStringW(W(u"\U0001F600"), 2);
  for (const char* encoding : {"utf-8", "utf-16", "utf-16be", "gb18030", "windows-1252"}) {
    if (!t->SaveFileA(r, path.c_str(), "", "", encoding, 65001)) {
      // Only where the system's converter cannot write the paired character
      // itself (Wine's GB18030 has no four-byte forms): then the halves
      // have nothing to show in this encoding.
      EXPECT_FALSE(t->SaveFileA(pairOnly, path.c_str(), "", "", encoding, 65001)) << encoding;
      continue;
    }
    RefPtr<KelmoParser> parser = m->CreateParser();
    ASSERT_TRUE(parser->ParseFileA(path.c_str())) << encoding;
    EXPECT_EQ(Difference(r, parser->GetRoot()->GetFirstChild()), "") << encoding;
  }
}

TEST_F(RoundTripTest, LineBreaksInsideValuesSurvive) {
  RefPtr<Kelmo> r = m->CreateNodeW(W(u"r"), kelmo::kWholeText);
  const std::u16string multiLine = u"one\ntwo\r\nthree\rfour";
  RefPtr<Kelmo> attribute = m->CreateNodeW(W(u"a"), kelmo::kWholeText);
  attribute->SetKind(static_cast<char>(NodeKind::Attribute));
  attribute->SetStringW(W(u"\n" + multiLine + u"\n"), kelmo::kWholeText);
  r->AppendChild(attribute);
  RefPtr<Kelmo> text = m->CreateNodeW(W(u"text"), kelmo::kWholeText);
  text->SetStringW(W(multiLine), kelmo::kWholeText);
  r->AppendChild(text);
  RefPtr<Kelmo> section = m->CreateNodeW(W(u"section"), kelmo::kWholeText);
  section->SetKind(static_cast<char>(NodeKind::CData));
  section->SetStringW(W(u"\n" + multiLine + u"\n"), kelmo::kWholeText);
  r->AppendChild(section);

  RefPtr<Kelmo> back = ThroughText(r)->GetFirstChild();
  ASSERT_TRUE(back);
  EXPECT_EQ(StringOf(back->FindChildW(W(u"a"), kelmo::kWholeText, 0)), u"\n" + multiLine + u"\n");
  EXPECT_EQ(StringOf(back->FindChildW(W(u"text"), kelmo::kWholeText, 0)), multiLine);
  EXPECT_EQ(StringOf(back->FindChildW(W(u"section"), kelmo::kWholeText, 0)),
            u"\n" + multiLine + u"\n");
  EXPECT_EQ(Difference(r, back), "");
}

TEST_F(RoundTripTest, SectionTextHoldingItsOwnEndReadsBackAsTheSameText) {
  const std::u16string tricky[] = {u"]]>", u"a]]>b", u"x]]]>y]]>", u"<![CDATA[in]]>out"};
  for (const std::u16string& value : tricky) {
    RefPtr<Kelmo> r = m->CreateNodeW(W(u"r"), kelmo::kWholeText);
    r->SetKind(static_cast<char>(NodeKind::CData));
    r->SetStringW(W(value), kelmo::kWholeText);
    RefPtr<Kelmo> nested = m->CreateNodeW(W(u"nested"), kelmo::kWholeText);
    nested->SetKind(static_cast<char>(NodeKind::CData));
    nested->SetStringW(W(value), kelmo::kWholeText);
    r->AppendChild(nested);
    RefPtr<Kelmo> back = ThroughText(r)->GetFirstChild();
    ASSERT_TRUE(back);
    EXPECT_EQ(StringOf(back), value);
    EXPECT_EQ(StringOf(back->GetFirstChild()), value);
  }
}

}  // namespace
