// The XML declaration as the encoding sniffer reads it, in the document's
// bytes before anything is decoded: "<?xml version="1.x" encoding="...".
// The parser reads the declaration again, decoded, as a processing
// instruction, and takes nothing from it.
#ifndef KELMO_SYNTAX_XML_DECLARATION_H
#define KELMO_SYNTAX_XML_DECLARATION_H

#include <cstdint>

namespace kelmo::syntax {

// Reads the encoding named in a declaration at the start of the bytes into
// name (nameSize bytes, zeroed by the caller), lower case and cut to
// nameSize - 1 bytes; name stays empty when the bytes hold no declaration
// that names one. False only when the bytes end inside the declaration.
bool ReadDeclaredEncoding(const unsigned char* bytes, uint32_t size, char* name, uint32_t nameSize);

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_XML_DECLARATION_H
