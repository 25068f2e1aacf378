// Length conventions shared by every operation that takes text or bytes: a
// null pointer is empty, and the length kWholeText (0xFFFFFFFF) means "up to
// the first zero unit". Below every layer: the system code and the tree
// both use it, so it needs nothing but the basic types.
#ifndef KELMO_TEXT_TEXT_LENGTH_H
#define KELMO_TEXT_TEXT_LENGTH_H

#include <cstdint>
#include <cstring>
#include <new>

#include "kelmo/platform_types.h"

namespace kelmo::text {

inline uint32_t ResolveLength(const WChar* text, uint32_t length) {
  if (!text) return 0;
  if (length != kWholeText) return length;
  uint32_t n = 0;
  while (text[n] != 0) {
    if (n == kWholeText - 1) throw std::bad_alloc();
    ++n;
  }
  return n;
}

inline uint32_t ResolveLength(const char* text, uint32_t length) {
  if (!text) return 0;
  if (length != kWholeText) return length;
  size_t n = std::strlen(text);
  if (n >= kWholeText) throw std::bad_alloc();
  return static_cast<uint32_t>(n);
}

inline uint32_t ResolveLength(const unsigned char* bytes, uint32_t length) {
  return ResolveLength(reinterpret_cast<const char*>(bytes), length);
}

// Sum of two 32-bit lengths; a result that does not fit raises the standard
// allocation failure instead of wrapping.
inline uint32_t CheckedAdd(uint32_t a, uint32_t b) {
  if (b > kWholeText - 1 - a) throw std::bad_alloc();
  return a + b;
}

}  // namespace kelmo::text

#endif  // KELMO_TEXT_TEXT_LENGTH_H
