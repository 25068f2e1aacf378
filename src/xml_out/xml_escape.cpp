#include "xml_out/xml_escape.h"

#include "tree/text_length.h"

namespace kelmo {
namespace {

// Units below 128 that cannot be copied as they are.
struct EscapeTable {
  bool needs[128] = {};
  constexpr EscapeTable() {
    for (int c = 0; c < 32; ++c) needs[c] = c != 9;
    needs['&'] = needs['<'] = needs['>'] = needs['"'] = needs['\''] = true;
  }
};
constexpr EscapeTable kEscape;

inline bool NeedsEscape(WChar c) {
  return static_cast<uint16_t>(c) < 128 && kEscape.needs[static_cast<uint16_t>(c)];
}

void AppendAscii(WStrBuf& out, const char* text, uint32_t n) {
  WChar units[8];
  for (uint32_t i = 0; i < n; ++i) units[i] = static_cast<WChar>(text[i]);
  out.Append(units, n);
}

void AppendEscaped(WChar c, WStrBuf& out) {
  switch (c) {
    case '&': return AppendAscii(out, "&amp;", 5);
    case '<': return AppendAscii(out, "&lt;", 4);
    case '>': return AppendAscii(out, "&gt;", 4);
    case '"': return AppendAscii(out, "&quot;", 6);
    case '\'': return AppendAscii(out, "&apos;", 6);
    case 10: return AppendAscii(out, "&#xa;", 5);
    case 13: return AppendAscii(out, "&#xd;", 5);
    default: break;
  }
  static const char kHex[] = "0123456789abcdef";
  const unsigned value = static_cast<uint16_t>(c);
  const char reference[6] = {'&', '#', 'x', kHex[(value >> 4) & 15], kHex[value & 15], ';'};
  AppendAscii(out, reference, 6);
}

}  // namespace

void EscapeXml(const WChar* text, uint32_t length, WStrBuf& out) {
  length = ResolveLength(text, length);
  uint32_t i = 0;
  while (i < length) {
    // Copy the longest run that needs no escaping in one append.
    const uint32_t start = i;
    while (i < length && !NeedsEscape(text[i])) ++i;
    if (i > start) out.Append(text + start, i - start);
    if (i < length) AppendEscaped(text[i++], out);
  }
}

}  // namespace kelmo
