#include "source_excerpt.h"

#include "kelmo/easy/utf.hpp"

namespace kelmo_tool {
namespace {

constexpr size_t kWindow = 100;  // units shown around the column of a long line

// Where line `line` (from 1) starts and ends in the text.
bool FindLine(const std::u16string& text, unsigned int line, size_t& begin, size_t& end) {
  size_t at = 0;
  for (unsigned int current = 1; current < line; ++current) {
    while (at < text.size() && text[at] != u'\n' && text[at] != u'\r') ++at;
    if (at >= text.size()) return false;
    if (text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') ++at;
    ++at;
  }
  begin = at;
  while (at < text.size() && text[at] != u'\n' && text[at] != u'\r') ++at;
  end = at;
  return true;
}

}  // namespace

std::string SourceExcerpt(std::string_view bytes, unsigned int line, unsigned int column) {
  if (line == 0 || column == 0) return {};
  const std::u16string text = DecodeDocument(bytes);
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
  std::u16string pad;
  for (size_t i = 0; i < caret && i < shown.size(); ++i) pad.push_back(shown[i] == u'\t' ? u'\t' : u' ');
  return "    " + lead + kelmo::easy::ToUtf8(shown) + tail + "\n    " + std::string(lead.size(), ' ') +
         kelmo::easy::ToUtf8(pad) + "^\n";
}

unsigned int ReferenceStartColumn(std::string_view bytes, unsigned int line, unsigned int column) {
  if (line == 0 || column == 0) return column;
  const std::u16string text = DecodeDocument(bytes);
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
