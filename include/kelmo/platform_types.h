// Basic platform types shared by every public header of the library.
#ifndef KELMO_PLATFORM_TYPES_H
#define KELMO_PLATFORM_TYPES_H

#include <cstdint>

namespace kelmo {

// One UTF-16 code unit. Windows hosts pass wchar_t text; elsewhere wchar_t is
// 32 bits wide, so the library takes char16_t there.
#if defined(_WIN32)
using WChar = wchar_t;
#else
using WChar = char16_t;
#endif

static_assert(sizeof(WChar) == 2, "text units must be 16 bits wide");

}  // namespace kelmo

#if defined(_WIN32)
#define KELMO_EXPORT __declspec(dllexport)
#define KELMO_IMPORT __declspec(dllimport)
#else
#define KELMO_EXPORT __attribute__((visibility("default")))
#define KELMO_IMPORT
#endif

#endif  // KELMO_PLATFORM_TYPES_H
