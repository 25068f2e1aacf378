// The convenience layer's path language (kelmo/easy/path.hpp) on any text,
// and Set by path on a small tree shaped like real configuration files. The
// first byte picks the document; the rest is the path, then, after the first
// line feed, the value (its printable ASCII bytes, so that it reads back as
// written).
//
// Properties:
// - parsing never fails without saying why and where (a character of the
//   text, from 1, or one past its end);
// - a parsed path's Text() parses to the same steps, and gives the same text
//   again;
// - Set fails for a path that does not parse, and a Set that fails leaves the
//   tree as it was;
// - after a Set that succeeds, Find by the same path names a node holding the
//   value, unless a condition on a value ([@a="v"], [b="v"]) may have been
//   changed by the Set itself.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "finding.h"
#include "kelmo/easy.hpp"

namespace {

using kelmo::easy::Node;
using kelmo::easy::Path;
using kelmo::easy::PathStep;
using kelmo_fuzz::Require;

const kelmo::easy::Library& Library() {
  static const kelmo::easy::Library library(&GetCppModuleInterface, &FreeCppModuleInterface);
  return library;
}

constexpr const char* kDocuments[] = {
    "<fontconfig><dir>/usr/share/fonts</dir><dir prefix=\"xdg\">fonts</dir>"
    "<match target=\"font\"><edit name=\"antialias\"><bool>true</bool></edit></match>"
    "<match target=\"pattern\"><test name=\"family\"><string>mono</string></test></match>"
    "<alias><family>serif</family><prefer><string>DejaVu</string></prefer></alias></fontconfig>",
    "<policyconfig><action id=\"a.one\"><defaults><allow_any>no</allow_any></defaults></action>"
    "<action id=\"a.two\"><defaults><allow_any/></defaults></action></policyconfig>",
    "<a b=\"1\"><b>2</b><b><b c=\"3\"/></b><c/></a>",
};

// Pre-order (kind, name, value) of every node, without recursion.
using Flat = std::vector<std::tuple<int, std::string, std::optional<std::string>, size_t>>;
Flat Flatten(const Node& root) {
  Flat flat;
  std::vector<std::pair<Node, size_t>> pending{{root, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    flat.emplace_back(static_cast<int>(kelmo::easy::KindOf(node)), kelmo::easy::NameOf(node),
                      kelmo::easy::ValueOf<std::string>(node), depth);
    std::vector<Node> children;
    for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling()) children.push_back(child);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return flat;
}

bool SameSteps(const Path& a, const Path& b) {
  if (a.absolute() != b.absolute() || a.steps().size() != b.steps().size()) return false;
  for (size_t i = 0; i < a.steps().size(); ++i) {
    const PathStep& x = a.steps()[i];
    const PathStep& y = b.steps()[i];
    if (x.name != y.name || x.occurrence != y.occurrence || x.attribute != y.attribute ||
        x.anyName != y.anyName || x.indexed != y.indexed || x.descendant != y.descendant ||
        x.conditions.size() != y.conditions.size())
      return false;
    for (size_t c = 0; c < x.conditions.size(); ++c) {
      const kelmo::easy::PathCondition& p = x.conditions[c];
      const kelmo::easy::PathCondition& q = y.conditions[c];
      if (p.name != q.name || p.attribute != q.attribute || p.hasValue != q.hasValue || p.value != q.value)
        return false;
    }
  }
  return true;
}

bool ConditionOnValue(const Path& path) {
  for (const PathStep& step : path.steps()) {
    for (const kelmo::easy::PathCondition& condition : step.conditions)
      if (condition.hasValue) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* document = kDocuments[data[0] % (sizeof kDocuments / sizeof kDocuments[0])];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t split = rest.find('\n');
  const std::string text(rest.substr(0, split));
  std::string value;
  if (split != std::string_view::npos) {
    for (char c : rest.substr(split + 1))
      if (c >= 0x20 && c < 0x7F) value += c;
  }

  std::string why;
  size_t where = 0;
  const std::optional<Path> path = Path::Parse(text, &why, &where);
  if (!path) {
    Require(!why.empty(), "a path that does not parse says why: " + text);
    size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    Require(where >= 1 && where <= characters + 1,
            "the fault lies in the text: " + std::to_string(where) + " in " + text);
  } else {
    const std::string written = path->Text();
    const std::optional<Path> again = Path::Parse(written, &why);
    Require(again.has_value(), "Text() of " + text + " parses back: " + written + ": " + why);
    Require(SameSteps(*path, *again), "Text() of " + text + " names the same steps: " + written);
    Require(again->Text() == written, "Text() is stable: " + written + " became " + again->Text());
  }

  const kelmo::easy::Document doc = Library().Parse(document);
  Require(static_cast<bool>(doc), "the fixed document parses");
  const Node root = doc.element();
  const Flat before = Flatten(doc.root());
  why.clear();
  if (!kelmo::easy::Set(root, text, value, &why)) {
    Require(!path || !why.empty(), "a Set that fails says why: " + text);
    Require(Flatten(doc.root()) == before, "a Set that fails leaves the tree as it was: " + text);
    return 0;
  }
  Require(path.has_value(), "Set takes only a path that parses: " + text);
  if (ConditionOnValue(*path)) return 0;
  const Node found = kelmo::easy::Find(root, *path);
  Require(static_cast<bool>(found), "Find names what Set made: " + text);
  Require(kelmo::easy::ValueOf<std::string>(found).value_or(std::string()) == value,
          "Find gives the value Set stored: " + text + " = " + value);
  return 0;
}
