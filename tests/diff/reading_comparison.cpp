#include "reading_comparison.h"

#include <vector>

#include "libxml2_reading.h"

namespace kelmo_diff {

bool AttributeValuesMatch(const std::u16string& theirs, const std::u16string& ours) {
  if (theirs == ours) return true;
  // reachable[j]: the units of theirs read so far can give the first j units
  // of ours. A space of theirs may give a blank of ours or nothing, so a
  // greedy reading could pair it with a tab that a later reference-written
  // tab of theirs needed.
  std::vector<char> reachable(ours.size() + 1, 0), next(ours.size() + 1, 0);
  reachable[0] = 1;
  for (char16_t c : theirs) {
    for (size_t j = 0; j <= ours.size(); ++j) {
      const bool fromPrevious = j > 0 && reachable[j - 1];
      if (c == u' ') {
        next[j] = reachable[j] || (fromPrevious && (ours[j - 1] == u' ' || ours[j - 1] == u'\t'));
      } else {
        next[j] = fromPrevious && ours[j - 1] == c;
      }
    }
    reachable.swap(next);
  }
  return reachable[ours.size()] != 0;
}

std::u16string NormalizedLineEnds(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out += u'\n';
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {

bool EndsWith(const std::u16string& text, const std::u16string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool ValuesAgree(const ConformanceNode& ours, const ConformanceNode& theirs, bool adjacentSections) {
  if (theirs.kind == 0 && ours.hasText) {
    // Compared as libxml2's side is mapped: without line feeds, trimmed. A
    // value of blanks written as references only is kept here and skipped
    // there, which the mapped reading cannot follow.
    const std::u16string canonical = CanonicalElementText(ours.text);
    return canonical.empty() || (theirs.hasText && canonical == theirs.text);
  }
  if (ours.hasText != theirs.hasText) return false;
  if (!ours.hasText) return true;
  switch (theirs.kind) {
    case 2:
      return AttributeValuesMatch(theirs.text, ours.text);
    case 1: {
      const std::u16string normalized = NormalizedLineEnds(ours.text);
      return normalized == theirs.text || (adjacentSections && EndsWith(theirs.text, normalized));
    }
    default:
      return false;  // element text was compared above
  }
}

std::string Describe(const ConformanceNode& n) {
  std::string out = "depth " + std::to_string(n.depth) + " <" + Printable(n.name) + "> kind " +
                    std::to_string(n.kind);
  out += n.hasText ? " text \"" + Printable(n.text) + "\"" : " no text";
  return out;
}

// Where two texts part, for long values.
std::string FirstDifference(const std::u16string& a, const std::u16string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  const auto unit = [](const std::u16string& s, size_t at) {
    return at < s.size() ? Printable(s.substr(at, 1)) : std::string("end");
  };
  return " (texts part at unit " + std::to_string(i) + ": " + unit(a, i) + " / " + unit(b, i) + ")";
}

}  // namespace

std::string CompareReadings(const ConformanceTree& ours, const ConformanceTree& theirs,
                            bool adjacentSections) {
  const size_t n = ours.size() < theirs.size() ? ours.size() : theirs.size();
  for (size_t i = 0; i < n; ++i) {
    const ConformanceNode& a = ours[i];
    const ConformanceNode& b = theirs[i];
    if (a.depth != b.depth || a.name != b.name || a.kind != b.kind ||
        !ValuesAgree(a, b, adjacentSections)) {
      std::string where = "node " + std::to_string(i);
      if (a.name == b.name && a.kind == b.kind && a.hasText && b.hasText)
        where += FirstDifference(a.text, b.text);
      return where + ": this library " + Describe(a) + ", libxml2 " + Describe(b);
    }
  }
  if (ours.size() != theirs.size()) {
    return "this library has " + std::to_string(ours.size()) + " nodes, libxml2 " +
           std::to_string(theirs.size());
  }
  return std::string();
}

}  // namespace kelmo_diff
