// Parameters addressed by path: "server/port", "servers/server[2]/name",
// "server/@port". A step names a child; attributes are children too, so a
// plain step finds them as well, and "@name" finds attributes only. "[n]"
// picks the n-th child of that name, counted from 1. "*" stands for any
// element and "@*" for any attribute; FindAll follows every match of such a
// step (Find and FindOrCreate take the first). A leading "/" starts at
// the top of the tree, naming the document element first; "." is the node
// itself. Every walk here is a loop, so the depth of a tree costs no stack.
#ifndef KELMO_EASY_PATH_HPP
#define KELMO_EASY_PATH_HPP

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelmo/easy/utf.hpp"
#include "kelmo/easy/values.hpp"
#include "kelmo/kelmo.h"
#include "kelmo/xml_name_chars.h"

namespace kelmo {
namespace easy {

struct PathStep {
  std::string text;          // the step as written, for messages
  std::u16string name;
  uint32_t occurrence = 1;   // counted from 1
  bool attribute = false;    // written with "@": matches attributes only
  bool anyName = false;      // "*" or "@*"
  bool indexed = false;      // the occurrence was written, "[n]"
};

class Path {
 public:
  // Parses the path text; on a syntax error returns nothing and, when asked,
  // says what is wrong in *error.
  static std::optional<Path> Parse(std::string_view text, std::string* error = nullptr) {
    auto fail = [&](std::string message) -> std::optional<Path> {
      if (error) *error = std::move(message);
      return std::nullopt;
    };
    Path path;
    if (text.empty()) return fail("empty path");
    if (text == ".") return path;
    if (text.front() == '/') {
      path.absolute_ = true;
      text.remove_prefix(1);
      if (text.empty()) return fail("path \"/\" names no element");
    }
    while (true) {
      const size_t slash = text.find('/');
      const std::string_view piece = text.substr(0, slash);
      PathStep step;
      std::string why;
      if (!ParseStep(piece, step, why)) return fail(why);
      path.steps_.push_back(std::move(step));
      if (slash == std::string_view::npos) break;
      text.remove_prefix(slash + 1);
    }
    return path;
  }

  const std::vector<PathStep>& steps() const { return steps_; }
  bool absolute() const { return absolute_; }

 private:
  static bool ParseStep(std::string_view piece, PathStep& step, std::string& why) {
    step.text = std::string(piece);
    if (piece.empty()) {
      why = "empty step in path (two slashes in a row, or a slash at the end)";
      return false;
    }
    if (piece.front() == '@') {
      step.attribute = true;
      piece.remove_prefix(1);
    }
    const size_t bracket = piece.find('[');
    const std::string_view name = piece.substr(0, bracket);
    if (name.empty()) {
      why = "step \"" + step.text + "\" has no name";
      return false;
    }
    if (name.find(']') != std::string_view::npos) {
      why = "unexpected ']' in step \"" + step.text + "\"";
      return false;
    }
    if (!IsValidUtf8(name)) {
      why = "step \"" + step.text + "\" is not valid UTF-8";
      return false;
    }
    step.name = ToUtf16(name);
    step.anyName = name == "*";
    if (bracket == std::string_view::npos) return true;
    step.indexed = true;
    std::string_view index = piece.substr(bracket + 1);
    if (index.empty() || index.back() != ']') {
      why = "step \"" + step.text + "\" must end with ']' after its occurrence";
      return false;
    }
    index.remove_suffix(1);
    uint64_t n = 0;
    for (char c : index) {
      if (c < '0' || c > '9' || n > 0xFFFFFFFFull) {
        n = 0;
        break;
      }
      n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (index.empty() || n < 1 || n > 0xFFFFFFFFull) {
      why = "occurrence in step \"" + step.text +
            "\" must be a whole number from 1 to 4294967295 (the first one is [1])";
      return false;
    }
    step.occurrence = static_cast<uint32_t>(n);
    return true;
  }

  std::vector<PathStep> steps_;
  bool absolute_ = false;
};

namespace detail {

inline bool NameIs(const Node& node, const std::u16string& name) {
  const WChar* text = nullptr;
  unsigned int length = 0;
  RefPtr<XInRes> holder;
  return node->GetNameW(text, length, holder) && FromWide(text, length) == name;
}

inline bool Matches(const Node& node, const PathStep& step) {
  if (step.anyName) return (KindOf(node) == NodeKind::Attribute) == step.attribute;
  if (step.attribute && KindOf(node) != NodeKind::Attribute) return false;
  return NameIs(node, step.name);
}

// Counts the children that match the step, stopping once `limit` are found.
inline uint32_t CountMatches(const Node& parent, const PathStep& step, uint32_t limit) {
  uint32_t count = 0;
  for (Node child = parent->GetFirstChild(); child && count < limit;
       child = child->GetNextSibling()) {
    if (Matches(child, step)) ++count;
  }
  return count;
}

inline Node FindStep(const Node& parent, const PathStep& step) {
  if (!parent) return nullptr;
  if (step.name.size() >= kWholeText) return nullptr;
  if (!step.attribute && !step.anyName) {
    return parent->FindChildW(AsWide(step.name), static_cast<unsigned int>(step.name.size()),
                              step.occurrence - 1);
  }
  uint32_t seen = 0;
  for (Node child = parent->GetFirstChild(); child; child = child->GetNextSibling()) {
    if (Matches(child, step) && ++seen == step.occurrence) return child;
  }
  return nullptr;
}

// Where an absolute path starts: the topmost ancestor when it is a nameless
// document root, otherwise that ancestor itself stands for the first step.
// Returns the node to continue from and how many steps it already covers.
inline std::pair<Node, size_t> StartOf(const Node& from, const Path& path) {
  if (!path.absolute()) return {from, 0};
  Node top = from;
  for (Node up = top->GetParent(); up; up = up->GetParent()) top = up;
  if (NameOf(top).empty()) return {top, 0};
  const PathStep& first = path.steps().front();
  if (first.occurrence != 1 || !Matches(top, first)) return {nullptr, 0};
  return {top, 1};
}

// A new child for the step: attributes go after the existing attributes, so
// that they stay in front of the element's content as the parser keeps them.
inline Node CreateStep(const Node& parent, const PathStep& step) {
  Node child = parent->CreateNode();
  child->SetNameW(AsWide(step.name), static_cast<unsigned int>(step.name.size()));
  if (!step.attribute) {
    parent->AppendChild(child);
    return child;
  }
  child->SetKind(static_cast<char>(NodeKind::Attribute));
  Node lastAttribute;
  for (Node c = parent->GetFirstChild(); c && KindOf(c) == NodeKind::Attribute;
       c = c->GetNextSibling()) {
    lastAttribute = c;
  }
  if (lastAttribute) {
    parent->InsertChildAfter(lastAttribute, child);
  } else {
    parent->PrependChild(child);
  }
  return child;
}

}  // namespace detail

// The node the path names below (or, for "/...", above) `from`; null when
// there is no such node.
inline Node Find(const Node& from, const Path& path) {
  if (!from) return nullptr;
  auto [node, done] = detail::StartOf(from, path);
  for (size_t i = done; node && i < path.steps().size(); ++i)
    node = detail::FindStep(node, path.steps()[i]);
  return node;
}

// As above; a path with a syntax error finds nothing.
inline Node Find(const Node& from, std::string_view path) {
  std::optional<Path> parsed = Path::Parse(path);
  return parsed ? Find(from, *parsed) : nullptr;
}

// Every node the path names, in document order. A step "*" or "@*" without
// "[n]" follows all its matches; with `everyMatch`, so does a named step
// without "[n]".
inline std::vector<Node> FindAll(const Node& from, const Path& path, bool everyMatch = false) {
  std::vector<Node> nodes;
  if (!from) return nodes;
  auto [start, done] = detail::StartOf(from, path);
  if (start) nodes.push_back(start);
  for (size_t i = done; i < path.steps().size() && !nodes.empty(); ++i) {
    const PathStep& step = path.steps()[i];
    std::vector<Node> next;
    for (const Node& node : nodes) {
      if (step.indexed || !(step.anyName || everyMatch)) {
        if (Node found = detail::FindStep(node, step)) next.push_back(found);
        continue;
      }
      for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling()) {
        if (detail::Matches(child, step)) next.push_back(child);
      }
    }
    nodes = std::move(next);
  }
  return nodes;
}

// Finds the node, creating the missing steps on the way: an element for a
// plain step, an attribute for an "@" step. A step "b[n]" is created only
// when it would be the next one (n - 1 of them exist), so that a typing slip
// such as b[1000000] cannot create a million elements. Attributes get no
// children. On failure returns null and says why in *error when asked.
inline Node FindOrCreate(const Node& from, const Path& path, std::string* error = nullptr) {
  auto fail = [&](std::string message) -> Node {
    if (error) *error = std::move(message);
    return nullptr;
  };
  if (!from) return fail("no node to start from");
  auto [node, first] = detail::StartOf(from, path);
  if (!node) return fail("the path does not start at the document element");
  const auto& steps = path.steps();
  size_t missing = first;
  for (; missing < steps.size(); ++missing) {
    Node next = detail::FindStep(node, steps[missing]);
    if (!next) break;
    node = next;
  }
  // A document has one top-level element; an absolute path that names
  // another would add a second one.
  if (path.absolute() && first == 0 && missing == 0 && missing < steps.size()) {
    for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling()) {
      if (KindOf(child) != NodeKind::Attribute)
        return fail("the path must start with the document element <" + NameOf(child) + ">");
    }
  }
  // Everything that is to be created is checked first, so that a path that
  // cannot be completed leaves the tree as it was.
  for (size_t i = missing; i < steps.size(); ++i) {
    const PathStep& step = steps[i];
    if (step.anyName) return fail("cannot create \"" + step.text + "\": it names no one node");
    if (!IsWritableName(AsWide(step.name), static_cast<uint32_t>(step.name.size())))
      return fail("cannot create \"" + step.text +
                  "\": a name holds only letters, digits, non-ASCII characters and _ : - .");
    if (i == missing && KindOf(node) == NodeKind::Attribute)
      return fail("cannot create \"" + step.text + "\" inside attribute \"" + NameOf(node) + "\"");
    if (step.attribute && i + 1 < steps.size())
      return fail("attribute \"" + step.text + "\" cannot have children");
    const uint32_t existing =
        i == missing ? detail::CountMatches(node, step, step.occurrence) : 0;
    if (existing + 1 != step.occurrence) {
      const std::string count = existing == 0   ? "none of that name exists"
                                : existing == 1 ? "1 of that name exists"
                                                : std::to_string(existing) + " of that name exist";
      return fail("cannot create \"" + step.text + "\": " + count + " there, so the next one is [" +
                  std::to_string(existing + 1) + "]");
    }
  }
  for (size_t i = missing; i < steps.size(); ++i) node = detail::CreateStep(node, steps[i]);
  return node;
}

// Typed value at a path: Get<int>(config, "server/port").
template <class T>
std::optional<T> Get(const Node& node, std::string_view path) {
  return ValueOf<T>(Find(node, path));
}

template <class T>
std::optional<T> Get(const Node& node) {
  return ValueOf<T>(node);
}

// The value at a path, or `fallback` when there is none or it does not
// convert: GetOr<int>(config, "server/port", 80).
template <class T, class Fallback>
T GetOr(const Node& node, std::string_view path, Fallback&& fallback) {
  std::optional<T> value = Get<T>(node, path);
  return value ? *value : T(std::forward<Fallback>(fallback));
}

// The node's own value, or `fallback`: GetOr<int>(port, 80).
template <class T, class Fallback>
T GetOr(const Node& node, Fallback&& fallback) {
  std::optional<T> value = Get<T>(node);
  return value ? *value : T(std::forward<Fallback>(fallback));
}

// Stores a value at a path, creating missing elements: Set(config,
// "server/port", 8080). False when the path is malformed or cannot be
// created (a step that is not a valid name is refused here, not when the
// tree is saved); *error then says why, naming the step.
template <class T>
bool Set(const Node& node, std::string_view path, T&& value, std::string* error) {
  std::optional<Path> parsed = Path::Parse(path, error);
  if (!parsed) return false;
  Node target = FindOrCreate(node, *parsed, error);
  if (!target) return false;
  return StoreValue(target, std::forward<T>(value));
}

template <class T>
bool Set(const Node& node, std::string_view path, T&& value) {
  return Set(node, path, std::forward<T>(value), nullptr);
}

}  // namespace easy
}  // namespace kelmo

#endif  // KELMO_EASY_PATH_HPP
