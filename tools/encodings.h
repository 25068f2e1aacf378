// The tool's view of encodings. Everything here is answered by the library's
// own encoding module (names, aliases, detection, conversion), linked into
// the tool, so that the tool names and reads an input exactly as the library
// does.
#ifndef KELMO_TOOLS_ENCODINGS_H
#define KELMO_TOOLS_ENCODINGS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encoding/encoding.h"
#include "encoding/repertoire.h"

namespace kelmo_tool {

struct EncodingInfo {
  std::string name;          // as the declaration spells it, lower case
  kelmo::Encoding encoding;  // what the converters use
  bool known = true;         // false: no converter knows the name
};

// UTF-8, the encoding of documents that declare none.
EncodingInfo Utf8Encoding();

// The encoding with this name, compared without regard to ASCII case: the
// library's table, the usual aliases, and the names the system converter
// knows.
std::optional<EncodingInfo> FindEncodingByName(std::string_view name);

// "utf-8, utf8, utf-16le, ..." (the table's names) for help texts and error
// messages.
std::string KnownEncodingNames();

// The encoding of an input document, found as the parser finds it. A
// declared name that no converter knows is returned with known false; the
// parser then reads the bytes in the platform's default code page.
EncodingInfo DetectDocumentEncoding(std::string_view bytes);

// Whether the parser reads the bytes in the encoding: the one it finds in
// them has the same converter (or, for a name that no converter knows, the
// same name). A byte-order mark, or its absence, can change the answer.
bool ReadIn(std::string_view bytes, const EncodingInfo& encoding);

// The document's text as the parser reads it (empty when it cannot be
// decoded).
std::u16string DecodeAsParserDoes(std::string_view bytes);

// A document sniffed once and decoded once, as the parser would: its
// encoding, the length of its byte-order mark and its text. `decoded` is
// false when the bytes cannot be decoded (or are too many to); UTF-16 whose
// last byte is half a unit has that byte left out of the text and
// `halfUnitAtEnd` set, which the parser reports as an encoding error.
struct DecodedDocument {
  EncodingInfo encoding;
  uint32_t bomLength = 0;
  std::u16string text;
  bool decoded = false;
  bool halfUnitAtEnd = false;
};
DecodedDocument DecodeDocumentOnce(std::string_view bytes);

// Something the reader had to paper over, where the parser would see it.
struct InputRepair {
  unsigned int line;
  unsigned int column;
  std::string message;
};

// The decoded text encoded back with the document's encoding; nothing when
// it cannot be. A text that does not give its bytes back was repaired.
std::optional<std::string> EncodeBack(const kelmo::Encoding& encoding, const std::u16string& text);

// What a repair of bytes that did not decode says.
std::string ReplacedBytesMessage(const EncodingInfo& info);

// What was not read as written: a declared encoding that no converter
// knows, and bytes that did not decode and became U+FFFD.
std::vector<InputRepair> FindInputRepairs(std::string_view bytes);
// The same from the document as decoded already.
std::vector<InputRepair> FindInputRepairs(std::string_view bytes, const DecodedDocument& document);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_ENCODINGS_H
