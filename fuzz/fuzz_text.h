// Turns fuzzer bytes into UTF-16 text. Markup stays ASCII, so the mutator and
// the dictionary work on readable bytes, while every unit can still be
// reached: well-formed UTF-8 gives its characters (encoded surrogates give
// unpaired surrogate units, four-byte forms give pairs), and any other byte b
// gives the unpaired low surrogate 0xDC00 + b. Also the printable form of
// a text that failure messages show.
#ifndef KELMO_FUZZ_FUZZ_TEXT_H
#define KELMO_FUZZ_FUZZ_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelmo_fuzz {

inline std::u16string LenientUtf16(const uint8_t* data, size_t size) {
  std::u16string out;
  out.reserve(size);
  size_t i = 0;
  while (i < size) {
    const uint8_t b = data[i];
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    const size_t extra = b >= 0xF0 && b < 0xF5   ? 3
                         : b >= 0xE0 && b < 0xF0 ? 2
                         : b >= 0xC2 && b < 0xE0 ? 1
                                                 : 0;
    uint32_t cp = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : b & 0x1F;
    bool ok = extra > 0;
    for (size_t k = 1; ok && k <= extra; ++k) {
      if (i + k >= size || (data[i + k] & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (data[i + k] & 0x3F);
      }
    }
    // Overlong forms and values beyond U+10FFFF are taken as stray bytes.
    if (ok && ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      out += static_cast<char16_t>(0xDC00 + b);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return out;
}

// Takes one byte from the front of the input for a choice; 0 when empty.
inline uint8_t TakeByte(const uint8_t*& data, size_t& size) {
  if (size == 0) return 0;
  --size;
  return *data++;
}

// Printable form of a text for failure messages: ASCII as it is, everything
// else as \uXXXX.
inline std::string Printable(const std::u16string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
    }
  }
  return out;
}

}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_FUZZ_TEXT_H
