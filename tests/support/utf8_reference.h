// The tests' own UTF-8 conversions, written code point by code point for
// plainness rather than speed: expectations are built with them, so they
// must not share code with the library's codec that they check.
#ifndef KELMO_TESTS_SUPPORT_UTF8_REFERENCE_H
#define KELMO_TESTS_SUPPORT_UTF8_REFERENCE_H

#include <cstdint>
#include <string>

namespace kelmo_test {

// UTF-16 to UTF-8: a surrogate pair becomes one four-byte form, an unpaired
// surrogate U+FFFD.
inline std::string Utf8Of(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// UTF-8 to UTF-16, meant for well-formed text (literals, a peer library's
// output): a lead byte without the continuation bytes it announces, or a
// stray continuation byte, becomes U+FFFD and the next byte is read afresh.
inline std::u16string Utf16Of(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i++]);
    const size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t c = extra == 3 ? lead & 0x07u : extra == 2 ? lead & 0x0Fu : extra == 1 ? lead & 0x1Fu : lead;
    bool whole = (lead & 0xC0) != 0x80 && i + extra <= utf8.size();
    for (size_t k = 0; whole && k < extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      whole = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!whole) {
      out += char16_t(0xFFFD);
      continue;
    }
    i += extra;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return out;
}

}  // namespace kelmo_test

#endif  // KELMO_TESTS_SUPPORT_UTF8_REFERENCE_H
