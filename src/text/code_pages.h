// The Windows code-page numbers the library converts itself or names in its
// own code, in one place. The public header spells the three Unicode forms
// for hosts (kCodePageUtf8 and the two UTF-16 forms); these are the same
// numbers for the code below it.
#ifndef KELMO_TEXT_CODE_PAGES_H
#define KELMO_TEXT_CODE_PAGES_H

namespace kelmo::text::code_pages {

constexpr unsigned int kUtf8 = 65001;
constexpr unsigned int kUtf16LittleEndian = 1200;
constexpr unsigned int kUtf16BigEndian = 1201;
constexpr unsigned int kUsAscii = 20127;
constexpr unsigned int kHz = 52936;

}  // namespace kelmo::text::code_pages

#endif  // KELMO_TEXT_CODE_PAGES_H
