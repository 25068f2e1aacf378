// Real documents in every encoding the parser is expected to read, through
// ParseBuffer and files: names and values are checked unit by unit.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/host_library.h"
#include "support/tree_outline.h"
#include "support/system_code_pages.h"
#include "support/utf8_reference.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::RefPtr;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::Outline;
using kelmo_test::StringOf;
using kelmo_test::U16;
using kelmo_test::W;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Utf16(const std::u16string& s, bool bigEndian) {
  Bytes out;
  for (char16_t u : s) {
    const unsigned char hi = static_cast<unsigned char>(u >> 8);
    const unsigned char lo = static_cast<unsigned char>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

std::u16string Units(const RefPtr<Kelmo>& node, bool name) {
  return name ? NameOf(node) : StringOf(node);
}

// Every document below has this shape: <中 文="中文">文</中>, with the two
// characters and the declaration depending on the encoding.
struct Expected {
  std::u16string element;    // name of the element
  std::u16string attribute;  // name of its attribute
  std::u16string attrValue;
  std::u16string text;
};

void CheckDocument(const RefPtr<Kelmo>& root, const Expected& e) {
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->GetChildCount(), 1u);
  RefPtr<Kelmo> element = root->GetFirstChild();
  EXPECT_EQ(Units(element, true), e.element);
  EXPECT_EQ(Units(element, false), e.text);
  EXPECT_EQ(element->GetKind(), 0);
  ASSERT_EQ(element->GetChildCount(), 1u);
  RefPtr<Kelmo> attribute = element->GetFirstChild();
  EXPECT_EQ(Units(attribute, true), e.attribute);
  EXPECT_EQ(Units(attribute, false), e.attrValue);
  EXPECT_EQ(attribute->GetKind(), 2);
}

struct EncodedDocument {
  const char* label;
  Bytes bytes;
  Expected expected;
};

std::ostream& operator<<(std::ostream& os, const EncodedDocument& d) { return os << d.label; }

const std::u16string kZhong = u"\u4E2D";  // 中
const std::u16string kWen = u"\u6587";    // 文
const Expected kChinese{kZhong, kWen, kZhong + kWen, kWen};

// Builds <A B="AB">B</A> around two encoded characters.
Bytes Document(const std::string& declaration, const Bytes& a, const Bytes& b) {
  return Cat({Ascii(declaration), Ascii("<"), a, Ascii(" "), b, Ascii("=\""), a, b,
              Ascii("\">"), b, Ascii("</"), a, Ascii(">")});
}

std::u16string WideDocument(const std::u16string& declaration) {
  return declaration + u"<\u4E2D \u6587=\"\u4E2D\u6587\">\u6587</\u4E2D>";
}

std::vector<EncodedDocument> Documents() {
  const Bytes gbZhong{0xD6, 0xD0}, gbWen{0xCE, 0xC4};
  const Bytes big5Zhong{0xA4, 0xA4}, big5Wen{0xA4, 0xE5};
  const Bytes sjisNichi{0x93, 0xFA}, sjisHon{0x96, 0x7B};
  const Bytes utf8Zhong{0xE4, 0xB8, 0xAD}, utf8Wen{0xE6, 0x96, 0x87};
  const Bytes bomUtf8{0xEF, 0xBB, 0xBF};
  const Expected japanese{u"\u65E5", u"\u672C", u"\u65E5\u672C", u"\u672C"};
  const Expected korean{u"\uD55C", u"\uAE00", u"\uD55C\uAE00", u"\uAE00"};
  const std::u16string decl16 = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";

  return {
      {"utf8_without_bom",
       Document("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", utf8Zhong, utf8Wen), kChinese},
      {"utf8_without_declaration", Document("", utf8Zhong, utf8Wen), kChinese},
      {"utf8_with_bom", Cat({bomUtf8, Document("", utf8Zhong, utf8Wen)}), kChinese},
      {"utf8_bom_before_a_line_break",
       Cat({bomUtf8, Document("\n", utf8Zhong, utf8Wen)}), kChinese},
      {"utf16le_with_bom", Cat({Bytes{0xFF, 0xFE}, Utf16(WideDocument(decl16), false)}), kChinese},
      {"utf16le_without_bom", Utf16(WideDocument(u""), false), kChinese},
      {"utf16be_with_bom", Cat({Bytes{0xFE, 0xFF}, Utf16(WideDocument(decl16), true)}), kChinese},
      {"utf16be_without_bom", Utf16(WideDocument(u""), true), kChinese},
      {"gb2312", Document("<?xml version=\"1.0\" encoding=\"GB2312\"?>", gbZhong, gbWen),
       kChinese},
      {"gbk", Document("<?xml version='1.0' encoding='gbk'?>\r\n", gbZhong, gbWen), kChinese},
      {"gb18030", Document("<?xml version=\"1.0\" encoding=\"GB18030\"?>", gbZhong, gbWen),
       kChinese},
      {"euc_cn", Document("<?xml version=\"1.0\" encoding=\"x-cp20936\"?>", gbZhong, gbWen),
       kChinese},
      {"big5", Document("<?xml version=\"1.0\" encoding=\"Big5\"?>", big5Zhong, big5Wen),
       kChinese},
      {"shift_jis",
       Document("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", sjisNichi, sjisHon), japanese},
      {"korean", Document("<?xml version=\"1.0\" encoding=\"ks_c_5601-1987\"?>", Bytes{0xC7, 0xD1},
                          Bytes{0xB1, 0xDB}),
       korean},
      // HZ switches into GB2312 with "~{" and back with "~}"; 中 is VP, 文 is ND.
      {"hz", Document("<?xml version=\"1.0\" encoding=\"HZ-GB-2312\"?>", Ascii("~{VP~}"),
                      Ascii("~{ND~}")),
       kChinese},
  };
}

class EncodedDocumentTest : public ::testing::TestWithParam<EncodedDocument> {};

TEST_P(EncodedDocumentTest, ParseBuffer) {
  const EncodedDocument& d = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(kelmo_test::CodePageOfEncoding(kelmo_test::DeclaredEncoding(d.bytes)));
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseBuffer(d.bytes.data(), static_cast<unsigned>(d.bytes.size())))
      << "error " << p->GetErrorCode() << " at " << p->GetErrorLine() << ":"
      << p->GetErrorColumn();
  CheckDocument(p->GetRoot(), d.expected);
}

TEST_P(EncodedDocumentTest, ParseFileW) {
  const EncodedDocument& d = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(kelmo_test::CodePageOfEncoding(kelmo_test::DeclaredEncoding(d.bytes)));
  const std::string path = ::testing::TempDir() + "kelmo_enc_" + d.label + ".xml";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(d.bytes.data(), 1, d.bytes.size(), f);
  std::fclose(f);
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::u16string widePath = U16(path.c_str());
  const bool ok = p->ParseFileW(W(widePath));
  std::remove(path.c_str());
  ASSERT_TRUE(ok) << "error " << p->GetErrorCode();
  CheckDocument(p->GetRoot(), d.expected);
}

INSTANTIATE_TEST_SUITE_P(Encodings, EncodedDocumentTest, ::testing::ValuesIn(Documents()),
                         [](const ::testing::TestParamInfo<EncodedDocument>& info) {
                           return std::string(info.param.label);
                         });

TEST(ParserEncodings, UsAsciiWithReferences) {
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>"
      "<cfg name=\"&#x4E2D;&#25991;\">caf&#233; &#x1F600;</cfg>";
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(doc.data()),
                             static_cast<unsigned>(doc.size())));
  RefPtr<Kelmo> cfg = p->GetRoot()->GetFirstChild();
  EXPECT_EQ(NameOf(cfg), u"cfg");
  EXPECT_EQ(StringOf(cfg), (std::u16string{u'c', u'a', u'f', 0x00E9, u' ', 0xD83D, 0xDE00}));
  EXPECT_EQ(StringOf(cfg->GetFirstChild()), (std::u16string{0x4E2D, 0x6587}));
}

TEST(ParserEncodings, Utf16WithBomAndUtf8BuildEqualTrees) {
  const std::u16string wide =
      u"<?xml version=\"1.0\"?>\n<root a=\"1\">\n  <item>\u00e9l\u00e8ve</item>\n"
      u"  <item><![CDATA[<raw>]]></item>\n  <!-- note -->\n</root>";
  const Bytes utf16 = Cat({Bytes{0xFF, 0xFE}, Utf16(wide, false)});
  const std::string utf8 = kelmo_test::Utf8Of(wide);
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseBuffer(utf16.data(), static_cast<unsigned>(utf16.size())));
  const std::string fromUtf16 = Outline(p->GetRoot());
  ASSERT_TRUE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(utf8.data()),
                             static_cast<unsigned>(utf8.size())));
  EXPECT_EQ(Outline(p->GetRoot()), fromUtf16);
  EXPECT_EQ(fromUtf16, u8"root(a#2=\"1\",item=\"\u00e9l\u00e8ve\",item#1=\"<raw>\")");
}

// Half a unit at the end is a damaged file, not the end of the document:
// the text before it still reads, then the parse fails at the end.
TEST(ParserEncodings, Utf16WithAnOddLastByteFailsAtTheEnd) {
  const std::u16string wide = u"<a>\u00e9</a>\n";
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const Bytes mark = bigEndian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    const Bytes whole = Cat({mark, Utf16(wide, bigEndian)});
    const Bytes odd = Cat({whole, Bytes{0x20}});
    ModuleScope m;
    RefPtr<KelmoParser> p = m->CreateParser();
    ASSERT_TRUE(p->ParseBuffer(whole.data(), static_cast<unsigned>(whole.size())));
    EXPECT_FALSE(p->ParseBuffer(odd.data(), static_cast<unsigned>(odd.size())));
    EXPECT_EQ(p->GetErrorCode(), 9u);
    EXPECT_EQ(p->GetErrorOffset(), wide.size());
  }
}

TEST(ParserEncodings, Utf8BomBeforeALineBreakStaysOutOfTheTree) {
  // The three bytes are not taken as a mark; they decode to U+FEFF, which is
  // dropped with the rest of the text before the first element.
  const Bytes doc = Cat({Bytes{0xEF, 0xBB, 0xBF}, Ascii("\n<a>v</a>")});
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseBuffer(doc.data(), static_cast<unsigned>(doc.size())));
  EXPECT_EQ(Outline(p->GetRoot()), "a=\"v\"");
  // Positions count the U+FEFF unit.
  EXPECT_EQ(p->GetErrorOffset(), 10u);
}

TEST(ParserEncodings, BundledSettingsExample) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::string path = std::string(KELMO_TEST_DATA_DIR) + "/../../examples/data/settings.xml";
  ASSERT_TRUE(p->ParseFileA(path.c_str())) << p->GetErrorCode() << " at line "
                                           << p->GetErrorLine();
  RefPtr<Kelmo> settings = p->GetRoot()->GetElement();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(NameOf(settings), u"settings");
  auto child = [](const RefPtr<Kelmo>& node, const char* name) {
    const std::u16string wide = U16(name);
    return node->FindChildW(W(wide), kelmo::kWholeText, 0);
  };
  EXPECT_EQ(StringOf(child(settings, "profile")), u"B\u00fcro Z\u00fcrich");
  RefPtr<Kelmo> sampling = child(settings, "sampling");
  int interval = 0;
  EXPECT_TRUE(child(sampling, "intervalMs")->GetInt(interval));
  EXPECT_EQ(interval, 250);
  double gain = 0;
  EXPECT_TRUE(child(sampling, "gain")->GetDouble(gain));
  EXPECT_DOUBLE_EQ(gain, 1.75);
  bool autoRange = true;
  EXPECT_TRUE(child(sampling, "autoRange")->GetBool(autoRange));
  EXPECT_FALSE(autoRange);
  RefPtr<Kelmo> calibration = child(settings, "calibration");
  RefPtr<Kelmo> note = child(calibration, "note");
  EXPECT_EQ(note->GetKind(), 1);
  EXPECT_EQ(StringOf(note), u"Reference: 5 V < U < 10 V & T = 20 \u00b0C");
  const unsigned char* table = nullptr;
  unsigned int tableLength = 0;
  RefPtr<kelmo::XInRes> holder;
  ASSERT_TRUE(child(calibration, "table")->GetBinary(table, tableLength, holder));
  ASSERT_EQ(tableLength, 16u);
  EXPECT_EQ(table[0], 1);
  EXPECT_EQ(table[14], 8);
  EXPECT_EQ(StringOf(child(child(settings, "display"), "title")),
            u"\u6e29\u5ea6\u8bb0\u5f55\u4eea");
}

}  // namespace

// Large UTF-8 input is read in pieces; whatever falls on a piece boundary (a
// name, a two-, three- or four-byte character, a reference, a malformed
// sequence) must give the tree, and the error position, of the whole text
// decoded at once (ParseStringA in code page 65001).
TEST(ParserEncodings, LargeUtf8BuildsWhatTheWholeTextBuilds) {
  // First a run of four-byte characters that the first boundary falls into.
  std::string body = "<t>";
  for (int i = 0; i < 20000; ++i) body += u8"\U0001F600";
  body += "</t>";
  const char* const pieces[] = {u8"<entry k=\"\u00e9\u4e2d\U0001F600\">", "text&amp;more",
                                u8"\u00e8\u4e2d\U0001F600\U0001F600\u4e2d\U0001F600\u00e8\U0001F600",
                                "</entry>\n",
                                "<x>\xE2\x82-\xF0\x9F</x>"};
  while (body.size() < 300 * 1024) {
    for (const char* piece : pieces) body += piece;
  }
  for (const bool broken : {false, true}) {
    SCOPED_TRACE(broken ? "ends in an error" : "well-formed");
    const std::string utf8 = "<root>" + body + (broken ? "<bad <" : "</root>");
    ModuleScope m;
    RefPtr<KelmoParser> whole = m->CreateParser();
    RefPtr<KelmoParser> bytes = m->CreateParser();
    EXPECT_EQ(whole->ParseStringA(utf8.data(), static_cast<unsigned>(utf8.size()), 65001), !broken);
    EXPECT_EQ(bytes->ParseBuffer(reinterpret_cast<const unsigned char*>(utf8.data()),
                                 static_cast<unsigned>(utf8.size())),
              !broken);
    EXPECT_EQ(Outline(bytes->GetRoot()), Outline(whole->GetRoot()));
    EXPECT_EQ(bytes->GetErrorCode(), whole->GetErrorCode());
    EXPECT_EQ(bytes->GetErrorLine(), whole->GetErrorLine());
    EXPECT_EQ(bytes->GetErrorColumn(), whole->GetErrorColumn());
    EXPECT_EQ(bytes->GetErrorOffset(), whole->GetErrorOffset());
  }
}

// The same for a double-byte code page, read in pieces that end after a line
// feed or ">": stray lead bytes before either must not change the tree.
TEST(ParserEncodings, LargeGbkBuildsWhatTheWholeTextBuilds) {
  KELMO_SKIP_WITHOUT_CODE_PAGE(936);
  // A run of double-byte characters that the first boundary falls into.
  std::string body = "<t>";
  for (int i = 0; i < 40000; ++i) body += "\xD6\xD0";
  body += "</t>";
  const char* const pieces[] = {"<e k=\"\xD6\xD0\xCE\xC4\">", "\xD6\xD0\xCE\xC4 a&amp;b\n",
                                "\x81\n", "</e>\n", "<f>\x81></f>"};
  while (body.size() < 300 * 1024) {
    for (const char* piece : pieces) body += piece;
  }
  const std::string gbk = "<?xml version=\"1.0\" encoding=\"gbk\"?>\n<root>" + body + "</root>";
  ModuleScope m;
  RefPtr<KelmoParser> whole = m->CreateParser();
  RefPtr<KelmoParser> bytes = m->CreateParser();
  const bool ok = whole->ParseStringA(gbk.data(), static_cast<unsigned>(gbk.size()), 936);
  EXPECT_TRUE(ok) << whole->GetErrorCode();
  EXPECT_EQ(bytes->ParseBuffer(reinterpret_cast<const unsigned char*>(gbk.data()),
                               static_cast<unsigned>(gbk.size())),
            ok);
  EXPECT_EQ(Outline(bytes->GetRoot()), Outline(whole->GetRoot()));
  EXPECT_EQ(bytes->GetErrorCode(), whole->GetErrorCode());
  EXPECT_EQ(bytes->GetErrorOffset(), whole->GetErrorOffset());
}
