// Texts read from UTF-8 input are kept as UTF-8: a tree read from UTF-8 must
// be written, read through every getter and copied exactly as the same
// document read from UTF-16, whose texts are kept as UTF-16.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/kelmo_parser_impl.h"
#include "text/utf8_codec.h"
#include "xml/xml_writer.h"

namespace kelmo {
namespace {

RefPtr<TreeNode> Parse(const std::string& bytes) {
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, adopt_ref);
  EXPECT_TRUE(parser->ParseBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  uint32_t(bytes.size())))
      << bytes;
  return parser->Parser().Root();
}

// The same document as UTF-16LE behind its byte-order mark.
std::string AsUtf16(const std::string& utf8) {
  std::vector<WChar> units(utf8.size() + 1);
  units.resize(size_t(text::DecodeUtf8(reinterpret_cast<const unsigned char*>(utf8.data()),
                                       utf8.size(), units.data(), units.size())));
  std::string bytes = "\xFF\xFE";
  for (WChar unit : units) {
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(unit) & 0xFF));
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(unit) >> 8));
  }
  return bytes;
}

// Layout of two-space steps and line feeds.
const WStrBuf& Unit() {
  static const WStrBuf unit(reinterpret_cast<const WChar*>(u"  "), 2);
  return unit;
}
const WStrBuf& Newline() {
  static const WStrBuf newline(reinterpret_cast<const WChar*>(u"\n"), 1);
  return newline;
}

std::string WrittenUtf8(TreeNode& root, uint64_t& units) {
  Utf8Text out;
  EXPECT_TRUE(WriteXml(root, out, Unit(), WStrBuf(), Newline()));
  units = out.Units();
  return std::string(reinterpret_cast<const char*>(out.Data()), out.Size());
}

std::u16string WrittenUtf16(TreeNode& root) {
  WStrBuf out;
  EXPECT_TRUE(WriteXml(root, out, Unit(), WStrBuf(), Newline()));
  return std::u16string(reinterpret_cast<const char16_t*>(out.Data()), out.Length());
}

// Every String value in document order: as UTF-16, and through the UTF-8
// getter.
void Values(TreeNode* node, std::vector<std::u16string>& wide, std::vector<std::string>& narrow) {
  for (; node; node = node->NextSibling()) {
    if (node->Type() == ValueType::String) {
      const WChar* text = nullptr;
      unsigned length = 0;
      RefPtr<XInRes> holder;
      EXPECT_TRUE(node->GetStringW(text, length, holder));
      wide.emplace_back(reinterpret_cast<const char16_t*>(text), length);
      const char* bytes = nullptr;
      EXPECT_TRUE(node->GetStringA(bytes, length, kCodePageUtf8, holder));
      narrow.emplace_back(bytes, length);
      EXPECT_EQ(bytes[length], '\0');
      // The number and boolean getters' readings, as text.
      int64_t integer = 0;
      double real = 0;
      bool truth = false;
      narrow.push_back(std::to_string(node->GetInt64(integer)) + std::to_string(integer) +
                       std::to_string(node->GetDouble(real)) + std::to_string(real) +
                       std::to_string(node->GetBool(truth)) + std::to_string(truth));
    }
    Values(node->FirstChild(), wide, narrow);
  }
}

std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(Utf8Values, WriteReadAndCopyAsTheirUtf16Reading) {
  // Long texts and non-ASCII ones are the texts kept as UTF-8: markup
  // characters, blanks at either end, tabs and line breaks in values, and
  // characters of every length across the sixteen-byte blocks of the
  // escaper and the windows of the writer.
  const std::string mixed = "a\xC3\xA9 &amp; &lt;b&gt; \"q\" 'p' \t\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::vector<std::string> documents = {
      "<a>h\xC3\xA9llo</a>",
      "<a>&#32;\t\xC3\xA9 x \t&#9;</a>",
      "<a x=\"\xC3\xA9&#9;&#10;&#13;&quot;&apos;&lt;&amp;>\" y='" + Repeated("long ", 20) + "'/>",
      "<a>" + Repeated(mixed, 3) + "<b>" + Repeated(mixed, 900) + "</b></a>",
      "<a><![CDATA[" + Repeated("]] > \xC3\xA9 <&", 40) + "]]></a>",
      "<a><![CDATA[  \xC3\xA9  ]]><c>x</c></a>",
      // Surrogate halves from references, paired and alone.
      "<a b=\"&#xD83D;&#xDE00;\xC3\xA9&#xD800;\">&#xD83D;&#xDE00;\xC3\xA9&#xDFFF;x&#xD800;</a>",
      "<a>" + Repeated("&#xD83D;&#xDE00;", 20) + "</a>",
      // Numbers long enough to be kept as UTF-8, or with characters beyond
      // ASCII, which no number getter takes.
      "<r><a>-1" + std::string(70, ' ') + "25</a><b>0x7fffffff" + std::string(60, '0') +
          "</b><c>" + Repeated("9", 80) + ".5</c><d>\xD9\xA1</d><e>y\xC3\xA9s</e>"
          "<f>" + std::string(64, '0') + "1e3</f><g>Non\xC3\xA9</g></r>",
      "<r>" + Repeated("<e k=\"" + Repeated("v\xC3\xA9", 9) + "\">" + Repeated("t\xE6\x97\xA5", 30) +
                       "</e>",
                       50) +
          "</r>",
  };
  for (const std::string& document : documents) {
    RefPtr<TreeNode> fromUtf8 = Parse(document);
    RefPtr<TreeNode> fromUtf16 = Parse(AsUtf16(document));
    RefPtr<Kelmo> copy = fromUtf8->Clone();
    TreeNode* copied = TreeNode::From(copy.get());
    ASSERT_NE(copied, nullptr);

    uint64_t units8 = 0, units16 = 0, unitsCopy = 0;
    const std::string expected = WrittenUtf8(*fromUtf16, units16);
    EXPECT_EQ(WrittenUtf8(*fromUtf8, units8), expected) << document;
    EXPECT_EQ(units8, units16) << document;
    EXPECT_EQ(WrittenUtf8(*copied, unitsCopy), expected) << document;
    // The UTF-16 writer takes the texts' UTF-16 forms, made on request.
    EXPECT_EQ(WrittenUtf16(*fromUtf8), WrittenUtf16(*fromUtf16)) << document;

    std::vector<std::u16string> wide8, wide16, wideCopy;
    std::vector<std::string> narrow8, narrow16, narrowCopy;
    Values(fromUtf8.get(), wide8, narrow8);
    Values(fromUtf16.get(), wide16, narrow16);
    Values(copied, wideCopy, narrowCopy);
    EXPECT_EQ(wide8, wide16);
    EXPECT_EQ(narrow8, narrow16);
    EXPECT_EQ(wideCopy, wide16);
    EXPECT_EQ(narrowCopy, narrow16);
  }
}

// A value kept as UTF-8 changes like any other: set from its own UTF-8 or
// UTF-16 text, to a number, and read back.
TEST(Utf8Values, EditedFromTheirOwnText) {
  RefPtr<TreeNode> root = Parse("<r><a>\xC3\xA9t\xC3\xA9</a><b>" + Repeated("4", 70) + "</b></r>");
  TreeNode* a = root->FirstChild()->FirstChild();
  TreeNode* b = a->NextSibling();
  ASSERT_TRUE(a->KeepsUtf8());
  ASSERT_TRUE(b->KeepsUtf8());
  const char* bytes = nullptr;
  unsigned length = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(a->GetStringA(bytes, length, kCodePageUtf8, holder));
  a->SetStringA(bytes + 2, length - 2, kCodePageUtf8);
  const WChar* text = nullptr;
  ASSERT_TRUE(a->GetStringW(text, length, holder));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text), length), u"t\u00e9");
  a->SetStringW(text + 1, 1);
  ASSERT_TRUE(a->GetStringW(text, length, holder));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text), length), u"\u00e9");

  double number = 0;
  EXPECT_TRUE(b->GetDouble(number));
  EXPECT_DOUBLE_EQ(number, 4.444444444444444e69);
  b->SetInt(7);
  EXPECT_EQ(b->Type(), ValueType::Int);
  int value = 0;
  EXPECT_TRUE(b->GetInt(value));
  EXPECT_EQ(value, 7);
}

}  // namespace
}  // namespace kelmo
