#include "unclosed_markup.h"

#include <string_view>
#include <utility>
#include <vector>

#include "kelmo/easy/utf.hpp"
#include "syntax/markup_ends.h"
#include "syntax/char_classes.h"

namespace kelmo_tool {
namespace {

constexpr size_t kNpos = std::u16string_view::npos;

bool EndsName(char16_t c) { return kelmo::syntax::IsXmlSpace(c) || c == u'>' || c == u'/' || c == u'=' || c == u'<'; }

std::string Utf8(std::u16string_view text) { return kelmo::easy::ToUtf8(std::u16string(text)); }

}  // namespace

std::optional<Unclosed> FindUnclosed(const std::u16string& whole) {
  const std::u16string_view text(whole);
  // The open elements: name and where the start tag begins.
  std::vector<std::pair<std::u16string_view, size_t>> open;
  auto starts = [&](size_t i, std::u16string_view s) { return text.substr(i, s.size()) == s; };
  auto never = [](size_t at, const char* what) { return Unclosed{at, std::string(what) + " never ends"}; };
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'<') {
      const size_t next = text.find(u'<', i);
      if (next == kNpos) {
        // Text to the end: a reference in it may be what is cut short.
        const size_t amp = text.rfind(u'&');
        if (amp != kNpos && amp >= i && text.find(u';', amp) == kNpos) return never(amp, "a reference");
        break;
      }
      i = next;
      continue;
    }
    if (starts(i, u"<!--")) {
      const size_t end = text.find(u"-->", i + 4);
      if (end == kNpos) return never(i, "a comment");
      i = end + 3;
    } else if (starts(i, u"<![CDATA[")) {
      const size_t end = text.find(u"]]>", i + 9);
      if (end == kNpos) return never(i, "a CDATA section");
      i = end + 3;
    } else if (starts(i, u"<?")) {
      const size_t end = text.find(u"?>", i + 2);
      if (end == kNpos)
        return never(i, starts(i, u"<?xml ") ? "the XML declaration" : "a processing instruction");
      i = end + 2;
    } else if (starts(i, u"<!")) {
      const size_t past = kelmo::syntax::PastMarkupEnd(text, i + 2, true);
      if (past == kNpos) return never(i, "a declaration");
      i = past;
    } else if (starts(i, u"</")) {
      const size_t end = text.find(u'>', i);
      if (end == kNpos) return never(i, "an end tag");
      if (!open.empty()) open.pop_back();
      i = end + 1;
    } else {
      const size_t tag = i;
      size_t j = i + 1;
      while (j < text.size() && !EndsName(text[j])) ++j;
      const std::u16string_view name = text.substr(i + 1, j - i - 1);
      size_t nameAt = kNpos;  // the last attribute name seen in the tag
      bool closed = false;
      while (j < text.size() && !closed) {
        const char16_t c = text[j];
        if (c == u'>') {
          if (text[j - 1] != u'/') open.emplace_back(name, tag);
          closed = true;
        } else if (c == u'"' || c == u'\'') {
          const size_t end = text.find(c, j + 1);
          if (end == kNpos) {
            if (nameAt == kNpos) return Unclosed{j, "a quoted value in <" + Utf8(name) + "> is never closed"};
            size_t nameEnd = nameAt;
            while (nameEnd < text.size() && !EndsName(text[nameEnd])) ++nameEnd;
            return Unclosed{nameAt, "the value of attribute \"" + Utf8(text.substr(nameAt, nameEnd - nameAt)) +
                                        "\" in <" + Utf8(name) + "> is never closed: its quote " +
                                        (c == u'"' ? "(\")" : "(')") + " has no partner"};
          }
          j = end + 1;
          continue;
        } else if (!EndsName(c) && (EndsName(text[j - 1]) || text[j - 1] == u'"' || text[j - 1] == u'\'')) {
          nameAt = j;
        }
        ++j;
      }
      if (!closed) return Unclosed{tag, "the start tag <" + Utf8(name) + "> never ends"};
      i = j;  // just past the closing bracket
    }
  }
  if (open.empty()) return std::nullopt;
  return Unclosed{open.back().second, "element <" + Utf8(open.back().first) + "> is never closed"};
}

}  // namespace kelmo_tool
