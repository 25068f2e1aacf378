// Tab, line feed, carriage return and space: the only whitespace the parser
// and writer know, also where the tree trims text for numbers.
#ifndef KELMO_TEXT_XML_SPACE_H
#define KELMO_TEXT_XML_SPACE_H

#include "kelmo/platform_types.h"

namespace kelmo {

inline bool IsXmlSpace(WChar c) { return c == 9 || c == 10 || c == 13 || c == 32; }

}  // namespace kelmo

#endif  // KELMO_TEXT_XML_SPACE_H
