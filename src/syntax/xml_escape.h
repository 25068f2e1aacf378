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
uint32_t EscapedForm(WChar c, Unit* to) {
  if (const NamedEntity* entity = EntityFor(static_cast<uint16_t>(c))) {
    for (uint32_t n = 0; n < entity->length; ++n) to[n] = static_cast<Unit>(entity->reference[n]);
    return entity->length;
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

// As text::NarrowAsciiChunk, but the run also ends at a unit that XML output
// must escape: the markup characters and the controls below 0x20 other than
// tab (and, with kTab, tab as well).
template <bool kTab>
inline size_t NarrowPlainAsciiChunk([[maybe_unused]] const WChar* in,
                                    [[maybe_unused]] char* out) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i nonAsciiBits = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i controlLimit = _mm_set1_epi16(0x1F);
  const __m128i tab = _mm_set1_epi16(9);
  auto stops = [&](__m128i units) {
    __m128i hit = _mm_cmpeq_epi16(_mm_and_si128(units, nonAsciiBits), zero);  // ASCII
    __m128i stop = _mm_cmpeq_epi16(_mm_subs_epu16(units, controlLimit), zero);  // < 0x20
    if (!kTab) stop = _mm_andnot_si128(_mm_cmpeq_epi16(units, tab), stop);
    for (char c : kMarkupCharacters)
      stop = _mm_or_si128(stop, _mm_cmpeq_epi16(units, _mm_set1_epi16(c)));
    return _mm_andnot_si128(stop, hit);  // plain ASCII
  };
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
  const __m128i plain = _mm_packs_epi16(stops(low), stops(high));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return text::LeadingAscii(~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu);
#else
  return 0;
#endif
}

// Copies the leading ASCII units of text that need no escaping to `to` as
// bytes, sixteen at a time where it can, and returns how many it took. `to`
// has room for n bytes.
inline uint32_t CopyPlainAscii(const WChar* text, uint32_t n, char* to, Target target) {
  const bool attribute = target == Target::kAttributeValue;
  uint32_t i = 0;
  while (n - i >= text::kAsciiChunk) {
    const size_t lead = attribute ? NarrowPlainAsciiChunk<true>(text + i, to + i)
                                  : NarrowPlainAsciiChunk<false>(text + i, to + i);
    i += static_cast<uint32_t>(lead);
    if (lead < text::kAsciiChunk) return i;
  }
  const uint8_t bit = attribute ? 2 : 1;
  for (; i < n; ++i) {
    const uint16_t unit = static_cast<uint16_t>(text[i]);
    if (unit >= 0x80 || (kAsciiStops.bits[unit] & bit)) break;
    to[i] = static_cast<char>(unit);
  }
  return i;
}

// Escapes text as UTF-8 bytes straight into `to`, the same bytes as
// escaping it into wide text and encoding that. `to` has room for
// kMaxUtf8PerUnit bytes per unit, and the text does not end between the
// halves of a pair that goes on after it. Returns the end of the bytes and
// adds to `units` the length the escaped wide text would have.
constexpr uint32_t kMaxUtf8PerUnit = kMaxEscapedUnit;
inline char* EscapeToUtf8(const WChar* text, uint32_t length, char* to, Target target,
                          uint64_t& units) {
  char* const start = to;
  uint64_t shorter = 0;  // bytes beyond one per unit of the wide text
  uint32_t i = 0;
  while (true) {
    const uint32_t taken = CopyPlainAscii(text + i, length - i, to, target);
    i += taken;
    to += taken;
    if (i == length) break;
    uint32_t unit = static_cast<uint16_t>(text[i]);
    if (unit < 0x80) {
      to += EscapedForm(text[i++], to);
      continue;
    }
    // Outside ASCII nothing is escaped but a surrogate half without its
    // partner, which no encoding can carry.
    do {
      if (!text::IsSurrogate(unit)) {
        char* const end = text::PutUtf8(unit, to);
        shorter += static_cast<uint64_t>(end - to) - 1;
        to = end;
        ++i;
      } else if (text::StartsSurrogatePair(text, length, i)) {
        const uint32_t low = static_cast<uint16_t>(text[i + 1]);
        to = text::PutUtf8(text::CombineSurrogates(unit, low), to);
        shorter += 2;
        i += 2;
      } else {
        to += EscapedForm(text[i++], to);
      }
    } while (i < length && (unit = static_cast<uint16_t>(text[i])) >= 0x80);
    if (i == length) break;
  }
  units += static_cast<uint64_t>(to - start) - shorter;
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
