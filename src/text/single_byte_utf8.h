// Text in a single-byte code page made UTF-8 with one lookup a byte, from
// the UTF-16 unit each of the 256 bytes stands for. The parser reads such
// documents with its tokenizer over bytes this way, and so keeps their texts
// in the tree as UTF-8, as it keeps those of UTF-8 input.
#ifndef KELMO_TEXT_SINGLE_BYTE_UTF8_H
#define KELMO_TEXT_SINGLE_BYTE_UTF8_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelmo/platform_types.h"
#include "text/unicode_units.h"
#include "text/utf8_codec.h"

namespace kelmo::text {

class SingleByteToUtf8 {
 public:
  // Bytes of output each byte of input may take at most, and the output's
  // room beyond that, which the four-byte stores may reach into.
  static constexpr size_t kMaxBytesPerByte = 3;
  static constexpr size_t kSlack = 16;

  // False when a unit has no UTF-8 form of its own (a surrogate half): the
  // page is then not read this way.
  bool Set(const WChar (&units)[256]) noexcept {
    asciiAsItIs_ = true;
    for (uint32_t b = 0; b < 256; ++b) {
      const uint32_t unit = static_cast<uint16_t>(units[b]);
      if (IsSurrogate(unit)) return false;
      std::memset(forms_[b], 0, sizeof forms_[b]);
      if (unit < 0x80) {
        forms_[b][0] = static_cast<char>(unit);
        lengths_[b] = 1;
      } else {
        lengths_[b] = static_cast<uint8_t>(PutUtf8(unit, forms_[b]) - forms_[b]);
      }
      if (b < 0x80 && unit != b) asciiAsItIs_ = false;
    }
    return true;
  }

  // Writes the UTF-8 of n bytes to `out`, which has room for
  // kMaxBytesPerByte a byte and kSlack more; returns the bytes written.
  size_t Convert(const unsigned char* in, size_t n, char* out) const noexcept {
    char* to = out;
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
      // Pages that keep ASCII as it is, the most, copy runs of it whole.
      if (asciiAsItIs_) {
        while (n - i >= 16) {
          const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
          if (_mm_movemask_epi8(block) != 0) break;
          _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block);
          to += 16;
          i += 16;
        }
        if (i == n) break;
      }
#endif
      const unsigned char b = in[i++];
      std::memcpy(to, forms_[b], 4);
      to += lengths_[b];
    }
    return static_cast<size_t>(to - out);
  }

 private:
  char forms_[256][4];
  uint8_t lengths_[256];
  bool asciiAsItIs_ = false;
};

}  // namespace kelmo::text

#endif  // KELMO_TEXT_SINGLE_BYTE_UTF8_H
