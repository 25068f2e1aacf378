// Text to number, as the typed getters read a String value. Both parsers take
// wide text as a first unit and an end; blanks (space, tab) are skipped
// wherever they stand and a zero unit ends the text early.
#ifndef KELMO_TREE_NUMBER_PARSE_H
#define KELMO_TREE_NUMBER_PARSE_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

// An integer of `width` bits (8, 16, 32 or 64), decimal or, after an "x", "X"
// or "$" prefix, hexadecimal; a leading "-" negates it in two's complement.
// The result holds the `width` low bits, zero-extended; the caller reads them
// as signed or unsigned, so the accepted range runs from the most negative
// signed value to the largest unsigned one (-1 gives all bits set). Fails on
// an empty text, any unit out of place, or a number outside that range; then
// `bits` is not written.
bool ParseInteger(const WChar* first, const WChar* end, unsigned width, uint64_t& bits);
// The same over the bytes of UTF-8 text.
bool ParseInteger(const char* first, const char* end, unsigned width, uint64_t& bits);

// A decimal real with an optional sign and point, rounded correctly to the
// target precision (a text too large for it gives infinity); or one of the
// words "nan", "inf", "-inf". No exponent and no hexadecimal form. Fails on
// an empty text or any unit out of place; then `value` is not written.
bool ParseReal(const WChar* first, const WChar* end, float& value);
bool ParseReal(const WChar* first, const WChar* end, double& value);
bool ParseReal(const char* first, const char* end, float& value);
bool ParseReal(const char* first, const char* end, double& value);

}  // namespace kelmo

#endif  // KELMO_TREE_NUMBER_PARSE_H
