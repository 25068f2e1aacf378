#include "xml/utf8_text.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "text/unicode_units.h"
#include "text/utf8_codec.h"

namespace kelmo {
namespace {

const char kReplacement[] = {'\xEF', '\xBF', '\xBD'};

}  // namespace

void Utf8Text::Grow(size_t more) {
  size_t wanted = size_ + more;
  if (wanted < size_) throw std::bad_alloc();
  // Capacities follow one sequence (4 KiB, then half as much again each
  // time) whatever the sizes asked for, so that the same text always grows
  // through the same sizes and the allocator can serve them alike. A
  // smaller first step would only mean more steps for most documents; a
  // short text is trimmed to its size when it is released.
  size_t grown = capacity_ < 4096 ? 4096 : capacity_;
  while (grown < wanted) {
    if (grown > SIZE_MAX / 2) throw std::bad_alloc();
    grown += grown / 2;
  }
  void* fresh = std::realloc(bytes_.get(), grown + 1);
  if (!fresh) throw std::bad_alloc();
  (void)bytes_.release();
  bytes_.reset(static_cast<char*>(fresh));
  capacity_ = grown;
}

void Utf8Text::Put(const char* bytes, size_t n) {
  Reserve(n);
  std::memcpy(bytes_.get() + size_, bytes, n);
  size_ += n;
}

void Utf8Text::AppendSlow(const WChar* text, uint32_t n) {
  if (n == 0) return;
  if (n > kMaxUnits - units_) throw std::bad_alloc();
  units_ += n;
  if (pending_) {
    pending_ = false;
    if (text::IsLowSurrogate(static_cast<char16_t>(text[0]))) {
      const WChar pair[] = {pendingHigh_, text[0]};
      Reserve(4);
      auto* out = reinterpret_cast<unsigned char*>(bytes_.get() + size_);
      size_ += static_cast<size_t>(text::EncodeUtf8(pair, 2, out, 4));
      ++text;
      --n;
    } else {
      Put(kReplacement, sizeof kReplacement);
    }
  }
  // A high surrogate at the end waits for the next piece.
  if (n && text::IsHighSurrogate(static_cast<char16_t>(text[n - 1]))) {
    pendingHigh_ = text[n - 1];
    pending_ = true;
    --n;
  }
  if (n == 0) return;
  Reserve(size_t(n) * 3);
  auto* out = reinterpret_cast<unsigned char*>(bytes_.get() + size_);
  size_ += static_cast<size_t>(text::EncodeUtf8(text, n, out, capacity_ - size_));
}

void Utf8Text::Finish() {
  if (!pending_) return;
  pending_ = false;
  Put(kReplacement, sizeof kReplacement);
}

MallocBytes Utf8Text::Release() {
  if (!bytes_) {
    bytes_.reset(static_cast<char*>(std::malloc(1)));
    if (!bytes_) throw std::bad_alloc();
  } else if (capacity_ - size_ > size_ / 8 &&
             (capacity_ < kKeptAsGrown || capacity_ - size_ > size_ / 2)) {
    // Hand over the text's own size rather than the slack of the growing
    // buffer; shrinking in place cannot fail for want of memory. A large
    // block goes as grown: the allocator serves such blocks from pages of
    // their own, and one trimmed to the text's size would be given back to
    // the system when freed, so that the next text of that size would fill
    // fresh pages again. It goes so only while its slack is at most half
    // the text's size (a last reservation for a long text may leave more),
    // since the slack lives as long as the caller keeps the result.
    if (void* exact = std::realloc(bytes_.get(), size_ + 1)) {
      (void)bytes_.release();
      bytes_.reset(static_cast<char*>(exact));
    }
  }
  bytes_.get()[size_] = 0;
  capacity_ = size_ = 0;
  units_ = 0;
  return std::move(bytes_);
}

}  // namespace kelmo
