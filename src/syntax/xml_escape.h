// Escaping of element text and attribute values for XML output, and the
// character references that stand in for what an encoding cannot carry. The
// characters to escape are those of char_classes.h (IsEscaped); every form
// of the test here, the eight- and sixteen-at-a-time scans and the table of
// ASCII stops, is built from that list.
// Pure text work: the output is any sink with Append(const WChar*, uint32_t)
// (the writer's wide text, its UTF-8 bytes, or text bound for a narrower
// encoding). A sink that also has AppendContent receives the runs that need
// no escaping there, so that it may still replace characters in them by
// references.
#ifndef KELMO_SYNTAX_XML_ESCAPE_H
#define KELMO_SYNTAX_XML_ESCAPE_H

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelmo/platform_types.h"
#include "syntax/char_classes.h"
#include "syntax/char_ref.h"
#include "text/text_length.h"
#include "text/unicode_units.h"
#include "text/unit_scan.h"
#include "text/utf8_codec.h"

namespace kelmo::syntax {

namespace escape_steps {

using Target = EscapeTarget;

// The markup characters as the units the scans stop at.
struct EscapedMarkup {
  text::UnitStops<kMarkupCharacterCount, true> stops{};
  constexpr EscapedMarkup() {
    for (int k = 0; k < kMarkupCharacterCount; ++k) stops.listed[k] = kMarkupCharacters[k];
  }
};
inline constexpr EscapedMarkup kEscapedMarkup;

// Index of the first unit from i on that needs escaping, or length: control
// units other than tab, and the five markup characters.
inline uint32_t PlainRunEnd(const WChar* text, uint32_t i, uint32_t length) {
  return static_cast<uint32_t>(text::FindStop(text + i, text + length, kEscapedMarkup.stops) - text);
}

// The escaped form of a unit that ends a plain run, written at `to`: an
// entity for the five markup characters, a character reference for line
// breaks, tabs, other controls and surrogate halves outside a pair. Returns
// its length, at most kMaxEscapedUnit units.
constexpr uint32_t kMaxEscapedUnit = 8;
template <class Unit>
constexpr uint32_t EscapedForm(WChar c, Unit* to) {
  if (const int k = EntityIndexFor(static_cast<uint16_t>(c)); k >= 0) {
    const NamedEntity& entity = kNamedEntities[k];
    for (uint32_t n = 0; n < entity.length; ++n) to[n] = static_cast<Unit>(entity.reference[n]);
    return entity.length;
  }
  // One digit for the line breaks, two for the other control units, four
  // for a lone surrogate half.
  const char32_t value = static_cast<uint16_t>(c);
  return FormatCharacterReference(value, IsLineBreak(value) ? 1 : value < 0x100 ? 2 : 4, to);
}

template <class Out>
void AppendEscaped(WChar c, Out& out) {
  WChar form[kMaxEscapedUnit];
  out.Append(form, EscapedForm(c, form));
}

// The end of a plain run [start, end) that the run scan found: before the
// first surrogate half that is not part of a pair (no encoding carries one,
// so only a reference keeps it) and, in attribute values, the first tab.
inline uint32_t PlainRunCut(const WChar* text, uint32_t start, uint32_t end, uint32_t length,
                            Target target) {
  uint32_t k = start;
  while (k < end) {
    const WChar* hit = target == Target::kAttributeValue
                           ? text::FindSurrogateOrTab<true>(text + k, text + end)
                           : text::FindSurrogateOrTab<false>(text + k, text + end);
    k = static_cast<uint32_t>(hit - text);
    if (k >= end) break;
    const uint16_t unit = static_cast<uint16_t>(text[k]);
    if (unit == '\t') return k;
    if (!text::StartsSurrogatePair(text, length, k)) return k;
    k += 2;
  }
  return end;
}

template <class Out, class = void>
struct TakesContent : std::false_type {};
template <class Out>
struct TakesContent<Out, std::void_t<decltype(std::declval<Out&>().AppendContent(
                             std::declval<const WChar*>(), uint32_t()))>> : std::true_type {};

// A run that needs no escaping. Text bound for a narrower encoding may
// still need references, for the characters the encoding cannot carry.
template <class Out>
void AppendPlain(Out& out, const WChar* text, uint32_t n) {
  if constexpr (TakesContent<Out>::value) {
    out.AppendContent(text, n);
  } else {
    out.Append(text, n);
  }
}

// For each ASCII unit, whether it ends a plain run: bit 0 in element text,
// bit 1 in attribute values (which escape the tab too).
struct AsciiStops {
  uint8_t bits[128] = {};
  constexpr AsciiStops() {
    for (int c = 0; c < 128; ++c) {
      bits[c] = (IsEscaped(c, Target::kElementText) ? 1 : 0) |
                (IsEscaped(c, Target::kAttributeValue) ? 2 : 0);
    }
  }
};
constexpr AsciiStops kAsciiStops;

// Short texts, the most common attribute values, are scanned unit by unit
// with a table: cheaper than setting up the wide scan for a few units.
constexpr uint32_t kShortText = 16;

inline uint32_t ShortPlainRunEnd(const WChar* text, uint32_t i, uint32_t length, Target target) {
  const uint8_t bit = target == Target::kAttributeValue ? 2 : 1;
  for (; i < length; ++i) {
    const uint16_t unit = static_cast<uint16_t>(text[i]);
    if (unit < 0x80) {
      if (kAsciiStops.bits[unit] & bit) return i;
    } else if ((unit & 0xF800) == 0xD800) {
      if (!text::StartsSurrogatePair(text, length, i)) return i;
      ++i;
    }
  }
  return length;
}

template <class Out, class = void>
struct TakesUtf8 : std::false_type {};
template <class Out>
struct TakesUtf8<Out, std::void_t<decltype(std::declval<Out&>().Utf8Room(uint32_t()))>>
    : std::true_type {};

// The escaped form of every ASCII unit as bytes, read off EscapedForm, so
// that the UTF-8 kernel writes one with a single eight-byte store. Units
// that stay as they are have length 0.
struct AsciiForms {
  char bytes[128][kMaxEscapedUnit] = {};
  uint8_t length[128] = {};
  constexpr AsciiForms() {
    for (int c = 0; c < 128; ++c) {
      if (IsEscaped(c, Target::kAttributeValue)) {
        length[c] = static_cast<uint8_t>(EscapedForm(static_cast<WChar>(c), bytes[c]));
      }
    }
  }
};
inline constexpr AsciiForms kAsciiForms;

// Bytes past the escaped text that EscapeToUtf8 may overwrite: it stores
// whole sixteen-byte blocks, of which only the leading bytes count.
constexpr uint32_t kUtf8StoreSlack = 16;

// Where writing escaped UTF-8 has got to: the end of the bytes, and the
// units that escaped forms add to the wide text beyond the one each stands
// for (encoded characters keep their units). Passed and returned by value:
// a pointer or count behind a reference would have to be read again after
// every byte stored, as a byte store may alias anything.
struct Utf8Cursor {
  char* to;
  uint64_t grown;
};

// Writes the UTF-8 (or the escaped form) of the unit at text[i], which the
// scan found not to be plain ASCII, at the cursor and moves it past the
// bytes; `taken` is set to the units used (two for a surrogate pair).
inline Utf8Cursor PutSpecialUnit(const WChar* text, uint32_t i, uint32_t length, Utf8Cursor at,
                                 uint32_t& taken) {
  const uint32_t unit = static_cast<uint16_t>(text[i]);
  taken = 1;
  if (unit < 0x80) {
    std::memcpy(at.to, kAsciiForms.bytes[unit], kMaxEscapedUnit);
    return {at.to + kAsciiForms.length[unit], at.grown + kAsciiForms.length[unit] - 1u};
  }
  if (unit < 0x800) {  // most letters of alphabetic scripts
    at.to[0] = static_cast<char>(0xC0 | (unit >> 6));
    at.to[1] = static_cast<char>(0x80 | (unit & 0x3F));
    return {at.to + 2, at.grown};
  }
  if (!text::IsSurrogate(unit)) return {text::PutUtf8(unit, at.to), at.grown};
  // Outside ASCII nothing is escaped but a surrogate half without its
  // partner, which no encoding can carry.
  if (text::StartsSurrogatePair(text, length, i)) {
    const uint32_t low = static_cast<uint16_t>(text[i + 1]);
    taken = 2;
    return {text::PutUtf8(text::CombineSurrogates(unit, low), at.to), at.grown};
  }
  const uint32_t form = EscapedForm(text[i], at.to);
  return {at.to + form, at.grown + form - 1};
}

// Whether the unit is written as it is in a run: ASCII that needs no
// escaping (tab only in element text).
inline bool IsPlainAscii(uint32_t unit, Target target) {
  const uint8_t bit = target == Target::kAttributeValue ? 2 : 1;
  return unit < 0x80 && !(kAsciiStops.bits[unit] & bit);
}

#if defined(__SSE2__) && defined(__SIZEOF_INT128__)
#define KELMO_ESCAPE_BLOCKS 1
// Up to sixteen units packed to bytes, in unit order: what a block stores.
// Held as one integer so that the bytes after a unit shift down to the
// front with one variable shift.
using BlockBytes = unsigned __int128;

inline BlockBytes ToBlockBytes(__m128i bytes) {
  BlockBytes all;
  std::memcpy(&all, &bytes, 16);
  return all;
}

// Of a block's bytes, those of units that are not plain ASCII: one bit
// each. The saturating pack turns every unit above 0xFF into 0xFF and every
// unit from 0x8000 into 0, so the test "below 0x20 as a signed byte" takes
// all non-ASCII units together with the controls; the markup characters
// are compared one by one.
template <bool kTabStays>
inline unsigned SpecialBytes(BlockBytes all) {
  __m128i bytes;
  std::memcpy(&bytes, &all, 16);
  __m128i special = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
  if (kTabStays) special = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(9)), special);
  for (char c : kMarkupCharacters)
    special = _mm_or_si128(special, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)));
  return static_cast<unsigned>(_mm_movemask_epi8(special));
}

// Writes the block of n units (at most sixteen) at text + i, given as its
// bytes and the bits of its special units (below n): the bytes are stored
// whole, then each special unit is written in its place and the plain bytes
// after it are stored again behind it. Returns the units taken: n, or one
// more when a pair starts at the block's last unit.
inline uint32_t PutBlock(const WChar* text, uint32_t i, uint32_t n, uint32_t length,
                         BlockBytes bytes, unsigned special, Utf8Cursor& cursor) {
  Utf8Cursor at = cursor;
  std::memcpy(at.to, &bytes, 16);
  uint32_t next = 0;  // the first unit of the block not yet in place
  while (special) {
    const uint32_t unit = static_cast<uint32_t>(__builtin_ctz(special));
    at.to += unit - next;
    uint32_t taken;
    at = PutSpecialUnit(text, i + unit, length, at, taken);
    next = unit + taken;
    special &= ~0u << next;
    if (next < n && !(special >> next & 1)) {
      const BlockBytes rest = bytes >> (8 * next);
      std::memcpy(at.to, &rest, 16);
    }
  }
  if (next < n) {
    at.to += n - next;
    next = n;
  }
  cursor = at;
  return next;
}

// Escapes sixteen units at a time for as long as sixteen remain, then the
// last four to fifteen as one block read by two loads that overlap (so that
// nothing past the text is read) and put back in unit order. Returns the
// units taken; fewer than four are left.
template <bool kTabStays>
inline uint32_t EscapeBlocksToUtf8(const WChar* text, uint32_t length, Utf8Cursor& cursor) {
  Utf8Cursor at = cursor;
  auto load = [text](uint32_t at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
  };
  uint32_t i = 0;
  while (length - i >= 16) {
    const BlockBytes bytes = ToBlockBytes(_mm_packus_epi16(load(i), load(i + 8)));
    const unsigned special = SpecialBytes<kTabStays>(bytes);
    if (special == 0xFFFFu) {
      // Nothing plain in the block, as in text of ideographic scripts: unit
      // after unit, with no mask to keep and no plain bytes to store.
      for (const uint32_t end = i + 16; i < end;) {
        uint32_t taken;
        at = PutSpecialUnit(text, i, length, at, taken);
        i += taken;
      }
      continue;
    }
    i += PutBlock(text, i, 16, length, bytes, special, at);
  }
  const uint32_t n = length - i;
  if (n < 4) {
    cursor = at;
    return i;
  }
  BlockBytes bytes;
  if (n >= 8) {
    // Units 0 to 7, then units n - 8 to n - 1 of which the last n - 8 are new.
    const BlockBytes both = ToBlockBytes(_mm_packus_epi16(load(i), load(i + n - 8)));
    const uint64_t front = static_cast<uint64_t>(both);
    const uint64_t back = static_cast<uint64_t>(both >> 64);
    bytes = n > 8 ? front | BlockBytes(back >> (8 * (16 - n))) << 64 : BlockBytes(front);
  } else {
    auto loadFour = [text](uint32_t at) {
      return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text + at));
    };
    const __m128i units = _mm_unpacklo_epi64(loadFour(i), loadFour(i + n - 4));
    const uint64_t both = static_cast<uint64_t>(ToBlockBytes(_mm_packus_epi16(units, units)));
    const uint64_t front = both & 0xFFFFFFFFu;
    const uint64_t back = (both >> 32) & 0xFFFFFFFFu;
    bytes = n > 4 ? front | (back >> (8 * (8 - n))) << 32 : front;
  }
  const unsigned special = SpecialBytes<kTabStays>(bytes) & ((1u << n) - 1);
  i += PutBlock(text, i, n, length, bytes, special, at);
  cursor = at;
  return i;
}
#endif

// Escapes text as UTF-8 bytes straight into `to`, the same bytes as
// escaping it into wide text and encoding that. `to` has room for
// kMaxUtf8PerUnit bytes per unit and kUtf8StoreSlack more, and the text
// does not end between the halves of a pair that goes on after it. Returns
// the end of the bytes and adds to `units` the length the escaped wide text
// would have.
constexpr uint32_t kMaxUtf8PerUnit = kMaxEscapedUnit;
inline char* EscapeToUtf8(const WChar* text, uint32_t length, char* to, Target target,
                          uint64_t& units) {
  Utf8Cursor at{to, 0};
  uint32_t i = 0;
#if defined(KELMO_ESCAPE_BLOCKS)
  i = target == Target::kAttributeValue ? EscapeBlocksToUtf8<false>(text, length, at)
                                        : EscapeBlocksToUtf8<true>(text, length, at);
#endif
  while (i < length) {
    const uint32_t unit = static_cast<uint16_t>(text[i]);
    if (IsPlainAscii(unit, target)) {
      *at.to++ = static_cast<char>(unit);
      ++i;
    } else {
      uint32_t taken;
      at = PutSpecialUnit(text, i, length, at, taken);
      i += taken;
    }
  }
  units += length + at.grown;
  return at.to;
}

// Escapes well-formed UTF-8 (a text kept as it was read) straight into
// `to`, the same bytes as decoding it, escaping that and encoding the
// result. Such text holds no surrogate half, so only ASCII is ever escaped
// and every other byte is copied as it stands. `to` has room for
// kMaxEscapedUnit bytes per byte and kUtf8StoreSlack more. Returns the end
// of the bytes and adds to `units` the length the escaped wide text would
// have. The bytes may end inside a character: what follows goes on with it.
inline char* EscapeUtf8ToUtf8(const char* bytes, uint32_t size, char* to, Target target,
                              uint64_t& units) {
  const uint8_t bit = target == Target::kAttributeValue ? 2 : 1;
  uint64_t grown = 0;
  uint32_t i = 0;
  auto putSpecial = [&grown](unsigned char c, char* at) {
    std::memcpy(at, kAsciiForms.bytes[c], kMaxEscapedUnit);
    grown += kAsciiForms.length[c] - 1u;
    return at + kAsciiForms.length[c];
  };
#if defined(KELMO_ESCAPE_BLOCKS)
  for (; size - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const BlockBytes all = ToBlockBytes(block);
    // SpecialBytes takes every byte from 0x80 as special; here those are
    // parts of characters to copy.
    const unsigned special =
        (target == Target::kElementText ? SpecialBytes<true>(all) : SpecialBytes<false>(all)) &
        ~static_cast<unsigned>(_mm_movemask_epi8(block));
    std::memcpy(to, &all, 16);
    if (!special) {
      to += 16;
      continue;
    }
    uint32_t next = 0;  // the first byte of the block not yet in place
    for (unsigned left = special; left; left &= left - 1) {
      const uint32_t at = static_cast<uint32_t>(__builtin_ctz(left));
      to += at - next;
      to = putSpecial(static_cast<unsigned char>(bytes[i + at]), to);
      next = at + 1;
      const BlockBytes rest = next < 16 ? all >> (8 * next) : BlockBytes(0);
      std::memcpy(to, &rest, 16);
    }
    to += 16 - next;
  }
#endif
  for (; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80 && (kAsciiStops.bits[c] & bit)) {
      to = putSpecial(c, to);
    } else {
      *to++ = static_cast<char>(c);
    }
  }
  units += text::Utf16UnitsOfUtf8(bytes, bytes + size) + grown;
  return to;
}

// A long text goes to a byte sink in windows of this many units, so that
// the room asked for stays small whatever the text's length.
constexpr uint32_t kUtf8Window = 4096;

template <class Out>
void Escape(const WChar* text, uint32_t length, Out& out, Target target) {
  length = text::ResolveLength(text, length);
  uint32_t i = 0;
  // A byte sink takes the escaped UTF-8 in one pass over the text.
  if constexpr (TakesUtf8<Out>::value) {
    while (i < length) {
      uint32_t n = length - i < kUtf8Window ? length - i : kUtf8Window;
      if (i + n < length && text::IsHighSurrogate(static_cast<uint16_t>(text[i + n - 1]))) --n;
      char* room = out.Utf8Room(n);
      if (!room) break;  // the general loop below takes the rest
      uint64_t units = 0;
      char* const end = EscapeToUtf8(text + i, n, room, target, units);
      out.CommitUtf8(static_cast<size_t>(end - room), units);
      i += n;
    }
  }
  while (i < length) {
    // Copy the longest run that needs no escaping in one append.
    const uint32_t start = i;
    i = length - i <= kShortText
            ? ShortPlainRunEnd(text, i, length, target)
            : PlainRunCut(text, start, PlainRunEnd(text, i, length), length, target);
    if (i > start) AppendPlain(out, text + start, i - start);
    if (i < length) AppendEscaped(text[i++], out);
  }
}

// Text with only the markup characters escaped that must be: "&" and "<"
// everywhere, ">" in element text only where it follows "]]" (where it would
// end a CDATA section that never began), and in an attribute value the quote
// that delimits it. The runs between markup characters are escaped by
// Escape, so control units, tabs in attribute values and lone surrogate
// halves become references as always.
inline bool MarkupMustEscape(const WChar* text, uint32_t i, Target target, WChar quote) {
  switch (text[i]) {
    case '&':
    case '<':
      return true;
    case '>':
      return target == Target::kElementText && i >= 2 && text[i - 1] == ']' && text[i - 2] == ']';
    case '"':
    case '\'':
      return target == Target::kAttributeValue && text[i] == quote;
    default:
      return false;
  }
}

template <class Out>
void EscapeRequired(const WChar* text, uint32_t length, Out& out, Target target, WChar quote) {
  length = text::ResolveLength(text, length);
  uint32_t start = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const WChar c = text[i];
    if (c != '&' && c != '<' && c != '>' && c != '"' && c != '\'') continue;
    if (i > start) Escape(text + start, i - start, out, target);
    if (MarkupMustEscape(text, i, target, quote)) {
      AppendEscaped(c, out);
    } else {
      AppendPlain(out, text + i, 1);
    }
    start = i + 1;
  }
  if (length > start) Escape(text + start, length - start, out, target);
}

// Element text: the spaces and tabs at either end as references, because
// this library's reader trims literal blanks around element text but keeps
// those that come from references; the rest by `middle`.
template <class Out, class Middle>
void EscapeTextEnds(const WChar* text, uint32_t length, Out& out, Middle middle) {
  length = text::ResolveLength(text, length);
  uint32_t begin = 0;
  while (begin < length && IsSpaceOrTab(text[begin])) AppendEscaped(text[begin++], out);
  uint32_t end = length;
  while (end > begin && IsSpaceOrTab(text[end - 1])) --end;
  middle(text + begin, end - begin);
  while (end < length) AppendEscaped(text[end++], out);
}

}  // namespace escape_steps

// Attribute values: appends text to out with the five markup characters as
// entity references and every control unit as a hexadecimal character
// reference. Tab, line feed and carriage return are references too: this
// library's reader drops literal line breaks, and any XML reader turns
// literal ones and tabs into spaces in an attribute value, while references
// keep them. A surrogate half outside a pair becomes a reference too, which
// this library reads back as the same unit (no encoding can carry it).
// Everything else, surrogate pairs included, is copied unchanged. The length
// follows text::ResolveLength (null text is empty, 0xFFFFFFFF runs to the zero
// unit).
template <class Out>
void EscapeXml(const WChar* text, uint32_t length, Out& out) {
  escape_steps::Escape(text, length, out, escape_steps::Target::kAttributeValue);
}

// Element text: as EscapeXml, except that tabs inside the text stay as they
// are (every reader keeps them there), while the spaces and tabs at either
// end become character references, because this library's reader trims
// literal blanks around element text but keeps those that come from
// references.
template <class Out>
void EscapeXmlText(const WChar* text, uint32_t length, Out& out) {
  using namespace escape_steps;
  // Most values are short and begin and end with neither blank: a byte
  // sink takes those in one piece.
  if constexpr (TakesUtf8<Out>::value) {
    if (length != 0 && length <= kUtf8Window && !IsSpaceOrTab(text[0]) &&
        !IsSpaceOrTab(text[length - 1])) {
      if (char* room = out.Utf8Room(length)) {
        uint64_t units = 0;
        char* const end = EscapeToUtf8(text, length, room, Target::kElementText, units);
        out.CommitUtf8(static_cast<size_t>(end - room), units);
        return;
      }
    }
  }
  EscapeTextEnds(text, length, out,
                 [&out](const WChar* middle, uint32_t n) { Escape(middle, n, out, Target::kElementText); });
}

// The same two for text written among a person's own markup (the tool's
// edits of a file), where an entity the reader does not need is noise:
// only "&", "<" and, after "]]", ">" in element text; only "&", "<" and the
// delimiting `quote` in an attribute value. Controls, line breaks and the
// blanks at either end of element text are escaped as above, since without
// them the text would not read back the same.
template <class Out>
void EscapeXmlRequired(const WChar* text, uint32_t length, Out& out, WChar quote) {
  escape_steps::EscapeRequired(text, length, out, escape_steps::Target::kAttributeValue, quote);
}

template <class Out>
void EscapeXmlTextRequired(const WChar* text, uint32_t length, Out& out) {
  using namespace escape_steps;
  EscapeTextEnds(text, length, out, [&out](const WChar* middle, uint32_t n) {
    EscapeRequired(middle, n, out, Target::kElementText, WChar('"'));
  });
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_XML_ESCAPE_H
