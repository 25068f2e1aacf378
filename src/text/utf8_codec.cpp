#include "text/utf8_codec.h"

#include <cstring>

#include "text/output_cursor.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"

namespace kelmo::text {
namespace {

// The form that a byte above 0x7F begins: how many continuation bytes
// follow it, and the bounds of the first of them, which exclude overlong
// forms (E0, F0), surrogates (ED) and code points above U+10FFFF (F4).
// False for a byte that never begins a character.
inline bool LeadForm(unsigned char lead, size_t& trailing, unsigned char& low, unsigned char& high) {
  low = 0x80;
  high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return false;
  }
  return true;
}

constexpr uint64_t kHighBitOfEachByte = 0x8080808080808080ull;
// A unit at or above 0x80 has a bit set in its top nine bits.
constexpr uint64_t kNonAsciiBitsOfEachUnit = 0xFF80FF80FF80FF80ull;

// Takes whole chunks of ASCII while the output has room for one: `copy`
// reads (and stores) the chunk at the current place and says how many lead
// before the first unit of a longer form, which ends the bulk copy after
// those. Shared by both directions.
template <class Produced, class HasRoom, class CopyChunk>
inline void TakeAsciiChunks(size_t size, size_t& i, Produced& produced, HasRoom hasRoom,
                            CopyChunk copy) {
  while (size - i >= kAsciiChunk && hasRoom()) {
    const size_t ascii = copy();
    i += ascii;
    produced += ascii;
    if (ascii < kAsciiChunk) break;
  }
}

// The codecs below are written once for both passes of the two-step
// contract: kWrite false only counts, and the compiler drops every store and
// bounds check from that instantiation. kStrict fails instead of replacing
// an ill-formed sequence.
template <bool kWrite, bool kStrict = false>
int64_t DecodeUtf8Pass(const unsigned char* in, size_t size, WChar* out, size_t capacity) {
  size_t i = 0;
  size_t produced = 0;
  auto emit = [&](uint32_t unit) {
    if (kWrite) {
      if (produced >= capacity) return false;
      out[produced] = static_cast<WChar>(unit);
    }
    ++produced;
    return true;
  };

  while (i < size) {
    // Bulk copy of ASCII, sixteen bytes per test, widened in registers.
    TakeAsciiChunks(
        size, i, produced, [&] { return !kWrite || capacity - produced >= kAsciiChunk; },
        [&] { return WidenAsciiChunk<kWrite>(in + i, kWrite ? out + produced : nullptr); });
    // Bulk copy of ASCII, eight bytes per test.
    while (size - i >= 8) {
      uint64_t chunk;
      std::memcpy(&chunk, in + i, sizeof chunk);
      if ((chunk & kHighBitOfEachByte) != 0) break;
      if (kWrite) {
        if (capacity - produced < 8) return kConversionFailed;
        for (size_t k = 0; k < 8; ++k) out[produced + k] = static_cast<WChar>(in[i + k]);
      }
      i += 8;
      produced += 8;
    }
    if (i >= size) break;

    const unsigned char lead = in[i];
    if (lead < 0x80) {
      if (!emit(lead)) return kConversionFailed;
      ++i;
      continue;
    }

    // Well-formed two- and three-byte forms, the bulk of non-ASCII text,
    // decoded directly; everything else takes the checked path below.
    if (lead >= 0xC2 && lead <= 0xDF && size - i >= 2 && (in[i + 1] & 0xC0) == 0x80) {
      if (!emit(((lead & 0x1Fu) << 6) | (in[i + 1] & 0x3Fu))) return kConversionFailed;
      i += 2;
      continue;
    }
    if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && size - i >= 3 && (in[i + 1] & 0xC0) == 0x80 &&
        (in[i + 2] & 0xC0) == 0x80) {
      if (!emit(((lead & 0x0Fu) << 12) | ((in[i + 1] & 0x3Fu) << 6) | (in[i + 2] & 0x3Fu)))
        return kConversionFailed;
      i += 3;
      continue;
    }

    size_t trailing;
    unsigned char low, high;
    if (!LeadForm(lead, trailing, low, high)) {
      if (kStrict || !emit(kReplacementCharacter)) return kConversionFailed;
      ++i;
      continue;
    }
    uint32_t codePoint = lead & (0x3Fu >> trailing);

    size_t taken = 1;
    for (; taken <= trailing; ++taken) {
      if (i + taken >= size) break;
      const unsigned char next = in[i + taken];
      if (next < low || next > high) break;
      low = 0x80;
      high = 0xBF;
      codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    if (taken <= trailing) {
      // The bad byte itself is not consumed: it may start the next sequence.
      if (kStrict || !emit(kReplacementCharacter)) return kConversionFailed;
      i += taken;
      continue;
    }
    i += taken;

    if (codePoint >= 0x10000) {
      if (!emit(HighSurrogateOf(codePoint)) || !emit(LowSurrogateOf(codePoint))) return kConversionFailed;
    } else if (!emit(codePoint)) {
      return kConversionFailed;
    }
  }
  return static_cast<int64_t>(produced);
}

template <bool kWrite>
int64_t EncodeUtf8Pass(const WChar* in, size_t size, unsigned char* out, size_t capacity) {
  size_t i = 0;
  uint64_t produced = 0;  // 3 bytes per unit may exceed 32 bits
  auto room = [&](size_t bytes) { return !kWrite || capacity - produced >= bytes; };

  while (i < size) {
    // Sixteen units at a time, narrowed in registers.
    TakeAsciiChunks(
        size, i, produced, [&] { return room(kAsciiChunk); },
        [&] { return NarrowAsciiChunk<kWrite>(in + i, kWrite ? out + produced : nullptr); });
    while (size - i >= 4) {
      uint64_t chunk;
      static_assert(sizeof(WChar) * 4 == sizeof chunk, "four units per chunk");
      std::memcpy(&chunk, in + i, sizeof chunk);
      if ((chunk & kNonAsciiBitsOfEachUnit) != 0) break;
      if (kWrite) {
        if (!room(4)) return kConversionFailed;
        for (size_t k = 0; k < 4; ++k) out[produced + k] = static_cast<unsigned char>(in[i + k]);
      }
      i += 4;
      produced += 4;
    }
    if (i >= size) break;

    // One unit at a time while the text stays outside ASCII (CJK text
    // rarely goes back to the block loops above).
    do {
      uint32_t unit = static_cast<char16_t>(in[i]);
      if (unit < 0x80) {
        if (!room(1)) return kConversionFailed;
        if (kWrite) out[produced] = static_cast<unsigned char>(unit);
        produced += 1;
        ++i;
      } else {
        uint32_t codePoint = unit;
        size_t units = 1;
        if (StartsSurrogatePair(in, size, i)) {
          codePoint = CombineSurrogates(unit, static_cast<char16_t>(in[i + 1]));
          units = 2;
        } else if (IsSurrogate(unit)) {
          codePoint = kReplacementCharacter;
        }
        const size_t bytes = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
        if (!room(bytes)) return kConversionFailed;
        if (kWrite) PutUtf8(codePoint, out + produced);
        produced += bytes;
        i += units;
      }
    } while (i < size && static_cast<char16_t>(in[i]) >= 0x80);
  }
  return static_cast<int64_t>(produced);
}

}  // namespace

int64_t DecodeUtf8(const unsigned char* in, size_t size, WChar* out, size_t capacity) {
  return out == nullptr ? DecodeUtf8Pass<false>(in, size, nullptr, 0)
                        : DecodeUtf8Pass<true>(in, size, out, capacity);
}

WChar* DecodeTrustedUtf8(const char* in, size_t size, WChar* out, WChar* outEnd) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  const char* p = in;
  const char* end = in + size;
  while (p < end) {
    // The ASCII that leads the next sixteen bytes, widened in registers; a
    // chunk stores all sixteen units, so only where they fit.
    if (end - p >= ptrdiff_t(kAsciiChunk) && outEnd - out >= ptrdiff_t(kAsciiChunk)) {
      const size_t ascii = WidenAsciiChunk<true>(bytes + (p - in), out);
      p += ascii;
      out += ascii;
      if (ascii == kAsciiChunk) continue;
    }
    // Then the characters of longer forms up to the next ASCII byte, and
    // that byte alone wherever a chunk could not be taken: near the end of
    // the input, or of the room (the units of a text of longer forms are
    // fewer than its bytes).
    while (p < end && static_cast<unsigned char>(*p) >= 0x80) out += TakeTrustedUtf8Character(p, out);
    if (p < end && (end - p < ptrdiff_t(kAsciiChunk) || outEnd - out < ptrdiff_t(kAsciiChunk)))
      out += TakeTrustedUtf8Character(p, out);
  }
  return out;
}

namespace {

// The UTF-16 units that a byte of well-formed UTF-8 accounts for.
inline int Utf16UnitsOfLead(unsigned char byte) {
  return ((byte & 0xC0) != 0x80) + (byte >= 0xF0);
}

// Checks the character at in[i] (a byte at least remains) as the checked
// path of DecodeUtf8Pass does, and moves i past it; false when it is
// ill-formed.
inline bool TakeWellFormedCharacter(const unsigned char* in, size_t size, size_t& i) {
  const unsigned char lead = in[i];
  if (lead < 0x80) {
    ++i;
    return true;
  }
  size_t trailing;
  unsigned char low, high;
  if (!LeadForm(lead, trailing, low, high)) return false;
  if (size - i <= trailing) return false;
  for (size_t k = 1; k <= trailing; ++k) {
    const unsigned char next = in[i + k];
    if (next < low || next > high) return false;
    low = 0x80;
    high = 0xBF;
  }
  i += trailing + 1;
  return true;
}

#if defined(__SSE2__)
// Sixteen bytes at a time: each continuation byte must stand exactly where
// a lead byte before it (in this block or the three bytes before it) asks
// for one. That is the whole rule for the common lead bytes; the few whose
// second byte has narrower bounds (E0, ED, F0, F4) or that can never lead
// (C0, C1, F5 and up) are "rare", and a block that holds one is checked a
// character at a time.
struct Utf8Blocks {
  const __m128i zero = _mm_setzero_si128();
  const __m128i belowTwoByteLead = _mm_set1_epi8(static_cast<char>(0xBF));
  const __m128i belowThreeByteLead = _mm_set1_epi8(static_cast<char>(0xDF));
  const __m128i belowFourByteLead = _mm_set1_epi8(static_cast<char>(0xEF));
  // Signed, the continuation bytes 0x80 to 0xBF are -128 to -65.
  const __m128i aboveContinuation = _mm_set1_epi8(-64);
  const __m128i leadPairBits = _mm_set1_epi8(static_cast<char>(0xFE));
  const __m128i neverLead = _mm_set1_epi8(static_cast<char>(0xC0));  // C0 and C1
  const __m128i narrowE0 = _mm_set1_epi8(static_cast<char>(0xE0));
  const __m128i narrowED = _mm_set1_epi8(static_cast<char>(0xED));
  const __m128i narrowF0 = _mm_set1_epi8(static_cast<char>(0xF0));
  const __m128i fromF4 = _mm_set1_epi8(static_cast<char>(0xF4));

  // The bytes where the structure fails, given the block and the block
  // one, two and three bytes back; `rare` gets the rare lead bytes.
  __m128i Misplaced(__m128i block, __m128i back1, __m128i back2, __m128i back3,
                    __m128i& rare) const {
    // Not zero where a lead byte before asks for a continuation byte here.
    const __m128i needed = _mm_or_si128(
        _mm_subs_epu8(back1, belowTwoByteLead),
        _mm_or_si128(_mm_subs_epu8(back2, belowThreeByteLead), _mm_subs_epu8(back3, belowFourByteLead)));
    const __m128i free = _mm_cmpeq_epi8(needed, zero);
    const __m128i continuation = _mm_cmplt_epi8(block, aboveContinuation);
    rare = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(_mm_and_si128(block, leadPairBits), neverLead),
                     _mm_or_si128(_mm_cmpeq_epi8(block, narrowE0), _mm_cmpeq_epi8(block, narrowED))),
        _mm_or_si128(_mm_cmpeq_epi8(block, narrowF0),
                     _mm_cmpeq_epi8(_mm_max_epu8(block, fromF4), block)));
    // A continuation byte where none is asked for, or none where one is.
    return _mm_cmpeq_epi8(free, continuation);
  }
  // Each byte's UTF-16 units, as bytes: 0 for a continuation byte, 2 for a
  // lead of four, 1 otherwise.
  __m128i UnitsOfBytes(__m128i block) const {
    const __m128i continuation = _mm_cmplt_epi8(block, aboveContinuation);
    const __m128i fourLead = _mm_and_si128(_mm_cmpgt_epi8(block, belowFourByteLead),
                                           _mm_cmplt_epi8(block, zero));
    return _mm_add_epi8(_mm_andnot_si128(continuation, one), _mm_and_si128(fourLead, one));
  }
  const __m128i one = _mm_set1_epi8(1);
  // The same with the bytes back taken from the block before.
  __m128i Misplaced(__m128i block, __m128i before, __m128i& rare) const {
    return Misplaced(block, _mm_or_si128(_mm_slli_si128(block, 1), _mm_srli_si128(before, 15)),
                     _mm_or_si128(_mm_slli_si128(block, 2), _mm_srli_si128(before, 14)),
                     _mm_or_si128(_mm_slli_si128(block, 3), _mm_srli_si128(before, 13)), rare);
  }
};
#endif

}  // namespace

bool IsWellFormedUtf8(const unsigned char* in, size_t size) {
  return WellFormedUtf8Units(in, size) != kConversionFailed;
}

int64_t WellFormedUtf8Units(const unsigned char* in, size_t size) {
  if (size == 0) return 0;  // `in` may then be null
#if defined(__SSE2__)
  const Utf8Blocks blocks;
  __m128i before = blocks.zero;
  size_t i = 0;
  // Units of the bytes before i: a byte gives one unless it continues a
  // character, and a lead of four gives a second (the pair's low half).
  // Blocks of ASCII add sixteen; the others sum their bytes' units in
  // `sums`; bytes checked a character at a time are added one by one.
  int64_t units = 0;
  __m128i sums = blocks.zero;
  auto addBytes = [&](size_t from, size_t to) {
    for (; from < to; ++from) units += Utf16UnitsOfLead(in[from]);
  };
  // From the character that the byte before `at` belongs to, when that is
  // a longer one (its lead at most three bytes back), a character at a time
  // up to `until` or past it; false when one is ill-formed.
  auto checkCharacters = [&](size_t at, size_t until) {
    size_t k = at;
    for (size_t back = 1; back <= 3 && back <= at; ++back) {
      const unsigned char byte = in[at - back];
      if (byte < 0x80) break;
      if (byte >= 0xC0) {
        k = at - back;
        break;
      }
    }
    while (k < until) {
      if (!TakeWellFormedCharacter(in, size, k)) return false;
    }
    addBytes(at, k);
    i = k;
    return true;
  };
  auto load = [in](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)); };
  while (size - i >= 16) {
    // Four blocks at a time past the first (whose bytes back are then in
    // memory), checked with no branch per block: in text that mixes ASCII
    // with longer characters, such a branch is guessed wrong too often.
    if (i >= 16 && size - i >= 64) {
      const __m128i b0 = load(i), b1 = load(i + 16), b2 = load(i + 32), b3 = load(i + 48);
      if (!_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_or_si128(b0, b1), _mm_or_si128(b2, b3)), before))) {
        before = b3;
        i += 64;
        units += 64;
        continue;
      }
      __m128i rareAny = blocks.zero, misplacedAny = blocks.zero, perByte = blocks.zero;
      for (size_t k = 0; k < 4; ++k) {
        const size_t at = i + 16 * k;
        const __m128i block = k == 0 ? b0 : k == 1 ? b1 : k == 2 ? b2 : b3;
        __m128i rare;
        misplacedAny = _mm_or_si128(
            misplacedAny, blocks.Misplaced(block, load(at - 1), load(at - 2), load(at - 3), rare));
        rareAny = _mm_or_si128(rareAny, rare);
        perByte = _mm_add_epi8(perByte, blocks.UnitsOfBytes(block));
      }
      if (!_mm_movemask_epi8(rareAny)) {
        if (_mm_movemask_epi8(misplacedAny)) return kConversionFailed;
        sums = _mm_add_epi64(sums, _mm_sad_epu8(perByte, blocks.zero));
        before = b3;
        i += 64;
        continue;
      }
      // A rare lead among them: the blocks one at a time.
    }
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    // ASCII after a block that asks for nothing more: nothing to check.
    if (!_mm_movemask_epi8(_mm_or_si128(block, before))) {
      before = block;
      i += 16;
      units += 16;
      continue;
    }
    __m128i rare;
    // The bytes back are read again from memory past the first block.
    const __m128i misplaced =
        i == 0 ? blocks.Misplaced(block, before, rare)
               : blocks.Misplaced(block, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i - 1)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i - 2)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i - 3)), rare);
    if (_mm_movemask_epi8(rare)) {
      if (!checkCharacters(i, i + 16)) return kConversionFailed;
      // A whole character ends where the check stopped: nothing before it
      // asks for more.
      before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i - 16));
      continue;
    }
    if (_mm_movemask_epi8(misplaced)) return kConversionFailed;
    sums = _mm_add_epi64(sums, _mm_sad_epu8(blocks.UnitsOfBytes(block), blocks.zero));
    before = block;
    i += 16;
  }
  units += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
  // The tail, padded with zeros: a character cut off by the end asks for a
  // continuation byte that is not there.
  alignas(16) unsigned char tail[16] = {};
  std::memcpy(tail, in + i, size - i);
  __m128i rare;
  const __m128i misplaced =
      blocks.Misplaced(_mm_load_si128(reinterpret_cast<const __m128i*>(tail)), before, rare);
  if (_mm_movemask_epi8(rare)) return checkCharacters(i, size) ? units : kConversionFailed;
  if (_mm_movemask_epi8(misplaced)) return kConversionFailed;
  addBytes(i, size);
  return units;
#else
  return DecodeUtf8Pass<false, true>(in, size, nullptr, 0);
#endif
}

int64_t EncodeUtf8(const WChar* in, size_t size, unsigned char* out, size_t capacity) {
  return out == nullptr ? EncodeUtf8Pass<false>(in, size, nullptr, 0)
                        : EncodeUtf8Pass<true>(in, size, out, capacity);
}

bool AppendUtf8Strict(const WChar* in, size_t size, std::string& out) {
  for (size_t i = 0; i < size; ++i) {
    if (StartsSurrogatePair(in, size, i)) {
      ++i;
    } else if (IsSurrogate(static_cast<char16_t>(in[i]))) {
      return false;
    }
  }
  const int64_t needed = EncodeUtf8(in, size, nullptr, 0);
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(needed));
  EncodeUtf8(in, size, reinterpret_cast<unsigned char*>(&out[start]), static_cast<size_t>(needed));
  return true;
}

}  // namespace kelmo::text
