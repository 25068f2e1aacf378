// Where each element, attribute and value of a document lies in its text, so
// that an edit can change those bytes and leave every other byte alone:
// comments, the DOCTYPE, processing instructions, line breaks and spacing.
#ifndef KELMO_TOOLS_XML_SOURCE_H
#define KELMO_TOOLS_XML_SOURCE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelmo_tool {

// A half-open byte range [begin, end) of the text.
struct Span {
  size_t begin = 0;
  size_t end = 0;
};

struct SourceAttribute {
  std::string name;
  Span whole;        // name="value", without the blanks before it
  Span value;        // between the quotes
  size_t blanksBegin = 0;  // where the blanks before the attribute start
  char quote = '"';
};

// Character data or a CDATA section directly inside an element.
struct SourceRun {
  Span span;        // the run as written; for CDATA, the whole section
  bool cdata = false;
};

struct SourceElement {
  std::string name;
  Span whole;           // from '<' to the end of the end tag (or of "/>")
  size_t nameEnd = 0;   // just after the name in the start tag
  size_t tagEnd = 0;    // just after the last attribute, or the name
  size_t contentBegin = 0;  // just after the start tag's '>'
  size_t contentEnd = 0;    // at the end tag's '<'; equal to contentBegin when self-closing
  bool selfClosing = false;
  size_t parent = SIZE_MAX;  // index into SourceDocument::elements
  std::vector<SourceAttribute> attributes;
  std::vector<size_t> children;  // elements, in document order
  std::vector<SourceRun> texts;
  bool hasMarkupInside = false;  // a comment or processing instruction among the content
};

struct SourceDocument {
  std::vector<SourceElement> elements;  // [0] is the document element
  // The first comment, processing instruction (the XML declaration aside)
  // or DOCTYPE, described for a message ("a comment on line 2"); empty when
  // there is none.
  std::string firstExtra;
  // The first element that holds both text and child elements, or more than
  // one text run, described likewise; empty when there is none.
  std::string firstMixedContent;
  // The first element whose text has a line break inside it.
  std::string firstMultiLineText;
};

// Scans UTF-8 text. False with a reason when the text is not markup this
// scanner follows; the caller then must not edit it by position.
bool ScanXmlSource(std::string_view text, SourceDocument& document, std::string& why);

// The 1-based line of a byte offset.
size_t LineOf(std::string_view text, size_t offset);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_XML_SOURCE_H
