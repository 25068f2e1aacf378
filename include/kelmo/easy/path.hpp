// Parameters addressed by path: "server/port", "servers/server[2]/name",
// "server/@port". A step names a child; attributes are children too, so a
// plain step finds them as well, and "@name" finds attributes only. "*"
// stands for any element and "@*" for any attribute. A step after "//"
// looks anywhere below, not only among the children: "//string". A leading
// "/" starts at the top of the tree, naming the document element first;
// "." is the node itself.
//
// Conditions in brackets narrow a step: [@a="v"] (either quote) keeps the
// nodes with an attribute a of value v, [@a] those that have one, [b="v"]
// those with a child b of value v and [b] those with a child b. A number,
// [n], picks the n-th of what is left, counted from 1, and comes last:
// key[@name="x"][2]. After "//" it counts in document order below the node
// the step starts from ("//b[2]" is the second b of the whole document).
//
// A step picks one node or follows several: a plain name without [n]
// picks the first child of that name; "*", "@*", a step with a condition
// and a step after "//" follow every match, unless [n] picks one. FindAll
// follows every match of such steps (with `everyMatch`, of every step
// without [n]); Find takes the first node in document order. Every walk
// here is a loop, so the depth of a tree costs no stack.
#ifndef KELMO_EASY_PATH_HPP
#define KELMO_EASY_PATH_HPP

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "kelmo/easy/utf.hpp"
#include "kelmo/easy/values.hpp"
#include "kelmo/kelmo.h"
#include "kelmo/xml_name_chars.h"

namespace kelmo {
namespace easy {

// A condition in brackets: [@a="v"], [@a], [b="v"] or [b].
struct PathCondition {
  std::u16string name;
  bool attribute = false;  // [@a...]: an attribute; otherwise any child of that name
  bool hasValue = false;   // with ="v"
  std::u16string value;
};

struct PathStep {
  std::string text;          // the step as written, for messages
  std::u16string name;
  uint32_t occurrence = 1;   // counted from 1
  bool attribute = false;    // written with "@": matches attributes only
  bool anyName = false;      // "*" or "@*"
  bool indexed = false;      // the occurrence was written, "[n]"
  bool descendant = false;   // written after "//": anywhere below, not only a child
  std::vector<PathCondition> conditions;

  // Whether the step, without [n], follows every match rather than the first.
  bool FollowsEveryMatch() const { return !indexed && (anyName || descendant || !conditions.empty()); }
  // Whether a missing node for the step can be made: a plain name.
  bool Creatable() const { return !anyName && !descendant && conditions.empty(); }
};

class Path {
 public:
  Path() = default;
  Path(std::vector<PathStep> steps, bool absolute) : steps_(std::move(steps)), absolute_(absolute) {}

  // Parses the path text; on a syntax error returns nothing and, when asked,
  // says what is wrong in *error and where, in characters from 1, in *where.
  static std::optional<Path> Parse(std::string_view text, std::string* error = nullptr,
                                   size_t* where = nullptr) {
    Parser parser{text, 0, {}};
    Path path;
    if (parser.Run(path)) return path;
    if (error) *error = parser.error + " (at character " + std::to_string(parser.Column()) + ")";
    if (where) *where = parser.Column();
    return std::nullopt;
  }

  const std::vector<PathStep>& steps() const { return steps_; }
  bool absolute() const { return absolute_; }

  // The path as text: "/" when absolute, the steps as written, "." for none.
  std::string Text() const {
    if (steps_.empty()) return absolute_ ? "/" : ".";
    std::string text = absolute_ && !steps_.front().descendant ? "/" : "";
    for (size_t i = 0; i < steps_.size(); ++i) {
      if (steps_[i].descendant) {
        text += "//";
      } else if (i > 0) {
        text += "/";
      }
      text += steps_[i].text;
    }
    return text;
  }

 private:
  // A scanner over the text that remembers where it stopped, for messages.
  struct Parser {
    std::string_view text;
    size_t at = 0;
    std::string error;

    bool Fail(std::string message) {
      error = std::move(message);
      return false;
    }
    // The character (from 1) at `at`, counting UTF-8 sequences as one.
    size_t Column() const {
      size_t column = 1;
      for (size_t i = 0; i < at && i < text.size(); ++i)
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
      return column;
    }
    bool More() const { return at < text.size(); }
    char Peek() const { return More() ? text[at] : '\0'; }
    void SkipBlanks() {
      while (More() && (text[at] == ' ' || text[at] == '\t')) ++at;
    }

    bool Run(Path& path) {
      if (text.empty()) return Fail("empty path");
      if (text == ".") return true;
      bool descendant = false;
      if (text.front() == '/') {
        path.absolute_ = true;
        ++at;
        if (Peek() == '/') {
          descendant = true;
          ++at;
        }
        if (!More()) return Fail("path \"" + std::string(text) + "\" names no element");
      }
      while (true) {
        PathStep step;
        step.descendant = descendant;
        if (!Step(step)) return false;
        path.steps_.push_back(std::move(step));
        if (!More()) return true;
        ++at;  // the slash that ended the step
        descendant = Peek() == '/';
        if (descendant) ++at;
        if (!More() || Peek() == '/')
          return Fail("empty step in path (a slash at the end, or more than two in a row)");
      }
    }

    bool Step(PathStep& step) {
      const size_t begin = at;
      if (Peek() == '@') {
        step.attribute = true;
        ++at;
      }
      const size_t nameBegin = at;
      while (More() && text[at] != '/' && text[at] != '[' && text[at] != ']') ++at;
      const std::string_view name = text.substr(nameBegin, at - nameBegin);
      // The step as written, up to its end, for messages.
      const auto written = [&] {
        size_t end = at;
        for (char quote = 0; end < text.size() && (quote || text[end] != '/'); ++end) {
          if (quote && text[end] == quote) {
            quote = 0;
          } else if (!quote && (text[end] == '"' || text[end] == '\'')) {
            quote = text[end];
          }
        }
        return std::string(text.substr(begin, end - begin));
      };
      step.text = written();
      if (name.empty()) {
        at = nameBegin;
        return Fail("step \"" + step.text + "\" has no name");
      }
      if (Peek() == ']') return Fail("unexpected ']' in step \"" + step.text + "\"");
      if (!IsValidUtf8(name)) {
        at = nameBegin;
        return Fail("step \"" + step.text + "\" is not valid UTF-8");
      }
      step.name = ToUtf16(name);
      step.anyName = name == "*";
      while (Peek() == '[') {
        if (step.indexed) return Fail("the position [n] comes last in step \"" + step.text + "\"");
        const size_t open = at++;
        SkipBlanks();
        const char first = Peek();
        const bool position = !More() || first == ']' || first == '-' || (first >= '0' && first <= '9');
        if (position ? !Position(step) : !Condition(step)) return false;
        if (Peek() != ']') {
          if (!More()) at = open;
          return Fail("step \"" + step.text + "\" must end with ']' after its " +
                      (position ? "occurrence" : "condition"));
        }
        ++at;
      }
      if (More() && Peek() != '/') return Fail("step \"" + step.text + "\" must end with ']' after its occurrence");
      return true;
    }

    bool Position(PathStep& step) {
      const size_t begin = at;
      uint64_t n = 0;
      bool digits = true;
      while (More() && text[at] != ']' && text[at] != '/') {
        const char c = text[at++];
        if (c < '0' || c > '9' || n > 0xFFFFFFFFull) {
          digits = false;
        } else {
          n = n * 10 + static_cast<unsigned>(c - '0');
        }
      }
      if (at == begin || !digits || n < 1 || n > 0xFFFFFFFFull) {
        at = begin;
        return Fail("occurrence in step \"" + step.text +
                    "\" must be a whole number from 1 to 4294967295 (the first one is [1])");
      }
      step.indexed = true;
      step.occurrence = static_cast<uint32_t>(n);
      return true;
    }

    bool Condition(PathStep& step) {
      PathCondition condition;
      if (Peek() == '@') {
        condition.attribute = true;
        ++at;
      }
      const size_t nameBegin = at;
      while (More() && std::string_view(" \t=]/[\"'").find(text[at]) == std::string_view::npos) ++at;
      const std::string_view name = text.substr(nameBegin, at - nameBegin);
      if (name.empty() || !IsValidUtf8(name)) {
        return Fail("a condition in step \"" + step.text +
                    "\" names an attribute (@name) or a child, as in [@id=\"x\"] or [key=\"x\"]");
      }
      condition.name = ToUtf16(name);
      SkipBlanks();
      if (Peek() == '=') {
        ++at;
        SkipBlanks();
        const char quote = Peek();
        if (quote != '"' && quote != '\'') {
          return Fail("the value in a condition of step \"" + step.text +
                      "\" is quoted: [@a=\"v\"] or [@a='v']");
        }
        const size_t valueBegin = ++at;
        const size_t close = text.find(quote, valueBegin);
        if (close == std::string_view::npos) {
          at = valueBegin - 1;
          return Fail(std::string("the value in a condition of step \"") + step.text +
                      "\" has no closing " + quote);
        }
        const std::string_view value = text.substr(valueBegin, close - valueBegin);
        if (!IsValidUtf8(value)) {
          at = valueBegin;
          return Fail("the value in a condition of step \"" + step.text + "\" is not valid UTF-8");
        }
        condition.hasValue = true;
        condition.value = ToUtf16(value);
        at = close + 1;
        SkipBlanks();
      }
      step.conditions.push_back(std::move(condition));
      return true;
    }
  };

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

// The name and kind of the node fit the step; its conditions aside.
inline bool Matches(const Node& node, const PathStep& step) {
  if (step.anyName) return (KindOf(node) == NodeKind::Attribute) == step.attribute;
  if (step.attribute && KindOf(node) != NodeKind::Attribute) return false;
  return NameIs(node, step.name);
}

// The node's value as text compares equal; a node without one holds "".
inline bool ValueIs(const Node& node, const std::u16string& value) {
  if (node->IsEmpty()) return value.empty();
  std::optional<std::u16string> text = ValueOf<std::u16string>(node);
  return text && *text == value;
}

inline bool Holds(const Node& node, const PathCondition& condition) {
  if (condition.name.size() >= kWholeText) return false;
  for (Node child = node->FindChildW(AsWide(condition.name),
                                     static_cast<unsigned int>(condition.name.size()), 0);
       child; child = child->GetNextSameName()) {
    if (condition.attribute && KindOf(child) != NodeKind::Attribute) continue;
    if (!condition.hasValue || ValueIs(child, condition.value)) return true;
  }
  return false;
}

// The node fits the step: name, kind and every condition.
inline bool Accepts(const Node& node, const PathStep& step) {
  if (!Matches(node, step)) return false;
  for (const PathCondition& condition : step.conditions) {
    if (!Holds(node, condition)) return false;
  }
  return true;
}

// Every node below `top` in document order, depth first without recursion,
// until `visit` returns false.
template <class Visit>
void ForEachBelow(const Node& top, Visit&& visit) {
  Node node = top->GetFirstChild();
  while (node) {
    if (!visit(node)) return;
    if (Node child = node->GetFirstChild()) {
      node = child;
      continue;
    }
    while (node) {
      if (Node next = node->GetNextSibling()) {
        node = next;
        break;
      }
      node = node->GetParent();
      if (node == top) node = nullptr;
    }
  }
}

// Calls visit(node) for each node that the step accepts from `parent`, in
// document order, until visit returns false: the children, or for a step
// after "//" every node below (and, with `self`, the parent itself first).
template <class Visit>
void ForEachCandidate(const Node& parent, const PathStep& step, bool self, Visit&& visit) {
  if (!step.descendant) {
    if (!step.anyName && step.name.size() < kWholeText) {
      // The library's own lookup by name, indexed on wide elements.
      for (Node child = parent->FindChildW(AsWide(step.name), static_cast<unsigned int>(step.name.size()), 0);
           child; child = child->GetNextSameName()) {
        if (Accepts(child, step) && !visit(child)) return;
      }
      return;
    }
    for (Node child = parent->GetFirstChild(); child; child = child->GetNextSibling()) {
      if (Accepts(child, step) && !visit(child)) return;
    }
    return;
  }
  if (self && Accepts(parent, step) && !visit(parent)) return;
  ForEachBelow(parent, [&](const Node& node) { return !Accepts(node, step) || visit(node); });
}

// Adds to `out` what the step selects from `parent`: the n-th candidate
// for [n], every candidate when the step follows every match (or
// `everyMatch` asks for it), else the first.
inline void SelectStep(const Node& parent, const PathStep& step, bool everyMatch, bool self,
                       std::vector<Node>& out) {
  const bool every = !step.indexed && (everyMatch || step.FollowsEveryMatch());
  uint32_t seen = 0;
  ForEachCandidate(parent, step, self, [&](const Node& node) {
    if (every) {
      out.push_back(node);
      return true;
    }
    if (++seen < step.occurrence) return true;
    out.push_back(node);
    return false;
  });
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

// The step's n-th candidate from `parent` ([n], or the first).
inline Node FindStep(const Node& parent, const PathStep& step) {
  if (!parent) return nullptr;
  if (step.name.size() >= kWholeText) return nullptr;
  if (!step.attribute && !step.anyName && !step.descendant && step.conditions.empty()) {
    return parent->FindChildW(AsWide(step.name), static_cast<unsigned int>(step.name.size()),
                              step.occurrence - 1);
  }
  uint32_t seen = 0;
  Node found;
  ForEachCandidate(parent, step, false, [&](const Node& node) {
    if (++seen < step.occurrence) return true;
    found = node;
    return false;
  });
  return found;
}

// Where an absolute path starts: the topmost ancestor when it is a nameless
// document root, otherwise that ancestor itself stands for the first step
// (or, for a first step after "//", is its first candidate).
// Returns the node to continue from and how many steps it already covers.
inline std::pair<Node, size_t> StartOf(const Node& from, const Path& path) {
  if (!path.absolute()) return {from, 0};
  Node top = from;
  for (Node up = top->GetParent(); up; up = up->GetParent()) top = up;
  if (NameOf(top).empty() || path.steps().front().descendant) return {top, 0};
  const PathStep& first = path.steps().front();
  if (first.occurrence != 1 || !Accepts(top, first)) return {nullptr, 0};
  return {top, 1};
}

// Whether the first step from this start looks at the start node itself:
// "//name" from a tree whose top is an element rather than a document root.
inline bool StartsWithSelf(const Node& start, const Path& path) {
  return path.absolute() && !path.steps().empty() && path.steps().front().descendant &&
         !start->GetParent() && !NameOf(start).empty();
}

// The nodes in document order, each once. Only a walk that went through
// "//" can give them out of order.
inline void SortInDocumentOrder(std::vector<Node>& nodes) {
  if (nodes.size() < 2) return;
  std::unordered_map<const void*, size_t> rank;
  Node top = nodes.front();
  for (Node up = top->GetParent(); up; up = up->GetParent()) top = up;
  size_t n = 0;
  rank[top.get()] = n++;
  // Every node, attributes too, numbered in order.
  ForEachBelow(top, [&](const Node& node) {
    rank[node.get()] = n++;
    return true;
  });
  std::sort(nodes.begin(), nodes.end(),
            [&](const Node& a, const Node& b) { return rank[a.get()] < rank[b.get()]; });
  nodes.erase(std::unique(nodes.begin(), nodes.end(),
                          [](const Node& a, const Node& b) { return a.get() == b.get(); }),
              nodes.end());
}

// Where a path leads from `from`, branch by branch: each node that the whole
// path names, with `found` the number of steps, and each node at which a
// branch stops because the next step selects nothing there, with the steps
// that led to it. A path that cannot start (an absolute path whose first
// step is not the top) gives nothing.
struct PathEnd {
  Node node;
  size_t found = 0;
};

inline std::vector<PathEnd> Walk(const Node& from, const Path& path, bool everyMatch) {
  std::vector<PathEnd> ends;
  if (!from) return ends;
  auto [start, done] = StartOf(from, path);
  if (!start) return ends;
  const bool self = StartsWithSelf(start, path);
  std::vector<Node> nodes{start};
  bool descended = false;
  for (size_t i = done; i < path.steps().size() && !nodes.empty(); ++i) {
    const PathStep& step = path.steps()[i];
    std::vector<Node> next;
    // Below a node that this step already searched, a second search would
    // find the same nodes again.
    std::unordered_set<const void*> searched;
    for (const Node& node : nodes) {
      if (step.descendant) {
        bool inside = false;
        for (Node up = node->GetParent(); up && !inside; up = up->GetParent())
          inside = searched.count(up.get()) != 0;
        if (inside) continue;
        searched.insert(node.get());
      }
      const size_t before = next.size();
      SelectStep(node, step, everyMatch, self && i == 0, next);
      if (next.size() == before) ends.push_back({node, i});
    }
    descended |= step.descendant;
    nodes = std::move(next);
  }
  if (descended) SortInDocumentOrder(nodes);
  for (const Node& node : nodes) ends.push_back({node, path.steps().size()});
  return ends;
}

// The plain path (names and positions, as Parse reads them) from `from`
// down to `node`, which must lie below it or be it; "." for the node itself.
// A name counts every child of that name, attributes first, as a plain
// step does.
inline Path PathTo(const Node& from, const Node& node) {
  std::vector<PathStep> steps;
  for (Node at = node; at && at != from; at = at->GetParent()) {
    PathStep step;
    step.name = ToUtf16(NameOf(at));
    step.attribute = KindOf(at) == NodeKind::Attribute;
    // The library's chain of children of one name, from the first.
    for (Node same = at->GetParent()->FindChildW(AsWide(step.name), static_cast<unsigned int>(step.name.size()), 0);
         same && same != at; same = same->GetNextSameName()) {
      if (!step.attribute || KindOf(same) == NodeKind::Attribute) ++step.occurrence;
    }
    step.indexed = step.occurrence > 1;
    for (Node same = at->GetNextSameName(); same && !step.indexed; same = same->GetNextSameName())
      step.indexed = !step.attribute || KindOf(same) == NodeKind::Attribute;
    step.text = (step.attribute ? "@" : "") + ToUtf8(step.name) +
                (step.indexed ? "[" + std::to_string(step.occurrence) + "]" : "");
    steps.push_back(std::move(step));
  }
  std::reverse(steps.begin(), steps.end());
  return Path(std::move(steps), false);
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

// Every node the path names, in document order (see the top of this file
// for which steps follow every match); with `everyMatch`, a named step
// without "[n]" follows every match too.
inline std::vector<Node> FindAll(const Node& from, const Path& path, bool everyMatch = false) {
  std::vector<Node> nodes;
  for (detail::PathEnd& end : detail::Walk(from, path, everyMatch)) {
    if (end.found == path.steps().size()) nodes.push_back(std::move(end.node));
  }
  return nodes;
}

// As above, for a path in text; a path with a syntax error finds nothing.
inline std::vector<Node> FindAll(const Node& from, std::string_view path, bool everyMatch = false) {
  std::optional<Path> parsed = Path::Parse(path);
  return parsed ? FindAll(from, *parsed, everyMatch) : std::vector<Node>();
}

// The node the path names below (or, for "/...", above) `from`, the first
// in document order; null when there is no such node.
inline Node Find(const Node& from, const Path& path) {
  if (!from) return nullptr;
  bool single = true;
  for (const PathStep& step : path.steps()) single &= !step.FollowsEveryMatch();
  if (!single) {
    std::vector<Node> nodes = FindAll(from, path);
    return nodes.empty() ? nullptr : nodes.front();
  }
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
  // The node the path names, or else the first of the deepest on the way.
  size_t missing = first;
  for (detail::PathEnd& end : detail::Walk(from, path, false)) {
    if (end.found > missing) {
      node = std::move(end.node);
      missing = end.found;
    }
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
    if (!step.Creatable())
      return fail("cannot create \"" + step.text +
                  "\": nothing matches it, and a step with a condition or after // is not created");
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
