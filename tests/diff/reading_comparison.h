// Compares this library's reading of a document with libxml2's mapped
// reading. Where this library's documented behaviour differs from an XML
// processor's, the comparison applies that behaviour to libxml2's side:
//  - Line breaks written literally in text and attribute values are dropped
//    here, while an XML processor keeps them in text and turns them into
//    spaces in attribute values. Element texts are compared without line
//    feeds and trimmed of blanks (line feeds and blanks at the ends written
//    as references are kept here, and cannot be told apart on libxml2's
//    side). A run of blanks written only as references is a value here and
//    skipped as blank there; such a value is not compared.
//  - Tabs written literally in attribute values are kept here; attribute
//    value normalization turns them into spaces. So a space on libxml2's side
//    of an attribute value may stand for a space, a tab or a dropped line
//    break here.
//  - CDATA sections keep their carriage returns as written; an XML processor
//    normalizes line ends to line feeds first. CDATA text is compared after
//    normalizing this library's line ends.
//  - Adjacent CDATA sections: libxml2 joins them into one node, while here
//    each section replaces the value, so the last one is kept. Where the
//    document has adjacent sections, this library's value must be the end of
//    libxml2's.
#ifndef KELMO_TESTS_DIFF_READING_COMPARISON_H
#define KELMO_TESTS_DIFF_READING_COMPARISON_H

#include <string>

#include "conformance_tree.h"

namespace kelmo_diff {

// True when `ours` is libxml2's normalized attribute value `theirs` read by
// this library's rules: each space of theirs is a space, a tab or nothing
// here; every other unit is the same.
bool AttributeValuesMatch(const std::u16string& theirs, const std::u16string& ours);

std::u16string NormalizedLineEnds(const std::u16string& text);

// Empty when the readings agree, otherwise the first disagreement.
std::string CompareReadings(const ConformanceTree& ours, const ConformanceTree& theirs,
                            bool adjacentSections);

}  // namespace kelmo_diff

#endif  // KELMO_TESTS_DIFF_READING_COMPARISON_H
