// The encodings the library knows by name, one row a code page: the names
// an XML declaration may give it and the names iconv knows it by. The
// encoding lookup reads the first, the iconv converter the second, so each
// code page and its names are written down once.
#ifndef KELMO_TEXT_CODE_PAGE_NAMES_H
#define KELMO_TEXT_CODE_PAGE_NAMES_H

#include <cstddef>
#include <cstring>
#include <string_view>

namespace kelmo::text {

// Name lists are lower case and separated by single spaces; "" is none.
struct CodePageNames {
  unsigned int codePage;
  // The library's own names for it, which stand for it on every platform.
  // Listed in this order, they are the names hosts are told of.
  const char* own;
  // Other usual names, which stand for it where the converter has it.
  const char* aliases;
  // iconv's names, tried in order: the second (may be null) covers C
  // libraries that lack the first. Both null where iconv is not asked (the
  // library converts the code page itself). Only numbers that Windows
  // itself knows have a row: iconv's "CPnnnn" names are not all Windows
  // code pages (its CP273 is what Windows calls 20273).
  const char* iconv[2];
};

extern const CodePageNames kCodePageNames[];
extern const size_t kCodePageNameRows;

// The row of a code page; null when it has none.
const CodePageNames* FindCodePageNames(unsigned int codePage);

// Calls visit(std::string_view) with each name of a list, in order.
template <class Visit>
void ForEachName(const char* list, Visit&& visit) {
  for (const char* start = list; *start != 0;) {
    const char* end = std::strchr(start, ' ');
    if (end == nullptr) end = start + std::strlen(start);
    visit(std::string_view(start, size_t(end - start)));
    start = *end == 0 ? end : end + 1;
  }
}

// Whether a list holds exactly this name.
bool NamesInclude(const char* list, const char* name);

}  // namespace kelmo::text

#endif  // KELMO_TEXT_CODE_PAGE_NAMES_H
