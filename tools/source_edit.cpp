#include "source_edit.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>

#include "encoding/encodable_text.h"
#include "syntax/char_classes.h"
#include "syntax/line_positions.h"
#include "syntax/value_rules.h"
#include "syntax/xml_escape.h"
#include "syntax/xml_markup.h"
#include "syntax/xml_spans.h"
#include "text/unicode_units.h"

namespace kelmo_tool {
namespace {

using kelmo::syntax::ScanXmlSource;
using kelmo::syntax::SourceAttribute;
using kelmo::syntax::SourceElement;
using kelmo::syntax::SourceVisitor;
using kelmo::syntax::Span;

using kelmo::easy::Path;
using kelmo::easy::PathStep;

constexpr size_t kNone = SIZE_MAX;

std::string CharacterName(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  std::string shown;
  kelmo::easy::detail::AppendUtf8(shown, c);
  return std::string(code) + " (" + shown + ")";
}

// The first character of UTF-8 text that the document's encoding has no
// form for, or 0.
char32_t FirstUncarried(const DocumentText& doc, const std::string& utf8) {
  const std::u16string text = kelmo::easy::ToUtf16(utf8);
  for (size_t i = 0; i < text.size();) {
    const char32_t c = kelmo::text::NextCodePoint(text.data(), text.size(), i);
    if (!doc.repertoire().Carries(c)) return c;
  }
  return 0;
}

// Where the escaper puts its text.
struct EscapedText {
  std::u16string text;
  void Append(const kelmo::WChar* units, uint32_t n) {
    text.append(reinterpret_cast<const char16_t*>(units), n);
  }
};

// Escapes a value for the document's own markup: only the markup characters
// that must be references are, so the edit reads as the file's author would
// have written it; a character that the document's encoding has no form for
// becomes a reference. Element text also keeps the blanks at either end as
// references, so that they are not trimmed. An attribute value is escaped
// for the quote that delimits it.
std::string Escape(const DocumentText& doc, const std::string& value, bool elementText,
                   char quote = '"') {
  const std::u16string wide = kelmo::easy::ToUtf16(value);
  EscapedText buffer;
  kelmo::EncodableText out(buffer, doc.repertoire());
  const auto* units = reinterpret_cast<const kelmo::WChar*>(wide.data());
  if (elementText)
    kelmo::syntax::EscapeXmlTextRequired(units, static_cast<uint32_t>(wide.size()), out);
  else
    kelmo::syntax::EscapeXmlRequired(units, static_cast<uint32_t>(wide.size()), out, kelmo::WChar(quote));
  return kelmo::easy::ToUtf8(buffer.text);
}

// New text (UTF-8) in the form of the document's text. An edit builds its
// change in that form from the start, since the pieces it keeps from the
// text (the names of open elements, indentation) are already in it: in a
// code page, their bytes read as UTF-8 would be other characters, or none.
bool InTextForm(const DocumentText& doc, const std::string& utf8, std::string& out, std::string& why) {
  if (doc.Encode(utf8, out)) return true;
  why = "the new text cannot be written in " + doc.encodingName();
  return false;
}

// A name for new markup, in the form of the document's text.
bool EncodeName(const DocumentText& doc, const std::string& name, std::string& out, std::string& why) {
  if (const char32_t c = FirstUncarried(doc, name)) {
    why = "the name \"" + name + "\" holds " + CharacterName(c) + ", which " + doc.encodingName() +
          " has no form for, and a name cannot hold a character reference";
    return false;
  }
  if (!doc.Encode(name, out)) {
    why = "the name \"" + name + "\" cannot be written in " + doc.encodingName();
    return false;
  }
  return true;
}

// The spaces and tabs between the start of its line and `offset`, or nothing
// when something else stands before it on the line.
std::optional<std::string> IndentationAt(std::string_view text, size_t offset) {
  size_t begin = offset;
  while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t')) --begin;
  if (begin > 0 && text[begin - 1] != '\n' && text[begin - 1] != '\r') return std::nullopt;
  return std::string(text.substr(begin, offset - begin));
}

// What the path leads to in the text, found in one pass that stops as soon
// as it has what the edit needs: the target and, when the path ends early,
// the deepest element found, with what lies directly inside it.
class PathLocator : public SourceVisitor {
 public:
  PathLocator(std::string_view text, const Path& path, std::vector<std::string> names)
      : text_(text), path_(path), names_(std::move(names)) {}

  bool StartElement(const SourceElement& element, const std::vector<SourceAttribute>& attributes,
                    size_t depth, size_t parentBegin) override {
    if (unit.empty() && parentBegin != kNone) NoteIndentUnit(element.whole.begin, parentBegin);
    const std::vector<PathStep>& steps = path_.steps();
    if (depth == 0) {
      if (path_.absolute()) {
        if (steps[0].attribute || steps[0].occurrence != 1 || element.name != names_[0]) {
          failure = "the path must start with the document element <" + std::string(element.name) + ">";
          return false;
        }
        found = 1;
      }
      return Adopt(element, attributes, depth);
    }
    if (depth != depth_ + 1) return true;
    hasChildren = true;
    const bool textJustBefore = lastWasText_;
    lastWasText_ = false;
    if (found < steps.size() && !steps[found].attribute && element.name == names_[found] &&
        ++seen_ == steps[found].occurrence) {
      ++found;
      followsValue = textJustBefore && texts == 1;
      return Adopt(element, attributes, depth);
    }
    return true;
  }

  bool EndElement(const SourceElement& element, size_t depth) override {
    if (depth == depth_) {
      this->element = element;
      complete = true;
      return false;
    }
    if (depth == depth_ + 1) {
      lastChild = element.whole;
      if (found < names_.size() && element.name == names_[found]) {
        lastNamedChild = element.whole;
        hasNamedChild = true;
      }
    }
    return true;
  }

  bool Text(Span span, bool cdata, size_t depth) override {
    if (depth != depth_) return true;
    if (kelmo::syntax::RunTakesValue(cdata, texts > 0)) {
      if (texts == 0) {
        firstText = span;
        firstTextIsCdata = cdata;
      } else {
        laterCdata = true;
      }
    }
    ++texts;
    lastWasText_ = !cdata;
    return true;
  }

  bool Markup(const char*, size_t, size_t depth) override {
    if (depth == depth_) {
      hasMarkupInside = true;
      lastWasText_ = false;
    }
    return true;
  }

  size_t depth() const { return depth_; }

  // The element found last, complete once its end was reached.
  SourceElement element;
  std::vector<SourceAttribute> attributes;
  size_t attribute = kNone;  // the target, when it is an attribute of `element`
  size_t found = 0;          // steps found
  bool complete = false;
  std::string failure;
  // The element found last stands right after the text that is its
  // parent's value, with no other markup between them.
  bool followsValue = false;
  // Directly inside `element`:
  size_t texts = 0;
  Span firstText;
  bool firstTextIsCdata = false;
  bool laterCdata = false;  // a CDATA section after the first run
  bool hasChildren = false;
  bool hasMarkupInside = false;
  Span lastChild;
  Span lastNamedChild;  // of the name of the first missing step
  bool hasNamedChild = false;
  // One level of indentation as the document uses it, if seen.
  std::string unit;

 private:
  bool Adopt(const SourceElement& element, const std::vector<SourceAttribute>& attributes, size_t depth) {
    this->element = element;
    this->attributes = attributes;
    depth_ = depth;
    seen_ = 0;
    texts = 0;
    hasChildren = hasMarkupInside = hasNamedChild = lastWasText_ = laterCdata = false;
    const std::vector<PathStep>& steps = path_.steps();
    if (found < steps.size()) {
      // Attributes come before the child elements, as the tree holds them.
      for (size_t a = 0; a < attributes.size(); ++a) {
        if (attributes[a].name == names_[found] && ++seen_ == steps[found].occurrence) {
          ++found;
          attribute = a;
          complete = true;
          return false;
        }
      }
    }
    return true;
  }

  // The difference between a child's indentation and its parent's.
  void NoteIndentUnit(size_t child, size_t parent) {
    const std::optional<std::string> mine = IndentationAt(text_, child);
    const std::optional<std::string> parents = IndentationAt(text_, parent);
    if (mine && parents && mine->size() > parents->size() && mine->compare(0, parents->size(), *parents) == 0)
      unit = mine->substr(parents->size());
  }

  std::string_view text_;
  const Path& path_;
  std::vector<std::string> names_;  // the steps' names in the form of the text
  size_t depth_ = kNone;
  uint32_t seen_ = 0;
  bool lastWasText_ = false;  // the last thing directly inside `element` was text
};

// The document's own line end; empty for a document on one line.
std::string LineEndOf(std::string_view text) {
  const size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return {};
  return std::string(text.substr(at, kelmo::syntax::LineEndLength(text, at)));
}

struct Layout {
  std::string lineEnd;
  std::string unit;
};

class Writer {
 public:
  Writer(const DocumentText& doc, const Path& path, const std::string& value)
      : doc_(doc), steps_(path.steps()), value_(value) {}

  // The elements for steps[from..] holding the value (or, for a last step
  // "@name", the attribute), the outermost at indentation `indent`.
  bool NewElements(size_t from, const Layout& layout, const std::string& indent, std::string& out,
                   std::string& why) const {
    std::string name;
    if (!EncodeName(doc_, kelmo::easy::ToUtf8(steps_[from].name), name, why)) return false;
    if (from + 1 == steps_.size()) {
      std::string text;
      if (!Text(text, why)) return false;
      kelmo::syntax::AppendElement(out, name, text);
      return true;
    }
    if (from + 2 == steps_.size() && steps_[from + 1].attribute) {
      std::string attribute;
      std::string value;
      if (!EncodeName(doc_, kelmo::easy::ToUtf8(steps_[from + 1].name), attribute, why) ||
          !Attribute('"', value, why))
        return false;
      kelmo::syntax::AppendTagOpen(out, name);
      out += ' ';
      kelmo::syntax::AppendAttribute(out, attribute, value, '"');
      kelmo::syntax::AppendTagClose(out, true);
      return true;
    }
    const std::string inner = indent + layout.unit;
    kelmo::syntax::AppendStartTag(out, name);
    out += layout.lineEnd + inner;
    if (!NewElements(from + 1, layout, inner, out, why)) return false;
    out += layout.lineEnd + indent;
    kelmo::syntax::AppendEndTag(out, name);
    return true;
  }

  // The value escaped as element text, or as an attribute value inside
  // `quote`, in the form of the document's text.
  bool Text(std::string& out, std::string& why) const {
    return InTextForm(doc_, Escape(doc_, value_, true), out, why);
  }
  bool Attribute(char quote, std::string& out, std::string& why) const {
    return InTextForm(doc_, Escape(doc_, value_, false, quote), out, why);
  }

  // The value as the content of a CDATA section, which has no references.
  bool Cdata(const std::string& element, std::string& out, std::string& why) const {
    if (value_.find("]]>") != std::string::npos) {
      why = "the CDATA section of <" + element + "> cannot hold \"]]>\"";
      return false;
    }
    if (const char32_t c = FirstUncarried(doc_, value_)) {
      why = "the value holds " + CharacterName(c) + ", which " + doc_.encodingName() +
            " has no form for, and the CDATA section of <" + element +
            "> cannot hold a character reference";
      return false;
    }
    return InTextForm(doc_, value_, out, why);
  }

 private:
  const DocumentText& doc_;
  const std::vector<PathStep>& steps_;
  const std::string& value_;
};

// Feeds one scan of the text to every locator, each until it has what it
// needs, so that the edits of many matches read the document once.
class LocatorFanOut : public SourceVisitor {
 public:
  explicit LocatorFanOut(const std::vector<std::unique_ptr<PathLocator>>& locators) {
    for (const std::unique_ptr<PathLocator>& locator : locators) running_.push_back(locator.get());
  }

  bool StartElement(const SourceElement& element, const std::vector<SourceAttribute>& attributes,
                    size_t depth, size_t parentBegin) override {
    return Each([&](PathLocator& l) { return l.StartElement(element, attributes, depth, parentBegin); });
  }
  bool EndElement(const SourceElement& element, size_t depth) override {
    return Each([&](PathLocator& l) { return l.EndElement(element, depth); });
  }
  bool Text(Span span, bool cdata, size_t depth) override {
    return Each([&](PathLocator& l) { return l.Text(span, cdata, depth); });
  }
  bool Markup(const char* what, size_t at, size_t depth) override {
    return Each([&](PathLocator& l) { return l.Markup(what, at, depth); });
  }

 private:
  // A locator that stops hears nothing more; the scan stops with the last.
  template <class Handler>
  bool Each(Handler handler) {
    size_t kept = 0;
    for (PathLocator* locator : running_)
      if (handler(*locator)) running_[kept++] = locator;
    running_.resize(kept);
    return kept != 0;
  }

  std::vector<PathLocator*> running_;
};

// Finds what each path leads to, in one scan of the text.
bool LocateAll(const DocumentText& doc, const std::vector<Path>& paths,
               std::vector<std::unique_ptr<PathLocator>>& locators, std::string& why) {
  locators.clear();
  for (const Path& path : paths) {
    std::vector<std::string> names;
    for (const PathStep& step : path.steps()) {
      std::string name;
      // A name that the encoding cannot write cannot stand in the text either.
      if (!doc.Encode(kelmo::easy::ToUtf8(step.name), name)) name = std::string(1, '\0');
      names.push_back(name);
    }
    locators.push_back(std::make_unique<PathLocator>(doc.text(), path, std::move(names)));
  }
  LocatorFanOut fanOut(locators);
  if (!ScanXmlSource(doc.text(), fanOut, why)) return false;
  for (size_t i = 0; i < locators.size(); ++i) {
    const PathLocator& at = *locators[i];
    why = at.failure.empty() && !at.complete ? "the document ends inside an element" : at.failure;
    if (!why.empty()) {
      if (paths.size() > 1) why = paths[i].Text() + ": " + why;
      return false;
    }
  }
  return true;
}

bool SetElementValue(const std::string_view text, const PathLocator& at, const Writer& writer,
                     SourceChange& change, std::string& why) {
  const SourceElement& element = at.element;
  const std::string name(element.name);
  std::string value;
  if (!writer.Text(value, why)) return false;
  if (element.selfClosing) {
    change.begin = element.tagEnd;
    change.end = value.empty() ? element.tagEnd : element.whole.end;
    if (!value.empty()) {
      kelmo::syntax::AppendTagClose(change.text, false);
      change.text += value;
      kelmo::syntax::AppendEndTag(change.text, name);
    }
    return true;
  }
  if (at.texts == 0) {
    if (!at.hasChildren && !at.hasMarkupInside) {
      change.begin = element.contentBegin;
      change.end = element.contentEnd;
    } else {
      change.begin = change.end = element.contentBegin;
    }
    change.text = value;
    return true;
  }
  // The reader keeps only the first run of text that is not blank; emptied,
  // the next run would take its place as the value.
  if (at.texts > 1 && value.empty()) {
    why = "<" + name + "> holds more text after its value, which would become the value";
    return false;
  }
  // A CDATA section is the value wherever it stands, the last one of several.
  if (at.laterCdata) {
    why = "<" + name + "> holds a CDATA section after other text, and the reader takes that as the value";
    return false;
  }
  const Span run = at.firstText;
  if (at.firstTextIsCdata) {
    // The section's content, between its opening and closing markup.
    using Pieces = kelmo::syntax::MarkupPieces<char>;
    change.begin = run.begin + std::size(Pieces::kCDataOpen);
    change.end = run.end - std::size(Pieces::kCDataClose);
    return writer.Cdata(name, change.text, why);
  }
  size_t begin = run.begin, end = run.end;
  kelmo::syntax::TrimValueBlanks(text, begin, end);
  change.begin = begin;
  change.end = end;
  change.text = value;
  return true;
}

bool InsertAttribute(std::string_view text, const PathLocator& at, const std::string& name,
                     const Writer& writer, SourceChange& change, std::string& why) {
  std::string lead = " ";
  char quote = '"';
  if (!at.attributes.empty()) {
    const SourceAttribute& last = at.attributes.back();
    lead = std::string(text.substr(last.blanksBegin, last.whole.begin - last.blanksBegin));
    quote = last.quote;
  }
  std::string value;
  if (!writer.Attribute(quote, value, why)) return false;
  change.begin = change.end = at.element.tagEnd;
  change.text = lead;
  kelmo::syntax::AppendAttribute(change.text, name, value, quote);
  return true;
}

// The blanks just before `offset`, from the last line end among them, so
// that what is inserted at `offset` after them stands on a line of its own.
size_t LineStartBefore(std::string_view text, size_t offset) {
  size_t begin = offset;
  while (begin > 0 && kelmo::syntax::IsXmlSpace(text[begin - 1])) --begin;
  // The last line end among the blanks, where it starts ("\r\n" counts as one).
  const std::string_view blanks = text.substr(0, offset);
  size_t lineEnd = kNone;
  for (size_t i = begin; i < offset; ++i) {
    if (const size_t length = kelmo::syntax::LineEndLength(blanks, i)) {
      lineEnd = i;
      i += length - 1;
    }
  }
  if (lineEnd == kNone) return offset;
  if (lineEnd > 0 && kelmo::syntax::LineEndLength(blanks, lineEnd - 1) == 2) --lineEnd;
  return lineEnd;
}

bool InsertElements(std::string_view text, const PathLocator& at, const Writer& writer,
                    SourceChange& change, std::string& why) {
  const SourceElement& parent = at.element;
  Layout layout{LineEndOf(text), at.unit.empty() ? std::string("  ") : at.unit};
  const std::optional<std::string> parentIndent = IndentationAt(text, parent.whole.begin);
  if (layout.lineEnd.empty() || !parentIndent) layout = Layout{};
  if (at.hasChildren) {
    // After the last sibling of its name, or the last child, on a line of
    // its own as that one is.
    const Span after = at.hasNamedChild ? at.lastNamedChild : at.lastChild;
    const size_t leadBegin = LineStartBefore(text, after.begin);
    const std::string lead(text.substr(leadBegin, after.begin - leadBegin));
    const std::string indent = IndentationAt(text, after.begin).value_or("");
    if (lead.empty()) layout = Layout{};
    change.begin = change.end = after.end;
    change.text = lead;
    return writer.NewElements(at.found, layout, indent, change.text, why);
  }
  const std::string outer = parentIndent.value_or("");
  const std::string inner = layout.lineEnd.empty() ? "" : outer + layout.unit;
  std::string block = layout.lineEnd + inner;
  if (!writer.NewElements(at.found, layout, inner, block, why)) return false;
  block += layout.lineEnd + outer;
  if (parent.selfClosing) {
    change.begin = parent.tagEnd;
    change.end = parent.whole.end;
    kelmo::syntax::AppendTagClose(change.text, false);
    change.text += block;
    kelmo::syntax::AppendEndTag(change.text, parent.name);
    return true;
  }
  // Blanks alone inside the parent give way to the new block.
  const bool blank = kelmo::syntax::IsBlankRun(text, parent.contentBegin, parent.contentEnd);
  change.begin = blank ? parent.contentBegin : parent.contentEnd;
  change.end = parent.contentEnd;
  change.text = block;
  return true;
}

bool SetAt(const DocumentText& doc, const PathLocator* at, const Path& path, const std::string& value,
           SourceChange& change, std::string& why) {
  const std::string_view text = doc.text();
  const std::vector<PathStep>& steps = path.steps();
  const Writer writer(doc, path, value);
  change = SourceChange();
  change.found = at->found;
  // Every piece is in the form of the text already: what comes from the
  // text, the names and values that were encoded, and ASCII markup.
  if (at->found == steps.size()) {
    if (at->attribute == kNone) return SetElementValue(text, *at, writer, change, why);
    const SourceAttribute& attribute = at->attributes[at->attribute];
    change.begin = attribute.value.begin;
    change.end = attribute.value.end;
    return writer.Attribute(attribute.quote, change.text, why);
  }
  if (at->attribute != kNone) {
    why = "an attribute cannot have children";
    return false;
  }
  if (steps[at->found].attribute) {
    std::string name;
    return EncodeName(doc, kelmo::easy::ToUtf8(steps[at->found].name), name, why) &&
           InsertAttribute(text, *at, name, writer, change, why);
  }
  return InsertElements(text, *at, writer, change, why);
}

bool RemoveAt(const DocumentText& doc, const PathLocator* at, const Path& path, SourceChange& change,
              std::string& why) {
  if (at->found != path.steps().size()) {
    why = "nothing there";
    return false;
  }
  change = SourceChange();
  change.found = at->found;
  if (at->attribute != kNone) {
    const SourceAttribute& attribute = at->attributes[at->attribute];
    change.begin = attribute.blanksBegin;
    change.end = attribute.whole.end;
    return true;
  }
  if (at->depth() == 0) {
    why = "the document element cannot be removed";
    return false;
  }
  const std::string_view text = doc.text();
  const Span whole = at->element.whole;
  // The reader keeps only the first run of text as the parent's value; text
  // on both sides of the element would join into a run that replaces it.
  size_t next = whole.end;
  while (next < text.size() && kelmo::syntax::IsXmlSpace(text[next])) ++next;
  if (at->followsValue && next < text.size() && text[next] != '<') {
    why = "the text on either side of <" + std::string(at->element.name) +
          "> would join into its parent's value";
    return false;
  }
  size_t before = whole.begin, after = whole.end;
  while (before > 0 && (text[before - 1] == ' ' || text[before - 1] == '\t')) --before;
  while (after < text.size() && (text[after] == ' ' || text[after] == '\t')) ++after;
  const bool startsLine = before == 0 || kelmo::syntax::IsLineBreak(text[before - 1]);
  const bool endsLine = after == text.size() || kelmo::syntax::IsLineBreak(text[after]);
  if (startsLine && endsLine) {
    // Alone on its line: the line goes, its line end included.
    after += kelmo::syntax::LineEndLength(text, after);
    change.begin = before;
    change.end = after;
  } else if (startsLine || before == whole.begin) {
    // The blanks after it go, so that what follows takes its place.
    change.begin = whole.begin;
    change.end = after;
  } else {
    change.begin = before;
    change.end = whole.end;
  }
  return true;
}

// Puts the changes in the order of the text and refuses overlaps; a removal
// that lies inside another removal goes with it.
bool InTextOrder(std::vector<SourceChange>& changes, bool removals, std::string& why) {
  std::sort(changes.begin(), changes.end(), [](const SourceChange& a, const SourceChange& b) {
    return a.begin != b.begin ? a.begin < b.begin : a.end > b.end;
  });
  std::vector<SourceChange> kept;
  for (SourceChange& change : changes) {
    if (!kept.empty()) {
      const SourceChange& last = kept.back();
      if (removals && change.end <= last.end) continue;
      if (change.begin < last.end || (change.begin == last.begin && change.begin == change.end)) {
        why = "two of the matches touch the same text";
        return false;
      }
    }
    kept.push_back(std::move(change));
  }
  changes = std::move(kept);
  return true;
}

// Locates every path in one scan, then makes each change from what was found.
template <class Change>
bool ChangeAll(const DocumentText& doc, const std::vector<Path>& paths, bool removals,
               std::vector<SourceChange>& changes, std::string& why, Change change) {
  std::vector<std::unique_ptr<PathLocator>> locators;
  if (!LocateAll(doc, paths, locators, why)) return false;
  changes.assign(paths.size(), SourceChange());
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!change(locators[i].get(), paths[i], changes[i], why)) {
      if (paths.size() > 1) why = paths[i].Text() + ": " + why;
      return false;
    }
  }
  return InTextOrder(changes, removals, why);
}

}  // namespace

bool SetInSource(const DocumentText& doc, const std::vector<Path>& paths, const std::string& value,
                 std::vector<SourceChange>& changes, std::string& why) {
  return ChangeAll(doc, paths, false, changes, why,
                   [&](const PathLocator* at, const Path& path, SourceChange& change, std::string& reason) {
                     return SetAt(doc, at, path, value, change, reason);
                   });
}

bool RemoveFromSource(const DocumentText& doc, const std::vector<Path>& paths,
                      std::vector<SourceChange>& changes, std::string& why) {
  return ChangeAll(doc, paths, true, changes, why,
                   [&](const PathLocator* at, const Path& path, SourceChange& change, std::string& reason) {
                     return RemoveAt(doc, at, path, change, reason);
                   });
}

bool SetInSource(const DocumentText& doc, const Path& path, const std::string& value,
                 SourceChange& change, std::string& why) {
  std::vector<SourceChange> changes;
  if (!SetInSource(doc, std::vector<Path>{path}, value, changes, why)) return false;
  change = std::move(changes.front());
  return true;
}

bool RemoveFromSource(const DocumentText& doc, const Path& path, SourceChange& change,
                      std::string& why) {
  std::vector<SourceChange> changes;
  if (!RemoveFromSource(doc, std::vector<Path>{path}, changes, why)) return false;
  change = std::move(changes.front());
  return true;
}

}  // namespace kelmo_tool
