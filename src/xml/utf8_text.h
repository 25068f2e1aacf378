// UTF-8 text built from the UTF-16 pieces that the writer produces, equal
// byte for byte to converting their concatenation at once: a surrogate pair
// split between two pieces still becomes one four-byte form, and an unpaired
// half becomes U+FFFD. Writing UTF-8 output this way spares the whole wide
// text, its growth copies and a second pass to count and convert it.
#ifndef KELMO_XML_UTF8_TEXT_H
#define KELMO_XML_UTF8_TEXT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "kelmo/platform_types.h"
#include "syntax/xml_escape.h"
#include "tree/wstr_buf.h"

namespace kelmo {

// Bytes from malloc: the text grows and is trimmed with realloc, which for a
// large text moves pages rather than copying them.
struct FreeBytes {
  void operator()(char* bytes) const noexcept { std::free(bytes); }
};
using MallocBytes = std::unique_ptr<char, FreeBytes>;

class Utf8Text {
 public:
  Utf8Text() = default;
  Utf8Text(const Utf8Text&) = delete;
  Utf8Text& operator=(const Utf8Text&) = delete;

  // Throws std::bad_alloc once the UTF-16 units appended in total would not
  // fit a wide text buffer, as appending them to one would.
  void Append(const WChar* text, uint32_t n) {
    // Names, markup and most values are short ASCII runs: copied inline.
    if (!pending_ && n <= 32 && capacity_ - size_ >= n && kMaxUnits - units_ >= n) {
      char* to = bytes_.get() + size_;
      uint32_t i = 0;
      while (i < n && static_cast<uint16_t>(text[i]) < 0x80) {
        to[i] = static_cast<char>(text[i]);
        ++i;
      }
      size_ += i;
      units_ += i;
      if (i == n) return;
      text += i;
      n -= i;
    }
    AppendSlow(text, n);
  }
  void Append(const WStrBuf& text) { Append(text.Data(), text.Length()); }
  // Room for n more bytes of ASCII made of n units, to be filled by the
  // caller and then committed; null while a high surrogate waits for its
  // partner, or when n units more would pass the limit (Append reports it).
  char* AsciiRoom(uint32_t n) {
    if (pending_ || kMaxUnits - units_ < n) return nullptr;
    Reserve(n);
    return bytes_.get() + size_;
  }
  void CommitAscii(uint32_t n) noexcept {
    size_ += n;
    units_ += n;
  }
  // Room for the escaped UTF-8 of n units (kMaxUtf8PerUnit bytes each, and
  // the slack that the escaper's block stores may overwrite), to be filled
  // by the caller and then committed with the bytes written and the UTF-16
  // units they stand for; null as for AsciiRoom, judging by the most units
  // n units can escape to.
  char* Utf8Room(uint32_t n) {
    const uint64_t most = uint64_t(n) * syntax::escape_steps::kMaxUtf8PerUnit;
    if (pending_ || kMaxUnits - units_ < most) return nullptr;
    Reserve(static_cast<size_t>(most) + syntax::escape_steps::kUtf8StoreSlack);
    return bytes_.get() + size_;
  }
  void CommitUtf8(size_t bytes, uint64_t units) noexcept {
    size_ += bytes;
    units_ += units;
  }
  // Appends units that are all ASCII (markup, blanks, names known to be).
  void AppendAscii(const WChar* text, uint32_t n) {
    char* to = AsciiRoom(n);
    if (!to) return AppendSlow(text, n);
    text::NarrowKnownAscii(text, n, to);
    CommitAscii(n);
  }
  void AppendChar(WChar c) {
    if (static_cast<uint16_t>(c) < 0x80 && !pending_ && size_ < capacity_ && units_ < kMaxUnits) {
      bytes_.get()[size_++] = static_cast<char>(c);
      ++units_;
      return;
    }
    AppendSlow(&c, 1);
  }
  // The end of the text: a high surrogate left over becomes U+FFFD.
  void Finish();

  // UTF-16 units appended so far, and UTF-8 bytes made of them.
  uint64_t Units() const { return units_; }
  size_t Size() const { return size_; }
  const unsigned char* Data() const { return reinterpret_cast<const unsigned char*>(bytes_.get()); }
  // The bytes with a terminating zero, taken over by the caller.
  MallocBytes Release();

 private:
  static constexpr uint64_t kMaxUnits = 0xFFFFFFFEu;
  // Capacity from which Release hands the block over without trimming it.
  static constexpr size_t kKeptAsGrown = 64 * 1024;
  void AppendSlow(const WChar* text, uint32_t n);
  void Reserve(size_t more) {
    if (capacity_ - size_ < more) Grow(more);
  }
  void Grow(size_t more);
  void Put(const char* bytes, size_t n);

  MallocBytes bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;  // bytes usable before the terminator's place
  uint64_t units_ = 0;
  WChar pendingHigh_ = 0;
  bool pending_ = false;
};

}  // namespace kelmo

#endif  // KELMO_XML_UTF8_TEXT_H
