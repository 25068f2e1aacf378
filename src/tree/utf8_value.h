// A String value kept as the UTF-8 a document was read from, laid out in the
// document's memory behind a small header. It is well-formed UTF-8 (no
// surrogate half that a reference named), so it may be handed out and
// written as it stands. Texts read from UTF-8 input stay
// in that form, so a parse copies them instead of decoding them, and the
// UTF-8 writer and UTF-8 getters take them as they are. The UTF-16 form is
// made the first time a reader asks for it, carved from the same memory and
// published for readers on every thread; it lives as long as the memory.
#ifndef KELMO_TREE_UTF8_VALUE_H
#define KELMO_TREE_UTF8_VALUE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "tree/wstr_buf.h"

namespace kelmo {

class Utf8Value {
 public:
  // Bytes and alignment of the block of a text of `size` bytes (not 0).
  static size_t BlockBytes(uint32_t size) noexcept { return sizeof(Utf8Value) + size_t(size) + 1; }
  static constexpr size_t kAlignment = alignof(std::atomic<const void*>);
  // Lays a text (trusted UTF-8, not empty) out at `at`, which holds
  // BlockBytes(size) bytes.
  static const Utf8Value* Lay(void* at, const char* bytes, uint32_t size) noexcept {
    Utf8Value* value = new (at) Utf8Value(size);
    char* own = reinterpret_cast<char*>(value + 1);
    std::memcpy(own, bytes, size);
    own[size] = 0;
    return value;
  }

  // The zero-terminated bytes and their number.
  const char* Bytes() const noexcept { return reinterpret_cast<const char*>(this + 1); }
  uint32_t Size() const noexcept { return size_; }

  // The UTF-16 form, a frozen text. `owner` is the node that holds this
  // value (a counted block of the same document's memory), kept alive by
  // the caller. Throws std::bad_alloc when the form is not made yet and
  // there is no memory for it.
  WStrBuf Wide(const void* owner) const {
    if (const void* block = wide_.load(std::memory_order_acquire))
      return WStrBuf::OfFrozenBlock(block);
    return MakeWide(owner);
  }

 private:
  explicit Utf8Value(uint32_t size) noexcept : size_(size) {}
  // Texts from this many bytes are counted before they are decoded, rather
  // than decoded into room for a unit a byte.
  static constexpr uint32_t kCountedFrom = 4096;
  WStrBuf MakeWide(const void* owner) const;

  // The frozen block of the UTF-16 form once made: published under the
  // lock of the memory's late lane, or for a long text, decoded outside it,
  // by the first of the readers that race to make it (the others' copies
  // stay unused in the memory).
  mutable std::atomic<const void*> wide_{nullptr};
  uint32_t size_;
};

}  // namespace kelmo

#endif  // KELMO_TREE_UTF8_VALUE_H
