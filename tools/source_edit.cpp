#include "source_edit.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace kelmo_tool {
namespace {

using kelmo::easy::Path;
using kelmo::easy::PathStep;

constexpr size_t kNone = SIZE_MAX;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where a path leads: an element, or one of its attributes. `matched` says
// how many steps were found; the rest are missing.
struct Target {
  size_t element = 0;
  size_t attribute = kNone;
  size_t matched = 0;
};

bool NameMatches(const std::string& name, const PathStep& step) {
  return kelmo::easy::ToUtf16(name) == step.name;
}

// Follows the steps as kelmo::easy::Find does: attributes come before the
// child elements, a plain step matches either, "@name" attributes only.
std::optional<Target> Follow(const SourceDocument& doc, const Path& path, std::string& why) {
  Target target;
  const std::vector<PathStep>& steps = path.steps();
  size_t i = 0;
  if (path.absolute()) {
    if (steps[0].attribute || steps[0].occurrence != 1 ||
        !NameMatches(doc.elements[0].name, steps[0])) {
      why = "the path must start with the document element <" + doc.elements[0].name + ">";
      return std::nullopt;
    }
    i = 1;
  }
  for (; i < steps.size(); ++i) {
    if (target.attribute != kNone) break;
    const SourceElement& element = doc.elements[target.element];
    const PathStep& step = steps[i];
    uint32_t seen = 0;
    bool found = false;
    for (size_t a = 0; a < element.attributes.size() && !found; ++a) {
      if (NameMatches(element.attributes[a].name, step) && ++seen == step.occurrence) {
        target.attribute = a;
        found = true;
      }
    }
    for (size_t c = 0; c < element.children.size() && !found && !step.attribute; ++c) {
      if (NameMatches(doc.elements[element.children[c]].name, step) && ++seen == step.occurrence) {
        target.element = element.children[c];
        found = true;
      }
    }
    if (!found) break;
  }
  target.matched = i;
  return target;
}

void AppendReference(std::string& out, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "&#x%X;", value);
  out += text;
}

// Appends the UTF-8 sequence at text[i] as a reference and moves i past it.
void AppendCharacterReference(std::string& out, const std::string& text, size_t& i) {
  const std::u16string one = kelmo::easy::ToUtf16(text.substr(i, 4));
  char32_t c = one.empty() ? 0xFFFD : one[0];
  if (c >= 0xD800 && c <= 0xDBFF && one.size() > 1) c = 0x10000 + ((c - 0xD800) << 10) + (one[1] - 0xDC00);
  std::string back;
  kelmo::easy::detail::AppendUtf8(back, c);
  i += back.size();
  AppendReference(out, static_cast<unsigned>(c));
}

// Escapes a value for element text or, with a quote, an attribute value.
// Blanks at either end are references so that they are kept, not trimmed.
std::string Escape(const std::string& value, char quote, bool asciiOnly) {
  std::string out;
  size_t first = 0, last = value.size();
  while (first < last && (value[first] == ' ' || value[first] == '\t')) ++first;
  while (last > first && (value[last - 1] == ' ' || value[last - 1] == '\t')) --last;
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    const bool edgeBlank = (i < first || i >= last) && (c == ' ' || c == '\t');
    if (c >= 0x80) {
      if (asciiOnly) {
        AppendCharacterReference(out, value, i);
        continue;
      }
      out += static_cast<char>(c);
    } else if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (quote && c == static_cast<unsigned char>(quote)) {
      out += quote == '"' ? "&quot;" : "&apos;";
    } else if (c < 0x20 || c == 0x7F || edgeBlank) {
      AppendReference(out, c);
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out;
}

// The spaces and tabs between the start of its line and `offset`, or nothing
// when something else stands before it on the line.
std::optional<std::string> IndentationAt(const std::string& text, size_t offset) {
  size_t begin = offset;
  while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t')) --begin;
  if (begin > 0 && text[begin - 1] != '\n' && text[begin - 1] != '\r') return std::nullopt;
  return text.substr(begin, offset - begin);
}

// The document's own line end; empty for a document on one line.
std::string LineEndOf(const std::string& text) {
  const size_t at = text.find_first_of("\r\n");
  if (at == std::string::npos) return {};
  if (text[at] == '\r') return at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
  return "\n";
}

// One level of indentation as the document uses it: the difference between
// the first indented child and its parent; two spaces if nothing tells.
std::string IndentUnitOf(const std::string& text, const SourceDocument& doc) {
  for (const SourceElement& element : doc.elements) {
    if (element.parent == kNone) continue;
    const std::optional<std::string> mine = IndentationAt(text, element.whole.begin);
    const std::optional<std::string> parents =
        IndentationAt(text, doc.elements[element.parent].whole.begin);
    if (mine && parents && mine->size() > parents->size() && mine->compare(0, parents->size(), *parents) == 0)
      return mine->substr(parents->size());
  }
  return "  ";
}

struct Layout {
  std::string lineEnd;
  std::string unit;
};

// The elements for steps[from..] holding the value (or, for a last step
// "@name", the attribute), the outermost at indentation `indent`.
std::string NewElements(const std::vector<PathStep>& steps, size_t from, const std::string& value,
                        bool asciiOnly, const Layout& layout, const std::string& indent) {
  const std::string name = kelmo::easy::ToUtf8(steps[from].name);
  if (from + 1 == steps.size()) return "<" + name + ">" + Escape(value, 0, asciiOnly) + "</" + name + ">";
  if (from + 2 == steps.size() && steps[from + 1].attribute) {
    const std::string attribute = kelmo::easy::ToUtf8(steps[from + 1].name);
    return "<" + name + " " + attribute + "=\"" + Escape(value, '"', asciiOnly) + "\"/>";
  }
  const std::string inner = indent + layout.unit;
  return "<" + name + ">" + layout.lineEnd + inner +
         NewElements(steps, from + 1, value, asciiOnly, layout, inner) + layout.lineEnd + indent +
         "</" + name + ">";
}

void Replace(std::string& text, size_t begin, size_t end, const std::string& with) {
  text.replace(begin, end - begin, with);
}

// The blanks just before `offset`, from the last line end among them, so
// that removing them with what follows takes a whole line.
size_t LineStartBefore(const std::string& text, size_t offset) {
  size_t begin = offset;
  while (begin > 0 && IsBlank(text[begin - 1])) --begin;
  size_t lineEnd = kNone;
  for (size_t i = begin; i < offset; ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lineEnd = i;
      if (text[i] == '\r' && i + 1 < offset && text[i + 1] == '\n') ++i;
    }
  }
  if (lineEnd == kNone) return offset;
  // Back to the start of the line end found last ("\r\n" counts as one).
  if (text[lineEnd] == '\n' && lineEnd > 0 && text[lineEnd - 1] == '\r') --lineEnd;
  return lineEnd;
}

void InsertAttribute(std::string& text, const SourceElement& element, const std::string& name,
                     const std::string& value, bool asciiOnly) {
  std::string lead = " ";
  char quote = '"';
  if (!element.attributes.empty()) {
    const SourceAttribute& last = element.attributes.back();
    lead = text.substr(last.blanksBegin, last.whole.begin - last.blanksBegin);
    quote = last.quote;
  }
  text.insert(element.tagEnd, lead + name + "=" + quote + Escape(value, quote, asciiOnly) + quote);
}

void SetElementValue(std::string& text, const SourceElement& element, const std::string& value,
                     bool asciiOnly) {
  const std::string escaped = Escape(value, 0, asciiOnly);
  if (element.selfClosing) {
    if (!value.empty()) Replace(text, element.tagEnd, element.whole.end, ">" + escaped + "</" + element.name + ">");
    return;
  }
  if (element.texts.empty()) {
    if (element.children.empty() && !element.hasMarkupInside)
      Replace(text, element.contentBegin, element.contentEnd, escaped);
    else
      text.insert(element.contentBegin, escaped);
    return;
  }
  const SourceRun& run = element.texts.front();
  if (run.cdata && value.find("]]>") == std::string::npos && !asciiOnly) {
    Replace(text, run.span.begin + 9, run.span.end - 3, value);
    return;
  }
  size_t begin = run.span.begin, end = run.span.end;
  if (!run.cdata) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
  }
  Replace(text, begin, end, escaped);
}

void InsertElements(std::string& text, const SourceDocument& doc, const SourceElement& parent,
                    const std::vector<PathStep>& steps, size_t from, const std::string& value,
                    bool asciiOnly) {
  Layout layout{LineEndOf(text), IndentUnitOf(text, doc)};
  const std::optional<std::string> parentIndent = IndentationAt(text, parent.whole.begin);
  if (layout.lineEnd.empty() || !parentIndent) layout = Layout{};
  if (!parent.children.empty()) {
    // After the last child, on a line of its own as that child is.
    const SourceElement& last = doc.elements[parent.children.back()];
    const size_t leadBegin = LineStartBefore(text, last.whole.begin);
    const std::string lead = text.substr(leadBegin, last.whole.begin - leadBegin);
    const std::string indent = IndentationAt(text, last.whole.begin).value_or("");
    if (lead.empty()) layout = Layout{};
    text.insert(last.whole.end, lead + NewElements(steps, from, value, asciiOnly, layout, indent));
    return;
  }
  const std::string outer = parentIndent.value_or("");
  const std::string inner = layout.lineEnd.empty() ? "" : outer + layout.unit;
  const std::string block = layout.lineEnd + inner +
                            NewElements(steps, from, value, asciiOnly, layout, inner) +
                            layout.lineEnd + outer;
  if (parent.selfClosing) {
    Replace(text, parent.tagEnd, parent.whole.end, ">" + block + "</" + parent.name + ">");
    return;
  }
  bool blank = true;
  for (size_t i = parent.contentBegin; blank && i < parent.contentEnd; ++i) blank = IsBlank(text[i]);
  if (blank)
    Replace(text, parent.contentBegin, parent.contentEnd, block);
  else
    text.insert(parent.contentEnd, block);
}

}  // namespace

bool SetInSource(std::string& text, const SourceDocument& doc, const Path& path,
                 const std::string& value, bool asciiOnly, std::string& why) {
  const std::optional<Target> target = Follow(doc, path, why);
  if (!target) return false;
  const std::vector<PathStep>& steps = path.steps();
  const SourceElement& element = doc.elements[target->element];
  if (target->matched == steps.size()) {
    if (target->attribute == kNone) {
      SetElementValue(text, element, value, asciiOnly);
    } else {
      const SourceAttribute& attribute = element.attributes[target->attribute];
      Replace(text, attribute.value.begin, attribute.value.end,
              Escape(value, attribute.quote, asciiOnly));
    }
    return true;
  }
  if (target->attribute != kNone) {
    why = "an attribute cannot have children";
    return false;
  }
  const PathStep& next = steps[target->matched];
  if (next.attribute) {
    InsertAttribute(text, element, kelmo::easy::ToUtf8(next.name), value, asciiOnly);
  } else {
    InsertElements(text, doc, element, steps, target->matched, value, asciiOnly);
  }
  return true;
}

bool RemoveFromSource(std::string& text, const SourceDocument& doc, const Path& path,
                      std::string& why) {
  const std::optional<Target> target = Follow(doc, path, why);
  if (!target) return false;
  if (target->matched != path.steps().size()) {
    why = "nothing there";
    return false;
  }
  const SourceElement& element = doc.elements[target->element];
  if (target->attribute != kNone) {
    const SourceAttribute& attribute = element.attributes[target->attribute];
    Replace(text, attribute.blanksBegin, attribute.whole.end, "");
    return true;
  }
  if (element.parent == kNone) {
    why = "the document element cannot be removed";
    return false;
  }
  Replace(text, LineStartBefore(text, element.whole.begin), element.whole.end, "");
  return true;
}

}  // namespace kelmo_tool
