// Text to number, as the typed getters read a String value. Both parsers take
// wide text as a first unit and an end; blanks (space, tab) are skipped
// wherever they stand and a zero unit ends the text early.
#ifndef KELMO_TREE_NUMBER_PARSE_H
#define KELMO_TREE_NUMBER_PARSE_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

// An integer of `width` bits (8, 16, 32 or 64), decimal or, after an "x", "X"
// or "$" prefix, hexadecimal. The value wraps in `width` bits without an
// overflow check, and a leading "-" negates it in two's complement. The
// result holds the `width` low bits, zero-extended; the caller reads them as
// signed or unsigned. Fails on an empty text or any unit out of place; then
// `bits` is not written.
bool ParseInteger(const WChar* first, const WChar* end, unsigned width, uint64_t& bits);

// A decimal real with an optional sign and point; no exponent, no
// hexadecimal form, no words for infinity or NaN. The float overload keeps
// every intermediate step in float, the double overload in double. Fails on
// an empty text or any unit out of place; then `value` is not written.
bool ParseReal(const WChar* first, const WChar* end, float& value);
bool ParseReal(const WChar* first, const WChar* end, double& value);

}  // namespace kelmo

#endif  // KELMO_TREE_NUMBER_PARSE_H
