// Escaping of element text and attribute values for XML output.
#ifndef KELMO_XML_XML_ESCAPE_H
#define KELMO_XML_XML_ESCAPE_H

#include <cstdint>

#include "kelmo/platform_types.h"
#include "tree/wstr_buf.h"
#include "xml/encodable_text.h"
#include "xml/utf8_text.h"

namespace kelmo {

// Attribute values: appends text to out with the five markup characters as
// entity references and every control unit as a hexadecimal character
// reference. Tab, line feed and carriage return are references too: this
// library's reader drops literal line breaks, and any XML reader turns
// literal ones and tabs into spaces in an attribute value, while references
// keep them. A surrogate half outside a pair becomes a reference too, which
// this library reads back as the same unit (no encoding can carry it).
// Everything else, surrogate pairs included, is copied unchanged. The length
// follows ResolveLength (null text is empty, 0xFFFFFFFF runs to the zero
// unit).
void EscapeXml(const WChar* text, uint32_t length, WStrBuf& out);
void EscapeXml(const WChar* text, uint32_t length, Utf8Text& out);
// Also writes the characters that the target encoding cannot carry as
// references.
void EscapeXml(const WChar* text, uint32_t length, EncodableText& out);

// Element text: as EscapeXml, except that tabs inside the text stay as they
// are (every reader keeps them there), while the spaces and tabs at either
// end become character references, because this library's reader trims
// literal blanks around element text but keeps those that come from
// references.
void EscapeXmlText(const WChar* text, uint32_t length, WStrBuf& out);
void EscapeXmlText(const WChar* text, uint32_t length, Utf8Text& out);
void EscapeXmlText(const WChar* text, uint32_t length, EncodableText& out);

}  // namespace kelmo

#endif  // KELMO_XML_XML_ESCAPE_H
