// The parser as a host sees it: how XML maps onto the tree, every error code
// with its position, the entry points, reuse, and the root's ownership.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <filesystem>
#include <string>
#include <vector>

#include "support/host_library.h"
#include "support/tree_outline.h"

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

struct ParseCase {
  const char* label;
  const char* xml;      // UTF-8, turned into UTF-16 for ParseStringW
  bool ok;
  const char* outline;  // the whole tree, partial on failure
  unsigned error = 0;   // checked on failure, with the position
  unsigned line = 0;
  unsigned column = 0;
};

std::ostream& operator<<(std::ostream& os, const ParseCase& c) { return os << c.label; }

class ParseStringWTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseStringWTable, TreeOrError) {
  const ParseCase& c = GetParam();
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::u16string xml = U16(c.xml);
  const bool ok = p->ParseStringW(W(xml), kelmo::kWholeText);
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(Outline(p->GetRoot()), c.outline);
  if (c.ok) {
    EXPECT_EQ(p->GetErrorCode(), 0u);
  } else {
    EXPECT_EQ(p->GetErrorCode(), c.error);
    EXPECT_EQ(p->GetErrorLine(), c.line);
    EXPECT_EQ(p->GetErrorColumn(), c.column);
  }
}

// Mapping of XML onto nodes.
const ParseCase kMappingCases[] = {
    {"text value", "<a>text</a>", true, "a=\"text\""},
    {"first run only", "<a>first<b/>second</a>", true, "a=\"first\"(b)"},
    {"blank run before a child does not count", "<a> \t <b/>later</a>", true, "a=\"later\"(b)"},
    {"blank runs only", "<a>  <b/>\t</a>", true, "a(b)"},
    {"line break joins the lines", "<a>a\nb</a>", true, "a=\"ab\""},
    {"crlf joins the lines", "<a>a\r\nb</a>", true, "a=\"ab\""},
    {"inner tab kept", "<a>x\ty</a>", true, "a=\"x\\x09y\""},
    {"run trimmed", "<a> \t padded  text \t </a>", true, "a=\"padded  text\""},
    {"text after a child still counts", "<a><b>v</b>tail</a>", true, "a=\"tail\"(b=\"v\")"},
    {"run at the end of the input is dropped", "<a>never stored", false, "a", 13, 1, 15},
    {"document-level text is dropped", "before<a/>after", true, "a"},
    {"attribute keeps spaces and tabs", "<a x=\" \t v \t \"/>", true,
     "a(x#2=\" \\x09 v \\x09 \")"},
    {"attribute loses line breaks", "<a x=\"l1\nl2\r\nl3\rl4\"/>", true, "a(x#2=\"l1l2l3l4\")"},
    {"empty attribute value", "<a x=\"\"/>", true, "a(x#2=\"\")"},
    {"other quote and > inside a value", "<a x='say \"hi\" >' y=\"it's\"/>", true,
     "a(x#2=\"say \"hi\" >\",y#2=\"it's\")"},
    {"< inside a value", "<a x=\"1<2\"/>", true, "a(x#2=\"1<2\")"},
    {"spaces around =", "<a x = \"1\"\ty\t=\t'2' />", true, "a(x#2=\"1\",y#2=\"2\")"},
    {"duplicate attributes kept", "<a x=\"1\" x=\"2\"/>", true, "a(x#2=\"1\",x#2=\"2\")"},
    {"attributes come first", "<a x=\"1\"><b/>t</a>", true, "a=\"t\"(x#2=\"1\",b)"},
    {"nesting", "<a><b><c>deep</c></b><d/></a>", true, "a(b(c=\"deep\"),d)"},
    {"two top-level elements", "<a/><b/>", true, "a,b"},
    {"names may start with digits, dashes and dots", "<1a/><-a/><.b/><_:c/>", true,
     "1a,-a,.b,_:c"},
    {"non-ASCII names", u8"<\u00e9t\u00e9 \u540d=\"\u5024\"/>", true,
     u8"\u00e9t\u00e9(\u540d#2=\"\u5024\")"},
    {"end tag with spaces before >", "<a></a \t>", true, "a"},
    {"self-closing with spaces", "<a / >", true, "a"},
    {"declaration, comments, instructions, doctype",
     "<?xml version=\"1.0\"?><!-- c --><?pi body?><!DOCTYPE a><a><!-- in --><?p?>v</a><!--e-->",
     true, "a=\"v\""},
    {"doctype subset ends at its first >", "<!DOCTYPE a [<!ENTITY e \"x\">]><a/>", true, "a"},
    {"comment with single dashes", "<!-- a-b - c --><a/>", true, "a"},
    {"instruction with ? inside", "<?p a ?? b?><a/>", true, "a"},
    {"instruction right after its target", "<?p?><a/>", true, "a"},
    {"processing instruction keeps the value slot free", "<a><?p x?>v</a>", true, "a=\"v\""},
};

// References in text and attribute values.
const ParseCase kReferenceCases[] = {
    {"one level of decoding", "<a>&amp;lt;</a>", true, "a=\"&lt;\""},
    {"the five entities", "<a x=\"&lt;&gt;&amp;&quot;&apos;\">&lt;&gt;&amp;&quot;&apos;</a>", true,
     "a=\"<>&\"'\"(x#2=\"<>&\"'\")"},
    {"decimal and hex", "<a>&#65;&#x41;&#x4a;&#x4A;</a>", true, "a=\"AAJJ\""},
    {"above U+FFFF gives a surrogate pair", "<a>&#x1F600;&#128512;</a>", true,
     u8"a=\"\U0001F600\U0001F600\""},
    {"highest code point", "<a>&#x10FFFF;</a>", true, u8"a=\"\U0010FFFF\""},
    {"reference to 0", "<a>&#0;</a>", true, "a=\"\\x00\""},
    {"reference without digits", "<a>x&#;</a>", true, "a=\"x\\x00\""},
    {"blanks by reference are kept", "<a> &#32;x&#9;\t</a>", true, "a=\" x\\x09\""},
    {"blanks only by reference", "<a>\t&#x20; </a>", true, "a=\" \""},
    {"line feed by reference kept in a value", "<a x=\"1&#10;2\"/>", true,
     "a(x#2=\"1\\x0A2\")"},
    {"reference in dropped text is still checked", "<a>v<b/>&nbsp;</a>", false, "a=\"v\"(b)", 5, 1,
     14},
    {"upper-case X", "<a>&#X41;</a>", false, "a", 5, 1, 9},
    {"unknown entity", "<a>&nbsp;</a>", false, "a", 5, 1, 9},
    {"entity names are case-sensitive", "<a>&AMP;</a>", false, "a", 5, 1, 8},
    {"no semicolon before <", "<a>&amp</a>", false, "a", 5, 1, 8},
    {"no semicolon before the closing quote", "<a x=\"&amp\"/>", false, "a(x)", 5, 1, 11},
    {"markup inside a reference in a value", "<a x=\"&a<b;\"/>", false, "a(x)", 5, 1, 11},
    {"beyond U+10FFFF", "<a>&#x110000;</a>", false, "a", 5, 1, 13},
    {"digits that overflow", "<a>&#99999999999999999999999;</a>", false, "a", 5, 1, 29},
    {"reference without ; at the end of the input", "<a/>x&amp", false, "a", 13, 1, 9},
};

// Sections.
const ParseCase kSectionCases[] = {
    {"cdata", "<a><![CDATA[a]]]></a>", true, "a#1=\"a]\""},
    {"empty cdata", "<a><![CDATA[]]></a>", true, "a#1=\"\""},
    {"cdata keeps references and line breaks", "<a><![CDATA[&amp;\r\n<x> ]]></a>", true,
     "a#1=\"&amp;\\x0D\\x0A<x> \""},
    {"runs of brackets", "<a><![CDATA[x]y]]z]]]]></a>", true, "a#1=\"x]y]]z]]\""},
    {"cdata after a run replaces it", "<a>run<![CDATA[sec]]></a>", true, "a#1=\"sec\""},
    {"run after cdata is dropped", "<a><![CDATA[sec]]>run</a>", true, "a#1=\"sec\""},
    {"unterminated cdata marks the node", "<a><![CDATA[never", false, "a#1:bool", 13, 1, 17},
    {"other keyword leaves the kind", "<a><![FOO[raw &amp;]]></a>", true, "a=\"raw &amp;\""},
    {"keyword with line breaks", "<a><![CD\nATA[x]]></a>", true, "a#1=\"x\""},
    {"keyword is case-sensitive", "<a><![cdata[x]]></a>", true, "a=\"x\""},
};

// Markup errors and their positions.
const ParseCase kErrorCases[] = {
    {"space after <", "< a/>", false, "", 6, 1, 2},
    {"attribute without =", "<a b/>", false, "a(b)", 6, 1, 5},
    {"attribute name then another name", "<a b c=\"1\"/>", false, "a(b)", 6, 1, 6},
    {"unquoted value", "<a b=1/>", false, "a(b)", 6, 1, 6},
    {"bad character in a name", "<a$/>", false, "a", 6, 1, 3},
    {"bad character in a tag", "<a =\"1\"/>", false, "a", 6, 1, 4},
    {"bad character after /", "<a/x>", false, "a", 6, 1, 4},
    {"single dash", "<!-x-->", false, "", 6, 1, 4},
    {"double dash inside a comment", "<!-- a -- b -->", false, "", 6, 1, 10},
    {"instruction without a target", "<? pi?>", false, "", 6, 1, 3},
    {"instruction target then /", "<?pi/?>", false, "", 6, 1, 5},
    {"? not followed by >", "<?pi?x", false, "", 6, 1, 6},
    {"end tag with an attribute", "<a></a x>", false, "a", 6, 1, 8},
    {"end tag names another element", "<a></b>", false, "a", 7, 1, 7},
    {"end tag longer than the name", "<a></ab>", false, "a", 7, 1, 8},
    {"end tag shorter than the name", "<ab></a>", false, "ab", 7, 1, 8},
    {"empty end tag", "<a></>", false, "a", 7, 1, 6},
    {"end tag at document level", "</a>", false, "", 7, 1, 4},
    {"end tag of an unopened element", "<a></a></a>", false, "a", 7, 1, 11},
    {"mismatch on line 3", "<a>\n<b>\n</c>", false, "a(b)", 7, 3, 4},
    {"crlf counts once", "<a>\r\n\r\n</b>", false, "a", 7, 3, 4},
    {"lone cr breaks the line", "<a>\r\r</b>", false, "a", 7, 3, 4},
    {"partial tree kept", "<a><b x=\"1\"/><c></d>", false, "a(b(x#2=\"1\"),c)", 7, 1, 20},
};

// Positions after multi-line constructs: every kind of run that the reader
// crosses before the failing character.
const ParseCase kPositionCases[] = {
    {"after a multi-line comment", "<a><!-- x\r\n y --></b>", false, "a", 7, 2, 10},
    {"after a multi-line section", "<a><![CDATA[l1\rl2]]></b>", false, "a#1=\"l1\\x0Dl2\"", 7, 2,
     9},
    {"after a multi-line value", "<a x=\"v\n  w\"></b>", false, "a(x#2=\"v  w\")", 7, 2, 9},
    {"after a multi-line instruction", "<?pi a\nbc?></b>", false, "", 7, 2, 8},
    {"after a multi-line declaration", "<!DOCTYPE x\nyz></b>", false, "", 7, 2, 7},
    {"after document-level text", "text\r\nmore<a></b>", false, "a", 7, 2, 11},
    {"after a multi-line text run", "<a>t1\n t2</b>", false, "a=\"t1 t2\"", 7, 2, 7},
    {"after a line break in a tag", "<a\nb=\"1\"></c>", false, "a(b#2=\"1\")", 7, 2, 10},
    {"long end tag", "<averylongname></averylongnamx>", false, "averylongname", 7, 1, 31},
    {"end tag with a longer name", "<abc></abcd>", false, "abc", 7, 1, 12},
};

// Input ending inside a construct fails with error 13 at its last
// character, keeping the partial tree; what may follow the root does not.
const ParseCase kTruncatedCases[] = {
    {"after the first name", "<a", false, "a", 13, 1, 2},
    {"inside a start tag", "<a x=\"1\" ", false, "a(x#2=\"1\")", 13, 1, 9},
    {"inside an attribute name", "<a xy", false, "a(xy)", 13, 1, 5},
    {"inside an attribute value", "<a x=\"unfinished", false, "a(x)", 13, 1, 16},
    {"unclosed element", "<a><b>v</b>\n", false, "a(b=\"v\")", 13, 1, 12},
    {"inside a comment", "<a/><!-- never", false, "a", 13, 1, 14},
    {"inside an instruction", "<a/><?p never", false, "a", 13, 1, 13},
    {"inside a declaration", "<a/><!DOCTYPE", false, "a", 13, 1, 13},
    {"inside a section keyword", "<a><![CDA", false, "a", 13, 1, 9},
    {"inside an end tag", "<a></a", false, "a", 13, 1, 6},
    {"after <", "<a/><", false, "a", 13, 1, 5},
    {"after the ? of an instruction", "<a/><?p?", false, "a", 13, 1, 8},
    {"blanks, comments and text after the root", "<a/>\r\n <!-- c --><?p?> t\n", true, "a"},
    {"no element at all", "<!-- c -->", false, "", 14, 1, 10},
};

std::string TestName(const ::testing::TestParamInfo<ParseCase>& info) {
  std::string name;
  for (const char* p = info.param.label; *p; ++p)
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Mapping, ParseStringWTable, ::testing::ValuesIn(kMappingCases), TestName);
INSTANTIATE_TEST_SUITE_P(References, ParseStringWTable, ::testing::ValuesIn(kReferenceCases),
                         TestName);
INSTANTIATE_TEST_SUITE_P(Sections, ParseStringWTable, ::testing::ValuesIn(kSectionCases),
                         TestName);
INSTANTIATE_TEST_SUITE_P(Errors, ParseStringWTable, ::testing::ValuesIn(kErrorCases), TestName);
INSTANTIATE_TEST_SUITE_P(Positions, ParseStringWTable, ::testing::ValuesIn(kPositionCases),
                         TestName);
INSTANTIATE_TEST_SUITE_P(Truncated, ParseStringWTable, ::testing::ValuesIn(kTruncatedCases),
                         TestName);

class ParserTest : public ::testing::Test {
 protected:
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();

  bool ParseW(const std::u16string& xml) {
    return p->ParseStringW(W(xml), static_cast<unsigned>(xml.size()));
  }
};

TEST_F(ParserTest, SurrogatePairReferenceUnits) {
  ASSERT_TRUE(ParseW(u"<a v=\"&#x1F600;\">&#x10000;&#xFFFF;</a>"));
  RefPtr<Kelmo> a = p->GetRoot()->GetFirstChild();
  EXPECT_EQ(StringOf(a), (std::u16string{0xD800, 0xDC00, 0xFFFF}));
  EXPECT_EQ(StringOf(a->GetFirstChild()), (std::u16string{0xD83D, 0xDE00}));
}

TEST_F(ParserTest, CDataAtDocumentLevelMarksTheRoot) {
  ASSERT_TRUE(ParseW(u"<![CDATA[top]]><a/>"));
  RefPtr<Kelmo> root = p->GetRoot();
  EXPECT_EQ(root->GetKind(), 1);
  EXPECT_EQ(StringOf(root), u"top");
  EXPECT_EQ(Outline(root), "a");
}

TEST_F(ParserTest, RootIsUnnamedAndEmpty) {
  ASSERT_TRUE(ParseW(u"<a>v</a>"));
  RefPtr<Kelmo> root = p->GetRoot();
  EXPECT_EQ(NameOf(root), u"");
  EXPECT_TRUE(root->IsEmpty());
  EXPECT_EQ(root->GetKind(), 0);
  EXPECT_EQ(root->GetParent(), nullptr);
}

TEST_F(ParserTest, StateBeforeAnyParse) {
  EXPECT_EQ(p->GetErrorLine(), 1u);
  EXPECT_EQ(p->GetErrorColumn(), 0u);
  EXPECT_EQ(p->GetErrorOffset(), 0u);
  EXPECT_EQ(p->GetErrorCode(), 0u);
  EXPECT_EQ(p->GetRoot(), nullptr);
  EXPECT_EQ(p->DetachRoot(), nullptr);
}

TEST_F(ParserTest, PositionAfterSuccessIsTheLastCharacter) {
  const std::u16string xml = u"<a x=\"1\">text</a>";
  ASSERT_TRUE(ParseW(xml));
  EXPECT_EQ(p->GetErrorLine(), 1u);
  EXPECT_EQ(p->GetErrorColumn(), xml.size());
  EXPECT_EQ(p->GetErrorOffset(), xml.size());

  ASSERT_TRUE(ParseW(u"<a>\r\n  <b/>\n</a>"));
  EXPECT_EQ(p->GetErrorLine(), 3u);
  EXPECT_EQ(p->GetErrorColumn(), 4u);
  EXPECT_EQ(p->GetErrorOffset(), 16u);
}

TEST_F(ParserTest, OffsetOfAFailureCountsTheFailingCharacter) {
  EXPECT_FALSE(ParseW(u"<a>\n\n<b></c>tail"));
  EXPECT_EQ(p->GetErrorCode(), 7u);
  EXPECT_EQ(p->GetErrorLine(), 3u);
  EXPECT_EQ(p->GetErrorColumn(), 7u);
  EXPECT_EQ(p->GetErrorOffset(), 12u);
}

TEST_F(ParserTest, EmptyInputsHoldNoElementAndGiveAFreshRoot) {
  const std::u16string xml = u"<a/>";
  const std::u16string empty;
  struct {
    const char* label;
    const kelmo::WChar* text;
    unsigned length;
  } cases[] = {
      {"length 0", W(xml), 0},
      {"null text", nullptr, 4},
      {"null text, whole", nullptr, kelmo::kWholeText},
      {"empty text, whole", W(empty), kelmo::kWholeText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_FALSE(ParseW(u"<a></b>"));  // leave an error behind first
    RefPtr<Kelmo> previous = p->GetRoot();
    EXPECT_FALSE(p->ParseStringW(c.text, c.length));
    EXPECT_EQ(p->GetErrorCode(), 14u);
    RefPtr<Kelmo> root = p->GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_NE(root, previous);
    EXPECT_EQ(root->GetChildCount(), 0u);
    EXPECT_EQ(p->GetErrorLine(), 1u);
    EXPECT_EQ(p->GetErrorColumn(), 0u);
  }
}

TEST_F(ParserTest, ExplicitLengthIsObeyed) {
  const std::u16string xml = u"<a/><b/>";
  ASSERT_TRUE(p->ParseStringW(W(xml), 4));
  EXPECT_EQ(Outline(p->GetRoot()), "a");
  EXPECT_EQ(p->GetErrorOffset(), 4u);
  // Cut inside the second element: the text is incomplete.
  EXPECT_FALSE(p->ParseStringW(W(xml), 6));
  EXPECT_EQ(p->GetErrorCode(), 13u);
  EXPECT_EQ(Outline(p->GetRoot()), "a,b");

  const std::u16string withZero(u"<a>x\0y</a>", 10);
  ASSERT_TRUE(ParseW(withZero));
  EXPECT_EQ(StringOf(p->GetRoot()->GetFirstChild()), std::u16string(u"x\0y", 3));

  // The whole-text length stops at the zero unit, inside the element.
  ASSERT_FALSE(p->ParseStringW(W(withZero), kelmo::kWholeText));
  EXPECT_EQ(p->GetErrorCode(), 13u);
  EXPECT_EQ(Outline(p->GetRoot()), "a");
  EXPECT_EQ(p->GetErrorOffset(), 4u);
}

TEST_F(ParserTest, EveryParseGetsANewRootAndOldTreesStay) {
  ASSERT_TRUE(ParseW(u"<first>1</first>"));
  RefPtr<Kelmo> first = p->GetRoot();
  ASSERT_TRUE(ParseW(u"<second>2</second>"));
  RefPtr<Kelmo> second = p->GetRoot();
  EXPECT_NE(first, second);
  EXPECT_EQ(Outline(first), "first=\"1\"");
  EXPECT_EQ(Outline(second), "second=\"2\"");
}

TEST_F(ParserTest, LaterParseClearsTheError) {
  ASSERT_FALSE(ParseW(u"<a>&bad;</a>"));
  EXPECT_EQ(p->GetErrorCode(), 5u);
  ASSERT_TRUE(ParseW(u"<a/>"));
  EXPECT_EQ(p->GetErrorCode(), 0u);
  EXPECT_EQ(p->GetErrorColumn(), 4u);
}

TEST_F(ParserTest, DetachRootHandsOverTheTree) {
  ASSERT_FALSE(ParseW(u"<a><b>text</b><c></d>"));
  const unsigned line = p->GetErrorLine();
  const unsigned column = p->GetErrorColumn();
  RefPtr<Kelmo> tree = p->DetachRoot();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(p->GetRoot(), nullptr);
  EXPECT_EQ(p->DetachRoot(), nullptr);
  EXPECT_EQ(p->GetErrorCode(), 7u);
  EXPECT_EQ(p->GetErrorLine(), line);
  EXPECT_EQ(p->GetErrorColumn(), column);
  p = nullptr;  // the tree outlives its parser
  EXPECT_EQ(Outline(tree), "a(b=\"text\",c)");
}

TEST_F(ParserTest, ParserCanBeReleasedWithAPartialTree) {
  ASSERT_FALSE(ParseW(u"<a><b><c x=\"&oops;\"/></b></a>"));
  RefPtr<Kelmo> root = p->GetRoot();
  p = nullptr;
  EXPECT_EQ(Outline(root), "a(b(c(x)))");
}

TEST_F(ParserTest, ParseStringAConvertsFromTheCodePage) {
  // GBK: <中 文="中文">文</中>
  const std::string gbk =
      "<\xD6\xD0 \xCE\xC4=\"\xD6\xD0\xCE\xC4\">\xCE\xC4</\xD6\xD0>";
  ASSERT_TRUE(p->ParseStringA(gbk.c_str(), kelmo::kWholeText, 936));
  RefPtr<Kelmo> e = p->GetRoot()->GetFirstChild();
  EXPECT_EQ(NameOf(e), u"\u4E2D");
  EXPECT_EQ(StringOf(e), u"\u6587");
  RefPtr<Kelmo> attr = e->GetFirstChild();
  EXPECT_EQ(NameOf(attr), u"\u6587");
  EXPECT_EQ(StringOf(attr), u"\u4E2D\u6587");
  EXPECT_EQ(attr->GetKind(), 2);
  EXPECT_EQ(p->GetErrorOffset(), 15u);  // counted in wide units

  ASSERT_FALSE(p->ParseStringA(gbk.c_str(), 6, 936));  // bytes, not characters
  EXPECT_EQ(p->GetErrorCode(), 13u);
  EXPECT_EQ(Outline(p->GetRoot()), u8"\u4E2D(\u6587)");
}

TEST_F(ParserTest, ParseStringAFailures) {
  EXPECT_FALSE(p->ParseStringA("<a/>", kelmo::kWholeText, 12345));
  EXPECT_EQ(p->GetErrorCode(), 9u);
  ASSERT_NE(p->GetRoot(), nullptr);
  EXPECT_EQ(p->GetRoot()->GetChildCount(), 0u);

  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_FALSE(p->ParseStringA(text, kelmo::kWholeText, 65001));
    EXPECT_EQ(p->GetErrorCode(), 14u);
  }
  EXPECT_FALSE(p->ParseStringA("<a/>", 0, 65001));
  EXPECT_EQ(p->GetErrorCode(), 14u);

  EXPECT_FALSE(p->ParseStringA("<a></b>", kelmo::kWholeText, 65001));
  EXPECT_EQ(p->GetErrorCode(), 7u);
  EXPECT_EQ(p->GetErrorColumn(), 7u);
}

TEST_F(ParserTest, ParseBufferSniffsAndRejects) {
  const std::string utf8 = "<?xml version=\"1.0\"?><a x=\"1\">v</a>";
  ASSERT_TRUE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(utf8.data()),
                             static_cast<unsigned>(utf8.size())));
  EXPECT_EQ(Outline(p->GetRoot()), "a=\"v\"(x#2=\"1\")");

  // Too short to sniff, or cut inside the declaration: read as UTF-8, and
  // failed for what the text is, not as an encoding.
  const struct {
    const char* label;
    std::string bytes;
    unsigned code;
    unsigned children;
  } failures[] = {
      {"three bytes", "<a>", 13, 1},
      {"three blanks", " \r\n", 14, 0},
      {"declaration cut off", "<?xml version=\"1.0\" encoding=", 13, 0},
      {"declaration cut inside the name", "<?xml version='1.0' encoding='gb", 13, 0},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.label);
    const bool ok = p->ParseBuffer(reinterpret_cast<const unsigned char*>(f.bytes.data()),
                                   static_cast<unsigned>(f.bytes.size()));
    EXPECT_FALSE(ok);
    EXPECT_EQ(p->GetErrorCode(), f.code);
    ASSERT_NE(p->GetRoot(), nullptr);
    EXPECT_EQ(p->GetRoot()->GetChildCount(), f.children);
  }
  EXPECT_FALSE(p->ParseBuffer(nullptr, 100));
  EXPECT_EQ(p->GetErrorCode(), 9u);
  EXPECT_FALSE(p->ParseBuffer(nullptr, 0));
  EXPECT_EQ(p->GetErrorCode(), 14u);
}

TEST_F(ParserTest, ParseBufferWithUnknownEncodingNameUsesTheDefault) {
  const std::string doc = "<?xml version=\"1.0\" encoding=\"klingon\"?><a>x</a>";
  ASSERT_TRUE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(doc.data()),
                             static_cast<unsigned>(doc.size())));
  EXPECT_EQ(Outline(p->GetRoot()), "a=\"x\"");
}

TEST_F(ParserTest, ParseBufferOfMisalignedUtf16) {
  const std::u16string xml = u"<\u540d v=\"\u5024\"/>";
  std::vector<unsigned char> storage(xml.size() * 2 + 3);
  unsigned char* bytes = storage.data() + 1;
  if (reinterpret_cast<uintptr_t>(bytes) % 2 == 0) ++bytes;
  std::memcpy(bytes, xml.data(), xml.size() * 2);
  ASSERT_TRUE(p->ParseBuffer(bytes, static_cast<unsigned>(xml.size() * 2)));
  EXPECT_EQ(Outline(p->GetRoot()), u8"\u540d(v#2=\"\u5024\")");
}

// Files.

class TempFile {
 public:
  // `name` is UTF-8; on Windows the file is made through its wide name, since
  // narrow names there are in the ANSI code page.
  TempFile(const std::string& name, const std::string& bytes) {
    path_ = ::testing::TempDir() + name;
#if defined(_WIN32)
    std::FILE* f = _wfopen(std::filesystem::u8path(path_).c_str(), L"wb");
#else
    std::FILE* f = std::fopen(path_.c_str(), "wb");
#endif
    if (f) {
      if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::u8path(path_), ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST_F(ParserTest, ParseFileANarrowPath) {
  TempFile file("kelmo_parser_a.xml", "\xEF\xBB\xBF<a x=\"1\">\xE4\xB8\xAD</a>");
  ASSERT_TRUE(p->ParseFileA(file.path().c_str()));
  EXPECT_EQ(Outline(p->GetRoot()), u8"a=\"\u4E2D\"(x#2=\"1\")");
}

TEST_F(ParserTest, ParseFileWNonAsciiPath) {
  TempFile file(u8"kelmo_\u8bbe\u7f6e_\u00e9.xml", "<a>wide path</a>");
  const std::u16string path = U16(file.path().c_str());
  ASSERT_TRUE(p->ParseFileW(W(path)));
  EXPECT_EQ(Outline(p->GetRoot()), "a=\"wide path\"");
}

TEST_F(ParserTest, FileFailures) {
  TempFile empty("kelmo_parser_empty.xml", "");
  TempFile tiny("kelmo_parser_tiny.xml", " x ");
  const std::string missing = ::testing::TempDir() + "kelmo_no_such_file.xml";
  const std::string directory = ::testing::TempDir();
  const struct {
    const char* label;
    const char* path;
    unsigned code;
  } cases[] = {
      {"missing", missing.c_str(), 12},
      {"null path", nullptr, 12},
      {"directory", directory.c_str(), 12},
      {"empty", empty.path().c_str(), 14},
      {"shorter than 4 bytes", tiny.path().c_str(), 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(ParseW(u"<previous/>"));
    EXPECT_FALSE(p->ParseFileA(c.path));
    EXPECT_EQ(p->GetErrorCode(), c.code);
    ASSERT_NE(p->GetRoot(), nullptr);
    EXPECT_EQ(p->GetRoot()->GetChildCount(), 0u);

    ASSERT_TRUE(ParseW(u"<previous/>"));
    const std::u16string wide = c.path ? U16(c.path) : std::u16string();
    EXPECT_FALSE(p->ParseFileW(c.path ? W(wide) : nullptr));
    EXPECT_EQ(p->GetErrorCode(), c.code);
  }
}

TEST_F(ParserTest, FileTooLargeForA32BitSizeIsRefused) {
  // A sparse file: its size is told without reading or storing its bytes.
  TempFile file("kelmo_parser_huge.xml", "<a/>");
  std::error_code ec;
  std::filesystem::resize_file(file.path(), 0x100000000ull + 4, ec);
  if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
  EXPECT_FALSE(p->ParseFileA(file.path().c_str()));
  EXPECT_EQ(p->GetErrorCode(), 12u);
  ASSERT_NE(p->GetRoot(), nullptr);
  EXPECT_EQ(p->GetRoot()->GetChildCount(), 0u);
}

TEST(ParserData, SampleFileInTheDataDirectory) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::string path = std::string(KELMO_TEST_DATA_DIR) + "/catalog_utf16le.xml";
  ASSERT_TRUE(p->ParseFileA(path.c_str())) << p->GetErrorCode();
  RefPtr<Kelmo> catalog = p->GetRoot()->GetFirstChild();
  EXPECT_EQ(NameOf(catalog), u"catalog");
  RefPtr<Kelmo> book = catalog->FindChildW(W(u"book"), kelmo::kWholeText, 0);
  ASSERT_NE(book, nullptr);
  EXPECT_EQ(StringOf(book->FindChildW(W(u"id"), kelmo::kWholeText, 0)), u"b1");
  EXPECT_EQ(StringOf(book->FindChildW(W(u"title"), kelmo::kWholeText, 0)),
            u"\u6570\u636E & \u7ED3\u6784");
}

// Depth costs no stack, in the parser or when the tree goes.

std::u16string Repeat(const std::u16string& piece, size_t count) {
  std::u16string out;
  out.reserve(piece.size() * count);
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

TEST(ParserDepth, MillionLevelsParseAndRelease) {
  constexpr size_t kDepth = 1000000;
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::u16string xml =
      Repeat(u"<n>", kDepth) + u"bottom" + Repeat(u"</n>", kDepth);
  ASSERT_TRUE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())));
  EXPECT_EQ(p->GetErrorOffset(), xml.size());

  RefPtr<Kelmo> node = p->GetRoot();
  size_t depth = 0;
  for (;;) {
    RefPtr<Kelmo> element = node->GetFirstChild();
    if (!element) break;
    node = element;
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(StringOf(node), u"bottom");
  node = nullptr;

  // Reparsing drops the parser's reference; the tree goes with it.
  ASSERT_TRUE(p->ParseStringW(W(u"<a/>"), kelmo::kWholeText));
  EXPECT_EQ(Outline(p->GetRoot()), "a");
}

TEST(ParserDepth, UnclosedMillionLevelsAndAFailureAtTheBottom) {
  constexpr size_t kDepth = 1000000;
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  std::u16string xml = Repeat(u"<n>", kDepth);
  ASSERT_FALSE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())));
  EXPECT_EQ(p->GetErrorCode(), 13u);
  RefPtr<Kelmo> detached = p->DetachRoot();
  ASSERT_NE(detached, nullptr);
  detached = nullptr;

  xml += u"</wrong>";
  ASSERT_FALSE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())));
  EXPECT_EQ(p->GetErrorCode(), 7u);
  // The parser still holds the deepest node as its current one.
  p = nullptr;
}

}  // namespace
