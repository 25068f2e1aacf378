// fmt: re-indents a document where it stands, or rewrites it from its tree
// in another encoding.
#include <cstring>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "document_text.h"
#include "reindent.h"
#include "rewrite_drops.h"
#include "syntax/byte_order_marks.h"
#include "text/code_pages.h"
#include "tool_error.h"
#include "tree_walk.h"

namespace kelmo_tool {
namespace {

using kelmo::easy::Node;

// More indentation than this is refused before any of it is made: a deep
// document indented per level grows with the square of its depth.
constexpr uint64_t kMaxIndentationBytes = uint64_t(256) << 20;

// The indentation the writer would produce: each element line, and the end
// tag line of an element with element children, indented by its depth.
uint64_t IndentationBytes(const Node& root, size_t unit) {
  if (unit == 0) return 0;
  uint64_t total = 0;
  WalkTree(root, [&](const Node& node, size_t depth) {
    if (kelmo::easy::KindOf(node) != kelmo::NodeKind::Attribute) total += depth * unit;
    if (node->GetFirstChild()) total += depth * unit;
    return total <= kMaxIndentationBytes;
  });
  return total;
}

// Refuses to rewrite in another encoding what the rewrite would leave out: the first comment,
// processing instruction, DOCTYPE, text beside other content or line break
// in text, named where it stands.
void RefuseWhatWouldBeDropped(const LoadedDocument& doc, const EncodingInfo& target) {
  std::string why, what;
  size_t at = 0;
  DocumentText text;
  if (!text.Open(doc.bytes, doc.encoding, why) || !FindWhatARewriteDrops(text.text(), what, at, why)) {
    throw ToolError(kExitDocument, doc.label + ": cannot tell what rewriting would lose: " + why +
                                       "; use --drop to rewrite it anyway");
  }
  if (what.empty()) return;
  const auto [line, column] = text.PositionOf(at);
  throw DocumentError(doc.label + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                      what +
                      " would be lost by rewriting the document in " + target.name +
                      " (a change of encoding rewrites it from its tree); use --drop to rewrite without it, or kelmo set "
                      "to change values in place");
}

using kelmo::text::code_pages::kUtf8;
constexpr unsigned int kUtf16Le = kelmo::text::code_pages::kUtf16LittleEndian;
constexpr unsigned int kUtf16Be = kelmo::text::code_pages::kUtf16BigEndian;

bool SameEncoding(const EncodingInfo& a, const EncodingInfo& b) {
  return a.known && b.known && a.encoding.codePage == b.encoding.codePage &&
         std::strcmp(a.encoding.charset, b.encoding.charset) == 0;
}

// The byte-order mark of a Unicode encoding, empty for the others.
std::string MarkOf(const EncodingInfo& encoding) {
  if (encoding.encoding.charset[0]) return {};
  switch (encoding.encoding.codePage) {
    case kUtf8: return std::string(kelmo::syntax::kBomUtf8);
    case kUtf16Le: return std::string(kelmo::syntax::kBomUtf16Le);
    case kUtf16Be: return std::string(kelmo::syntax::kBomUtf16Be);
    default: return {};
  }
}

bool StartsWithMark(const std::string& bytes) {
  for (std::string_view mark : kelmo::syntax::kByteOrderMarks) {
    if (bytes.compare(0, mark.size(), mark) == 0) return true;
  }
  return false;
}

// Re-indents the document where it stands: comments, processing
// instructions, the DOCTYPE, the declaration and every byte of the markup and
// text stay as they were, and so does the byte-order mark (or its absence),
// except that standard output drops a mark that decides nothing and --bom
// adds one. The result must be read in the input's encoding and read back
// as the same tree, or nothing is written.
void Reindent(const kelmo::easy::Library& library, const LoadedDocument& doc, const kelmo::easy::Layout& layout,
              const OutputChoice& output, bool byteOrderMark) {
  std::string why, text, bytes;
  DocumentText source;
  bool made = source.Open(doc.bytes, doc.encoding, why) &&
              ReindentSource(source.text(), layout.indent, layout.newline, text, why);
  if (made) made = source.Splice(0, source.text().size(), text, bytes, why);
  if (made) {
    const bool marked = StartsWithMark(bytes);
    if (output.where == OutputChoice::Where::StandardOutput && marked && !byteOrderMark) {
      DropNeedlessMark(bytes);
    } else if (byteOrderMark && !marked) {
      bytes.insert(0, MarkOf(doc.encoding));
    }
    // The bytes as they will be written: a mark gained or lost can change
    // the encoding they are read in, and with it every character.
    if (!ReadIn(bytes, doc.encoding)) {
      made = false;
      why = "the re-indented text would be read as " + DetectDocumentEncoding(bytes).name + ", not as " +
            doc.encoding.name;
    }
  }
  if (made) {
    const kelmo::easy::Document reread = library.Parse(bytes);
    made = reread && SameTree(reread.root(), doc.document.root());
    if (!made) why = "the re-indented text would not read back as the same document";
  }
  if (!made) {
    throw DocumentError(doc.label + ": cannot re-indent the document where it stands: " + why +
                        "; nothing was written. --drop rewrites it from its tree instead, but " + kRewriteLoses);
  }
  WriteBytes(bytes, output);
}

}  // namespace

int RunFmt(ToolContext& context, const std::vector<std::string>& args) {
  std::vector<OptionSpec> specs = OutputOptionSpecs();
  specs.insert(specs.end(), {{"--bom", "", false}, {"--drop", "", false}});
  const Arguments parsed = ParseArguments(args, specs);
  if (PrintHelpIfAsked("fmt", parsed.help)) return kExitOk;
  if (parsed.positional.size() != 1) throw UsageError("fmt takes one FILE");
  const std::string& file = parsed.positional[0];
  // The command line is checked in full before the document is read.
  const OutputChoice output = ChooseOutput(parsed, file);
  EncodingInfo encoding{};
  ChooseLayout(parsed, Utf8Encoding(), encoding);

  const kelmo::easy::Library& library = context.library();
  const LoadedDocument doc = LoadDocument(library, file);
  // Input that was not read as written is refused before anything else,
  // whatever the output: the rewrite would make the repair permanent.
  RefuseRepaired(doc, output);
  const kelmo::easy::Layout layout = ChooseLayout(parsed, doc.encoding, encoding);
  // Converting to another encoding, or --drop, rewrites from the tree.
  const bool rewrite = parsed.Has("--drop") || !SameEncoding(encoding, doc.encoding);
  if (!SameEncoding(encoding, doc.encoding)) RefuseUnwritableEncoding(library, encoding);
  if (rewrite && !parsed.Has("--drop")) RefuseWhatWouldBeDropped(doc, encoding);
  const uint64_t indentation = IndentationBytes(doc.document.root(), layout.indent.size());
  if (indentation > kMaxIndentationBytes) {
    throw DocumentError(doc.label + ": the document is nested too deeply to indent (over " +
                        std::to_string(kMaxIndentationBytes >> 20) +
                        " MiB of indentation); use --indent '' for none");
  }
  if (!rewrite) {
    Reindent(library, doc, layout, output, parsed.Has("--bom"));
    return kExitOk;
  }
  WriteDocument(library, doc, layout, encoding, output, parsed.Has("--bom"));
  return kExitOk;
}

}  // namespace kelmo_tool
