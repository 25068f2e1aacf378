#include "os/iconv_charsets.h"

#include "text/code_page_names.h"

namespace kelmo::os {

std::optional<IconvCharset> FindIconvCharset(unsigned int codePage) {
  const text::CodePageNames* row = text::FindCodePageNames(codePage);
  if (row == nullptr || row->iconv[0] == nullptr) return std::nullopt;
  return IconvCharset{codePage, {row->iconv[0], row->iconv[1]}};
}

}  // namespace kelmo::os
