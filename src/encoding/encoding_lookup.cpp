// From an encoding name to an encoding the converters know: the library's
// own names, the usual aliases and IANA names of Windows code pages (both in
// text/code_page_names.h), and, outside Windows, whatever the platform
// converter knows by name.
#include <cstring>

#include "encoding/encoding.h"
#include "os/code_page.h"
#include "text/code_page_names.h"

namespace kelmo {
namespace {

// Names passed on to the platform converter are plain: no options such as
// iconv's "//TRANSLIT" can ride along.
bool IsPlainCharsetName(const char* name) {
  if (*name == 0) return false;
  for (const char* c = name; *c; ++c) {
    const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || *c == '-' ||
                       *c == '_' || *c == '.' || *c == ':';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

bool Encoding::operator==(const Encoding& other) const {
  return codePage == other.codePage &&
         std::strncmp(charset, other.charset, kEncodingNameSize) == 0;
}

Encoding EncodingOf(uint32_t codePage, const char charset[kEncodingNameSize]) {
  Encoding encoding;
  encoding.codePage = codePage;
  std::memcpy(encoding.charset, charset, kEncodingNameSize);
  encoding.charset[kEncodingNameSize - 1] = 0;
  return encoding;
}

bool FindEncoding(const char* name, Encoding& encoding) {
  if (!name) name = "";
  Encoding found;
  // No row of the table has code page 0.
  if (const uint32_t codePage = LookupCodePage(name)) {
    found.codePage = codePage;
    encoding = found;
    return true;
  }
  // Other names stand for a code page only where the converter has it.
  for (size_t row = 0; row < text::kCodePageNameRows; ++row) {
    const text::CodePageNames& names = text::kCodePageNames[row];
    if (text::NamesInclude(names.aliases, name) && os::IsCodePageSupported(names.codePage)) {
      found.codePage = names.codePage;
      encoding = found;
      return true;
    }
  }
  if (std::strlen(name) < kEncodingNameSize && IsPlainCharsetName(name) &&
      os::IsCharsetSupported(name)) {
    std::strncpy(found.charset, name, kEncodingNameSize - 1);
    encoding = found;
    return true;
  }
  return false;
}

bool LowerEncodingName(const WChar* wide, char name[kEncodingNameSize]) {
  std::memset(name, 0, kEncodingNameSize);
  if (!wide) return true;
  for (int i = 0; wide[i] != 0; ++i) {
    const uint16_t unit = static_cast<uint16_t>(wide[i]);
    if (i == kEncodingNameSize - 1 || unit >= 0x80) {
      std::memset(name, 0, kEncodingNameSize);
      return false;
    }
    name[i] = static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit);
  }
  return true;
}

}  // namespace kelmo
