// fmt: rewrites a document with a chosen layout and encoding.
#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "document_text.h"
#include "tool_error.h"
#include "tree_walk.h"
#include "xml_source.h"

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

// Refuses to rewrite what the rewrite would leave out: the first comment,
// processing instruction, DOCTYPE, text beside other content or line break
// in text, named where it stands.
void RefuseWhatWouldBeDropped(const LoadedDocument& doc) {
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
                      " would be lost by rewriting; use --drop to rewrite without it, or kelmo set "
                      "to change values in place");
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
  if (!parsed.Has("--drop")) RefuseWhatWouldBeDropped(doc);
  const kelmo::easy::Layout layout = ChooseLayout(parsed, doc.encoding, encoding);
  const uint64_t indentation = IndentationBytes(doc.document.root(), layout.indent.size());
  if (indentation > kMaxIndentationBytes) {
    throw DocumentError(doc.label + ": the document is nested too deeply to indent (over " +
                        std::to_string(kMaxIndentationBytes >> 20) +
                        " MiB of indentation); use --indent '' for none");
  }
  WriteDocument(library, doc, layout, encoding, output, parsed.Has("--bom"));
  return kExitOk;
}

}  // namespace kelmo_tool
