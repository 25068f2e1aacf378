// Whether an encoding is a single-byte page: one in which every byte stands
// for one UTF-16 unit on its own, whatever the bytes around it. The parser
// reads documents in such pages as bytes (text/single_byte_utf8.h).
#ifndef KELMO_ENCODING_SINGLE_BYTE_PAGE_H
#define KELMO_ENCODING_SINGLE_BYTE_PAGE_H

#include "encoding/encoding.h"
#include "kelmo/platform_types.h"

namespace kelmo {

// Fills `units` with the unit each byte decodes to, as the platform's
// converter decodes it, and returns true for a single-byte page; false for
// the Unicode forms, stateful and multi-byte encodings, named charsets, and
// a page whose converter refuses a byte (which the decoding way reports).
bool SingleByteUnits(const Encoding& encoding, WChar (&units)[256]);

}  // namespace kelmo

#endif  // KELMO_ENCODING_SINGLE_BYTE_PAGE_H
