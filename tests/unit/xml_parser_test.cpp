// The parser's internals: the state each construct leaves it in, text
// gathering with references, and the errors only library code can cause.
#include <gtest/gtest.h>

#include <string>

#include "xml_in/xml_parser.h"

namespace kelmo {
namespace {

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

TEST(XmlParser, InputEndingInsideEachConstructLeavesItsState) {
  const struct {
    const char16_t* xml;
    ParseState state;
  } cases[] = {
      {u"text", ParseState::Text},
      {u"<", ParseState::MarkupOpen},
      {u"<!", ParseState::BangOpen},
      {u"<![CDA", ParseState::SectionKeyword},
      {u"<![CDATA[x]]", ParseState::Section},
      {u"<!-", ParseState::CommentOpen},
      {u"<!-- x -", ParseState::Comment},
      {u"<a></a", ParseState::EndTag},
      {u"<?pi", ParseState::PiTarget},
      {u"<?pi body ?", ParseState::PiBody},
      {u"<ab", ParseState::ElementName},
      {u"<a ", ParseState::InTag},
      {u"<a xy", ParseState::AttrName},
      {u"<a x ", ParseState::AfterAttrName},
      {u"<a x= ", ParseState::BeforeAttrValue},
      {u"<a x='v", ParseState::AttrValue},
      {u"<a/", ParseState::CloseTag},
      {u"<a></a ", ParseState::CloseTag},
      {u"<!---", ParseState::Comment},
      {u"<!-- x --", ParseState::MarkupEnd},
      {u"<?pi?", ParseState::MarkupEnd},
      {u"<!DOCTYPE a", ParseState::SkipToClose},
  };
  for (const auto& c : cases) {
    const std::u16string xml = c.xml;
    SCOPED_TRACE(std::string(xml.begin(), xml.end()));
    XmlParser parser;
    parser.Reset();
    ASSERT_TRUE(parser.Feed(AsW(xml), uint32_t(xml.size())));
    EXPECT_EQ(parser.State(), c.state);
    EXPECT_EQ(parser.Offset(), xml.size());
  }
}

TEST(XmlParser, CurrentNodeFollowsTheOpenElement) {
  XmlParser parser;
  parser.Reset();
  const std::u16string xml = u"<a><b x=\"";
  ASSERT_TRUE(parser.Feed(AsW(xml), uint32_t(xml.size())));
  // Inside an attribute value the attribute itself is current.
  KelmoImpl* attribute = parser.Current().get();
  ASSERT_NE(attribute, nullptr);
  EXPECT_TRUE(attribute->Name().Equals(AsW(u"x"), 1));
  EXPECT_TRUE(attribute->Parent()->Name().Equals(AsW(u"b"), 1));
  EXPECT_EQ(attribute->Parent()->Parent()->Parent(), parser.Root().get());
}

TEST(XmlParser, FeedTextChar) {
  const struct {
    const char16_t* input;
    bool ok;
    std::u16string out;  // what was gathered when every unit was accepted
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
    const std::u16string input = c.input;
    SCOPED_TRACE(std::string(input.begin(), input.end()));
    XmlParser parser;
    WStrBuf out;
    bool ok = true;
    for (char16_t u : input) ok = ok && parser.FeedTextChar(static_cast<WChar>(u), &out);
    EXPECT_EQ(ok, c.ok);
    if (c.ok) {
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out.Data()), out.Length()),
                c.out);
    }
  }
}

TEST(XmlParser, FeedTextCharWithoutOutputStillChecksReferences) {
  XmlParser parser;
  const std::u16string good = u"x&amp;y";
  for (char16_t u : good) EXPECT_TRUE(parser.FeedTextChar(static_cast<WChar>(u), nullptr));
  const std::u16string bad = u"&nbsp;";
  bool ok = true;
  for (char16_t u : bad) ok = parser.FeedTextChar(static_cast<WChar>(u), nullptr);
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace kelmo
