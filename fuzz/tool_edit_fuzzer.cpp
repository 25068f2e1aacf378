// The command-line tool's source-preserving edits (tools/source_edit.h) on
// random documents. The first byte of the input is the length of the edit
// script that follows it; the rest is the document's bytes, in any encoding
// the library reads. The script makes up to four set or del edits in turn,
// each on the text the one before it left.
//
// The paths are made from names that stand in the parsed tree, so that most
// of them lead somewhere, and from a few new names. The change itself is made
// in memory through the library's interfaces, as a caller would make it.
// After an edit that the tool makes:
// - the edited bytes parse to that changed tree, node for node;
// - every byte before and after the replaced span is the original one.
// An edit that the tool refuses gives a reason and changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document_text.h"
#include "encodings.h"
#include "finding.h"
#include "fuzz_text.h"
#include "kelmo/easy.hpp"
#include "source_edit.h"

namespace {

using kelmo::easy::Node;
using kelmo::easy::Path;
using kelmo_fuzz::Require;
using kelmo_fuzz::TakeByte;

constexpr size_t kMaxEdits = 4;
constexpr size_t kMaxSteps = 4;

const kelmo::easy::Library& Library() {
  static const kelmo::easy::Library library(&GetCppModuleInterface, &FreeCppModuleInterface);
  return library;
}

// One node of a tree as a comparison sees it. An empty value is written as
// no value at all, so the two count as the same.
struct Record {
  size_t depth = 0;
  int kind = 0;
  std::u16string name;
  std::u16string value;
};

std::vector<Record> Flatten(const Node& root) {
  std::vector<Record> records;
  std::vector<std::pair<Node, size_t>> pending{{root, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    Record record;
    record.depth = depth;
    record.kind = node->GetKind();
    const kelmo::WChar* text = nullptr;
    unsigned int length = 0;
    kelmo::RefPtr<kelmo::XInRes> nameHolder, valueHolder;
    if (node->GetNameW(text, length, nameHolder)) record.name = kelmo::easy::FromWide(text, length);
    if (!node->IsEmpty() && node->GetStringW(text, length, valueHolder))
      record.value = kelmo::easy::FromWide(text, length);
    records.push_back(std::move(record));
    std::vector<Node> children;
    for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling())
      children.push_back(child);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return records;
}

using kelmo_fuzz::Printable;

// Empty when the trees hold the same nodes, otherwise the first difference.
std::string CompareTrees(const Node& expected, const Node& actual) {
  const std::vector<Record> a = Flatten(expected), b = Flatten(actual);
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i].depth != b[i].depth || a[i].kind != b[i].kind || a[i].name != b[i].name ||
        a[i].value != b[i].value) {
      return "node " + std::to_string(i) + ": expected <" + Printable(a[i].name) + "> kind " +
             std::to_string(a[i].kind) + " value \"" + Printable(a[i].value) + "\" at depth " +
             std::to_string(a[i].depth) + ", got <" + Printable(b[i].name) + "> kind " +
             std::to_string(b[i].kind) + " value \"" + Printable(b[i].value) + "\" at depth " +
             std::to_string(b[i].depth);
    }
  }
  if (a.size() != b.size())
    return "expected " + std::to_string(a.size()) + " nodes, got " + std::to_string(b.size());
  return {};
}

// The names that a path may use at `node`: those of its children and
// attributes first, then a few that may be new (one outside ASCII, one with
// a prefix).
std::string StepName(const Node& node, uint8_t choice, bool& attribute) {
  static const char* const kNewNames[] = {"a", "item", "n_1", "x:y", "\xC3\xA9t\xC3\xA9"};
  std::vector<Node> children;
  for (Node child = node ? node->GetFirstChild() : nullptr; child; child = child->GetNextSibling())
    children.push_back(child);
  if (!children.empty() && choice % 4 != 3) {
    const Node& child = children[(choice >> 2) % children.size()];
    attribute = kelmo::easy::KindOf(child) == kelmo::NodeKind::Attribute && (choice & 0x80);
    return kelmo::easy::NameOf(child);
  }
  attribute = choice & 0x40;
  return kNewNames[(choice >> 2) % (sizeof kNewNames / sizeof kNewNames[0])];
}

// A path text from the script: "[/]step/step...", each step a name that
// stands at that place in the tree (often) or a new one, with "@" for
// attributes and now and then an occurrence.
std::string MakePath(const Node& element, uint8_t op, const uint8_t*& script, size_t& size) {
  const bool absolute = op & 2;
  const size_t steps = 1 + (op >> 2) % kMaxSteps;
  Node at = absolute ? element->GetParent() : element;
  std::string text = absolute ? "/" : "";
  for (size_t i = 0; i < steps; ++i) {
    const uint8_t choice = TakeByte(script, size);
    const uint8_t occurrence = TakeByte(script, size);
    bool attribute = false;
    const std::string name = StepName(at, choice, attribute);
    if (i > 0) text += '/';
    text += (attribute ? "@" : "") + name;
    const uint32_t n = occurrence % 8 == 7 ? 1 + (occurrence >> 3) % 3 : 1;
    if (n > 1 || occurrence % 8 == 6) text += "[" + std::to_string(n) + "]";
    kelmo::easy::PathStep step;
    step.name = kelmo::easy::ToUtf16(name);
    step.occurrence = n;
    step.attribute = attribute;
    at = at ? kelmo::easy::detail::FindStep(at, step) : nullptr;
  }
  return text;
}

// Makes the set in memory: the node at the path, created where missing. A
// new element goes after the last sibling of its name, or after every child.
Node SetInMemory(const Node& element, const Path& path, const std::string& value) {
  const std::vector<kelmo::easy::PathStep>& steps = path.steps();
  auto [at, found] = kelmo::easy::detail::StartOf(element, path);
  while (at && found < steps.size()) {
    at = kelmo::easy::detail::FindStep(at, steps[found]);
    if (at) ++found;
  }
  const Node node = kelmo::easy::FindOrCreate(element, path);
  if (!node) return nullptr;
  kelmo::easy::StoreValue(node, value);
  if (found == steps.size() || steps[found].attribute) return node;
  Node created = node;
  for (size_t i = found + 1; i < steps.size(); ++i) created = created->GetParent();
  const Node parent = created->GetParent();
  for (Node child = parent->GetLastChild(); child; child = child->GetPrevSibling()) {
    if (child == created || kelmo::easy::KindOf(child) == kelmo::NodeKind::Attribute ||
        !kelmo::easy::detail::NameIs(child, steps[found].name))
      continue;
    if (child->GetNextSibling() != created) {
      created->Detach();
      parent->InsertChildAfter(child, created);
    }
    break;
  }
  return node;
}

// What lies before and after the replaced span is the same in the original
// and the edited document: in their texts, and where the edit works on the
// bytes themselves (the text is then a view of them, after the byte-order
// mark), byte for byte, the mark included.
void CheckOutsideUnchanged(const std::string& before, const kelmo_tool::DocumentText& text,
                           const kelmo_tool::SourceChange& change, const std::string& after,
                           const kelmo_tool::EncodingInfo& encoding) {
  kelmo_tool::DocumentText edited;
  std::string why;
  Require(edited.Open(after, encoding, why), "the edited bytes cannot be opened again: " + why);
  const std::string_view old = text.text(), now = edited.text();
  Require(now.size() == old.size() - (change.end - change.begin) + change.text.size(),
          "the edited text's length does not add up");
  Require(now.substr(0, change.begin) == old.substr(0, change.begin),
          "a character before the edited span changed");
  Require(now.substr(change.begin, change.text.size()) == change.text,
          "the edited span does not hold the new text");
  Require(now.substr(change.begin + change.text.size()) == old.substr(change.end),
          "a character after the edited span changed");
  const bool onBytes = old.data() >= before.data() && old.data() <= before.data() + before.size();
  if (!onBytes) return;
  const size_t head = static_cast<size_t>(old.data() - before.data()) + change.begin;
  const size_t tail = old.size() - change.end;
  Require(after.size() >= head + tail, "the edited document is shorter than what it kept");
  Require(after.compare(0, head, before, 0, head) == 0, "a byte before the edited span changed");
  Require(after.compare(after.size() - tail, tail, before, before.size() - tail) == 0,
          "a byte after the edited span changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 0x10000) return 0;
  const kelmo::easy::Library& library = Library();
  size_t scriptSize = data[0];
  ++data;
  --size;
  if (scriptSize > size) scriptSize = size;
  const uint8_t* script = data;
  std::string bytes(reinterpret_cast<const char*>(data + scriptSize), size - scriptSize);

  for (size_t edit = 0; edit < kMaxEdits && scriptSize > 0; ++edit) {
    kelmo::easy::Document doc = library.Parse(bytes);
    const Node element = doc.element();
    if (!doc || !element) return 0;
    const kelmo_tool::EncodingInfo encoding = kelmo_tool::DetectDocumentEncoding(bytes);
    kelmo_tool::DocumentText text;
    std::string why;
    if (!text.Open(bytes, encoding, why)) return 0;

    const uint8_t op = TakeByte(script, scriptSize);
    const bool remove = op & 1;
    const std::string pathText = MakePath(element, op, script, scriptSize);
    const std::optional<Path> path = Path::Parse(pathText);
    if (!path) return 0;

    // The change in memory, where the tool would make it at all.
    kelmo_tool::SourceChange change;
    bool made = false;
    if (remove) {
      const Node node = kelmo::easy::Find(element, *path);
      if (!node || node == element) continue;
      node->Detach();
      made = kelmo_tool::RemoveFromSource(text, *path, change, why);
    } else {
      std::string value;
      const size_t length = TakeByte(script, scriptSize) % 24;
      for (size_t i = 0; i < length && scriptSize > 0; ++i) value += static_cast<char>(TakeByte(script, scriptSize));
      const Node node = SetInMemory(element, *path, value);
      if (!node) continue;
      // The text the tool writes is the value as the library holds it.
      const std::string written = kelmo::easy::ValueOf<std::string>(node).value_or(std::string());
      made = kelmo_tool::SetInSource(text, *path, written, change, why);
    }
    const std::string original = bytes;
    std::string edited;
    if (made) made = text.Splice(change.begin, change.end, change.text, edited, why);
    Require(bytes == original, "the edit changed the document it was given");
    // KELMO_FUZZ_TRACE=1 shows the edits of an input replayed by hand.
    static const bool trace = std::getenv("KELMO_FUZZ_TRACE") != nullptr;
    if (trace) {
      std::fprintf(stderr, "%s %s: %s\n", remove ? "del" : "set", pathText.c_str(),
                   made ? ("[" + std::to_string(change.begin) + "," + std::to_string(change.end) + ") \"" +
                           change.text + "\"").c_str()
                        : why.c_str());
    }
    if (!made) {
      Require(!why.empty(), "an edit was refused without a reason");
      continue;
    }
    Require(change.begin <= change.end && change.end <= text.text().size(), "the edited span lies outside the text");
    CheckOutsideUnchanged(bytes, text, change, edited, encoding);
    const kelmo::easy::Document reread = library.Parse(edited);
    Require(reread.ok(), (remove ? "del " : "set ") + pathText + ": the edited text does not parse: " +
                             reread.error().Message());
    const std::string difference = CompareTrees(doc.root(), reread.root());
    // Where the reader replaced bytes that did not decode, the tree's name
    // holds U+FFFD and the text does not, so a path through that name finds
    // nothing in the text. The tool's own read-back check refuses such an
    // edit; it is not made.
    if (!difference.empty() && pathText.find("\xEF\xBF\xBD") != std::string::npos &&
        !kelmo_tool::FindInputRepairs(bytes).empty())
      continue;
    Require(difference.empty(), (remove ? "del " : "set ") + pathText +
                                    ": the edited text does not read back as the change: " + difference);
    bytes = edited;
  }
  return 0;
}
