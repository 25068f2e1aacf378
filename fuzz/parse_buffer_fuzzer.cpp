// Bytes through ParseBuffer: encoding sniffing, decoding and the parser. The
// same document re-encoded as UTF-16LE with a byte-order mark must give the
// same tree, error and position, since both decode to the same text; and a
// parser used before reads the bytes as a new one does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "encoding/encoding.h"
#include "parse_outcome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelmo_fuzz;
  if (size > 0xFFFFFFu) return 0;
  const uint32_t n = static_cast<uint32_t>(size);

  auto parser = NewParser();
  const bool ok = parser->ParseBuffer(data, n);
  CheckOutcome(*parser, ok);

  // The same sniffing and decoding as the parser, taken apart.
  kelmo::TextDecoder decoder;
  const kelmo::WChar* text = nullptr;
  uint32_t units = 0;
  if (!kelmo::DecodeDocument(decoder, data, n, text, units, nullptr)) {
    // Empty input holds no element (14); other input that does not decode
    // is an encoding error (9).
    Require(!ok && parser->GetErrorCode() == (n == 0 ? 14u : 9u),
            "empty input not reported as error 14, or undecodable bytes as error 9");
    return 0;
  }
  if (units == 0) return 0;
  std::string utf16 = "\xFF\xFE";
  for (uint32_t i = 0; i < units; ++i) {
    const uint16_t u = static_cast<uint16_t>(text[i]);
    utf16 += static_cast<char>(u & 0xFF);
    utf16 += static_cast<char>(u >> 8);
  }
  auto again = NewParser();
  const bool okAgain = again->ParseBuffer(reinterpret_cast<const unsigned char*>(utf16.data()),
                                          static_cast<uint32_t>(utf16.size()));
  RequireSameParse(*parser, ok, *again, okAgain, "as UTF-16LE");

  // Every parse starts clean: a parser that has read something else reads
  // the bytes as a new one does.
  const bool okReused = again->ParseBuffer(data, n);
  RequireSameParse(*parser, ok, *again, okReused, "reused parser");
  return 0;
}
