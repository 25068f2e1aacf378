// Reading a document from a file or standard input, with messages that say
// where and why it does not parse, and writing it back out.
#ifndef KELMO_TOOLS_DOCUMENT_IO_H
#define KELMO_TOOLS_DOCUMENT_IO_H

#include <functional>
#include <string>

#include "command_line.h"
#include "encodings.h"
#include "kelmo/easy.hpp"
#include "source_edit.h"
#include "tool_error.h"
#include "unclosed_markup.h"

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

// The same for a document whose label, path and bytes are already set.
LoadedDocument ParseDocument(const kelmo::easy::Library& library, LoadedDocument doc);

// The text that a parse failure is shown in: the document's bytes, or, for
// a document read in pieces, bytes that hold its failing line (line
// `line - lineShift` of their text): the line of the character that stopped
// the parser or, for a document cut short, of what it left open.
struct FailedText {
  std::string_view bytes;
  int lineShift = 0;
  bool declaresEntities = false;  // the document holds "<!ENTITY" anywhere
  // For a document cut short and read in pieces: what it left open, found
  // as it was read. Otherwise it is found in the bytes, the whole document.
  const std::optional<Unclosed>* unclosed = nullptr;
};

// "FILE:LINE:COLUMN: MESSAGE (error N)" for a document that does not parse
// and, where the text can be shown, the line with a caret under the
// character that stopped the parser (or, for a reference, the '&' that
// began it; for a document cut short, what it left open).
DocumentError FailureError(const std::string& label, const kelmo::easy::ParseFailure& failure,
                           const FailedText& text);

// What is said of a document too large for the library to read.
DocumentError TooLargeDocument(const std::string& label);

// Where a rewritten document goes: standard output, another file (-o), or
// back into its own file (-i).
struct OutputChoice {
  enum class Where { StandardOutput, File, InPlace };
  Where where = Where::StandardOutput;
  std::string path;
  bool force = false;  // --force: rewrite the whole document where an edit in place cannot be made
};

// Where the commands that edit a document write it: -o and -i.
std::vector<OptionSpec> EditOutputOptionSpecs();
// Those and the layout options of the commands that rewrite a document.
std::vector<OptionSpec> OutputOptionSpecs();

// Reads -o/-i and checks that they fit the input (throws UsageError).
OutputChoice ChooseOutput(const Arguments& args, const LoadedDocument& input);
OutputChoice ChooseOutput(const Arguments& args, const std::string& inputFile);

// Reads --indent, --newline and --encoding (throws UsageError); the input's
// encoding is the default. The returned encoding is the one to write.
kelmo::easy::Layout ChooseLayout(const Arguments& args, const EncodingInfo& inputEncoding,
                                 EncodingInfo& outputEncoding);

// Throws DocumentError when the output would rewrite an input that was not
// read as written (unknown encoding, bytes that did not decode), unless the
// user forced it: the rewrite would make the reader's repair permanent.
void RefuseRepaired(const LoadedDocument& doc, const OutputChoice& output);

// Throws UsageError, naming the encoding, when the library cannot write a
// document in it (one that the converter knows but the reader cannot read
// back, such as UTF-32).
void RefuseUnwritableEncoding(const kelmo::easy::Library& library, const EncodingInfo& encoding);

// Writes the document as the layout says. Before anything is written, names
// and CDATA sections are checked to survive the encoding unchanged (text and
// values can take character references); a character that the encoding
// cannot hold throws DocumentError and nothing is touched. So does rewriting
// an input that was not read as written, unless forced. A file is
// replaced only when the new one is complete: any failure leaves the old
// file as it was. Standard output gets a byte-order mark only when asked.
void WriteDocument(const kelmo::easy::Library& library, const LoadedDocument& doc,
                   const kelmo::easy::Layout& layout, const EncodingInfo& encoding,
                   const OutputChoice& output, bool byteOrderMark);

// What a rewrite of the whole document from its tree loses, for messages
// and help texts.
extern const char kRewriteLoses[];

// Makes the edits in the document's text (SetInSource, RemoveFromSource):
// changes in the order of the text, not overlapping.
using SourceEdit =
    std::function<bool(const DocumentText& text, std::vector<SourceChange>& changes, std::string& why)>;

// Writes the document with the edits made where they stand: only the bytes of
// what changes differ, whatever else the input holds. Before anything is
// written, the edited text is parsed and must give the document's tree, in
// which the caller has made the same change. An edit that cannot be made
// that way is refused, saying why, unless forced; forced, the tree is
// written out whole, and the note says what that loses.
void WriteEdit(const kelmo::easy::Library& library, const LoadedDocument& doc, const Arguments& args,
               const OutputChoice& output, const SourceEdit& edit);

// Whether two trees hold the same nodes: kinds, names, values and order.
bool SameTree(const kelmo::easy::Node& left, const kelmo::easy::Node& right);

// Standard output has no use for a byte-order mark, so a document's mark is
// dropped from what goes there, except where the rest would then be read in
// another encoding (a UTF-8 mark before a declaration that names another,
// a UTF-16 mark before a line break): such a mark stays.
void DropNeedlessMark(std::string& bytes);

// Writes bytes where the output choice says, replacing a file safely.
void WriteBytes(const std::string& bytes, const OutputChoice& output);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_DOCUMENT_IO_H
