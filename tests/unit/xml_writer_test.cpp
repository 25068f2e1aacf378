#include "xml/xml_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <string>

#include "text/text_length.h"
#include "text/utf8_codec.h"
#include "tree/tree_node.h"
#include "xml/utf8_text.h"

namespace kelmo {
namespace {

const WChar* W(const char16_t* text) { return reinterpret_cast<const WChar*>(text); }

std::u16string Str(const WStrBuf& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.Data()), text.Length());
}

RefPtr<TreeNode> Node(const char16_t* name) {
  RefPtr<TreeNode> node = TreeNode::Make();
  node->SetNameW(W(name), kWholeText);
  return node;
}

RefPtr<TreeNode> Child(const RefPtr<TreeNode>& parent, const char16_t* name,
                        NodeKind kind = NodeKind::Element) {
  RefPtr<TreeNode> child = Node(name);
  child->SetKind(static_cast<char>(kind));
  parent->AppendChild(RefPtr<Kelmo>(child));
  return child;
}

RefPtr<TreeNode> Text(const RefPtr<TreeNode>& parent, const char16_t* name,
                       const char16_t* value, NodeKind kind = NodeKind::Element) {
  RefPtr<TreeNode> child = Child(parent, name, kind);
  child->SetStringW(W(value), kWholeText);
  return child;
}

constexpr char16_t kRefused[] = u"(refused)";

std::u16string Write(const RefPtr<TreeNode>& node, const char16_t* unit = u"",
                     const char16_t* newline = u"", const char16_t* indent = u"") {
  WStrBuf out;
  if (!WriteXml(*node, out, WStrBuf(W(unit)), WStrBuf(W(indent)), WStrBuf(W(newline))))
    return kRefused;
  return Str(out);
}

// config with an attribute, text, CDATA, an empty element and a nested list.
RefPtr<TreeNode> WorkedExample() {
  RefPtr<TreeNode> config = Node(u"config");
  Child(config, u"version", NodeKind::Attribute)->SetInt(2);
  Text(config, u"name", u"A&B");
  Text(config, u"script", u"x<y", NodeKind::CData);
  Child(config, u"empty");
  RefPtr<TreeNode> list = Child(config, u"list");
  list->SetDouble(1.5);
  Child(list, u"item")->SetBool(true);
  RefPtr<TreeNode> note = Text(list, u"note", u"say \"hi\"");
  Text(note, u"lang", u"it's", NodeKind::Attribute);
  return config;
}

const char16_t kWorkedExampleXml[] =
    u"<config version=\"2\">\n"
    u"  <name>A&amp;B</name>\n"
    u"  <script><![CDATA[x<y]]></script>\n"
    u"  <empty/>\n"
    u"  <list>\n"
    u"    1.5\n"
    u"    <item>1</item>\n"
    u"    <note lang=\"it&apos;s\">say &quot;hi&quot;</note>\n"
    u"  </list>\n"
    u"</config>\n";

TEST(WriteXmlTest, WorkedExampleGivesTenLines) {
  EXPECT_EQ(Write(WorkedExample(), u"  ", u"\n"), kWorkedExampleXml);
}

TEST(WriteXmlTest, UnnamedParentWritesOnlyItsChildren) {
  RefPtr<TreeNode> parent = TreeNode::Make();
  parent->AppendChild(RefPtr<Kelmo>(WorkedExample()));
  EXPECT_EQ(Write(parent, u"  ", u"\n"), kWorkedExampleXml);
}

// Trees that would not read back the same are refused, not written in part.
TEST(WriteXmlTest, RefusesWhatWouldNotReadBack) {
  const char16_t* badNames[] = {u"a b", u"a<b", u"a>", u"a&b", u"a=b", u"a\"b",
                                u"a'b", u"a/b", u"a\tb", u"a\x01",  u"a!", u"?"};
  for (const char16_t* name : badNames) {
    RefPtr<TreeNode> element = Node(u"r");
    Child(Child(element, u"ok"), name);
    EXPECT_EQ(Write(element), kRefused) << "element name";
    RefPtr<TreeNode> attribute = Node(u"r");
    Child(attribute, name, NodeKind::Attribute);
    EXPECT_EQ(Write(attribute), kRefused) << "attribute name";
  }
  RefPtr<TreeNode> unnamedAttribute = Node(u"r");
  Child(unnamedAttribute, u"", NodeKind::Attribute);
  EXPECT_EQ(Write(unnamedAttribute), kRefused);

  RefPtr<TreeNode> valuedRoot = TreeNode::Make();
  valuedRoot->SetStringW(W(u"lost"), kWholeText);
  Child(valuedRoot, u"a");
  EXPECT_EQ(Write(valuedRoot), kRefused);

  RefPtr<TreeNode> rootAttribute = TreeNode::Make();
  Text(rootAttribute, u"x", u"1", NodeKind::Attribute);
  EXPECT_EQ(Write(rootAttribute), kRefused);

  RefPtr<TreeNode> nested = Node(u"r");
  RefPtr<TreeNode> group = TreeNode::Make();
  nested->AppendChild(RefPtr<Kelmo>(group));
  Child(group, u"a");
  group->SetInt(1);
  EXPECT_EQ(Write(nested), kRefused);
  group->SetEmpty();
  EXPECT_EQ(Write(nested), u"<r><a/></r>");
  Child(group, u"x", NodeKind::Attribute);
  EXPECT_EQ(Write(nested), kRefused);

  RefPtr<TreeNode> parentAttribute = Node(u"r");
  Child(Text(parentAttribute, u"x", u"v", NodeKind::Attribute), u"inner");
  EXPECT_EQ(Write(parentAttribute), kRefused);
}

TEST(WriteXmlTest, AppendsToExistingOutputAndStartsAtTheCallersIndent) {
  RefPtr<TreeNode> a = Node(u"a");
  Child(a, u"b");
  WStrBuf out(W(u"head|"));
  WriteXml(*a, out, WStrBuf(W(u"\t")), WStrBuf(W(u"  ")), WStrBuf(W(u"\r\n")));
  EXPECT_EQ(Str(out), u"head|  <a>\r\n  \t<b/>\r\n  </a>\r\n");
}

// Layout strings lie between markup, where only white space is dropped on
// reading; anything else would become text or markup of the document.
TEST(WriteXmlTest, RefusesLayoutThatIsNotWhiteSpace) {
  RefPtr<TreeNode> a = Node(u"a");
  Child(a, u"b");
  const char16_t* const layouts[][3] = {
      {u"--", u"", u"\n"}, {u"\t", u"", u"&"}, {u"", u"<x>", u""}, {u"\u00A0", u"", u""}};
  for (const auto& layout : layouts) {
    WStrBuf out;
    EXPECT_FALSE(WriteXml(*a, out, WStrBuf(W(layout[0])), WStrBuf(W(layout[1])),
                          WStrBuf(W(layout[2]))));
  }
}

struct LayoutCase {
  const char* what;
  RefPtr<TreeNode> (*build)();
  std::u16string xml;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.what; }

class WriteXmlLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WriteXmlLayoutTest, WritesExactly) {
  const LayoutCase& c = GetParam();
  EXPECT_EQ(Write(c.build(), u" ", u"\n"), c.xml) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, WriteXmlLayoutTest,
    ::testing::Values(
        LayoutCase{"empty element", [] { return Node(u"a"); }, u"<a/>\n"},
        LayoutCase{"attributes and value on one line",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetInt(-7);
                     Child(a, u"x", NodeKind::Attribute)->SetUInt(1);
                     Text(a, u"y", u"<&>", NodeKind::Attribute);
                     return a;
                   },
                   u"<a x=\"1\" y=\"&lt;&amp;&gt;\">-7</a>\n"},
        LayoutCase{"empty attribute value",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     Child(a, u"x", NodeKind::Attribute);
                     return a;
                   },
                   u"<a x=\"\"/>\n"},
        LayoutCase{"blanks at the ends of text are references; in attributes spaces are literal",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetStringW(W(u" \ta b\t "), kWholeText);
                     Text(a, u"x", u" \ty ", NodeKind::Attribute);
                     Text(a, u"blank", u"  ");
                     return a;
                   },
                   u"<a x=\" &#x09;y \">\n &#x20;&#x09;a b&#x09;&#x20;\n <blank>&#x20;&#x20;</blank>\n</a>\n"},
        LayoutCase{"attributes after content children still go into the start tag",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     Child(a, u"b");
                     Text(a, u"x", u"1", NodeKind::Attribute);
                     return a;
                   },
                   u"<a x=\"1\">\n <b/>\n</a>\n"},
        LayoutCase{"CDATA inline",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetKind(static_cast<char>(NodeKind::CData));
                     a->SetStringW(W(u"<&\n>"), kWholeText);
                     return a;
                   },
                   u"<a><![CDATA[<&\n>]]></a>\n"},
        LayoutCase{"CDATA on its own line",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetKind(static_cast<char>(NodeKind::CData));
                     a->SetStringW(W(u"x&y"), kWholeText);
                     Child(a, u"b");
                     return a;
                   },
                   u"<a>\n <![CDATA[x&y]]>\n <b/>\n</a>\n"},
        LayoutCase{"CDATA without value",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetKind(static_cast<char>(NodeKind::CData));
                     return a;
                   },
                   u"<a/>\n"},
        LayoutCase{"CDATA text holding the section end is written as text",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetKind(static_cast<char>(NodeKind::CData));
                     a->SetStringW(W(u"a]]>b\n"), kWholeText);
                     return a;
                   },
                   u"<a>a]]&gt;b&#xa;</a>\n"},
        LayoutCase{"CDATA text holding a carriage return stays a section",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetKind(static_cast<char>(NodeKind::CData));
                     a->SetStringW(W(u"x\r\ny"), kWholeText);
                     return a;
                   },
                   u"<a><![CDATA[x\r\ny]]></a>\n"},
        LayoutCase{"CDATA text holding a lone surrogate half is written as text",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetKind(static_cast<char>(NodeKind::CData));
                     const std::u16string text = u"x" + std::u16string(1, 0xDC00) + u"\U0001F600";
                     a->SetStringW(W(text.c_str()), kWholeText);
                     return a;
                   },
                   u"<a>x&#xdc00;\U0001F600</a>\n"},
        LayoutCase{"unknown kind byte is an element",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     Text(a, u"b", u"t")->SetKind(9);
                     return a;
                   },
                   u"<a>\n <b>t</b>\n</a>\n"},
        LayoutCase{"control units in text",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     const char16_t text[] = {u'\t', 10, 13, 0, 27, u'z'};
                     a->SetStringW(W(text), 6);
                     return a;
                   },
                   u"<a>&#x09;&#xa;&#xd;&#x00;&#x1b;z</a>\n"},
        LayoutCase{"line breaks in attribute values",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     Text(a, u"x", u"1\r\n2", NodeKind::Attribute);
                     return a;
                   },
                   u"<a x=\"1&#xd;&#xa;2\"/>\n"},
        LayoutCase{"unnamed node with attributes only",
                   [] {
                     RefPtr<TreeNode> a = TreeNode::Make();
                     Text(a, u"x", u"1", NodeKind::Attribute);
                     return a;
                   },
                   kRefused},
        LayoutCase{"unnamed node without children", [] { return TreeNode::Make(); }, u""},
        LayoutCase{"unnamed node inside a named one keeps the indent it is given",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     RefPtr<TreeNode> group = TreeNode::Make();
                     a->AppendChild(RefPtr<Kelmo>(group));
                     Child(group, u"b");
                     Child(Child(group, u"c"), u"d");
                     return a;
                   },
                   u"<a>\n <b/>\n <c>\n  <d/>\n </c>\n</a>\n"},
        LayoutCase{"bool and binary values",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     Child(a, u"t")->SetBool(true);
                     Child(a, u"f")->SetBool(false);
                     const unsigned char bytes[] = {'a', 'b', 'c'};
                     Child(a, u"bin")->SetBinary(bytes, 3);
                     return a;
                   },
                   u"<a>\n <t>1</t>\n <f>0</f>\n <bin>YWJj</bin>\n</a>\n"},
        LayoutCase{"values without a text form",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetSharedPtr(std::make_shared<int>(1));
                     Child(a, u"x", NodeKind::Attribute)->SetSharedPtr(std::make_shared<int>(2));
                     Child(a, u"b")->SetSharedPtr(std::make_shared<int>(3));
                     return a;
                   },
                   u"<a x=\"\">\n <b></b>\n</a>\n"},
        LayoutCase{"empty string value has a body",
                   [] {
                     RefPtr<TreeNode> a = Node(u"a");
                     a->SetStringW(W(u""), 0);
                     return a;
                   },
                   u"<a></a>\n"}));

TEST(WriteXmlTest, EmptyUnitAndNewlineGiveOneLine) {
  EXPECT_EQ(Write(WorkedExample()),
            u"<config version=\"2\"><name>A&amp;B</name><script><![CDATA[x<y]]></script>"
            u"<empty/><list>1.5<item>1</item><note lang=\"it&apos;s\">say &quot;hi&quot;"
            u"</note></list></config>");
}

RefPtr<TreeNode> Chain(uint32_t depth) {
  RefPtr<TreeNode> root = Node(u"n");
  RefPtr<TreeNode> last = root;
  for (uint32_t i = 1; i < depth; ++i) last = Child(last, u"n");
  last->SetInt(7);
  return root;
}

TEST(WriteXmlTest, NestedLevelsIndentOneUnitEach) {
  RefPtr<TreeNode> root = Chain(4);
  Child(root, u"tail");
  EXPECT_EQ(Write(root, u" \t", u"\n"),
            u"<n>\n"
            u" \t<n>\n"
            u" \t \t<n>\n"
            u" \t \t \t<n>7</n>\n"
            u" \t \t</n>\n"
            u" \t</n>\n"
            u" \t<tail/>\n"
            u"</n>\n");
}

TEST(WriteXmlTest, MillionLevelsAreWrittenWithoutRecursion) {
  const uint32_t depth = 1000000;
  RefPtr<TreeNode> root = Chain(depth);
  const std::u16string xml = Write(root, u"", u"\n");
  const std::u16string open = u"<n>\n", close = u"</n>\n";
  ASSERT_EQ(xml.size(), (depth - 1) * (open.size() + close.size()) + std::u16string(u"<n>7</n>\n").size());
  EXPECT_EQ(xml.compare(0, 8, u"<n>\n<n>\n"), 0);
  const size_t middle = (depth - 1) * open.size();
  EXPECT_EQ(xml.compare(middle, 9, u"<n>7</n>\n"), 0);
  EXPECT_EQ(xml.compare(xml.size() - 10, 10, u"</n>\n</n>\n"), 0);
}

// UTF-8 output writes ASCII-named tags and attributes in one piece each and
// escapes straight into bytes; it must give the bytes of the wide output
// for names and values of every sort, at every depth of indent.
TEST(WriteXmlTest, Utf8OutputIsTheWideOutputEncoded) {
  std::u16string longValue(5000, u'v');
  longValue[4095] = 0xD83D;
  longValue[4096] = 0xDE00;
  longValue[10] = u'"';
  longValue[4990] = u'&';
  RefPtr<TreeNode> root = WorkedExample();
  RefPtr<TreeNode> wide = Child(root, u"\u00FCber");
  Text(wide, u"gr\u00F6\u00DFe", u"\u6771\u4EAC <&>", NodeKind::Attribute);
  Text(wide, u"plain", u"caf\u00E9\t\n\r\"'", NodeKind::Attribute);
  Text(wide, u"half", u"a\xDC00" u"b", NodeKind::Attribute);
  Text(wide, u"long", longValue.c_str(), NodeKind::Attribute);
  Text(Child(wide, u"inner"), u"z", u"", NodeKind::Attribute);
  Text(Child(root, u"tail"), u"\u00E9", u"x");
  for (const char16_t* unit : {u"", u" ", u"\t\t"}) {
    WStrBuf wideText;
    Utf8Text bytes;
    const WStrBuf layout(W(unit)), indent(W(u" ")), newline(W(u"\n"));
    ASSERT_TRUE(WriteXml(*root, wideText, layout, indent, newline));
    ASSERT_TRUE(WriteXml(*root, bytes, layout, indent, newline));
    bytes.Finish();
    std::string expected(size_t(wideText.Length()) * 3, '\0');
    expected.resize(text::EncodeUtf8(wideText.Data(), wideText.Length(),
                                         reinterpret_cast<unsigned char*>(&expected[0]),
                                         expected.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size()), expected);
    EXPECT_EQ(bytes.Units(), wideText.Length());
  }
}

// UTF-8 output keeps the bytes of names it has checked in a small table
// where names push each other out; every name must still come out as
// itself, in start tags, end tags and attributes, short and long.
TEST(WriteXmlTest, Utf8OutputWritesEachNameAsItselfAmongManyNames) {
  RefPtr<TreeNode> root = Node(u"r");
  RefPtr<TreeNode> parent = root;
  for (int k = 0; k < 300; ++k) {
    std::u16string name = u"n" + std::u16string(size_t(k % 60), u'x') + char16_t(u'a' + k % 26);
    RefPtr<TreeNode> child = Child(parent, name.c_str());
    Text(child, (u"a" + name).c_str(), u"v", NodeKind::Attribute);
    if (k % 3 == 0) Text(child, u"t", u"w");
    parent = k % 7 == 0 ? root : child;
  }
  WStrBuf wideText;
  Utf8Text bytes;
  const WStrBuf unit(W(u" ")), newline(W(u"\n"));
  ASSERT_TRUE(WriteXml(*root, wideText, unit, WStrBuf(), newline));
  ASSERT_TRUE(WriteXml(*root, bytes, unit, WStrBuf(), newline));
  bytes.Finish();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size()),
            std::string(wideText.Data(), wideText.Data() + wideText.Length()));
}

// Numbers, booleans and pointers go straight into UTF-8 output; in every
// place a value can take, and in both outputs, they must read as the text
// that the value's own conversion gives.
TEST(WriteXmlTest, ScalarValuesAreWrittenAsTheirValueText) {
  int marker = 0;
  const std::function<void(TreeNode&)> setters[] = {
      [](TreeNode& n) { n.SetChar(-128); },
      [](TreeNode& n) { n.SetUChar(255); },
      [](TreeNode& n) { n.SetShort(-32768); },
      [](TreeNode& n) { n.SetUShort(65535); },
      [](TreeNode& n) { n.SetInt(0); },
      [](TreeNode& n) { n.SetUInt(4294967295u); },
      [](TreeNode& n) { n.SetLong(-2147483647 - 1); },
      [](TreeNode& n) { n.SetULong(7); },
      [](TreeNode& n) { n.SetInt64(INT64_MIN); },
      [](TreeNode& n) { n.SetUInt64(UINT64_MAX); },
      [](TreeNode& n) { n.SetFloat(0.7f); },
      [](TreeNode& n) { n.SetFloat(-1e-45f); },
      [](TreeNode& n) { n.SetDouble(1.0 / 3); },
      [](TreeNode& n) { n.SetDouble(-0.0); },
      [](TreeNode& n) { n.SetDouble(1e23); },
      [](TreeNode& n) { n.SetDouble(5e-324); },
      [](TreeNode& n) { n.SetDouble(-1.7976931348623157e308); },
      [](TreeNode& n) { n.SetDouble(std::numeric_limits<double>::quiet_NaN()); },
      [](TreeNode& n) { n.SetDouble(-std::numeric_limits<double>::infinity()); },
      [](TreeNode& n) { n.SetLongDouble(2.5L); },
      [](TreeNode& n) { n.SetBool(true); },
      [](TreeNode& n) { n.SetBool(false); },
      [&marker](TreeNode& n) { n.SetPointer(&marker); },
      [](TreeNode& n) { n.SetPointer(nullptr); },
  };
  for (size_t k = 0; k < std::size(setters); ++k) {
    RefPtr<TreeNode> root = Node(u"r");
    RefPtr<TreeNode> nodes[] = {Child(root, u"a", NodeKind::Attribute), Child(root, u"i"),
                                Child(root, u"s", NodeKind::CData), Child(root, u"l")};
    Child(nodes[3], u"e");
    for (const RefPtr<TreeNode>& node : nodes) setters[k](*node);
    const WChar* text = nullptr;
    unsigned int length = 0;
    RefPtr<XInRes> holder;
    ASSERT_TRUE(nodes[0]->GetStringW(text, length, holder));
    const std::u16string t(reinterpret_cast<const char16_t*>(text), length);
    const std::u16string expected = u"<r a=\"" + t + u"\">\n  <i>" + t + u"</i>\n  <s><![CDATA[" + t +
                                    u"]]></s>\n  <l>\n    " + t + u"\n    <e/>\n  </l>\n</r>\n";
    EXPECT_EQ(Write(root, u"  ", u"\n"), expected) << "value " << k;
    Utf8Text bytes;
    ASSERT_TRUE(WriteXml(*root, bytes, WStrBuf(W(u"  ")), WStrBuf(), WStrBuf(W(u"\n"))));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Size()),
              std::string(expected.begin(), expected.end()))
        << "value " << k;
    EXPECT_EQ(bytes.Units(), expected.size());
  }
}

}  // namespace
}  // namespace kelmo
