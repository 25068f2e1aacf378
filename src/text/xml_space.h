// The two kinds of blank the library tells apart.
#ifndef KELMO_TEXT_XML_SPACE_H
#define KELMO_TEXT_XML_SPACE_H

#include <cstdint>

namespace kelmo {

// Tab, line feed, carriage return and space: the only whitespace the parser
// and writer know, also where the tree trims text for numbers. Takes UTF-16
// units and bytes of ASCII-compatible text alike.
constexpr bool IsXmlSpace(uint32_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

// Space and tab only: the blanks inside one line, which number texts may
// carry around their digits and which text runs keep or trim at their ends.
constexpr bool IsSpaceOrTab(uint32_t c) { return c == ' ' || c == '\t'; }

}  // namespace kelmo

#endif  // KELMO_TEXT_XML_SPACE_H
