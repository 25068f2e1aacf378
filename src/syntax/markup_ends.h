// Where the markup that runs to a fixed ending ends: comments, processing
// instructions, CDATA sections and declarations. The reader scans UTF-16
// units with these, the span tokenizer the bytes of a document as they stand
// in its file, so both end a construct at the same unit.
//
// The reader is fed in pieces, so a scan works on a bounded range: when the
// range ends first it says so, and keeps how much of the ending the range
// ended with, for the next piece to go on from.
#ifndef KELMO_SYNTAX_MARKUP_ENDS_H
#define KELMO_SYNTAX_MARKUP_ENDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "kelmo/platform_types.h"
#include "text/unit_scan.h"

namespace kelmo::syntax {

// An ending made of kRepeats times kUnit, then kLast unless that is 0. Every
// ending the markup has is of this form, which keeps the scan simple: after a
// mismatch only a further kUnit can start the ending again.
template <char kUnit, uint32_t kRepeats, char kLast>
struct MarkupEnding {
  static constexpr char unit = kUnit;
  static constexpr uint32_t repeats = kRepeats;
  static constexpr char last = kLast;
  static constexpr uint32_t length = kRepeats + (kLast ? 1 : 0);
};

// The reader ends a comment's text at the first "--", which must then be
// followed by '>'; the span tokenizer takes "-->" at once.
using CommentDashes = MarkupEnding<'-', 2, 0>;
using CommentEnd = MarkupEnding<'-', 2, '>'>;
using PiEnd = MarkupEnding<'?', 1, '>'>;
using CDataEnd = MarkupEnding<']', 2, '>'>;
// A declaration ("<!DOCTYPE ...>" as the reader reads it) ends at its first '>'.
using DeclarationEnd = MarkupEnding<'>', 1, 0>;

// The first `unit` from p on (before end), or end. UTF-16 units are searched
// eight at a time.
template <class Char>
inline const Char* FindUnit(const Char* p, const Char* end, char unit) {
  if constexpr (std::is_same_v<Char, WChar>) {
    return text::FindStop(p, end, text::UnitStops<1>{{static_cast<WChar>(unit)}});
  } else if constexpr (sizeof(Char) == 1) {
    const void* hit = p < end ? std::memchr(p, unit, static_cast<size_t>(end - p)) : nullptr;
    return hit ? static_cast<const Char*>(hit) : end;
  } else {
    while (p < end && *p != static_cast<Char>(unit)) ++p;
    return p;
  }
}

// Just past the first Ending in [p, end), or nullptr when the range ends
// first. `matched` is how many units of the ending the text before p ended
// with (0 at the start of the construct); when the range ends first it is
// set for the next range, and otherwise to 0.
template <class Ending, class Char>
inline const Char* PastEnding(const Char* p, const Char* end, uint32_t& matched) {
  const Char unit = static_cast<Char>(Ending::unit);
  uint32_t k = matched;
  while (p < end) {
    const Char c = *p++;
    const bool next = k < Ending::repeats ? c == unit : c == static_cast<Char>(Ending::last);
    if (next) {
      if (++k == Ending::length) {
        matched = 0;
        return p;
      }
    } else if (c != unit) {
      // A further `unit` can only come while the last unit is awaited: then
      // the repeats still stand.
      k = 0;
      p = FindUnit(p, end, Ending::unit);
    }
  }
  matched = k;
  return nullptr;
}

// The construct whose ending a resumable scan awaits, chosen at run time.
enum class SkippedConstruct : uint8_t { Pi, Comment, CData, Declaration };

// PastEnding for the construct chosen at run time.
template <class Char>
inline const Char* PastEnding(SkippedConstruct construct, const Char* p, const Char* end, uint32_t& matched) {
  switch (construct) {
    case SkippedConstruct::Pi: return PastEnding<PiEnd>(p, end, matched);
    case SkippedConstruct::Comment: return PastEnding<CommentEnd>(p, end, matched);
    case SkippedConstruct::CData: return PastEnding<CDataEnd>(p, end, matched);
    case SkippedConstruct::Declaration: break;
  }
  return PastEnding<DeclarationEnd>(p, end, matched);
}

// The same over a whole text from index i: the index past the ending, or
// npos.
template <class Ending, class Char>
inline size_t PastEnding(std::basic_string_view<Char> text, size_t i) {
  uint32_t matched = 0;
  if (i > text.size()) return std::basic_string_view<Char>::npos;
  const Char* past = PastEnding<Ending>(text.data() + i, text.data() + text.size(), matched);
  return past ? static_cast<size_t>(past - text.data()) : std::basic_string_view<Char>::npos;
}

// Past the '>' that ends the markup whose body starts at i, read strictly: a
// '>' inside a quoted text does not count, nor, when countBrackets is set (a
// DOCTYPE), one inside the internal subset's brackets. npos when the text
// ends first. (The reader itself is lenient here: see DeclarationEnd.)
template <class Char>
size_t PastMarkupEnd(std::basic_string_view<Char> text, size_t i, bool countBrackets) {
  int brackets = 0;
  Char quote = 0;
  for (; i < text.size(); ++i) {
    const Char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == Char('"') || c == Char('\'')) {
      quote = c;
    } else if (countBrackets && c == Char('[')) {
      ++brackets;
    } else if (countBrackets && c == Char(']')) {
      --brackets;
    } else if (c == Char('>') && brackets <= 0) {
      return i + 1;
    }
  }
  return std::basic_string_view<Char>::npos;
}

}  // namespace kelmo::syntax

#endif  // KELMO_SYNTAX_MARKUP_ENDS_H
