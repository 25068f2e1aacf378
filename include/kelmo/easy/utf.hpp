// UTF-8 <-> UTF-16 conversion for hosts that keep their text in std::string.
// The library's interfaces speak UTF-16; these helpers never fail: malformed
// input turns into U+FFFD so that a bad byte cannot make a whole value vanish.
// The layer's setters check with IsValidUtf8 first and refuse such input
// rather than store the replacement.
#ifndef KELMO_EASY_UTF_HPP
#define KELMO_EASY_UTF_HPP

#include <cstdint>
#include <string>
#include <string_view>

#include "kelmo/platform_types.h"

namespace kelmo {
namespace easy {

constexpr char32_t kReplacementCharacter = 0xFFFD;

namespace detail {

inline void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one scalar value starting at text[i] and advances i past it. A
// malformed sequence becomes one U+FFFD for its longest start that could
// still have been valid (the "maximal subpart" of the Unicode standard, as
// the library decodes): E2 82 41 is U+FFFD then "A".
inline char32_t DecodeUtf8(std::string_view text, size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  size_t extra;
  char32_t c;
  // The range of the byte after the lead: narrower for some leads, which
  // rules out overlong forms, surrogates and values beyond U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return kReplacementCharacter;
  }
  for (size_t k = 0; k < extra; ++k, low = 0x80, high = 0xBF) {
    if (i >= text.size()) return kReplacementCharacter;
    const unsigned char next = static_cast<unsigned char>(text[i]);
    if (next < low || next > high) return kReplacementCharacter;
    c = (c << 6) | (next & 0x3F);
    ++i;
  }
  return c;
}

}  // namespace detail

// UTF-8 to UTF-16.
inline std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) detail::AppendUtf16(out, detail::DecodeUtf8(utf8, i));
  return out;
}

// True when every byte belongs to a well-formed UTF-8 sequence: the text
// converts without any U+FFFD that it did not spell itself.
inline bool IsValidUtf8(std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const size_t start = i;
    if (detail::DecodeUtf8(utf8, i) == kReplacementCharacter && utf8.substr(start, i - start) != "\xEF\xBF\xBD")
      return false;
  }
  return true;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacementCharacter;
    }
    detail::AppendUtf8(out, c);
  }
  return out;
}

// The interfaces take kelmo::WChar (char16_t here, wchar_t on Windows); both
// are UTF-16 code units of the same width.
inline const WChar* AsWide(const std::u16string& text) {
  return reinterpret_cast<const WChar*>(text.c_str());
}

inline std::u16string_view FromWide(const WChar* text, unsigned int length) {
  if (!text) return {};
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace easy
}  // namespace kelmo

#endif  // KELMO_EASY_UTF_HPP
