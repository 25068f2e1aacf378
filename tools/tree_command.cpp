// tree: an outline of the document, one line per node; ls: one level of it.
#include <optional>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "file_system.h"
#include "tool_error.h"
#include "tool_paths.h"
#include "tree_walk.h"
#include "value_format.h"

namespace kelmo_tool {
namespace {

using kelmo::easy::Node;

constexpr size_t kMaxShownValue = 60;   // characters of a value before "..."
constexpr size_t kMaxIndentDepth = 40;  // deeper lines carry their depth instead
constexpr size_t kFlushSize = 1 << 16;

// A value in double quotes with quotes, backslashes and control characters
// escaped, so that every node stays on one line.
std::string ShowValue(const std::string& text) {
  std::string shown = "\"";
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80 && characters++ == kMaxShownValue) {
      shown += "...";
      break;
    }
    switch (c) {
      case '"': shown += "\\\""; break;
      case '\\': shown += "\\\\"; break;
      case '\n': shown += "\\n"; break;
      case '\r': shown += "\\r"; break;
      case '\t': shown += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          static const char kHex[] = "0123456789abcdef";
          shown += "\\x";
          shown += kHex[c >> 4];
          shown += kHex[c & 15];
        } else {
          shown += static_cast<char>(c);
        }
    }
  }
  return shown + "\"";
}

void AppendLine(std::string& out, const Node& node, size_t depth) {
  if (depth <= kMaxIndentDepth) {
    out.append(depth * 2, ' ');
  } else {
    out.append(kMaxIndentDepth * 2, ' ');
    out += "[depth " + std::to_string(depth) + "] ";
  }
  const std::string name = kelmo::easy::NameOf(node);
  out += name.empty() ? "(no name)" : name;
  out += ": ";
  out += KindWord(kelmo::easy::KindOf(node));
  out += ", ";
  out += TypeWord(kelmo::easy::TypeOf(node));
  if (!node->IsEmpty()) {
    if (std::optional<std::string> text = kelmo::easy::ValueOf<std::string>(node)) {
      out += " = ";
      out += ShowValue(*text);
    }
  }
  out += '\n';
}

// The FILE and optional PATH that tree and ls take, the path read and the
// document loaded (in that order, so that a bad path is a usage error before
// the file is opened). Nothing when help was asked for, and printed.
struct FileAndPath {
  std::optional<kelmo::easy::Path> path;
  std::string pathText;  // the path as given
  LoadedDocument doc;
};

std::optional<FileAndPath> ReadFileAndPath(ToolContext& context, const std::vector<std::string>& args,
                                           const std::string& command) {
  const Arguments parsed = ParseArguments(args, {});
  if (PrintHelpIfAsked(command, parsed.help)) return std::nullopt;
  if (parsed.positional.empty() || parsed.positional.size() > 2)
    throw UsageError(command + " takes FILE and, optionally, PATH");
  FileAndPath read;
  if (parsed.positional.size() == 2) {
    read.path = ParsePath(parsed.positional[1]);
    read.pathText = parsed.positional[1];
  }
  read.doc = LoadDocument(context.library(), parsed.positional[0]);
  return read;
}

}  // namespace

int RunTree(ToolContext& context, const std::vector<std::string>& args) {
  const std::optional<FileAndPath> read = ReadFileAndPath(context, args, "tree");
  if (!read) return kExitOk;
  const std::optional<kelmo::easy::Path>& path = read->path;
  const LoadedDocument& doc = read->doc;
  // The whole document, or each node the path names with what lies below it.
  std::vector<Node> tops;
  if (path) tops = FindOrFail(doc, *path, read->pathText, CanNameSeveral(*path), false);

  std::string out;
  const auto flush = [&out] {
    if (!WriteStandardOutput(out)) throw ToolError(kExitDocument, "cannot write to standard output");
    out.clear();
  };
  const auto walk = [&](const Node& root, size_t base) {
    WalkTree(root, [&](const Node& node, size_t depth) {
      AppendLine(out, node, base + depth);
      if (out.size() >= kFlushSize) flush();
      return true;
    });
  };
  if (!path) walk(doc.document.root(), 0);
  for (const Node& top : tops) {
    AppendLine(out, top, 0);
    walk(top, 1);
  }
  flush();
  return kExitOk;
}

int RunLs(ToolContext& context, const std::vector<std::string>& args) {
  const std::optional<FileAndPath> read = ReadFileAndPath(context, args, "ls");
  if (!read) return kExitOk;
  const Node node =
      read->path ? FindOrFail(read->doc, *read->path, read->pathText, false, false).front() : read->doc.element;
  std::string out;
  for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling())
    AppendLine(out, child, 0);
  if (!WriteStandardOutput(out)) throw ToolError(kExitDocument, "cannot write to standard output");
  return kExitOk;
}

}  // namespace kelmo_tool
