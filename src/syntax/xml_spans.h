// Where the elements, attributes and values of a document lie in its text,
// so that an edit can change those bytes and leave every other byte alone:
// comments, the DOCTYPE, processing instructions, line breaks and spacing.
//
// The scanner reads the text once, front to back, and tells a visitor what
// it meets; it keeps only the open elements, so a large or deeply nested
// document costs little beyond its text. It reads any text in which the
// markup characters (< > & = / ? ! - quotes and blanks) stand for
// themselves wherever their bytes appear: UTF-8, and the ASCII-based code
// pages, whose other bytes it passes over without decoding them. For the
// same reason a name runs to the next markup character or blank rather than
// over the reader's name characters, which only decoded text can tell. The
// ends of comments, processing instructions, CDATA sections and the reader's
// view of a DOCTYPE are found with the reader's own scans (markup_ends.h).
#ifndef KELMO_SYNTAX_XML_SPANS_H
#define KELMO_SYNTAX_XML_SPANS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelmo::syntax {

// A half-open byte range [begin, end) of the text.
struct Span {
  size_t begin = 0;
  size_t end = 0;
};

struct SourceAttribute {
  std::string_view name;
  Span whole;              // name="value", without the blanks before it
  Span value;              // between the quotes
  size_t blanksBegin = 0;  // where the blanks before the attribute start
  char quote = '"';
};

struct SourceElement {
  std::string_view name;
  Span whole;               // from '<' to the end of the end tag (or of "/>");
                            // whole.end is known only once the element ends
  size_t tagEnd = 0;        // just after the last attribute, or the name
  size_t contentBegin = 0;  // just after the start tag's '>'
  size_t contentEnd = 0;    // at the end tag's '<'; equal to contentBegin when self-closing
  bool selfClosing = false;
};

// What the scanner meets, in document order. Depth 0 is the document
// element; markup outside it has depth SIZE_MAX. A handler that returns
// false stops the scan.
class SourceVisitor {
 public:
  virtual ~SourceVisitor() = default;
  // `parentBegin` is where the parent's start tag begins (SIZE_MAX for the
  // document element); the attributes are valid only during the call.
  virtual bool StartElement(const SourceElement& element, const std::vector<SourceAttribute>& attributes,
                            size_t depth, size_t parentBegin) = 0;
  // Every span of the element is known here.
  virtual bool EndElement(const SourceElement& element, size_t depth) = 0;
  // Character data that is not all blanks, or a CDATA section (the whole
  // section), inside the element at `depth`.
  virtual bool Text(Span span, bool cdata, size_t depth) = 0;
  // A comment, processing instruction (the XML declaration aside) or DOCTYPE
  // ("a comment", ...) at `at`.
  virtual bool Markup(const char* what, size_t at, size_t depth) = 0;
};

// Scans the text. False with a reason when the text is not markup this
// scanner follows; the caller then must not edit it by position. A scan that
// a handler stopped counts as successful.
bool ScanXmlSource(std::string_view text, SourceVisitor& visitor, std::string& why);

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_XML_SPANS_H
