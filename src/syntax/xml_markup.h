// The markup written around names and values: tags, attributes and CDATA
// sections. The library's writer and the tool's edits of a file both spell
// it here, in the code unit of the text they write, so that the two cannot
// come to write different markup. What goes between the markup (a name, an
// escaped value) is the caller's: names are checked where they come from,
// and values are escaped by xml_escape.h, the only escaper.
#ifndef KELMO_SYNTAX_XML_MARKUP_H
#define KELMO_SYNTAX_XML_MARKUP_H

#include <cstddef>
#include <string>
#include <string_view>

namespace kelmo::syntax {

// The pieces, as arrays so that a writer can append each in one step.
template <class Unit>
struct MarkupPieces {
  static constexpr Unit kTagOpen[] = {'<'};
  static constexpr Unit kEndTagOpen[] = {'<', '/'};
  static constexpr Unit kTagClose[] = {'>'};
  static constexpr Unit kEmptyTagClose[] = {'/', '>'};
  // Between an attribute's name and its value, for a value in double quotes.
  static constexpr Unit kAttributeOpen[] = {'=', '"'};
  static constexpr Unit kCDataOpen[] = {'<', '!', '[', 'C', 'D', 'A', 'T', 'A', '['};
  static constexpr Unit kCDataClose[] = {']', ']', '>'};
};

// Markup appended to a string of the text's code unit (a std::basic_string);
// names and values are views of the same unit.
template <class String>
using MarkupView = std::basic_string_view<typename String::value_type>;
template <class String>
using PiecesFor = MarkupPieces<typename String::value_type>;

template <class String, size_t N>
void AppendPiece(String& out, const typename String::value_type (&piece)[N]) {
  out.append(piece, N);
}

// "<name", a start tag still open for attributes.
template <class String>
void AppendTagOpen(String& out, MarkupView<String> name) {
  AppendPiece(out, PiecesFor<String>::kTagOpen);
  out.append(name);
}

// ">" or "/>", the end of a start tag.
template <class String>
void AppendTagClose(String& out, bool empty) {
  if (empty)
    AppendPiece(out, PiecesFor<String>::kEmptyTagClose);
  else
    AppendPiece(out, PiecesFor<String>::kTagClose);
}

// "<name>".
template <class String>
void AppendStartTag(String& out, MarkupView<String> name) {
  AppendTagOpen(out, name);
  AppendTagClose(out, false);
}

// "</name>".
template <class String>
void AppendEndTag(String& out, MarkupView<String> name) {
  AppendPiece(out, PiecesFor<String>::kEndTagOpen);
  out.append(name);
  AppendPiece(out, PiecesFor<String>::kTagClose);
}

// name="value" with the value already escaped for the quote that delimits
// it (' or "); the blank before it is the caller's.
template <class String>
void AppendAttribute(String& out, MarkupView<String> name, MarkupView<String> value,
                     typename String::value_type quote) {
  out.append(name);
  out.push_back(PiecesFor<String>::kAttributeOpen[0]);
  out.push_back(quote);
  out.append(value);
  out.push_back(quote);
}

// "<name>text</name>", with the text already escaped.
template <class String>
void AppendElement(String& out, MarkupView<String> name, MarkupView<String> text) {
  AppendStartTag(out, name);
  out.append(text);
  AppendEndTag(out, name);
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_XML_MARKUP_H
