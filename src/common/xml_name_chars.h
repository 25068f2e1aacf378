// The name characters live with the public headers, which the convenience
// layer shares with the library.
#ifndef KELMO_COMMON_XML_NAME_CHARS_H
#define KELMO_COMMON_XML_NAME_CHARS_H

#include "kelmo/xml_name_chars.h"

#endif  // KELMO_COMMON_XML_NAME_CHARS_H
