// Owning handle to one block of bytes (a Binary value), with the same block
// design and capacity policy as WStrBuf. A null handle is an empty array.
#ifndef KELMO_TREE_BLOB_BUF_H
#define KELMO_TREE_BLOB_BUF_H

#include <cstdint>

#include "text/text_length.h"

namespace kelmo {

class BlobBuf {
 public:
  BlobBuf() noexcept = default;
  BlobBuf(const BlobBuf& other);
  BlobBuf(BlobBuf&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  ~BlobBuf() { Clear(); }
  BlobBuf& operator=(const BlobBuf& other);
  BlobBuf& operator=(BlobBuf&& other) noexcept {
    BlobBuf moved(static_cast<BlobBuf&&>(other));
    Block* b = block_;
    block_ = moved.block_;
    moved.block_ = b;
    return *this;
  }

  // Length 0xFFFFFFFF means up to the first zero byte.
  BlobBuf& Assign(const unsigned char* bytes, uint32_t length);
  void Clear() noexcept;

  uint32_t Length() const noexcept { return block_ ? block_->length : 0; }
  uint32_t Capacity() const noexcept { return block_ ? block_->capacity : 0; }
  const unsigned char* Data() const noexcept { return block_ ? block_->data() : kEmpty; }

  static const unsigned char kEmpty[1];

 private:
  struct Block {
    uint32_t capacity;
    uint32_t length;
    unsigned char* data() noexcept { return reinterpret_cast<unsigned char*>(this + 1); }
  };
  Block* block_ = nullptr;
};

}  // namespace kelmo

#endif  // KELMO_TREE_BLOB_BUF_H
