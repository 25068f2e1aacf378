// The library's own encoding names (text/code_page_names.h) and the
// byte-order marks that go with their code pages.
#include <string_view>

#include "encoding/encoding.h"
#include "text/code_page_names.h"
#include "text/code_pages.h"

namespace kelmo {

static_assert(text::code_pages::kUtf8 == kCodePageUtf8 &&
                  text::code_pages::kUtf16LittleEndian == kCodePageUtf16LE &&
                  text::code_pages::kUtf16BigEndian == kCodePageUtf16BE,
              "the public code-page numbers and the library's own agree");

uint32_t LookupCodePage(const char* name) {
  // A missing name is the same as an empty one, which means UTF-8.
  if (!name || *name == 0) return kCodePageUtf8;
  for (size_t row = 0; row < text::kCodePageNameRows; ++row) {
    if (text::NamesInclude(text::kCodePageNames[row].own, name)) return text::kCodePageNames[row].codePage;
  }
  return 0;
}

uint32_t ByteOrderMark(uint32_t codePage, const unsigned char** bom) {
  std::string_view mark;
  switch (codePage) {
    case kCodePageUtf8: mark = syntax::kBomUtf8; break;
    case kCodePageUtf16LE: mark = syntax::kBomUtf16Le; break;
    case kCodePageUtf16BE: mark = syntax::kBomUtf16Be; break;
    default: break;
  }
  if (bom) *bom = mark.empty() ? nullptr : reinterpret_cast<const unsigned char*>(mark.data());
  return uint32_t(mark.size());
}

}  // namespace kelmo
