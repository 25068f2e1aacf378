// The library's SIMD steps over runs of plain text, in one place. Finding
// the next UTF-16 unit or UTF-8 byte of interest: the parser looks for the
// next markup character or line break, the escaper for the next unit it
// must escape. Counting the UTF-16 units of UTF-8 bytes, for the positions
// of a document read as bytes. Copying runs of ASCII between UTF-8 bytes and UTF-16 units: the UTF-8
// codec's fast path. All read mostly long runs of plain text, so they test
// eight or sixteen units at a time where SSE2 is available.
#ifndef KELMO_TEXT_UNIT_SCAN_H
#define KELMO_TEXT_UNIT_SCAN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelmo/platform_types.h"

namespace kelmo::text {

// A UTF-16 unit or a UTF-8 byte as the number it stands for (a byte of a
// longer character is 0x80 or above, whatever the signedness of char).
inline uint32_t UnitValue(WChar unit) { return static_cast<uint16_t>(unit); }
inline uint32_t UnitValue(char byte) { return static_cast<unsigned char>(byte); }

// The units to stop at: the kListed units given, and with kControlsButTab
// every unit below 0x20 other than tab as well. Over UTF-8 bytes the listed
// units are ASCII, so that no byte of a longer character is ever a stop.
template <int kListed, bool kControlsButTab = false>
struct UnitStops {
  WChar listed[kListed];

  template <class Unit>
  bool Has(Unit unit) const {
    const uint32_t u = UnitValue(unit);
    if (kControlsButTab && u < 0x20 && u != 9) return true;
    for (int k = 0; k < kListed; ++k) {
      if (u == static_cast<uint16_t>(listed[k])) return true;
    }
    return false;
  }
};

// The first unit from p on (before end) that is one of the stops, or end.
// UTF-16 units are tested eight at a time, UTF-8 bytes sixteen.
template <class Unit, int kListed, bool kControlsButTab>
inline const Unit* FindStop(const Unit* p, const Unit* end,
                            const UnitStops<kListed, kControlsButTab>& stops) {
  static_assert(kListed >= 1 && kListed <= 5, "one to five listed units");
  static_assert(sizeof(Unit) == 1 || sizeof(Unit) == 2, "bytes or UTF-16 units");
#if defined(__SSE2__)
  constexpr bool kBytes = sizeof(Unit) == 1;
  constexpr ptrdiff_t kStep = 16 / sizeof(Unit);
  // One register per listed unit (slots past kListed repeat the first and
  // are never compared), so that the loop below keeps them all in registers.
  auto splat = [&stops](int k) {
    const WChar unit = stops.listed[k < kListed ? k : 0];
    return kBytes ? _mm_set1_epi8(static_cast<char>(unit)) : _mm_set1_epi16(static_cast<short>(unit));
  };
  auto equal = [](__m128i a, __m128i b) {
    return kBytes ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b);
  };
  const __m128i u0 = splat(0), u1 = splat(1), u2 = splat(2), u3 = splat(3), u4 = splat(4);
  const __m128i controlLimit = kBytes ? _mm_set1_epi8(0x1F) : _mm_set1_epi16(0x1F);
  const __m128i tab = kBytes ? _mm_set1_epi8(9) : _mm_set1_epi16(9);
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= kStep) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = equal(units, u0);
    if (kListed > 1) hit = _mm_or_si128(hit, equal(units, u1));
    if (kListed > 2) hit = _mm_or_si128(hit, equal(units, u2));
    if (kListed > 3) hit = _mm_or_si128(hit, equal(units, u3));
    if (kListed > 4) hit = _mm_or_si128(hit, equal(units, u4));
    if (kControlsButTab) {
      // Saturating subtraction leaves 0 exactly for the units up to 0x1F.
      const __m128i below = kBytes ? _mm_subs_epu8(units, controlLimit)
                                   : _mm_subs_epu16(units, controlLimit);
      hit = _mm_or_si128(hit, _mm_andnot_si128(equal(units, tab), equal(below, zero)));
    }
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return p + __builtin_ctz(mask) / sizeof(Unit);
    p += kStep;
  }
#endif
  while (p < end && !stops.Has(*p)) ++p;
  return p;
}

// How many UTF-16 units the UTF-8 bytes [p, end) decode to, for bytes that
// hold whole, well-formed characters: one for every byte but the
// continuation bytes, and one more for each lead byte of four (a surrogate
// pair). Lines and columns of UTF-8 input are counted with this, in the
// units the same text has when decoded. Sixteen bytes at a time.
inline uint32_t Utf16UnitsOfUtf8(const char* p, const char* end) {
  uint32_t units = 0;
#if defined(__SSE2__)
  const __m128i continuationBits = _mm_set1_epi8(static_cast<char>(0xC0));
  const __m128i continuation = _mm_set1_epi8(static_cast<char>(0x80));
  // Signed bytes: the lead bytes of four, 0xF0 and up, are from -16 to -1.
  const __m128i belowFourByteLead = _mm_set1_epi8(static_cast<char>(0xEF));
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  // Each byte's units (0, 1 or 2) summed by the byte-sum instruction, with
  // no bit count (which baseline x86-64 lacks). No shortcut for blocks of
  // ASCII: in text that mixes them with other blocks, the branch would be
  // guessed wrong more often than the sum costs.
  __m128i sums = zero;
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    p += 16;
    const __m128i trailing =
        _mm_cmpeq_epi8(_mm_and_si128(bytes, continuationBits), continuation);
    const __m128i fourLead =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, belowFourByteLead), _mm_cmplt_epi8(bytes, zero));
    const __m128i perByte = _mm_add_epi8(_mm_andnot_si128(trailing, one), _mm_and_si128(fourLead, one));
    sums = _mm_add_epi64(sums, _mm_sad_epu8(perByte, zero));
  }
  units += static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
#endif
  for (; p < end; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    units += (byte & 0xC0) != 0x80;
    units += byte >= 0xF0;
  }
  return units;
}

// The first unit from p on (before end) that is a surrogate half, or, with
// kTab, a tab; end when there is none. The escaper looks for these in runs
// that need no other escaping, so most runs are passed over eight at a time.
template <bool kTab>
inline const WChar* FindSurrogateOrTab(const WChar* p, const WChar* end) {
#if defined(__SSE2__)
  const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
  const __m128i tab = _mm_set1_epi16(9);
  while (end - p >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_cmpeq_epi16(_mm_and_si128(units, surrogateBits), surrogate);
    if (kTab) hit = _mm_or_si128(hit, _mm_cmpeq_epi16(units, tab));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return p + __builtin_ctz(mask) / 2;
    p += 8;
  }
#endif
  while (p < end) {
    const uint16_t unit = static_cast<uint16_t>(*p);
    if ((unit & 0xF800) == 0xD800 || (kTab && unit == 9)) return p;
    ++p;
  }
  return p;
}

// Sixteen-at-a-time ASCII copies for the UTF-8 codec. Each reads (and with
// kWrite stores) a whole chunk of sixteen and returns how many of them lead
// before the first non-ASCII one (16 when all are ASCII); the caller takes
// only that many and overwrites the rest later. Without SSE2 they take
// nothing and the codec's eight- and four-unit loops do the work.
constexpr size_t kAsciiChunk = 16;

// How many of a chunk lead before the first one whose bit is set in mask.
inline size_t LeadingAscii(unsigned mask) {
  return mask ? static_cast<size_t>(__builtin_ctz(mask)) : kAsciiChunk;
}

template <bool kWrite>
inline size_t WidenAsciiChunk([[maybe_unused]] const unsigned char* in,
                              [[maybe_unused]] WChar* out) {
#if defined(__SSE2__)
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  if (kWrite) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(chunk, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(chunk, zero));
  }
  return LeadingAscii(static_cast<unsigned>(_mm_movemask_epi8(chunk)));
#else
  return 0;
#endif
}

template <bool kWrite>
inline size_t NarrowAsciiChunk([[maybe_unused]] const WChar* in,
                               [[maybe_unused]] unsigned char* out) {
#if defined(__SSE2__)
  // The ASCII test masks each unit itself: saturating packs read units as
  // signed, so a unit at or above 0x8000 would pack to a small byte.
  const __m128i nonAsciiBits = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
  const __m128i asciiUnits =
      _mm_packs_epi16(_mm_cmpeq_epi16(_mm_and_si128(low, nonAsciiBits), zero),
                      _mm_cmpeq_epi16(_mm_and_si128(high, nonAsciiBits), zero));
  if (kWrite) _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return LeadingAscii(~static_cast<unsigned>(_mm_movemask_epi8(asciiUnits)) & 0xFFFFu);
#else
  return 0;
#endif
}

// Copies n units that are known to be ASCII to n bytes at out, in blocks
// that may overlap rather than one unit at a time (names, indents and
// markup are mostly a few units to a few dozen), and returns the end of
// the bytes. Reads and writes nothing outside the n units and bytes.
inline char* NarrowKnownAscii(const WChar* in, size_t n, char* out) {
  static_assert(sizeof(WChar) == 2, "two bytes a unit");
  if (n < 4) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(in[i]);
    return out + n;
  }
  // Four units in a 64-bit word become four bytes.
  auto narrowFour = [](const WChar* from, char* to) {
    uint64_t units;
    std::memcpy(&units, from, 8);
    const uint32_t bytes = static_cast<uint32_t>((units & 0xFF) | ((units >> 8) & 0xFF00) |
                                                 ((units >> 16) & 0xFF0000) |
                                                 ((units >> 24) & 0xFF000000));
    std::memcpy(to, &bytes, 4);
  };
  if (n < 8) {
    narrowFour(in, out);
    narrowFour(in + n - 4, out + n - 4);
    return out + n;
  }
#if defined(__SSE2__)
  auto narrowEight = [](const WChar* from, char* to) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(units, units));
  };
#else
  auto narrowEight = [&narrowFour](const WChar* from, char* to) {
    narrowFour(from, to);
    narrowFour(from + 4, to + 4);
  };
#endif
  for (size_t i = 0; i + 8 < n; i += 8) narrowEight(in + i, out + i);
  narrowEight(in + n - 8, out + n - 8);
  return out + n;
}

// Four bytes as four units in a word, the first one lowest, as four units
// read from memory are on the little-endian machines this runs on.
inline uint64_t WidenFourBytes(uint32_t four) {
#if defined(__SSE2__) && defined(__x86_64__)
  return static_cast<uint64_t>(_mm_cvtsi128_si64(
      _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(four)), _mm_setzero_si128())));
#else
  uint64_t word = four;
  word = (word | word << 16) & 0x0000FFFF0000FFFFull;
  return (word | word << 8) & 0x00FF00FF00FF00FFull;
#endif
}
// Two bytes as two units, the same way.
inline uint32_t WidenTwoBytes(uint16_t two) {
  const uint32_t word = two;
  return (word | word << 8) & 0x00FF00FFu;
}
inline uint64_t WidenBytes(uint32_t four) { return WidenFourBytes(four); }
inline uint32_t WidenBytes(uint16_t two) { return WidenTwoBytes(two); }

// The first and the last block of Block's size of a run of n bytes (n at
// least that size; the blocks may overlap), read from memory.
template <class Block>
inline void ReadEnds(const char* bytes, size_t n, Block& head, Block& tail) {
  std::memcpy(&head, bytes, sizeof(Block));
  std::memcpy(&tail, bytes + n - sizeof(Block), sizeof(Block));
}
template <class Block>
constexpr Block kHighBits = static_cast<Block>(0x8080808080808080ull);

// WidenAsciiRun of a run of one to two blocks.
template <class Block>
inline bool WidenEnds(const char* in, size_t n, WChar* out) {
  Block head, tail;
  ReadEnds(in, n, head, tail);
  const auto wideHead = WidenBytes(head), wideTail = WidenBytes(tail);
  std::memcpy(out, &wideHead, sizeof wideHead);
  std::memcpy(out + n - sizeof(Block), &wideTail, sizeof wideTail);
  return ((head | tail) & kHighBits<Block>) == 0;
}

// SameAsciiUnits of a run of one to two blocks.
template <class Block>
inline bool SameEnds(const char* bytes, const WChar* units, size_t n) {
  Block head, tail;
  ReadEnds(bytes, n, head, tail);
  if ((head | tail) & kHighBits<Block>) return false;
  decltype(WidenBytes(head)) knownHead, knownTail;
  std::memcpy(&knownHead, units, sizeof knownHead);
  std::memcpy(&knownTail, units + n - sizeof(Block), sizeof knownTail);
  return knownHead == WidenBytes(head) && knownTail == WidenBytes(tail);
}

// n bytes to n units, told in the same pass whether they were all ASCII
// (the values the parser stores are mostly a few bytes to a few dozen,
// read in blocks that may overlap): the n units are written whatever the
// bytes, and are the text only when this returns
// true (the caller decodes the bytes again otherwise).
inline bool WidenAsciiRun(const char* in, size_t n, WChar* out) {
  static_assert(sizeof(WChar) == 2, "two bytes a unit");
#if defined(__SSE2__)
  if (n >= 8) {
    __m128i any = _mm_setzero_si128();
    auto widenEight = [&any](const char* from, WChar* to) {
      const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
      any = _mm_or_si128(any, bytes);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
    };
    for (size_t i = 0; i + 8 < n; i += 8) widenEight(in + i, out + i);
    widenEight(in + n - 8, out + n - 8);
    return _mm_movemask_epi8(any) == 0;
  }
#endif
  // Most values are a few bytes: two blocks of four, or of two, that may
  // overlap.
  if (n >= 4) return WidenEnds<uint32_t>(in, n, out);
  if (n >= 2) return WidenEnds<uint16_t>(in, n, out);
  if (n == 0) return true;
  out[0] = static_cast<WChar>(static_cast<unsigned char>(in[0]));
  return static_cast<unsigned char>(in[0]) < 0x80;
}

// Whether n bytes are all ASCII and equal, one for one, to n units: a name
// read as bytes against a name kept as units. Blocks may overlap; nothing
// outside either run is read.
inline bool SameAsciiUnits(const char* bytes, const WChar* units, size_t n) {
#if defined(__SSE2__)
  if (n >= 8) {
    __m128i any = _mm_setzero_si128();
    __m128i differ = _mm_setzero_si128();
    auto compareEight = [&](size_t at) {
      const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + at));
      any = _mm_or_si128(any, eight);
      const __m128i wide = _mm_unpacklo_epi8(eight, _mm_setzero_si128());
      const __m128i known = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
      differ = _mm_or_si128(differ, _mm_xor_si128(wide, known));
    };
    for (size_t i = 0; i + 8 < n; i += 8) compareEight(i);
    compareEight(n - 8);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF &&
           _mm_movemask_epi8(any) == 0;
  }
#endif
  if (n >= 4) return SameEnds<uint32_t>(bytes, units, n);
  if (n >= 2) return SameEnds<uint16_t>(bytes, units, n);
  return n == 0 || (static_cast<unsigned char>(bytes[0]) < 0x80 &&
                    UnitValue(units[0]) == static_cast<unsigned char>(bytes[0]));
}

}  // namespace kelmo::text

#endif  // KELMO_TEXT_UNIT_SCAN_H
