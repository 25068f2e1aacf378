// Reading a document from a file or standard input, with messages that say
// where and why it does not parse, and writing it back out.
#ifndef KELMO_TOOLS_DOCUMENT_IO_H
#define KELMO_TOOLS_DOCUMENT_IO_H

#include <string>

#include "command_line.h"
#include "encodings.h"
#include "kelmo/kelmo.hpp"

namespace kelmo_tool {

struct LoadedDocument {
  std::string label;     // the file name as given, or "<stdin>"
  std::string path;      // empty for standard input
  std::string bytes;     // the input as read
  EncodingInfo encoding;  // the input's encoding, kept when it is rewritten
  std::vector<InputRepair> repairs;  // what was not read as written
  kelmo::easy::Document document;
  kelmo::easy::Node element;  // the document element
};

// Reads and parses FILE ("-" for standard input). A document that cannot be
// read, does not parse, or has no element throws DocumentError with
// "FILE:LINE:COLUMN: MESSAGE (error N)" and, where the text can be shown,
// the line with a caret under the character that stopped the parser.
LoadedDocument LoadDocument(const kelmo::easy::Library& library, const std::string& file);

// Where a rewritten document goes: standard output, another file (-o), or
// back into its own file (-i).
struct OutputChoice {
  enum class Where { StandardOutput, File, InPlace };
  Where where = Where::StandardOutput;
  std::string path;
  bool force = false;  // rewrite in place even an input that was not read as written
};

// The options shared by the commands that write documents.
std::vector<OptionSpec> OutputOptionSpecs();

// Reads -o/-i and checks that they fit the input (throws UsageError).
OutputChoice ChooseOutput(const Arguments& args, const LoadedDocument& input);
OutputChoice ChooseOutput(const Arguments& args, const std::string& inputFile);

// Reads --indent, --newline and --encoding (throws UsageError); the input's
// encoding is the default. The returned encoding is the one to write.
kelmo::easy::Layout ChooseLayout(const Arguments& args, const EncodingInfo& inputEncoding,
                                 EncodingInfo& outputEncoding);

// Writes the document as the layout says. Before anything is written, names
// and CDATA sections are checked to survive the encoding unchanged (text and
// values can take character references); a character that the encoding
// cannot hold throws DocumentError and nothing is touched. So does rewriting
// in place an input that was not read as written, unless forced. In place,
// the new text goes to a file beside the old one, which it replaces only
// when complete: any failure leaves the old file as it was.
void WriteDocument(const kelmo::easy::Library& library, const LoadedDocument& doc,
                   const kelmo::easy::Layout& layout, const EncodingInfo& encoding,
                   const OutputChoice& output);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_DOCUMENT_IO_H
