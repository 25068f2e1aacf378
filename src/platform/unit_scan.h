// Finding the next UTF-16 unit of interest in a run of text: the parser
// looks for the next markup character or line break, the escaper for the
// next unit it must escape. Both read mostly long runs of plain text, so the
// search tests eight units at a time where SSE2 is available.
#ifndef KELMO_PLATFORM_UNIT_SCAN_H
#define KELMO_PLATFORM_UNIT_SCAN_H

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelmo/platform_types.h"

namespace kelmo::platform {

// The units to stop at: the kListed units given, and with kControlsButTab
// every unit below 0x20 other than tab as well.
template <int kListed, bool kControlsButTab = false>
struct UnitStops {
  WChar listed[kListed];

  bool Has(WChar unit) const {
    if (kControlsButTab && static_cast<uint16_t>(unit) < 0x20 && unit != 9) return true;
    for (int k = 0; k < kListed; ++k) {
      if (unit == listed[k]) return true;
    }
    return false;
  }
};

// The first unit from p on (before end) that is one of the stops, or end.
template <int kListed, bool kControlsButTab>
inline const WChar* FindStop(const WChar* p, const WChar* end,
                             const UnitStops<kListed, kControlsButTab>& stops) {
  static_assert(kListed >= 1 && kListed <= 5, "one to five listed units");
#if defined(__SSE2__)
  // One register per listed unit (slots past kListed repeat the first and
  // are never compared), so that the loop below keeps them all in registers.
  auto splat = [&stops](int k) {
    return _mm_set1_epi16(static_cast<short>(stops.listed[k < kListed ? k : 0]));
  };
  const __m128i u0 = splat(0), u1 = splat(1), u2 = splat(2), u3 = splat(3), u4 = splat(4);
  const __m128i controlLimit = _mm_set1_epi16(0x1F);
  const __m128i tab = _mm_set1_epi16(9);
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_cmpeq_epi16(units, u0);
    if (kListed > 1) hit = _mm_or_si128(hit, _mm_cmpeq_epi16(units, u1));
    if (kListed > 2) hit = _mm_or_si128(hit, _mm_cmpeq_epi16(units, u2));
    if (kListed > 3) hit = _mm_or_si128(hit, _mm_cmpeq_epi16(units, u3));
    if (kListed > 4) hit = _mm_or_si128(hit, _mm_cmpeq_epi16(units, u4));
    if (kControlsButTab) {
      // Saturating subtraction leaves 0 exactly for the units up to 0x1F.
      const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(units, controlLimit), zero);
      hit = _mm_or_si128(hit, _mm_andnot_si128(_mm_cmpeq_epi16(units, tab), control));
    }
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return p + __builtin_ctz(mask) / 2;
    p += 8;
  }
#endif
  while (p < end && !stops.Has(*p)) ++p;
  return p;
}

}  // namespace kelmo::platform

#endif  // KELMO_PLATFORM_UNIT_SCAN_H
