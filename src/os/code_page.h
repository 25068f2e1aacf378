// Code-page conversion between narrow text and UTF-16, addressed by Windows
// code page numbers. Same contract as the Win32 converters called with
// flags 0: ask with an output size of 0 for the needed size, then convert
// into a buffer of exactly that size. Invalid input is replaced, never
// rejected (U+FFFD when decoding, "?" when encoding).
#ifndef KELMO_OS_CODE_PAGE_H
#define KELMO_OS_CODE_PAGE_H

#include "kelmo/platform_types.h"

namespace kelmo::os {

// Code page 0 is the process default narrow code page (UTF-8 outside Windows).
// Returns the number of UTF-16 units needed (outSize 0) or written, and 0 on
// failure: unknown code page, bad arguments, or an output buffer too small.
// inSize must be positive; a negative inSize (zero-terminated input) is not
// supported and fails.
int MultiByteToWide(unsigned int codePage, const char* in, int inSize, WChar* out, int outSize);

// Returns the number of bytes needed (outSize 0) or written, 0 on failure.
int WideToMultiByte(unsigned int codePage, const WChar* in, int inSize, char* out, int outSize);

// True when the converter can handle this code page number.
bool IsCodePageSupported(unsigned int codePage);

// The same conversions for a character set that no code page number stands
// for, addressed by the converter's own name (iconv's names and aliases,
// without regard to case). Windows converts by code page only: there these
// fail and no name is supported.
int MultiByteToWideNamed(const char* charset, const char* in, int inSize, WChar* out, int outSize);
int WideToMultiByteNamed(const char* charset, const WChar* in, int inSize, char* out, int outSize);
bool IsCharsetSupported(const char* charset);

}  // namespace kelmo::os

#endif  // KELMO_OS_CODE_PAGE_H
