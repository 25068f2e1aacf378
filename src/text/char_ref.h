// Numeric character references as the parser reads them. (The characters
// a name may hold are in the public kelmo/xml_name_chars.h, which the
// convenience layer shares.)
#ifndef KELMO_TEXT_CHAR_REF_H
#define KELMO_TEXT_CHAR_REF_H

#include <cstdint>

#include "kelmo/platform_types.h"
#include "kelmo/xml_name_chars.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelmo {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

// Decodes a numeric character reference: the whole reference from "&#" to
// ";" (length units, at least 3). "&#x" takes lower-case "x" only and hex
// digits of either case; otherwise decimal digits. No digits give 0. False
// for any other unit or a value beyond U+10FFFF.
bool DecodeCharRef(const WChar* reference, uint32_t length, uint32_t& codePoint);

// The end of the run of name characters (IsNameChar) that starts at p, or
// end. Names are the parser's most common runs: eight units at a time where
// eight remain, then a table lookup per unit.
inline const WChar* NameRunEnd(const WChar* p, const WChar* end) {
#if defined(__SSE2__)
  while (end - p >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto between = [](const __m128i& value, short low, short high) {
      return _mm_and_si128(_mm_cmpgt_epi16(value, _mm_set1_epi16(low - 1)),
                           _mm_cmplt_epi16(value, _mm_set1_epi16(high + 1)));
    };
    // Every unit above 0x7F; ASCII letters (either case); "-" to ":" but
    // "/", which holds "-", ".", the digits and ":"; and "_".
    const __m128i ascii = _mm_cmpeq_epi16(
        _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))), _mm_setzero_si128());
    const __m128i letter = between(_mm_or_si128(units, _mm_set1_epi16(0x20)), 'a', 'z');
    const __m128i punctuation = _mm_andnot_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('/')),
                                                 between(units, '-', ':'));
    const __m128i underscore = _mm_cmpeq_epi16(units, _mm_set1_epi16('_'));
    const __m128i name = _mm_or_si128(_mm_andnot_si128(ascii, _mm_set1_epi16(-1)),
                                      _mm_or_si128(letter, _mm_or_si128(punctuation, underscore)));
    const unsigned stops = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFFu;
    if (stops) return p + __builtin_ctz(stops) / 2;
    p += 8;
  }
#endif
  struct Table {
    bool name[128];
    constexpr Table() : name() {
      for (int u = 0; u < 128; ++u) {
        name[u] = u < 64 ? (name_chars_detail::kNameBitsLow >> u) & 1
                         : (name_chars_detail::kNameBitsHigh >> (u - 64)) & 1;
      }
    }
  };
  static constexpr Table kTable;
  while (p < end) {
    const uint16_t u = static_cast<uint16_t>(*p);
    if (u < 128 && !kTable.name[u]) break;
    ++p;
  }
  return p;
}

}  // namespace kelmo

#endif  // KELMO_TEXT_CHAR_REF_H
