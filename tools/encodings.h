// The encoding names that documents can be written in, and how the encoding
// of an input is recognised so that rewriting a file keeps it.
#ifndef KELMO_TOOLS_ENCODINGS_H
#define KELMO_TOOLS_ENCODINGS_H

#include <optional>
#include <string>
#include <string_view>

namespace kelmo_tool {

struct EncodingInfo {
  const char* name;        // as the declaration spells it, lower case
  unsigned int codePage;   // Windows numbering, as the library's narrow calls take it
};

// The known encoding with this name, compared without regard to ASCII case.
std::optional<EncodingInfo> FindEncoding(std::string_view name);

// "utf-8, utf8, utf-16le, ..." for help texts and error messages.
std::string KnownEncodingNames();

// UTF-16 output is written unit for unit; every other encoding goes through
// a converter that may replace characters it cannot represent.
bool IsUtf16(const EncodingInfo& encoding);

// The encoding an input document is in, found the way the parser finds it:
// a byte-order mark, a "<" in UTF-16, or the declaration's encoding. An
// encoding missing from the known list, or none at all, gives utf-8.
EncodingInfo DetectEncoding(std::string_view bytes);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_ENCODINGS_H
