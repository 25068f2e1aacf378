// The markup functions compose into the markup the reader reads back, in
// both code units the library and the tool write, and spell each tag as
// the writer does.
#include <gtest/gtest.h>

#include <string>

#include "support/tree_outline.h"
#include "syntax/xml_markup.h"
#include "xml/xml_parser.h"

namespace kelmo {
namespace {

// A document with every kind of markup the functions make: an element with
// text, an empty one with an attribute in each quote, and one reopened
// after its start tag was closed.
template <class String>
String Composed(const String& quoted) {
  using Unit = typename String::value_type;
  const String a(1, Unit('a')), b(1, Unit('b')), v(1, Unit('v')), t(1, Unit('t'));
  String out;
  syntax::AppendStartTag(out, a);
  syntax::AppendElement(out, b, t);
  syntax::AppendTagOpen(out, b);
  out.push_back(Unit(' '));
  syntax::AppendAttribute(out, v, quoted, Unit('\''));
  out.push_back(Unit(' '));
  syntax::AppendAttribute(out, t, quoted, Unit('"'));
  syntax::AppendTagClose(out, true);
  syntax::AppendTagOpen(out, v);
  syntax::AppendTagClose(out, false);
  out += t;
  syntax::AppendEndTag(out, v);
  syntax::AppendEndTag(out, a);
  return out;
}

std::string OutlineOf(const std::u16string& xml) {
  XmlParser parser;
  parser.Reset();
  EXPECT_TRUE(parser.Feed(reinterpret_cast<const WChar*>(xml.data()), uint32_t(xml.size())));
  return kelmo_test::Outline(parser.Root());
}

TEST(XmlMarkup, ComposesMarkupTheReaderReadsBack) {
  const std::string narrow = Composed<std::string>("q");
  EXPECT_EQ(narrow, "<a><b>t</b><b v='q' t=\"q\"/><v>t</v></a>");
  const std::u16string wide = Composed<std::u16string>(u"q");
  EXPECT_EQ(wide, std::u16string(narrow.begin(), narrow.end()));
  EXPECT_EQ(OutlineOf(wide), "a(b=\"t\",b(v#2=\"q\",t#2=\"q\"),v=\"t\")");
}

}  // namespace
}  // namespace kelmo
