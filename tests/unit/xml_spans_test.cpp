// The span tokenizer reports what it meets with the byte ranges an edit
// replaces, and ends markup with the same scans as the reader, which is fed
// in pieces: an ending cut anywhere between two pieces is found where a scan
// of the whole text finds it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax/markup_ends.h"
#include "syntax/xml_spans.h"

namespace kelmo {
namespace {

// Writes down every event with the text of its spans.
class Transcript : public syntax::SourceVisitor {
 public:
  explicit Transcript(std::string_view text) : text_(text) {}

  bool StartElement(const syntax::SourceElement& element, const std::vector<syntax::SourceAttribute>& attributes,
                    size_t depth, size_t) override {
    out_ += "<" + std::string(element.name) + "@" + std::to_string(depth);
    for (const syntax::SourceAttribute& a : attributes) {
      out_ += " [" + Of(a.whole) + "]=" + a.quote + Of(a.value) + a.quote;
    }
    out_ += element.selfClosing ? "/>" : ">";
    return true;
  }
  bool EndElement(const syntax::SourceElement& element, size_t) override {
    out_ += "{" + Of(element.whole) + "|" + Of({element.contentBegin, element.contentEnd}) + "}";
    return true;
  }
  bool Text(syntax::Span span, bool cdata, size_t) override {
    out_ += (cdata ? "C(" : "T(") + Of(span) + ")";
    return true;
  }
  bool Markup(const char* what, size_t at, size_t) override {
    out_ += std::string("(") + what + "@" + std::to_string(at) + ")";
    return true;
  }

  const std::string& out() const { return out_; }

 private:
  std::string Of(syntax::Span span) const { return std::string(text_.substr(span.begin, span.end - span.begin)); }

  std::string_view text_;
  std::string out_;
};

TEST(XmlSpans, ReportsWhereEachPartLies) {
  struct Case {
    const char* text;
    const char* transcript;
  } cases[] = {
      {"<?xml version=\"1.0\"?>\n<!-- a -- b --><r a='x\"y' b = \"v\"/>",
       "(a comment@22)<r@0 [a='x\"y']='x\"y' [b = \"v\"]=\"v\"/>{<r a='x\"y' b = \"v\"/>|}"},
      {"<!DOCTYPE r [<!ENTITY e \"x\"> <!-- c --> <?p q?>]><r>t</r>",
       "(a DOCTYPE@0)<r@0>T(t){<r>t</r>|t}"},
      {"<r><?p a?><![CDATA[<a>]]]></r>",
       "<r@0>(a processing instruction@3)C(<![CDATA[<a>]]]>){<r><?p a?><![CDATA[<a>]]]></r>|<?p a?><![CDATA[<a>]]]>}"},
      {"<r>\n <c>1</c>\n</r>", "<r@0><c@1>T(1){<c>1</c>|1}{<r>\n <c>1</c>\n</r>|\n <c>1</c>\n}"},
  };
  for (const Case& c : cases) {
    Transcript transcript(c.text);
    std::string why;
    EXPECT_TRUE(syntax::ScanXmlSource(c.text, transcript, why)) << c.text << ": " << why;
    EXPECT_EQ(transcript.out(), c.transcript) << c.text;
  }
}

TEST(XmlSpans, RefusesMarkupItCannotFollow) {
  struct Case {
    const char* text;
    const char* why;
  } cases[] = {
      {"<r><!-- open</r>", "unterminated markup at line 1"},
      {"<r><![CDATA[x]]</r>", "unterminated markup at line 1"},
      {"<r><?p </r>", "unterminated markup at line 1"},
      {"<!DOCTYPE r [<!ENTITY e '>'\n", "unterminated DOCTYPE at line 2"},
      // The reader would end the comment at its first "--".
      {"<!DOCTYPE r [<!ENTITY e \"x\"><!-- a -- b -->]><r/>",
       "markup in the DOCTYPE's internal subset that the reader reads otherwise at line 1"},
      {"<r a=\"1></r>", "unterminated attribute value at line 1"},
      {"<r></s>", "an end tag that does not match </r> at line 1"},
  };
  for (const Case& c : cases) {
    Transcript transcript(c.text);
    std::string why;
    EXPECT_FALSE(syntax::ScanXmlSource(c.text, transcript, why)) << c.text;
    EXPECT_EQ(why, c.why) << c.text;
  }
}

// Every ending, in bytes and in UTF-16 units, over texts that hold its
// units in every order: cut at any place, the second piece goes on with
// what the first ended with and ends where the whole scan ends.
template <class Ending, class Char>
void ExpectCutScansAgree(const std::basic_string<Char>& alphabet) {
  // All texts of up to six units over the alphabet, as one stream per text.
  std::vector<std::basic_string<Char>> texts(1);
  for (size_t length = 0; length < 6; ++length) {
    std::vector<std::basic_string<Char>> longer;
    for (const auto& t : texts) {
      for (Char u : alphabet) longer.push_back(t + u);
    }
    texts = std::move(longer);
    for (const auto& t : texts) {
      const std::basic_string_view<Char> view(t);
      const size_t whole = syntax::PastEnding<Ending>(view, 0);
      // A plain search for the ending's text.
      std::basic_string<Char> ending(Ending::repeats, Char(Ending::unit));
      if (Ending::last) ending += Char(Ending::last);
      const size_t found = view.find(ending);
      ASSERT_EQ(whole, found == view.npos ? view.npos : found + ending.size());
      for (size_t cut = 0; cut <= t.size(); ++cut) {
        uint32_t matched = 0;
        const Char* begin = t.data();
        const Char* past = syntax::PastEnding<Ending>(begin, begin + cut, matched);
        if (!past) past = syntax::PastEnding<Ending>(begin + cut, begin + t.size(), matched);
        ASSERT_EQ(past ? size_t(past - begin) : view.npos, whole) << "cut at " << cut;
      }
    }
  }
}

TEST(MarkupEnds, AnEndingCutBetweenPiecesIsFoundWhereTheWholeScanFindsIt) {
  ExpectCutScansAgree<syntax::CommentDashes, char>("-x>");
  ExpectCutScansAgree<syntax::CommentEnd, char>("-x>");
  ExpectCutScansAgree<syntax::PiEnd, WChar>({WChar('?'), WChar('>'), WChar('x')});
  ExpectCutScansAgree<syntax::CDataEnd, WChar>({WChar(']'), WChar('>'), WChar('x')});
  ExpectCutScansAgree<syntax::DeclarationEnd, char16_t>(u">x");
}

}  // namespace
}  // namespace kelmo
