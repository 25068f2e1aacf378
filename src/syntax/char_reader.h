// Hands out the input to the parser's scanners and keeps the line, column and
// offset of the last unit read. The scanners move the position over whole
// runs; lines and columns are counted only when asked for (Count), in one
// pass over what was read since, so that no scanner has to stop at a line
// break just to count it.
//
// The units are UTF-16 units or, for UTF-8 input read as it stands, bytes
// of whole, well-formed characters. Columns and offsets count UTF-16 units
// either way, the units the text has when decoded, so that a position
// means the same whichever form the document was read in.
#ifndef KELMO_SYNTAX_CHAR_READER_H
#define KELMO_SYNTAX_CHAR_READER_H

#include <cstdint>
#include <climits>

#include "kelmo/platform_types.h"
#include "text/unit_scan.h"

namespace kelmo::syntax {

template <class Unit>
struct BasicCharReader {
  // line, column, previous and countedUnits describe the units before
  // `counted`.
  uint32_t line = 1;
  uint32_t column = 0;  // so that the first unit read is column 1
  uint32_t countedUnits = 0;  // UTF-16 units consumed before `counted`
  const Unit* position = nullptr;
  const Unit* end = nullptr;
  const Unit* counted = nullptr;
  Unit previous = 0;

  // The UTF-16 units that the input [from, to) stands for.
  static uint32_t UnitsOf(const Unit* from, const Unit* to) {
    if constexpr (sizeof(Unit) == 1) {
      return text::Utf16UnitsOfUtf8(from, to);
    } else {
      return static_cast<uint32_t>(to - from);
    }
  }

  bool AtEnd() const { return position >= end; }

  // Callers check AtEnd first.
  Unit Next() { return *position++; }

  // Reads every unit up to p (at or after position, at most end).
  void AdvanceTo(const Unit* p) { position = p; }

  // Reads a run of units at once: every unit for which plain(c) holds, up
  // to the end. Returns the run's first unit; the run ends at position.
  template <class Plain>
  const Unit* SkipWhile(Plain plain) {
    const Unit* start = position;
    const Unit* p = start;
    while (p < end && plain(*p)) ++p;
    position = p;
    return start;
  }

  // Brings line, column and previous up to position, as if every unit read
  // since the last count had been counted on its own: the line changes at
  // the first unit after a break, so a carriage return and line feed pair
  // counts once, and a lone carriage return breaks the line too.
  void Count() {
    const Unit* from = counted;
    const Unit* to = position;
    counted = to;
    if (from == to) return;
    // Only the line starts matter: a unit starts a line when the unit
    // before it is a line feed, or a carriage return not followed by a
    // line feed. The unit before the first is `previous`.
    uint32_t starts = 0;
    const Unit* lastStart = nullptr;
    if (previous == 10 || (previous == 13 && *from != 10)) {
      ++starts;
      lastStart = from;
    }
    // b is a line break before `to`; the unit after it, if read, may start
    // a line.
    auto afterBreak = [&](const Unit* b) {
      if (b + 1 < to && (*b == 10 || b[1] != 10)) {
        ++starts;
        lastStart = b + 1;
      }
    };
    const Unit* p = from;
#if defined(__SSE2__)
    constexpr bool kBytes = sizeof(Unit) == 1;
    constexpr int kStep = 16 / sizeof(Unit);
    const __m128i lineFeed = kBytes ? _mm_set1_epi8(10) : _mm_set1_epi16(10);
    const __m128i carriageReturn = kBytes ? _mm_set1_epi8(13) : _mm_set1_epi16(13);
    auto breaks = [&](const Unit* at) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      return kBytes ? _mm_or_si128(_mm_cmpeq_epi8(units, lineFeed),
                                   _mm_cmpeq_epi8(units, carriageReturn))
                    : _mm_or_si128(_mm_cmpeq_epi16(units, lineFeed),
                                   _mm_cmpeq_epi16(units, carriageReturn));
    };
    while (to - p >= 4 * kStep) {
      // Most stretches of four blocks hold no break at all: one test for all.
      const __m128i b0 = breaks(p), b1 = breaks(p + kStep), b2 = breaks(p + 2 * kStep),
                    b3 = breaks(p + 3 * kStep);
      const __m128i any = _mm_or_si128(_mm_or_si128(b0, b1), _mm_or_si128(b2, b3));
      if (_mm_movemask_epi8(any)) {
        const __m128i blocks[4] = {b0, b1, b2, b3};
        for (int k = 0; k < 4; ++k) {
          unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(blocks[k]));
          while (mask) {
            const int bit = __builtin_ctz(mask);
            afterBreak(p + kStep * k + bit / static_cast<int>(sizeof(Unit)));
            mask &= ~(((1u << sizeof(Unit)) - 1) << bit);
          }
        }
      }
      p += 4 * kStep;
    }
#endif
    for (; p < to; ++p) {
      if (*p == 10 || *p == 13) afterBreak(p);
    }
    // The whole input at once is the usual case: its units may be known.
    const bool wholeInput = inputUnits != kUnitsUnknown && to == end && from == inputStart;
    const uint32_t units = wholeInput ? inputUnits : UnitsOf(from, to);
    countedUnits += units;
    if (starts) {
      line += starts;
      column = UnitsOf(lastStart, to);
    } else {
      column += units;
    }
    previous = to[-1];
  }

  // Units consumed so far, counting the last one read.
  uint32_t Offset() const { return countedUnits + UnitsOf(counted, position); }

  // Starts a new input; line, column and previous unit carry on. `units`,
  // when known, is what the whole input stands for in UTF-16 units, so that
  // counting it all at once needs no pass over it.
  static constexpr uint32_t kUnitsUnknown = UINT32_MAX;
  void SetInput(const Unit* text, uint32_t length, uint32_t units = kUnitsUnknown) {
    Count();
    position = text;
    counted = text;
    end = text + length;
    inputStart = text;
    inputUnits = units;
  }
  const Unit* inputStart = nullptr;
  uint32_t inputUnits = kUnitsUnknown;
};

using CharReader = BasicCharReader<WChar>;

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_CHAR_READER_H
