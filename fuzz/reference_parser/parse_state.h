// The parser's states: each names the step that reads the next character.
// (The error codes are public: ParseError in kelmo.h.)
#ifndef KELMO_FUZZ_REFERENCE_PARSE_STATE_H
#define KELMO_FUZZ_REFERENCE_PARSE_STATE_H

#include <cstdint>

namespace kelmo::reference {

enum class ParseState : uint8_t {
  Text,             // character data, until "<"
  MarkupOpen,       // just after "<"
  BangOpen,         // just after "<!"
  SectionKeyword,   // after "<![", the keyword up to the next "["
  Section,          // section text up to "]]>"
  CommentOpen,      // after "<!-", expecting the second "-"
  Comment,          // comment text up to "--"
  EndTag,           // name after "</"
  PiTarget,         // target name after "<?"
  PiBody,           // processing-instruction body up to "?>"
  ElementName,      // rest of a start tag's name
  InTag,            // inside a start tag, between attributes
  AttrName,         // rest of an attribute name
  AfterAttrName,    // spaces between an attribute name and "="
  BeforeAttrValue,  // after "=", expecting the opening quote
  AttrValue,        // attribute value up to the closing quote
  CloseTag,         // after "/" in a start tag, or after an end tag's name
  MarkupEnd,        // expecting the ">" that ends a comment or instruction
  SkipToClose,      // a declaration skipped up to its ">"
};

}  // namespace kelmo::reference

#endif  // KELMO_FUZZ_REFERENCE_PARSE_STATE_H
