// Narrow text in a code page through ParseStringA. The first byte picks the
// code page (table code pages, a few others the platform converter knows,
// and unknown ones), the second whether the length is given or the text
// runs to its zero byte; both forms must parse alike. UTF-8 text that the
// sniffer also takes for UTF-8 must parse as bytes just as it does as text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "encoding/encoding.h"
#include "fuzz_text.h"
#include "parse_outcome.h"

namespace {

const unsigned kCodePages[] = {0,    65001, 1200, 1201,  20127, 936,   20936, 52936,
                               54936, 950,  932,  949,   1252,  28591, 437,   874,
                               1251, 12000, 20932, 1361, 10000, 42,    65000, 0xFFFFFFFFu};
constexpr size_t kCodePageCount = sizeof(kCodePages) / sizeof(kCodePages[0]);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelmo_fuzz;
  if (size > 0xFFFFFFu) return 0;
  const unsigned codePage = kCodePages[TakeByte(data, size) % kCodePageCount];
  const bool zeroTerminated = TakeByte(data, size) & 1;

  const std::string text(reinterpret_cast<const char*>(data), size);
  auto parser = NewParser();
  const uint32_t length = zeroTerminated ? kelmo::kWholeText : static_cast<uint32_t>(size);
  const bool ok = parser->ParseStringA(text.c_str(), length, codePage);
  CheckOutcome(*parser, ok);

  // The text without its first zero byte and beyond, given by its length,
  // parses as the zero-terminated form does.
  const size_t prefix = std::strlen(text.c_str());
  auto other = NewParser();
  const bool okOther =
      zeroTerminated ? other->ParseStringA(text.data(), static_cast<uint32_t>(prefix), codePage)
                     : other->ParseStringA(text.c_str(), kelmo::kWholeText, codePage);
  if (zeroTerminated || prefix == size) RequireSameParse(*parser, ok, *other, okOther, "length forms");

  if ((codePage == 0 || codePage == 65001) && !zeroTerminated) {
    char name[kelmo::kEncodingNameSize];
    uint32_t bomLength = 0;
    if (kelmo::DetectEncoding(data, static_cast<uint32_t>(size), name, &bomLength) &&
        bomLength == 0 && kelmo::LookupCodePage(name) == 65001) {
      auto bytes = NewParser();
      const bool okBytes = bytes->ParseBuffer(data, static_cast<uint32_t>(size));
      RequireSameParse(*parser, ok, *bytes, okBytes, "as sniffed bytes");
    }
  }
  return 0;
}
