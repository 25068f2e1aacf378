#include "source_excerpt.h"

#include "kelmo/easy/utf.hpp"
#include "syntax/line_positions.h"

namespace kelmo_tool {
namespace {

constexpr size_t kWindow = 100;  // units shown around the column of a long line

// Where line `line` (from 1) starts and ends in the text.
bool FindLine(std::u16string_view text, unsigned int line, size_t& begin, size_t& end) {
  begin = kelmo::syntax::LineStart(text, line);
  if (begin == std::u16string_view::npos) return false;
  end = kelmo::syntax::LineEndAt(text, begin);
  return true;
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// East Asian wide and fullwidth characters, which a terminal shows two
// columns wide: Hangul jamo, CJK and Hangul syllables, compatibility
// ideographs and forms, fullwidth forms, and the supplementary ideographs.
bool IsWide(char16_t c, char16_t next) {
  if (c >= 0xD840 && c <= 0xD87F && IsLowSurrogate(next)) return true;  // U+20000..U+2FFFF, U+30000..
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}

}  // namespace

unsigned int CharacterColumn(std::string_view bytes, unsigned int line, unsigned int unitColumn) {
  if (line == 0 || unitColumn <= 1) return 1;
  const std::u16string text = DecodeAsParserDoes(bytes);
  size_t begin = 0, end = 0;
  if (!FindLine(text, line, begin, end)) return unitColumn;
  unsigned int column = 1;
  for (size_t i = begin; i < begin + unitColumn - 1 && i < text.size(); ++i) {
    if (!(IsLowSurrogate(text[i]) && i > begin && text[i - 1] >= 0xD800 && text[i - 1] < 0xDC00)) ++column;
  }
  return column;
}

std::string SourceExcerpt(std::string_view bytes, unsigned int line, unsigned int column) {
  if (line == 0 || column == 0) return {};
  const std::u16string text = DecodeAsParserDoes(bytes);
  size_t begin = 0, end = 0;
  if (!FindLine(text, line, begin, end)) return {};
  size_t caret = column - 1;  // may point one past the end: the line break itself
  if (caret > end - begin) return {};
  std::u16string shown = text.substr(begin, end - begin);
  std::string lead, tail;
  if (shown.size() > kWindow) {
    const size_t from = caret > kWindow / 2 ? caret - kWindow / 2 : 0;
    if (from > 0) lead = "...";
    if (from + kWindow < shown.size()) tail = "...";
    shown = shown.substr(from, kWindow);
    caret -= from;
  }
  // Other control characters could steer the terminal; show them as "?".
  for (char16_t& c : shown) {
    if ((c < 0x20 && c != u'\t') || c == 0x7F) c = u'?';
  }
  // Tabs stay tabs under the caret so that it lines up in any terminal.
  // A surrogate pair is one character; a wide character takes two columns.
  std::u16string pad;
  for (size_t i = 0; i < caret && i < shown.size(); ++i) {
    const char16_t next = i + 1 < shown.size() ? shown[i + 1] : u'\0';
    if (shown[i] == u'\t')
      pad.push_back(u'\t');
    else if (IsWide(shown[i], next))
      pad.append(u"  ");
    else if (!(IsLowSurrogate(shown[i]) && i > 0 && shown[i - 1] >= 0xD800 && shown[i - 1] < 0xDC00))
      pad.push_back(u' ');
  }
  return "    " + lead + kelmo::easy::ToUtf8(shown) + tail + "\n    " + std::string(lead.size(), ' ') +
         kelmo::easy::ToUtf8(pad) + "^\n";
}

unsigned int ReferenceStartColumn(std::string_view bytes, unsigned int line, unsigned int column) {
  if (line == 0 || column == 0) return column;
  const std::u16string text = DecodeAsParserDoes(bytes);
  size_t begin = 0, end = 0;
  if (!FindLine(text, line, begin, end) || column - 1 > end - begin) return column;
  // An entity that ends but is unknown is shown at its ';', as the parser says.
  if (begin + column - 1 < end && text[begin + column - 1] == u';') return column;
  for (size_t at = begin + column - 1; at > begin;) {
    --at;
    if (text[at] == u'&') return static_cast<unsigned int>(at - begin + 1);
    if (text[at] == u';' || text[at] == u'<' || text[at] == u'>') break;
  }
  return column;
}

}  // namespace kelmo_tool
