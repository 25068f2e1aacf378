// Well-formed documents that cover every construct the parser reads:
// prologs with declarations, document types, comments and processing
// instructions; attributes in both quotes with references, tabs and line
// breaks; mixed content; CDATA sections; non-ASCII and prefixed names;
// deep nesting; and the byte forms (UTF-8 with and without a byte-order
// mark, UTF-16 in both byte orders, and declared legacy encodings).
#ifndef KELMO_TESTS_DIFF_DOCUMENT_GENERATOR_H
#define KELMO_TESTS_DIFF_DOCUMENT_GENERATOR_H

#include <string>
#include <vector>

namespace kelmo_diff {

struct GeneratedDocument {
  std::string label;
  std::string bytes;
};

// Written by hand, one construct or encoding each.
std::vector<GeneratedDocument> HandwrittenDocuments();

// Random documents from a fixed seed, so every run sees the same ones.
std::vector<GeneratedDocument> RandomDocuments(unsigned count, unsigned seed);

}  // namespace kelmo_diff

#endif  // KELMO_TESTS_DIFF_DOCUMENT_GENERATOR_H
