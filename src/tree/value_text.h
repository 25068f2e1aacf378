// A node's value as text, for every kind that has a text form other than a
// String (which the getters serve from the node itself). Numbers, booleans,
// pointers and base64 of byte arrays are ASCII, so the wide and the narrow
// form hold the same characters.
#ifndef KELMO_TREE_VALUE_TEXT_H
#define KELMO_TREE_VALUE_TEXT_H

#include <cstdint>

#include "kelmo/kelmo.h"

namespace kelmo {

// `storage` is the node's value storage, read according to `type` (for
// Binary it holds a BlobBuf). On success the text is zero-terminated: either
// a constant of the library (booleans, an empty byte array), leaving the
// holder untouched, or a new array placed in the holder. Kinds without a text
// form (Empty, SharedPtr, Unknown, Dispatch, and String, which is not served
// here) give false and write nothing.
//
// A pointer is written "0x" followed by every hexadecimal digit of the
// address in lowercase, zero-padded to the pointer's width: 18 characters
// with 64-bit pointers, 10 with 32-bit ones.
bool ValueToStringW(ValueType type, const void* storage, const WChar*& text, uint32_t& length,
                    RefPtr<XInRes>& holder);

// Room ScalarText needs: the longest number text (a long double in full).
constexpr uint32_t kMaxScalarText = 1 + 2 + 323 + 17;
// The ASCII text of a Bool, a number or a Pointer, written into `out` (room
// for kMaxScalarText), for callers that copy it straight on rather than
// hand it out; 0 for every other kind.
uint32_t ScalarText(ValueType type, const void* storage, char* out);
bool ValueToStringA(ValueType type, const void* storage, const char*& text, uint32_t& length,
                    RefPtr<XInRes>& holder);

}  // namespace kelmo

#endif  // KELMO_TREE_VALUE_TEXT_H
