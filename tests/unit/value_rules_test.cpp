// The value rules applied to spans of a document as it stands (as the tool's
// edits apply them) predict the value the reader builds, for element content
// made at random of text, blanks, line breaks, references to blanks, CDATA
// sections, comments and child elements.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/tree_outline.h"
#include "syntax/value_rules.h"
#include "syntax/xml_markup.h"
#include "syntax/xml_spans.h"
#include "xml/xml_parser.h"

namespace kelmo {
namespace {

// The value of the document element by the rules, read off the spans.
class ValuePrediction : public syntax::SourceVisitor {
 public:
  explicit ValuePrediction(std::string_view text) : text_(text) {}

  bool StartElement(const syntax::SourceElement&, const std::vector<syntax::SourceAttribute>&, size_t,
                    size_t) override {
    return true;
  }
  bool EndElement(const syntax::SourceElement&, size_t) override { return true; }
  bool Markup(const char*, size_t, size_t) override { return true; }

  bool Text(syntax::Span span, bool cdata, size_t depth) override {
    if (depth != 0 || !syntax::RunTakesValue(cdata, hasValue)) return true;
    hasValue = true;
    size_t begin = span.begin, end = span.end;
    if (cdata) {
      using Pieces = syntax::MarkupPieces<char>;
      value = text_.substr(begin + std::size(Pieces::kCDataOpen),
                           end - begin - std::size(Pieces::kCDataOpen) - std::size(Pieces::kCDataClose));
      return true;
    }
    syntax::TrimValueBlanks(text_, begin, end);
    // The reader drops line breaks and decodes the references (only "&#32;"
    // is made here); the blanks they stand for were never trimmed.
    value.clear();
    for (size_t i = begin; i < end; ++i) {
      if (text_.compare(i, 5, "&#32;") == 0) {
        value += ' ';
        i += 4;
      } else if (!syntax::IsLineBreak(text_[i])) {
        value += text_[i];
      }
    }
    return true;
  }

  bool hasValue = false;
  std::string value;

 private:
  std::string_view text_;
};

TEST(ValueRules, SpansPredictTheValueTheReaderBuilds) {
  const char* const pieces[] = {"a",   "b c", " ",       "\t", "\n", "\r\n", "&#32;", "<x/>",
                                "<y>d</y>", "<![CDATA[ k ]]>", "<![CDATA[]]>", "<!--c-->"};
  std::mt19937 random(20261209);
  std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1), count(0, 6);
  for (int round = 0; round < 3000; ++round) {
    std::string content;
    for (size_t n = count(random); n > 0; --n) content += pieces[piece(random)];
    SCOPED_TRACE("content: " + kelmo_test::Printable(std::u16string(content.begin(), content.end())));
    std::string document;
    syntax::AppendElement(document, "r", content);

    ValuePrediction prediction(document);
    std::string why;
    ASSERT_TRUE(syntax::ScanXmlSource(document, prediction, why)) << why;

    XmlParser parser;
    parser.Reset();
    const std::u16string wide(document.begin(), document.end());
    ASSERT_TRUE(parser.Feed(reinterpret_cast<const WChar*>(wide.data()), uint32_t(wide.size())));
    const TreeNode* element = parser.Root()->FirstChild();
    ASSERT_NE(element, nullptr);
    const bool hasValue = element->Type() != ValueType::Empty;
    EXPECT_EQ(hasValue, prediction.hasValue);
    if (hasValue && element->Type() == ValueType::String) {
      const TreeNode::Units value = element->StringUnits();
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value.data), value.length),
                std::u16string(prediction.value.begin(), prediction.value.end()));
    }
  }
}

// The spans of each run are narrowed to what the value holds; a run of
// blanks holds nothing.
TEST(ValueRules, TrimmingAndTrailingBlanks) {
  struct Case {
    std::string run, held;
    size_t trailing;
  };
  const Case cases[] = {
      {"", "", 0}, {" \t\r\n", "", 4}, {"a", "a", 0}, {" a b\t", "a b", 1}, {"\n\tx\r\n", "x", 2},
  };
  for (const Case& c : cases) {
    size_t begin = 0, end = c.run.size();
    syntax::TrimValueBlanks(c.run, begin, end);
    EXPECT_EQ(c.run.substr(begin, end - begin), c.held) << c.run;
    EXPECT_EQ(syntax::IsBlankRun(c.run, 0, c.run.size()), c.held.empty()) << c.run;
    const std::u16string wide(c.run.begin(), c.run.end());
    EXPECT_EQ(syntax::TrailingValueBlanks(wide.data(), wide.size()), c.trailing) << c.run;
  }
}

}  // namespace
}  // namespace kelmo
