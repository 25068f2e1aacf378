// Hands out the input to the parser's scanners and keeps the line, column and
// offset of the last unit read. The scanners move the position over whole
// runs; lines and columns are counted only when asked for (Count), in one
// pass over what was read since, so that no scanner has to stop at a line
// break just to count it.
#ifndef KELMO_SYNTAX_CHAR_READER_H
#define KELMO_SYNTAX_CHAR_READER_H

#include <cstdint>

#include "kelmo/platform_types.h"
#include "text/unit_scan.h"

namespace kelmo::syntax {

struct CharReader {
  // line, column and previous describe the units before `counted`.
  uint32_t line = 1;
  uint32_t column = 0;  // so that the first unit read is column 1
  uint32_t offsetBase = 0;  // units consumed from earlier inputs
  const WChar* chunkStart = nullptr;
  const WChar* position = nullptr;
  const WChar* end = nullptr;
  const WChar* counted = nullptr;
  WChar previous = 0;

  bool AtEnd() const { return position >= end; }

  // Callers check AtEnd first.
  WChar Next() { return *position++; }

  // Reads every unit up to p (at or after position, at most end).
  void AdvanceTo(const WChar* p) { position = p; }

  // Reads a run of units at once: every unit for which plain(c) holds, up
  // to the end. Returns the run's first unit; the run ends at position.
  template <class Plain>
  const WChar* SkipWhile(Plain plain) {
    const WChar* start = position;
    const WChar* p = start;
    while (p < end && plain(*p)) ++p;
    position = p;
    return start;
  }

  // Brings line, column and previous up to position, as if every unit read
  // since the last count had been counted on its own: the line changes at
  // the first unit after a break, so a carriage return and line feed pair
  // counts once, and a lone carriage return breaks the line too.
  void Count() {
    const WChar* from = counted;
    const WChar* to = position;
    counted = to;
    if (from == to) return;
    // Only the line starts matter: a unit starts a line when the unit
    // before it is a line feed, or a carriage return not followed by a
    // line feed. The unit before the first is `previous`.
    uint32_t starts = 0;
    const WChar* lastStart = nullptr;
    if (previous == 10 || (previous == 13 && *from != 10)) {
      ++starts;
      lastStart = from;
    }
    // b is a line break before `to`; the unit after it, if read, may start
    // a line.
    auto afterBreak = [&](const WChar* b) {
      if (b + 1 < to && (*b == 10 || b[1] != 10)) {
        ++starts;
        lastStart = b + 1;
      }
    };
    const WChar* p = from;
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi16(10);
    const __m128i carriageReturn = _mm_set1_epi16(13);
    auto breaks = [&](const WChar* at) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      return _mm_or_si128(_mm_cmpeq_epi16(units, lineFeed), _mm_cmpeq_epi16(units, carriageReturn));
    };
    while (to - p >= 32) {
      // Most stretches of 32 hold no break at all: one test for all four.
      const __m128i b0 = breaks(p), b1 = breaks(p + 8), b2 = breaks(p + 16), b3 = breaks(p + 24);
      const __m128i any = _mm_or_si128(_mm_or_si128(b0, b1), _mm_or_si128(b2, b3));
      if (_mm_movemask_epi8(any)) {
        const __m128i blocks[4] = {b0, b1, b2, b3};
        for (int k = 0; k < 4; ++k) {
          unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(blocks[k]));
          while (mask) {
            const int bit = __builtin_ctz(mask);
            afterBreak(p + 8 * k + bit / 2);
            mask &= ~(3u << bit);
          }
        }
      }
      p += 32;
    }
#endif
    for (; p < to; ++p) {
      if (*p == 10 || *p == 13) afterBreak(p);
    }
    if (starts) {
      line += starts;
      column = static_cast<uint32_t>(to - lastStart);
    } else {
      column += static_cast<uint32_t>(to - from);
    }
    previous = to[-1];
  }

  // Units consumed so far, counting the last one read.
  uint32_t Offset() const { return offsetBase + static_cast<uint32_t>(position - chunkStart); }

  // Starts a new input; line, column and previous unit carry on.
  void SetInput(const WChar* text, uint32_t length) {
    Count();
    offsetBase = Offset();
    chunkStart = text;
    position = text;
    counted = text;
    end = text + length;
  }
};

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_CHAR_READER_H
