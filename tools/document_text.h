// A document's bytes as UTF-8 text and back, exactly: an edit works on the
// text and the untouched parts come back byte for byte, byte-order mark and
// encoding included.
#ifndef KELMO_TOOLS_DOCUMENT_TEXT_H
#define KELMO_TOOLS_DOCUMENT_TEXT_H

#include <string>
#include <string_view>

#include "encodings.h"
#include "kelmo/kelmo.hpp"

namespace kelmo_tool {

struct DocumentText {
  std::string byteOrderMark;  // as it was, or empty
  std::string utf8;           // the rest, as UTF-8
};

// False, saying why, when the bytes would not come back unchanged from
// EncodeDocumentText (bytes the encoding cannot decode, for example).
bool DecodeDocumentText(std::string_view bytes, const EncodingInfo& encoding, DocumentText& text,
                        std::string& why);

// False, saying why, when a character of the text has no form in the
// encoding.
bool EncodeDocumentText(const DocumentText& text, const EncodingInfo& encoding, std::string& bytes,
                        std::string& why);

// The UTF-16 units of the bytes (a trailing odd byte left out).
std::u16string Utf16UnitsOf(std::string_view bytes, bool bigEndian);

// Whether every character can be written as itself; in other encodings the
// edits write characters beyond ASCII as character references.
bool HoldsAllCharacters(const EncodingInfo& encoding);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_DOCUMENT_TEXT_H
