// The properties that the fuzz targets check, run here over inputs chosen by
// hand and over what fuzzing runs found: every parsed tree survives being
// written and parsed again (within the documented exceptions of
// round_trip_check.h), and the exceptions are no wider than they claim.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../fuzz/fuzz_text.h"
#include "../../fuzz/round_trip_check.h"

namespace {

using kelmo_fuzz::CheckRoundTrip;
using kelmo_fuzz::ExpectedAfterRoundTrip;
using kelmo_fuzz::NodeRecord;
using kelmo_fuzz::TreeSnapshot;

const kelmo::WChar* Units(const std::u16string& text) {
  return reinterpret_cast<const kelmo::WChar*>(text.data());
}

struct Document {
  const char* label;
  std::u16string text;
};

std::vector<Document> TrickyDocuments() {
  return {
      {"worked example",
       u"<config version=\"2\"><name>A&amp;B</name><script><![CDATA[x<y]]></script><empty/>"
       u"<list>1.5<item>1</item><note lang='it&apos;s'>say &quot;hi&quot;</note></list></config>"},
      {"line breaks by reference", u"<a x='&#10;&#13;&#xa;' y=\"a&#xd;&#xa;b\">&#10;x&#13;y&#10;</a>"},
      {"control units and zero", u"<a x='&#0;&#1;&#31;'>&#0;&#27;&#x7f;</a>"},
      {"astral references", u"<a x='&#x1F600;'>&#128512;&#x10FFFF;</a>"},
      {"unpaired surrogates", std::u16string(u"<a x='") + char16_t(0xD800) + u"'>" +
                                  char16_t(0xDC00) + u"z" + char16_t(0xDBFF) + u"</a>"},
      {"surrogate names", std::u16string(u"<") + char16_t(0xDC01) + u" " + char16_t(0xD801) +
                              u"='v'/>"},
      {"runs of brackets", u"<a><![CDATA[x]]]]]></a><b><![CDATA[]]]></b><c><![CDATA[]>]]>]]></c>"},
      {"section text ending in brackets", u"<a><![CDATA[a]]]]></a><b><![CDATA[]]]]]]]></b>"},
      {"blank sections", u"<a><![CDATA[  ]]></a><b><![CDATA[]]></b><c><![CDATA[\r\n\t]]></c>"},
      {"other sections", u"<a><![X[ y ]]></a><b><![X[]]></b><c><![X[  ]]></c><d><![X[a&b<c]]></d>"},
      {"section replaces text", u"<a>text<![CDATA[later]]>dropped</a>"},
      {"unfinished section", u"<a><![CDATA[x"},
      {"blanks by reference", u"<a x=' '>&#32;\t&#9; x &#x20;</a><b>&#32;</b><c> &#9; </c>"},
      {"unfinished other section", u"<a>t<![X[x"},
      {"section at document level", u"<![CDATA[top]]><a/><![CDATA[again]]>"},
      {"unclosed attribute value", u"<a><b x='1"},
      {"unclosed attribute name", u"<a><b x"},
      {"duplicate attributes", u"<a x='1' x='2' x=\"\"/>"},
      {"quotes inside values", u"<a x='\"' y=\"'\" z='>'/>"},
      {"tabs and blanks", u"<a x='\t lead and trail \t'>\t inner\ttab \t</a>"},
      {"mixed content", u"<p>  first <b>bold</b> second <i/> third</p>"},
      {"blank first run", u"<p>\n  <b/>\n  value\n</p>"},
      {"names", u"<\u00e9 \u00fc='\u00f6'><\u4e2d\u6587>\u5024</\u4e2d\u6587><1a/><-b/><.c/></\u00e9>"},
      {"prolog and misc", u"<?xml version='1.0'?><!DOCTYPE a [<!ENTITY e 'x'>]><!--c--><?p q?><a/>"},
      {"end tag mismatch keeps the partial tree", u"<a x='1'><b>t</b><c>u</d>"},
      {"bad reference keeps the partial tree", u"<a><b x='&bogus;'/></a>"},
      {"syntax error keeps the partial tree", u"<a><b>text</b><c x=1/>"},
      {"two roots", u"<a/><b>x</b>"},
      {"surrogate halves by reference, long and beyond ASCII",
       u"<a b='&#xD83D;&#xDE00;\u00e9&#xD800;'>&#xD83D;&#xDE00;\u00e9&#xDFFF;x&#xD800;</a>"
       u"<c>&#xD83D;&#xDE00;&#xD83D;&#xDE00;&#xD83D;&#xDE00;&#xD83D;&#xDE00;&#xD83D;&#xDE00;"
       u"&#xD83D;&#xDE00;&#xD83D;&#xDE00;&#xD83D;&#xDE00;&#xD83D;&#xDE00;&#xD83D;&#xDE00;</c>"},
      {"long and non-ASCII texts and values",
       u"<a k=' \u00e9 &amp; &lt;&quot;&#9;&#10; '>\t&#32;\u65e5\u672c &amp; ]]&gt; text that goes on for"
       u" more than sixty-four bytes, with &lt;markup&gt; in it &#32;</a><b><![CDATA[ \u00e9 ]]></b>"},
  };
}

TEST(RoundTripProperty, HoldsForEveryConstructInEveryLayoutAndEncoding) {
  for (const Document& doc : TrickyDocuments()) {
    for (unsigned layout = 0; layout < kelmo_fuzz::kLayoutCount; ++layout) {
      for (unsigned encoding = 0; encoding < kelmo_fuzz::kOutputEncodingCount; ++encoding) {
        EXPECT_EQ(CheckRoundTrip(Units(doc.text), static_cast<uint32_t>(doc.text.size()), layout,
                                 encoding),
                  "")
            << doc.label << ", layout " << layout << ", encoding " << encoding;
      }
    }
  }
}

TEST(RoundTripProperty, DeepDocumentsCostNoStack) {
  const int depth = 100000;
  std::u16string text;
  text.reserve(depth * 9);
  for (int i = 0; i < depth; ++i) text += u"<d x='1'>";
  text += u"core";
  // Without indentation: indents would grow with the depth.
  EXPECT_EQ(CheckRoundTrip(Units(text), static_cast<uint32_t>(text.size()), 1, 0), "");
}

// Each documented exception does occur, so none of them is there for nothing.
TEST(RoundTripProperty, DocumentedExceptionsOccur) {
  struct Case {
    const char16_t* document;
    int kindBefore;
    const char16_t* textBefore;
    int kindAfter;
    bool hasTextAfter;
    const char16_t* textAfter;
  };
  const Case cases[] = {
      {u"<a><![X[]]></a>", 0, u"", 0, false, u""},
      {u"<a><![CDATA[x", 1, u"1", 1, true, u"1"},
      // Not an exception any more: blanks at the ends are written as
      // references and come back.
      {u"<a><![X[ \ty\t ]]></a>", 0, u" \ty\t ", 0, true, u" \ty\t "},
      {u"<a><![X[  ]]></a>", 0, u"  ", 0, true, u"  "},
  };
  for (const Case& c : cases) {
    const std::u16string text = c.document;
    kelmo_fuzz::ParsedTree first;
    first.ok = first.parser->ParseStringW(Units(text), static_cast<uint32_t>(text.size()));
    const TreeSnapshot built = kelmo_fuzz::Snapshot(first.root());
    ASSERT_EQ(built.size(), 2u);
    EXPECT_EQ(built[1].kind, c.kindBefore);
    EXPECT_EQ(built[1].text, c.textBefore);

    kelmo_fuzz::ParsedTree second;
    kelmo_fuzz::ParseWide(second, kelmo_fuzz::WriteTree(*first.root(), kelmo_fuzz::kLayouts[0]));
    const TreeSnapshot reread = kelmo_fuzz::Snapshot(second.root());
    ASSERT_EQ(reread.size(), 2u);
    EXPECT_EQ(reread[1].kind, c.kindAfter);
    EXPECT_EQ(reread[1].hasText, c.hasTextAfter);
    EXPECT_EQ(reread[1].text, c.textAfter);
  }

  // The root writes nothing of its own: a tree with a section at document
  // level is refused rather than written without it.
  const std::u16string top = u"<![CDATA[top]]><a/>";
  kelmo_fuzz::ParsedTree parsed;
  parsed.ok = parsed.parser->ParseStringW(Units(top), static_cast<uint32_t>(top.size()));
  EXPECT_EQ(parsed.root()->Kind(), 1);
  bool written = true;
  kelmo_fuzz::WriteTree(*parsed.root(), kelmo_fuzz::kLayouts[1], &written);
  EXPECT_FALSE(written);
}

NodeRecord Record(uint32_t depth, const char16_t* name, int kind, bool hasText,
                  const char16_t* text) {
  NodeRecord r;
  r.depth = depth;
  r.name = name;
  r.kind = kind;
  r.hasText = hasText;
  r.text = text;
  return r;
}

// The expected tree after a round trip relaxes only what the exceptions
// name: anything else that changes is reported.
TEST(RoundTripProperty, ExceptionsAreNoWiderThanTheyClaim) {
  struct Case {
    NodeRecord built;
    NodeRecord reread;
    bool accepted;
  };
  const Case cases[] = {
      {Record(1, u"a", 0, true, u""), Record(1, u"a", 0, false, u""), true},
      {Record(1, u"a", 0, true, u" y "), Record(1, u"a", 0, true, u"y"), false},
      {Record(1, u"a", 0, true, u" "), Record(1, u"a", 0, false, u""), false},
      {Record(1, u"a", 1, true, u"x]]>y"), Record(1, u"a", 0, true, u"x]]>y"), true},
      {Record(1, u"a", 1, true, u"x\r\ny"), Record(1, u"a", 0, true, u"x\r\ny"), false},
      {Record(1, u"a", 1, true, u"x\ny"), Record(1, u"a", 0, true, u"x\ny"), false},
      {Record(1, u"a", 1, true, u" x "), Record(1, u"a", 1, true, u"x"), false},
      {Record(1, u"a", 1, true, u"x"), Record(1, u"a", 0, true, u"x"), false},
      {Record(1, u"a", 2, true, u" x "), Record(1, u"a", 2, true, u"x"), false},
      {Record(1, u"a", 2, true, u""), Record(1, u"a", 2, false, u""), false},
      {Record(1, u"a", 0, true, u"x\ny"), Record(1, u"a", 0, true, u"xy"), false},
      {Record(1, u"a", 0, true, u"x"), Record(1, u"b", 0, true, u"x"), false},
      {Record(1, u"a", 0, false, u""), Record(2, u"a", 0, false, u""), false},
  };
  for (const Case& c : cases) {
    const TreeSnapshot built = {Record(0, u"", 1, true, u"root text"), c.built};
    const TreeSnapshot reread = {Record(0, u"", 0, false, u""), c.reread};
    const std::string diff = kelmo_fuzz::CompareSnapshots(ExpectedAfterRoundTrip(built), reread);
    EXPECT_EQ(diff.empty(), c.accepted) << kelmo_fuzz::Describe(c.built) << " -> "
                                        << kelmo_fuzz::Describe(c.reread) << ": " << diff;
  }
}

TEST(FuzzText, ReachesEveryUnitFromMostlyAsciiBytes) {
  struct Case {
    std::string bytes;
    std::u16string units;
  };
  const Case cases[] = {
      {"<a>", u"<a>"},
      {std::string("\0", 1), std::u16string(1, u'\0')},
      {"\xC3\xA9", u"\u00e9"},
      {"\xE4\xB8\xAD", u"\u4e2d"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xED\xA0\x80", std::u16string(1, char16_t(0xD800))},
      {"\xFF", std::u16string(1, char16_t(0xDCFF))},
      {"\xE4\xB8", std::u16string{char16_t(0xDCE4), char16_t(0xDCB8)}},
      {"\xC0\x80", std::u16string{char16_t(0xDCC0), char16_t(0xDC80)}},
      {"\xE0\x80\x80", std::u16string{char16_t(0xDCE0), char16_t(0xDC80), char16_t(0xDC80)}},
      {"\xF4\x90\x80\x80", std::u16string{char16_t(0xDCF4), char16_t(0xDC90), char16_t(0xDC80),
                                          char16_t(0xDC80)}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kelmo_fuzz::LenientUtf16(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                       c.bytes.size()),
              c.units)
        << kelmo_fuzz::Printable(c.units);
  }
}

}  // namespace
