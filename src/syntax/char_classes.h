// The classes of characters that XML syntax tells apart, in one place: the
// blanks, the line breaks, the characters of a name, and the characters the
// writer must escape. The reader, the writer, the tree's number parsing and
// the tool's scanners all ask here, and every faster form of a class (the
// eight-at-a-time scans) is derived from these definitions and tested
// against them unit by unit.
//
// The name characters themselves are the bit table of the public
// kelmo/xml_name_chars.h: the convenience layer, which is header-only and
// cannot reach the library's sources, refuses bad names with the same
// table, so the table lives where both can include it.
#ifndef KELMO_SYNTAX_CHAR_CLASSES_H
#define KELMO_SYNTAX_CHAR_CLASSES_H

#include <cstddef>
#include <cstdint>

#include "kelmo/platform_types.h"
#include "kelmo/xml_name_chars.h"
#include "text/unit_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelmo::syntax {

// Tab, line feed, carriage return and space: the only whitespace the parser
// and writer know, also where the tree trims text for numbers. Takes UTF-16
// units and bytes of ASCII-compatible text alike.
constexpr bool IsXmlSpace(uint32_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

// Space and tab only: the blanks inside one line, which number texts may
// carry around their digits and which text runs keep or trim at their ends.
constexpr bool IsSpaceOrTab(uint32_t c) { return c == ' ' || c == '\t'; }

// Line feed and carriage return. How they end lines (a carriage return and
// line feed pair once) is the rule of line_positions.h.
constexpr bool IsLineBreak(uint32_t c) { return c == 10 || c == 13; }

// The characters of a name: see kelmo/xml_name_chars.h.
using kelmo::IsNameChar;

// The five markup characters, which the writer always escapes (as the
// entities of char_ref.h).
inline constexpr char kMarkupCharacters[] = {'&', '<', '>', '"', '\''};
constexpr int kMarkupCharacterCount = sizeof kMarkupCharacters;

// Where escaped text goes: tabs are kept in element text and escaped in
// attribute values.
enum class EscapeTarget { kElementText, kAttributeValue };

// Whether the writer escapes the unit in a run of plain text: the five
// markup characters, and every control unit but tab (tab too in attribute
// values). Surrogate halves outside a pair are escaped too, which only the
// unit after them can tell (xml_escape.h).
constexpr bool IsEscaped(uint32_t unit, EscapeTarget target) {
  if (unit < 0x20) return unit != '\t' || target == EscapeTarget::kAttributeValue;
  for (char c : kMarkupCharacters) {
    if (unit == static_cast<unsigned char>(c)) return true;
  }
  return false;
}

// The end of the run of name characters (IsNameChar) that starts at p, or
// end; p walks UTF-16 units or UTF-8 bytes. Every unit above 0x7F is a name
// character, so over bytes a run never ends inside a longer character.
// Names are the parser's most common runs: eight units (sixteen bytes) at a
// time where that many remain, then a lookup per unit in a table read off
// IsNameChar. The block form spells the ASCII name units as a few ranges,
// fewer compares than one per range of the table; the test NameRunEnd holds
// it to IsNameChar for every unit in every place.
template <class Unit>
inline const Unit* NameRunEnd(const Unit* p, const Unit* end) {
  static_assert(sizeof(Unit) == 1 || sizeof(Unit) == 2, "bytes or UTF-16 units");
#if defined(__SSE2__)
  constexpr bool kBytes = sizeof(Unit) == 1;
  constexpr ptrdiff_t kStep = 16 / sizeof(Unit);
  auto splat = [](int value) {
    return kBytes ? _mm_set1_epi8(static_cast<char>(value)) : _mm_set1_epi16(static_cast<short>(value));
  };
  auto equal = [](__m128i a, __m128i b) {
    return kBytes ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b);
  };
  auto between = [&splat](__m128i value, int low, int high) {
    return kBytes ? _mm_and_si128(_mm_cmpgt_epi8(value, splat(low - 1)),
                                  _mm_cmplt_epi8(value, splat(high + 1)))
                  : _mm_and_si128(_mm_cmpgt_epi16(value, splat(low - 1)),
                                  _mm_cmplt_epi16(value, splat(high + 1)));
  };
  while (end - p >= kStep) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Every unit above 0x7F (a byte of that value compares as negative, so
    // the ranges below never take it); ASCII letters (either case); "-" to
    // ":" but "/", which holds "-", ".", the digits and ":"; and "_".
    const __m128i above = kBytes ? _mm_cmplt_epi8(units, _mm_setzero_si128())
                                 : _mm_andnot_si128(equal(_mm_and_si128(units, splat(0xFF80)),
                                                          _mm_setzero_si128()),
                                                    splat(-1));
    const __m128i letter = between(_mm_or_si128(units, splat(0x20)), 'a', 'z');
    const __m128i punctuation = _mm_andnot_si128(equal(units, splat('/')), between(units, '-', ':'));
    const __m128i underscore = equal(units, splat('_'));
    const __m128i name = _mm_or_si128(above, _mm_or_si128(letter, _mm_or_si128(punctuation, underscore)));
    const unsigned stops = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFFu;
    if (stops) return p + __builtin_ctz(stops) / sizeof(Unit);
    p += kStep;
  }
#endif
  struct Table {
    bool name[128];
    constexpr Table() : name() {
      for (int u = 0; u < 128; ++u) name[u] = IsNameChar(static_cast<WChar>(u));
    }
  };
  static constexpr Table kTable;
  while (p < end) {
    const uint32_t u = text::UnitValue(*p);
    if (u < 128 && !kTable.name[u]) break;
    ++p;
  }
  return p;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_CHAR_CLASSES_H
