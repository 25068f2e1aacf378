// Escaping of element text and attribute values for XML output.
#ifndef KELMO_XML_OUT_XML_ESCAPE_H
#define KELMO_XML_OUT_XML_ESCAPE_H

#include <cstdint>

#include "kelmo/platform_types.h"
#include "tree/wstr_buf.h"
#include "xml_out/encodable_text.h"
#include "xml_out/utf8_text.h"

namespace kelmo {

// Appends text to out with the five markup characters as entity references
// and control units as hexadecimal character references. Line feed and
// carriage return become references too, because a reader drops literal line
// breaks from text and attribute values; tab is kept as it is. Everything
// else, surrogate halves included, is copied unchanged. The length follows
// ResolveLength (null text is empty, 0xFFFFFFFF runs to the zero unit).
void EscapeXml(const WChar* text, uint32_t length, WStrBuf& out);
void EscapeXml(const WChar* text, uint32_t length, Utf8Text& out);
// Also writes the characters that the target encoding cannot carry as
// references.
void EscapeXml(const WChar* text, uint32_t length, EncodableText& out);

// Element text: as EscapeXml, and the spaces and tabs at either end become
// character references too, because a reader trims literal blanks around
// element text but keeps those that come from references.
void EscapeXmlText(const WChar* text, uint32_t length, WStrBuf& out);
void EscapeXmlText(const WChar* text, uint32_t length, Utf8Text& out);
void EscapeXmlText(const WChar* text, uint32_t length, EncodableText& out);

}  // namespace kelmo

#endif  // KELMO_XML_OUT_XML_ESCAPE_H
