// Which iconv character set stands for a Windows code page number. Only
// numbers that Windows itself knows are listed: iconv's "CPnnnn" names are
// not all Windows code pages (its CP273 is what Windows calls 20273).
#ifndef KELMO_OS_ICONV_CHARSETS_H
#define KELMO_OS_ICONV_CHARSETS_H

namespace kelmo::platform {

struct IconvCharset {
  unsigned int codePage;
  // Tried in order; the second name (may be null) covers C libraries that
  // lack the first.
  const char* names[2];
};

// Null for numbers that have no iconv counterpart here. A listed charset may
// still be missing from the C library at run time.
const IconvCharset* FindIconvCharset(unsigned int codePage);

}  // namespace kelmo::platform

#endif  // KELMO_OS_ICONV_CHARSETS_H
