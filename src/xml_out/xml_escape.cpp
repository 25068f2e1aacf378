#include "xml_out/xml_escape.h"

#include "tree/text_length.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define KELMO_ESCAPE_SSE2 1
#endif

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

// Index of the first unit from i on that needs escaping, or length.
inline uint32_t PlainRunEnd(const WChar* text, uint32_t i, uint32_t length) {
#ifdef KELMO_ESCAPE_SSE2
  // Eight units per test: control units other than tab, and the five
  // markup characters.
  const __m128i controlLimit = _mm_set1_epi16(0x1F);
  const __m128i zero = _mm_setzero_si128();
  const __m128i tab = _mm_set1_epi16(9);
  const __m128i amp = _mm_set1_epi16('&');
  const __m128i lt = _mm_set1_epi16('<');
  const __m128i gt = _mm_set1_epi16('>');
  const __m128i quot = _mm_set1_epi16('"');
  const __m128i apos = _mm_set1_epi16('\'');
  while (length - i >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i control =
        _mm_andnot_si128(_mm_cmpeq_epi16(units, tab),
                         _mm_cmpeq_epi16(_mm_subs_epu16(units, controlLimit), zero));
    const __m128i markup = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(units, amp), _mm_cmpeq_epi16(units, lt)),
        _mm_or_si128(_mm_cmpeq_epi16(units, gt),
                     _mm_or_si128(_mm_cmpeq_epi16(units, quot), _mm_cmpeq_epi16(units, apos))));
    const int mask = _mm_movemask_epi8(_mm_or_si128(control, markup));
    if (mask != 0) return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    i += 8;
  }
#endif
  while (i < length && !NeedsEscape(text[i])) ++i;
  return i;
}

template <class Out>
void AppendAscii(Out& out, const char* text, uint32_t n) {
  WChar units[8];
  for (uint32_t i = 0; i < n; ++i) units[i] = static_cast<WChar>(text[i]);
  out.Append(units, n);
}

template <class Out>
void AppendEscaped(WChar c, Out& out) {
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

template <class Out>
void Escape(const WChar* text, uint32_t length, Out& out) {
  length = ResolveLength(text, length);
  uint32_t i = 0;
  while (i < length) {
    // Copy the longest run that needs no escaping in one append.
    const uint32_t start = i;
    i = PlainRunEnd(text, i, length);
    if (i > start) out.Append(text + start, i - start);
    if (i < length) AppendEscaped(text[i++], out);
  }
}

}  // namespace

void EscapeXml(const WChar* text, uint32_t length, WStrBuf& out) { Escape(text, length, out); }

void EscapeXml(const WChar* text, uint32_t length, Utf8Text& out) { Escape(text, length, out); }

}  // namespace kelmo
