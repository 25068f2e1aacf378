#include <iconv.h>

#include <memory>

#include "os/iconv_codec.h"

namespace kelmo::os {
namespace {

std::unique_ptr<text::Gb2312Table> LoadFromIconv() {
  const iconv_t descriptor = iconv_open("UTF-16LE", "EUC-CN");
  if (descriptor == reinterpret_cast<iconv_t>(-1)) return nullptr;

  std::vector<char16_t> cells(text::Gb2312Table::kSide * text::Gb2312Table::kSide, 0);
  for (unsigned row = 0; row < text::Gb2312Table::kSide; ++row) {
    for (unsigned cell = 0; cell < text::Gb2312Table::kSide; ++cell) {
      char euc[2] = {static_cast<char>(0xA1 + row), static_cast<char>(0xA1 + cell)};
      unsigned char utf16[4] = {};
      char* in = euc;
      size_t inLeft = sizeof euc;
      char* out = reinterpret_cast<char*>(utf16);
      size_t outLeft = sizeof utf16;
      iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
      // Exactly one BMP character from both bytes, or the cell is empty.
      if (iconv(descriptor, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) continue;
      if (inLeft != 0 || outLeft != 2) continue;
      cells[row * text::Gb2312Table::kSide + cell] = static_cast<char16_t>(utf16[0] | (utf16[1] << 8));
    }
  }
  iconv_close(descriptor);
  return std::make_unique<text::Gb2312Table>(std::move(cells));
}

}  // namespace

const text::Gb2312Table* PlatformGb2312Table() {
  static const std::unique_ptr<text::Gb2312Table> table = LoadFromIconv();
  return table.get();
}

}  // namespace kelmo::os
