// Which iconv character set stands for a Windows code page number: the
// iconv names of the code page's row in text/code_page_names.h.
#ifndef KELMO_OS_ICONV_CHARSETS_H
#define KELMO_OS_ICONV_CHARSETS_H

#include <optional>

namespace kelmo::os {

struct IconvCharset {
  unsigned int codePage;
  // Tried in order; the second name (may be null) covers C libraries that
  // lack the first.
  const char* names[2];
};

// Nothing for numbers that have no iconv counterpart here. A listed charset
// may still be missing from the C library at run time.
std::optional<IconvCharset> FindIconvCharset(unsigned int codePage);

}  // namespace kelmo::os

#endif  // KELMO_OS_ICONV_CHARSETS_H
