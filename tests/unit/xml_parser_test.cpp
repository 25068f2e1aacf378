// The parser seen from outside: text fed in two parts builds what the whole
// text builds, references are decoded alike in character data and attribute
// values, and the errors that only library code can cause.
#include <gtest/gtest.h>

#include <string>

#include "support/node_text.h"
#include "support/tree_outline.h"
#include "xml/xml_parser.h"

namespace kelmo {
namespace {

using kelmo_test::Outline;
using kelmo_test::StringOf;

const WChar* AsW(const std::u16string& s) { return reinterpret_cast<const WChar*>(s.c_str()); }

TEST(XmlParser, FeedWithoutRootOrCurrentNode) {
  XmlParser parser;
  const std::u16string xml = u"<a/>";
  EXPECT_FALSE(parser.Feed(AsW(xml), 4));
  EXPECT_EQ(parser.Error(), uint32_t(ParseError::NoRoot));

  parser.Reset();
  parser.ReleaseCurrent();
  EXPECT_FALSE(parser.Feed(AsW(xml), 4));
  EXPECT_EQ(parser.Error(), uint32_t(ParseError::NoCurrentNode));
  EXPECT_EQ(parser.Root()->FirstChild(), nullptr);
}

// Cut at every place, so that the first feed ends inside every construct
// the machine knows: the first part alone is accepted, and the second feed
// goes on from there to the same tree, line, column and offset as one feed.
TEST(XmlParser, TextCutAnywhereGoesOnInTheNextFeed) {
  const std::u16string xml =
      u"<?xml version='1.0'?>\r\n<!DOCTYPE a>\n<!-- c - d -->\n"
      u"<a x = 'v&amp;w' y=\"1\r\n2\">t&#x41;&lt;\nu<![CDATA[x]y]]]></a >"
      u"<b><?pi body?\?></b><c/><!---->text<![OTHER[z]]>";
  XmlParser whole;
  whole.Reset();
  ASSERT_TRUE(whole.Feed(AsW(xml), uint32_t(xml.size())));
  const std::string expected = Outline(whole.Root());
  ASSERT_EQ(expected, "a#1=\"x]y]\"(x#2=\"v&w\",y#2=\"12\"),b,c");

  for (uint32_t cut = 0; cut <= xml.size(); ++cut) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " units");
    XmlParser parser;
    parser.Reset();
    ASSERT_TRUE(parser.Feed(AsW(xml), cut));
    EXPECT_EQ(parser.Offset(), cut);
    ASSERT_TRUE(parser.Feed(AsW(xml) + cut, uint32_t(xml.size()) - cut));
    EXPECT_EQ(Outline(parser.Root()), expected);
    EXPECT_EQ(parser.Line(), whole.Line());
    EXPECT_EQ(parser.Column(), whole.Column());
    EXPECT_EQ(parser.Offset(), whole.Offset());
  }
}

// Character data and attribute values go through the same reference and
// line-break handling.
TEST(XmlParser, ReferencesInTextAndAttributeValues) {
  const struct {
    const char16_t* input;
    bool ok;
    std::u16string value;
  } cases[] = {
      {u"plain", true, u"plain"},
      {u"a\r\nb\rc\n", true, u"abc"},
      {u"a&amp;b", true, u"a&b"},
      {u"&lt;&gt;&quot;&apos;", true, u"<>\"'"},
      {u"&amp;amp;", true, u"&amp;"},
      {u"&#x41;&#66;", true, u"AB"},
      {u"&#x1F600;", true, u"\U0001F600"},
      {u"&#;", true, std::u16string(1, u'\0')},
      {u"&#\r\n65;", false, u""},  // line breaks inside a reference are kept in it
      {u"&unknown;", false, u""},
      {u"&;", false, u""},
      {u"&#x110000;", false, u""},
  };
  for (const auto& c : cases) {
    for (bool attribute : {false, true}) {
      const std::u16string input = c.input;
      const std::u16string xml =
          attribute ? u"<e v='" + input + u"'/>" : u"<e>" + input + u"</e>";
      SCOPED_TRACE(std::string(xml.begin(), xml.end()));
      XmlParser parser;
      parser.Reset();
      EXPECT_EQ(parser.Feed(AsW(xml), uint32_t(xml.size())), c.ok);
      if (!c.ok) {
        EXPECT_EQ(parser.Error(), uint32_t(ParseError::BadReference));
        continue;
      }
      RefPtr<Kelmo> e = RefPtr<Kelmo>(parser.Root())->GetFirstChild();
      ASSERT_TRUE(e);
      EXPECT_EQ(StringOf(attribute ? e->GetFirstChild() : e), c.value);
    }
  }
}

// Text that is not kept (later runs, text at document level) is still
// checked for its references.
TEST(XmlParser, TextThatIsDroppedStillHasItsReferencesChecked) {
  const struct {
    const char16_t* xml;
    const char* outline;  // null: error 5
  } cases[] = {
      {u"<e>first<b/>x&amp;y</e>", "e=\"first\"(b)"},
      {u"<e>first<b/>x&nbsp;y</e>", nullptr},
      {u"x&amp;y<e/>", "e"},
      {u"x&nbsp;y<e/>", nullptr},
  };
  for (const auto& c : cases) {
    const std::u16string xml = c.xml;
    SCOPED_TRACE(std::string(xml.begin(), xml.end()));
    XmlParser parser;
    parser.Reset();
    EXPECT_EQ(parser.Feed(AsW(xml), uint32_t(xml.size())), c.outline != nullptr);
    if (c.outline) {
      EXPECT_EQ(Outline(parser.Root()), c.outline);
    } else {
      EXPECT_EQ(parser.Error(), uint32_t(ParseError::BadReference));
    }
  }
}

}  // namespace
}  // namespace kelmo
