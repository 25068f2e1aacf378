// <windows.h> for the public headers, without the min and max macros and
// without the rarely used parts that WIN32_LEAN_AND_MEAN leaves out. A host
// that defined either macro itself keeps its definition; the ones defined
// here are removed again, so a host's own code sees no change of macros.
#ifndef KELMO_WINDOWS_LEAN_H
#define KELMO_WINDOWS_LEAN_H

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#define KELMO_DEFINED_WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#define KELMO_DEFINED_NOMINMAX
#endif

#include <windows.h>

#ifdef KELMO_DEFINED_WIN32_LEAN_AND_MEAN
#undef WIN32_LEAN_AND_MEAN
#undef KELMO_DEFINED_WIN32_LEAN_AND_MEAN
#endif
#ifdef KELMO_DEFINED_NOMINMAX
#undef NOMINMAX
#undef KELMO_DEFINED_NOMINMAX
#endif

#endif  // _WIN32

#endif  // KELMO_WINDOWS_LEAN_H
