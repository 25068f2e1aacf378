// Reads a document with libxml2 and maps its tree by this library's rules:
// elements in order, attributes as children ahead of the content, the first
// text run that is not blank (line feeds removed, trimmed) as an element's
// value, a CDATA section making the element a CDATA node with the section's
// text, and comments, processing instructions and the document type left
// out.
#ifndef KELMO_TESTS_DIFF_LIBXML2_READING_H
#define KELMO_TESTS_DIFF_LIBXML2_READING_H

#include <string>

#include "conformance_tree.h"

namespace kelmo_diff {

struct ReferenceReading {
  // libxml2 found the document well-formed.
  bool parsed = false;
  // The document refers to entities of its document type definition.
  bool usesDeclaredEntities = false;
  // An entity of its internal subset has '<' or '>' in its literal, which
  // ends this library's reading of the subset early.
  bool subsetLiteralHoldsMarkup = false;
  // The encoding that the document declares, lower-cased; empty when none.
  std::string declaredEncoding;
  ConformanceTree tree;
};

// How an element's first text run is taken: in the canonical form below, or
// as libxml2 read it (for documents without formatting between elements,
// where every blank and line break of a text came from the text itself).
enum class ElementText { kCanonical, kAsRead };

ReferenceReading ReadWithLibxml2(const std::string& bytes, ElementText form = ElementText::kCanonical);

// Removes every line feed, then the blanks (space, tab, carriage return) at
// both ends: an element's text as this library keeps it, up to line feeds
// written as references.
std::u16string CanonicalElementText(const std::u16string& text);

}  // namespace kelmo_diff

#endif  // KELMO_TESTS_DIFF_LIBXML2_READING_H
