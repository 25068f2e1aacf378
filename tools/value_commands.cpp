// get and set: one parameter, addressed by path.
#include <cstdio>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "file_system.h"
#include "kelmo/xml_name_chars.h"
#include "source_edit.h"
#include "tool_error.h"
#include "value_format.h"

namespace kelmo_tool {
namespace {

using kelmo::easy::Node;
using kelmo::easy::Path;

ValueKind ChooseKind(const Arguments& args) {
  const std::string word = args.Value("--as").value_or("string");
  std::optional<ValueKind> kind = ParseValueKind(word);
  if (!kind) throw UsageError("--as takes " + std::string(kValueKindWords) + ", not \"" + word + "\"");
  return *kind;
}

Path ParsePath(const std::string& text) {
  std::string why;
  std::optional<Path> path = Path::Parse(text, &why);
  if (!path) throw UsageError("bad path \"" + text + "\": " + why);
  return *path;
}

// A value for a message: quoted, shortened, control characters escaped.
std::string Quoted(const Node& node) {
  std::optional<std::string> text = kelmo::easy::ValueOf<std::string>(node);
  if (!text) return "of type " + std::string(TypeWord(kelmo::easy::TypeOf(node)));
  std::string shown;
  for (unsigned char c : *text) {
    if (shown.size() >= 60) {
      shown += "...";
      break;
    }
    shown += c < 0x20 ? '?' : static_cast<char>(c);
  }
  return "\"" + shown + "\"";
}

// A missing path that starts with the document element's own name was most
// likely meant from the top.
std::string MissingHint(const LoadedDocument& doc, const Path& path, const std::string& text) {
  if (path.absolute() || path.steps().empty()) return {};
  const std::string top = kelmo::easy::NameOf(doc.element);
  if (path.steps().front().text != top) return {};
  return " (paths start below the document element <" + top + ">; write /" + text +
         " to include it)";
}

// A path that must name one node: no "*" steps.
Path ParseSinglePath(const std::string& text, const std::string& command) {
  const Path path = ParsePath(text);
  for (const kelmo::easy::PathStep& step : path.steps()) {
    if (step.anyName)
      throw UsageError(command + " changes one parameter; \"" + step.text + "\" names any of several");
  }
  return path;
}

// Finds or creates the node at the path in the tree. A new element goes
// after the last sibling of its name, as the edit of the text puts it.
Node SetInTree(const LoadedDocument& doc, const Path& path, const std::string& pathText) {
  const std::vector<kelmo::easy::PathStep>& steps = path.steps();
  auto [existing, found] = kelmo::easy::detail::StartOf(doc.element, path);
  while (existing && found < steps.size()) {
    existing = kelmo::easy::detail::FindStep(existing, steps[found]);
    if (existing) ++found;
  }
  std::string why;
  const Node node = kelmo::easy::FindOrCreate(doc.element, path, &why);
  if (!node) throw DocumentError(doc.label + ": cannot set " + pathText + ": " + why);
  if (found >= steps.size() || steps[found].attribute) return node;
  Node created = node;
  for (size_t i = found + 1; i < steps.size(); ++i) created = created->GetParent();
  const Node parent = created->GetParent();
  Node last;
  for (Node child = parent->GetLastChild(); child && !last; child = child->GetPrevSibling()) {
    if (child != created && kelmo::easy::KindOf(child) != kelmo::NodeKind::Attribute &&
        kelmo::easy::detail::NameIs(child, steps[found].name))
      last = child;
  }
  if (last && last->GetNextSibling() != created) {
    created->Detach();
    parent->InsertChildAfter(last, created);
  }
  return node;
}

}  // namespace

int RunGet(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, {{"--as", "", true}, {"--all", "", false}});
  if (PrintHelpIfAsked("get", parsed.help)) return kExitOk;
  if (parsed.positional.size() != 2) throw UsageError("get takes FILE and PATH");
  const ValueKind kind = ChooseKind(parsed);
  const std::string& pathText = parsed.positional[1];
  const Path path = ParsePath(pathText);
  bool several = parsed.Has("--all");
  for (const kelmo::easy::PathStep& step : path.steps()) several |= step.anyName;
  if (several && kind == ValueKind::Base64)
    throw UsageError("base64 values are raw bytes and cannot be listed one per line");

  const LoadedDocument doc = LoadDocument(context.library(), parsed.positional[0]);
  const std::vector<Node> nodes = several
                                      ? kelmo::easy::FindAll(doc.element, path, parsed.Has("--all"))
                                      : std::vector<Node>{kelmo::easy::Find(doc.element, path)};
  if (nodes.empty() || !nodes.front()) {
    throw DocumentError(doc.label + ": no parameter at " + pathText +
                        MissingHint(doc, path, pathText));
  }
  std::string out;
  for (const Node& node : nodes) {
    // An element without a value has nothing to print, as a missing one.
    if (node->IsEmpty()) {
      if (several) continue;
      throw DocumentError(doc.label + ": " + pathText + " has no value");
    }
    const std::optional<std::string> value = ReadValue(node, kind);
    if (!value) {
      // Listing skips what has no value of the kind; one value must have it.
      if (several) continue;
      if (node->IsEmpty()) {
        throw DocumentError(doc.label + ": " + pathText + " has no value to read as " +
                            ValueKindName(kind));
      }
      throw DocumentError(doc.label + ": the value " + Quoted(node) + " at " + pathText +
                          " is not a valid " + ValueKindName(kind));
    }
    out += *value;
    if (kind != ValueKind::Base64) out += '\n';
  }
  if (!WriteStandardOutput(out)) throw ToolError(kExitDocument, "cannot write to standard output");
  return kExitOk;
}

int RunSet(ToolContext& context, const std::vector<std::string>& args) {
  std::vector<OptionSpec> specs = EditOutputOptionSpecs();
  specs.push_back({"--as", "", true});
  const Arguments parsed = ParseArguments(args, specs);
  if (PrintHelpIfAsked("set", parsed.help)) return kExitOk;
  if (parsed.positional.size() != 3) throw UsageError("set takes FILE, PATH and VALUE");
  const std::string& file = parsed.positional[0];
  const std::string& pathText = parsed.positional[1];
  const std::string& valueText = parsed.positional[2];
  const ValueKind kind = ChooseKind(parsed);
  const Path path = ParseSinglePath(pathText, "set");
  // A step that set would create must be a name that reads back as one.
  for (const kelmo::easy::PathStep& step : path.steps()) {
    for (char16_t unit : step.name) {
      if (!kelmo::IsNameChar(static_cast<kelmo::WChar>(unit))) {
        throw UsageError("bad path \"" + pathText + "\": step \"" + step.text +
                         "\" is not a name (names hold letters, digits, '_', ':', '-' and '.')");
      }
    }
  }
  const OutputChoice output = ChooseOutput(parsed, file);

  const kelmo::easy::Library& library = context.library();
  // The value is checked on a spare node before anything is read or built.
  if (std::optional<std::string> why = StoreValue(library, library.CreateNode(), kind, valueText))
    throw UsageError("\"" + valueText + "\" is not a valid " + ValueKindName(kind) + ": " + *why);

  const LoadedDocument doc = LoadDocument(library, file);
  const Node node = SetInTree(doc, path, pathText);
  StoreValue(library, node, kind, valueText);
  // The text as the library writes the value: numbers in decimal, bool as
  // 1 or 0, bytes as base64.
  const std::string written = kelmo::easy::ValueOf<std::string>(node).value_or(std::string());

  WriteEdit(library, doc, parsed, output,
            [&](const DocumentText& text, SourceChange& change, std::string& reason) {
              return SetInSource(text, path, written, change, reason);
            });
  return kExitOk;
}

int RunDel(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, EditOutputOptionSpecs());
  if (PrintHelpIfAsked("del", parsed.help)) return kExitOk;
  if (parsed.positional.size() != 2) throw UsageError("del takes FILE and PATH");
  const std::string& file = parsed.positional[0];
  const std::string& pathText = parsed.positional[1];
  const Path path = ParseSinglePath(pathText, "del");
  const OutputChoice output = ChooseOutput(parsed, file);

  const kelmo::easy::Library& library = context.library();
  const LoadedDocument doc = LoadDocument(library, file);
  const Node node = kelmo::easy::Find(doc.element, path);
  if (!node) {
    throw DocumentError(doc.label + ": no parameter at " + pathText +
                        MissingHint(doc, path, pathText));
  }
  if (node == doc.element)
    throw DocumentError(doc.label + ": the document element cannot be removed");
  node->Detach();

  WriteEdit(library, doc, parsed, output,
            [&](const DocumentText& text, SourceChange& change, std::string& reason) {
              return RemoveFromSource(text, path, change, reason);
            });
  return kExitOk;
}

}  // namespace kelmo_tool
