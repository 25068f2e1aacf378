// get, set and del: parameters addressed by path, in one file or several.
#include <algorithm>
#include <cstdio>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "file_system.h"
#include "several_files.h"
#include "kelmo/xml_name_chars.h"
#include "source_edit.h"
#include "tool_error.h"
#include "tool_paths.h"
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

// Without --all, set and del change one node.
void RefuseSeveral(const std::string& command, const std::string& pathText, size_t count) {
  throw UsageError(command + " changes one parameter, and " + pathText + " names " + std::to_string(count) +
                   " of them: pick one with [n], or give --all to change every one");
}

bool IsDocumentRoot(const Node& node) { return !node->GetParent(); }

bool HoldsElements(const Node& node) {
  if (kelmo::easy::KindOf(node) != kelmo::NodeKind::Element) return false;
  for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling()) {
    if (kelmo::easy::KindOf(child) == kelmo::NodeKind::Element) return true;
  }
  return false;
}

// The plain path from the document element to `node` (which lies below it),
// followed by the steps of `path` from `from` on.
Path Extended(const LoadedDocument& doc, const Node& node, const Path& path, size_t from) {
  std::vector<kelmo::easy::PathStep> steps = kelmo::easy::detail::PathTo(doc.element, node).steps();
  steps.insert(steps.end(), path.steps().begin() + static_cast<std::ptrdiff_t>(from), path.steps().end());
  return Path(std::move(steps), false);
}

// What set changes, as plain paths that the edit of the text can follow:
// the node the path names or, where it names none, the missing steps below
// the deepest node on the way, as kelmo::easy::FindOrCreate makes them.
// With --all, every node the path names, and every branch that stops short
// where the rest of the path is plain names, which are created there.
std::vector<Path> SetTargets(const LoadedDocument& doc, const Path& path, const std::string& pathText,
                             bool all) {
  const size_t length = path.steps().size();
  const std::vector<kelmo::easy::detail::PathEnd> ends = kelmo::easy::detail::Walk(doc.element, path, all);
  std::vector<Path> targets;
  for (const auto& end : ends) {
    if (end.found == length) targets.push_back(kelmo::easy::detail::PathTo(doc.element, end.node));
  }
  if (!all && targets.size() > 1) RefuseSeveral("set", pathText, targets.size());
  if (!all && !targets.empty()) return targets;
  const kelmo::easy::detail::PathEnd* deepest = nullptr;
  for (const auto& end : ends) {
    if (end.found == length) continue;
    if (!deepest || end.found > deepest->found) deepest = &end;
    bool creatable = !IsDocumentRoot(end.node);
    for (size_t i = end.found; i < length && creatable; ++i) creatable = path.steps()[i].Creatable();
    if (all && creatable) targets.push_back(Extended(doc, end.node, path, end.found));
  }
  if (!targets.empty()) return targets;
  if (!all) {
    const size_t places = static_cast<size_t>(std::count_if(
        ends.begin(), ends.end(), [&](const auto& end) { return end.found == deepest->found; }));
    if (places > 1) {
      throw UsageError("set changes one parameter; " + pathText + " names none, and there are " +
                       std::to_string(places) + " places to create it: pick one with [n], or give --all");
    }
  }
  // Nothing to change: the deepest place, where FindOrCreate says why not.
  if (!deepest || IsDocumentRoot(deepest->node)) return {path};
  return {Extended(doc, deepest->node, path, deepest->found)};
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

// Several edited documents cannot share one output: each goes back to its
// own file.
void RefuseSharedOutput(const std::string& command, const Arguments& args,
                        const std::vector<std::string>& files) {
  if (files.size() > 1 && !args.Has("--in-place"))
    throw UsageError(command + " with several files writes each back to itself: give -i");
}

}  // namespace

int RunGet(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(
      args, {{"--as", "", true},
             {"--all", "", false},
             {"--with-path", "", false},
             {"--no-path", "", false},
             {"--strict", "", false}});
  if (PrintHelpIfAsked("get", parsed.help)) return kExitOk;
  const std::vector<std::string> files = FilesBefore(
      parsed, 1, "get takes FILE and PATH; several files may come before PATH");
  const ValueKind kind = ChooseKind(parsed);
  const std::string& pathText = parsed.positional.back();
  const Path path = ParsePath(pathText);
  const bool all = parsed.Has("--all");
  const bool several = all || CanNameSeveral(path);
  if (parsed.Has("--with-path") && parsed.Has("--no-path"))
    throw UsageError("--with-path and --no-path cannot be used together");
  // As grep -H does: which file and which node, once there are several files.
  const bool withPath = parsed.Has("--with-path") || (files.size() > 1 && !parsed.Has("--no-path"));
  if (kind == ValueKind::Base64 && (several || withPath || files.size() > 1))
    throw UsageError("base64 values are raw bytes and cannot be listed one per line or after their paths");

  return ForEachFile(files, [&](const std::string& file) {
    const LoadedDocument doc = LoadDocument(context.library(), file);
    // Values may hold U+FFFD where bytes did not decode: say so, as check
    // does, since the printed text is not what the file holds.
    for (const InputRepair& repair : doc.repairs) {
      const std::string warning = doc.label + ":" + std::to_string(repair.line) + ":" +
                                  std::to_string(repair.column) + ": warning: " + repair.message + "\n";
      std::fputs(warning.c_str(), stderr);
    }
    const std::vector<Node> nodes = FindOrFail(doc, path, pathText, several, all);
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
        throw DocumentError(doc.label + ": the value " + Quoted(node) + " at " + pathText +
                            " is not a valid " + ValueKindName(kind));
      }
      // The plain path, which names this node alone when given back to get.
      if (withPath) out += doc.label + ":" + kelmo::easy::detail::PathTo(doc.element, node).Text() + ": ";
      out += *value;
      if (kind != ValueKind::Base64) out += '\n';
    }
    if (!WriteStandardOutput(out)) throw ToolError(kExitDocument, "cannot write to standard output");
    if (!doc.repairs.empty() && parsed.Has("--strict"))
      throw DocumentError(doc.label + ": not read as written (--strict)");
  });
}

int RunSet(ToolContext& context, const std::vector<std::string>& args) {
  std::vector<OptionSpec> specs = EditOutputOptionSpecs();
  specs.push_back({"--as", "", true});
  specs.push_back({"--all", "", false});
  const Arguments parsed = ParseArguments(args, specs);
  if (PrintHelpIfAsked("set", parsed.help)) return kExitOk;
  const std::vector<std::string> files = FilesBefore(
      parsed, 2, "set takes FILE, PATH and VALUE; several files may come before PATH");
  const std::string& pathText = parsed.positional[parsed.positional.size() - 2];
  const std::string& valueText = parsed.positional.back();
  const ValueKind kind = ChooseKind(parsed);
  const Path path = ParsePath(pathText);
  // A step that set would create must be a name that reads back as one.
  for (const kelmo::easy::PathStep& step : path.steps()) {
    if (!step.Creatable()) continue;
    for (char16_t unit : step.name) {
      if (!kelmo::IsNameChar(static_cast<kelmo::WChar>(unit))) {
        throw UsageError("bad path \"" + pathText + "\": step \"" + step.text +
                         "\" is not a name (names hold letters, digits, '_', ':', '-' and '.')");
      }
    }
  }
  RefuseSharedOutput("set", parsed, files);

  const kelmo::easy::Library& library = context.library();
  // The value is checked on a spare node before anything is read or built.
  if (std::optional<std::string> why = StoreValue(library, library.CreateNode(), kind, valueText))
    throw UsageError("\"" + valueText + "\" is not a valid " + ValueKindName(kind) + ": " + *why);

  return ForEachFile(files, [&](const std::string& file) {
    const OutputChoice output = ChooseOutput(parsed, file);
    const LoadedDocument doc = LoadDocument(library, file);
    // Every target is found before the tree changes, so that each plain path
    // still names what it named in the text.
    const std::vector<Path> targets = SetTargets(doc, path, pathText, parsed.Has("--all"));
    std::string written;
    // Text beside child elements is mixed content, rarely what a value
    // meant: the edit is made, and said out loud once it is written.
    std::string warnings;
    for (const Path& target : targets) {
      const Node node = SetInTree(doc, target, pathText);
      if (HoldsElements(node)) {
        warnings += doc.label + ": warning: " + target.Text() +
                    " holds elements; the value stands before them\n";
      }
      StoreValue(library, node, kind, valueText);
      // The text as the library writes the value: numbers in decimal, bool as
      // 1 or 0, bytes as base64.
      written = kelmo::easy::ValueOf<std::string>(node).value_or(std::string());
    }

    WriteEdit(library, doc, parsed, output,
              [&](const DocumentText& text, std::vector<SourceChange>& changes, std::string& reason) {
                return SetInSource(text, targets, written, changes, reason);
              });
    std::fputs(warnings.c_str(), stderr);
  });
}

int RunDel(ToolContext& context, const std::vector<std::string>& args) {
  std::vector<OptionSpec> specs = EditOutputOptionSpecs();
  specs.push_back({"--all", "", false});
  const Arguments parsed = ParseArguments(args, specs);
  if (PrintHelpIfAsked("del", parsed.help)) return kExitOk;
  const std::vector<std::string> files = FilesBefore(
      parsed, 1, "del takes FILE and PATH; several files may come before PATH");
  const std::string& pathText = parsed.positional.back();
  const Path path = ParsePath(pathText);
  const bool all = parsed.Has("--all");
  RefuseSharedOutput("del", parsed, files);

  const kelmo::easy::Library& library = context.library();
  return ForEachFile(files, [&](const std::string& file) {
    const OutputChoice output = ChooseOutput(parsed, file);
    const LoadedDocument doc = LoadDocument(library, file);
    const std::vector<Node> nodes = FindOrFail(doc, path, pathText, all || CanNameSeveral(path), all);
    if (!all && nodes.size() > 1) RefuseSeveral("del", pathText, nodes.size());
    std::vector<Path> targets;
    for (const Node& node : nodes) {
      if (node == doc.element) throw DocumentError(doc.label + ": the document element cannot be removed");
      targets.push_back(kelmo::easy::detail::PathTo(doc.element, node));
    }
    for (const Node& node : nodes) node->Detach();

    WriteEdit(library, doc, parsed, output,
              [&](const DocumentText& text, std::vector<SourceChange>& changes, std::string& reason) {
                return RemoveFromSource(text, targets, changes, reason);
              });
  });
}

}  // namespace kelmo_tool
