// HZ (code page 52936): GB2312 in 7-bit bytes for mail and news. Text starts
// in ASCII mode; "~{" switches to GB mode, where each pair of bytes in
// 0x21..0x7E is one GB2312 character, and "~}" switches back. In ASCII mode
// "~~" is a literal "~" and "~" before a line feed continues the line.
#ifndef KELMO_TEXT_HZ_CODEC_H
#define KELMO_TEXT_HZ_CODEC_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"
#include "text/gb2312_table.h"

namespace kelmo::text {

// Invalid input becomes U+FFFD: a byte above 0x7F, a "~" escape that means
// nothing, an unassigned or incomplete pair. Control bytes pass through in
// GB mode too, and a line end also returns to ASCII mode (GB runs do not
// span lines), so a missing "~}" cannot swallow the rest of the text. A null
// output only counts; kConversionFailed when the output is too small.
int64_t DecodeHz(const Gb2312Table& table, const unsigned char* in, size_t size, WChar* out, size_t capacity);

// ASCII stays ASCII ("~" as "~~"); runs of GB2312 characters go between
// "~{" and "~}"; anything else becomes "?". The output always ends in ASCII
// mode.
int64_t EncodeHz(const Gb2312Table& table, const WChar* in, size_t size, unsigned char* out, size_t capacity);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_HZ_CODEC_H
