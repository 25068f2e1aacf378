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

// Text length meaning "up to the terminating zero".
constexpr unsigned int kWholeText = 0xFFFFFFFFu;

}  // namespace kelmo

// 1 where the interfaces are laid out explicitly in MSVC's x64 layout
// because the compiler's own C++ layout differs from it (MinGW-w64 GCC and
// clang targeting MinGW); 0 where the compiler's own layout is the binary
// interface (MSVC itself, and every platform but Windows). 32-bit Windows
// keeps the compiler's own layout: MSVC compatibility there is not offered.
#if defined(_WIN64) && !defined(_MSC_VER)
#define KELMO_MSVC_LAYOUT 1
#else
#define KELMO_MSVC_LAYOUT 0
#endif

#if defined(_WIN32)
#define KELMO_EXPORT __declspec(dllexport)
#define KELMO_IMPORT __declspec(dllimport)
#else
#define KELMO_EXPORT __attribute__((visibility("default")))
#define KELMO_IMPORT
#endif

#endif  // KELMO_PLATFORM_TYPES_H
