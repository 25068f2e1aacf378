// Owning handle to one block of UTF-16 text with capacity and explicit length
// (texts may contain zero units). A null handle is the empty text. Copies are
// deep, and handing a text on swaps handles.
//
// A handle may also stand for a frozen text: a block of capacity 0 laid out
// in memory that outlives it (a document's memory, see doc_memory.h), which
// several handles may share. A frozen block is never written or freed: any
// change first copies the text into a block of the handle's own.
#ifndef KELMO_TREE_WSTR_BUF_H
#define KELMO_TREE_WSTR_BUF_H

#include <cstdint>
#include <cstring>

#include "kelmo/kelmo.h"
#include "text/text_length.h"

namespace kelmo {

class WStrBuf {
 public:
  WStrBuf() noexcept = default;
  explicit WStrBuf(const WChar* zeroTerminated);
  WStrBuf(const WChar* text, uint32_t length);
  WStrBuf(const WStrBuf& other);
  WStrBuf(WStrBuf&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  ~WStrBuf() { Clear(); }

  WStrBuf& operator=(const WStrBuf& other);
  WStrBuf& operator=(WStrBuf&& other) noexcept {
    // Moving a text onto itself keeps it.
    if (&other == this) return *this;
    Swap(other);
    other.Clear();
    return *this;
  }

  WStrBuf& Assign(const WChar* text, uint32_t length);
  WStrBuf& AssignChar(WChar c);
  // n is explicit here (no 0xFFFFFFFF convention) and may be 0. The text
  // may lie inside this buffer. Short appends that fit stay inline: the
  // writer makes one per name and piece of markup.
  WStrBuf& Append(const WChar* text, uint32_t n) {
    if (n <= 8 && block_ && uint64_t(block_->length) + n <= block_->capacity) {
      WChar* d = block_->data() + block_->length;
      for (uint32_t i = 0; i < n; ++i) d[i] = text[i];
      block_->length += n;
      d[n] = 0;
      return *this;
    }
    return AppendSlow(text, n);
  }
  WStrBuf& Append(const WStrBuf& other) {
    if (other.IsEmpty()) return *this;
    return Append(other.Data(), other.Length());
  }
  WStrBuf& AppendChar(WChar c) {
    if (block_ && block_->length < block_->capacity) {
      WChar* d = block_->data();
      d[block_->length++] = c;
      d[block_->length] = 0;
      return *this;
    }
    return AppendCharSlow(c);
  }
  void Resize(uint32_t n);
  void Clear() noexcept {
    if (block_) {
      if (block_->capacity != 0) FreeBlock(block_);
      block_ = nullptr;
    }
  }
  // Length 0, keeping an own block for the next text (a buffer that is
  // filled again and again).
  void Erase() noexcept {
    if (block_ && block_->capacity != 0) {
      block_->length = 0;
      block_->data()[0] = 0;
    } else {
      block_ = nullptr;
    }
  }
  void Swap(WStrBuf& other) noexcept {
    Block* b = block_;
    block_ = other.block_;
    other.block_ = b;
  }

  bool IsEmpty() const noexcept { return !block_ || block_->length == 0; }
  uint32_t Length() const noexcept { return block_ ? block_->length : 0; }
  uint32_t Capacity() const noexcept { return block_ ? block_->capacity : 0; }
  // Zero-terminated characters; the static empty text for a null handle.
  const WChar* Data() const noexcept { return block_ ? block_->data() : kEmpty; }
  // Writable characters; only valid for a non-null handle that is not
  // frozen (Resize gives one).
  WChar* MutableData() noexcept { return block_->data(); }
  bool IsNull() const noexcept { return block_ == nullptr; }
  bool IsFrozen() const noexcept { return block_ && block_->capacity == 0; }

  // Bytes, and alignment, of the frozen block of a text of `length` units.
  static size_t FrozenBytes(uint32_t length) noexcept {
    return sizeof(Block) + (size_t(length) + 1) * sizeof(WChar);
  }
  static constexpr size_t kFrozenAlignment = alignof(uint32_t);
  // Lays a frozen copy of a text (length resolved, not 0) out at `at`, which
  // must hold FrozenBytes(length) bytes, and returns a handle to it.
  static WStrBuf Freeze(void* at, const WChar* text, uint32_t length) noexcept {
    return FreezeFilled(at, [text, length](WChar* units) {
      CopyUnits(units, text, length);
      return length;
    });
  }
  // The same, with the text written by fill(units), which returns how many
  // units it wrote (a text decoded straight into its place; `at` holds
  // FrozenBytes of at least that many).
  template <class Fill>
  static WStrBuf FreezeFilled(void* at, Fill&& fill) noexcept {
    Block* block = static_cast<Block*>(at);
    block->capacity = 0;
    const uint32_t length = fill(block->data());
    block->length = length;
    block->data()[length] = 0;
    WStrBuf frozen;
    frozen.block_ = block;
    return frozen;
  }
  // The block of a frozen handle, as an address to publish, and a handle
  // to a block so published.
  const void* FrozenBlock() const noexcept { return block_; }
  static WStrBuf OfFrozenBlock(const void* block) noexcept {
    WStrBuf shared;
    shared.block_ = static_cast<Block*>(const_cast<void*>(block));
    return shared;
  }
  // Another handle to this frozen text; only valid for a frozen handle.
  WStrBuf ShareFrozen() const noexcept {
    WStrBuf shared;
    shared.block_ = block_;
    return shared;
  }

  bool Equals(const WStrBuf& other) const noexcept;
  bool Equals(const WChar* text, uint32_t length) const;
  // Equals for a length already resolved (no 0xFFFFFFFF convention), inline
  // for the walks along siblings that test one name after another.
  bool EqualsResolved(const WChar* text, uint32_t length) const noexcept {
    if (!block_) return length == 0;
    if (block_->length != length) return false;
    if (length == 0) return true;
    return std::memcmp(block_->data(), text, size_t(length) * sizeof(WChar)) == 0;
  }

  // Order of names: UTF-16LE bytes compared as unsigned bytes over the common
  // length, then the shorter text first. Result -1, 0 or 1.
  static int Compare(const WChar* a, uint32_t lengthA, const WChar* b, uint32_t lengthB);
  int Compare(const WChar* text, uint32_t length) const {
    return Compare(Data(), Length(), text, length);
  }

  // Code-page conversions (wstr_buf_narrow.cpp).
  // Narrow text in a code page to wide text. Length 0xFFFFFFFF means up to
  // the zero byte. Failure leaves the destination empty.
  static bool FromNarrow(WStrBuf& destination, const char* text, uint32_t length,
                         uint32_t codePage);
  // Wide text to a new zero-terminated narrow array placed in the holder.
  // An empty source gives the static empty text without touching the holder;
  // failure gives the static empty text, length 0 and false.
  static bool ToNarrow(const WStrBuf& source, uint32_t codePage, RefPtr<XInRes>& holder,
                       const char*& text, uint32_t& length);
  static bool ToNarrow(const WChar* source, uint32_t sourceLength, uint32_t codePage,
                       RefPtr<XInRes>& holder, const char*& text, uint32_t& length);

  static const WChar kEmpty[1];
  static const char kEmptyNarrow[1];

 private:
  // Names and most values are short, and a call to memcpy costs more than
  // the copy itself there: they are copied as two blocks of equal size that
  // overlap in the middle, so no unit is copied on its own and nothing is
  // read or written outside the n units.
  static void CopyUnits(WChar* to, const WChar* from, uint32_t n) noexcept {
    static_assert(sizeof(WChar) == 2, "two bytes a unit");
    if (n >= 4 && n <= 16) {
      if (n >= 8) {
        CopyOverlapping<16>(to, from, n);
      } else {
        CopyOverlapping<8>(to, from, n);
      }
    } else if (n < 4) {
      for (uint32_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
      std::memcpy(to, from, size_t(n) * sizeof(WChar));
    }
  }
  // Copies n units (kBytes to twice as many bytes) as the first and the
  // last kBytes bytes; both are read before either is written.
  template <size_t kBytes>
  static void CopyOverlapping(WChar* to, const WChar* from, uint32_t n) noexcept {
    unsigned char head[kBytes], tail[kBytes];
    const size_t bytes = size_t(n) * sizeof(WChar);
    std::memcpy(head, from, kBytes);
    std::memcpy(tail, reinterpret_cast<const unsigned char*>(from) + bytes - kBytes, kBytes);
    std::memcpy(to, head, kBytes);
    std::memcpy(reinterpret_cast<unsigned char*>(to) + bytes - kBytes, tail, kBytes);
  }

  struct Block {
    uint32_t capacity;
    uint32_t length;
    WChar* data() noexcept { return reinterpret_cast<WChar*>(this + 1); }
  };

  static Block* NewBlock(uint32_t capacity);
  // A new block holding a copy of the text, with room for at least 8 units.
  static Block* NewBlockWith(const WChar* text, uint32_t length);
  static void FreeBlock(Block* block) noexcept;
  WStrBuf& AppendCharSlow(WChar c);
  WStrBuf& AppendSlow(const WChar* text, uint32_t n);

  Block* block_ = nullptr;
};

// Capacity policy shared by text and byte buffers.
// A block of capacity c is kept for a text of length n when n <= c <= FitLimit(n).
inline uint32_t FitLimit(uint32_t n) {
  if (n < 8) return 8;
  uint64_t limit = uint64_t(n) + n / 2;
  return limit > kWholeText ? kWholeText : static_cast<uint32_t>(limit);
}
uint32_t GrowCapacity(uint32_t oldLength, uint32_t wanted);

}  // namespace kelmo

#endif  // KELMO_TREE_WSTR_BUF_H
