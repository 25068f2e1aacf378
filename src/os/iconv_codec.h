// Conversions through the C library's iconv, with the replacement rules of
// the code-page converter added on top (iconv itself stops at bad input).
#ifndef KELMO_OS_ICONV_CODEC_H
#define KELMO_OS_ICONV_CODEC_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"
#include "os/iconv_charsets.h"
#include "text/gb2312_table.h"

namespace kelmo::os {

// The GB2312 grid as the C library knows it, built on first use; null when
// the C library has no GB2312 converter. Not built on Windows, which
// converts HZ itself.
const text::Gb2312Table* PlatformGb2312Table();

// An invalid byte sequence becomes U+FFFD and decoding resumes one byte
// later; a sequence cut off by the end of the input becomes one U+FFFD.
// A null output only counts. kConversionFailed when the output is too small
// or the charset cannot be opened.
int64_t IconvDecode(const IconvCharset& charset, const char* in, size_t size, WChar* out, size_t capacity);

// A character the charset cannot represent (or an unpaired surrogate)
// becomes the charset's "?"; a surrogate pair counts as one character.
int64_t IconvEncode(const IconvCharset& charset, const WChar* in, size_t size, char* out, size_t capacity);

// True when the C library can convert between the charset and UTF-16.
bool IconvCanConvert(const IconvCharset& charset);

}  // namespace kelmo::os

#endif  // KELMO_OS_ICONV_CODEC_H
