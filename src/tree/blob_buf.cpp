#include "tree/blob_buf.h"

#include <cstring>
#include <new>

#include "tree/wstr_buf.h"

namespace kelmo {

const unsigned char BlobBuf::kEmpty[1] = {0};

void BlobBuf::Clear() noexcept {
  ::operator delete(block_);
  block_ = nullptr;
}

BlobBuf::BlobBuf(const BlobBuf& other) { Assign(other.Data(), other.Length()); }

BlobBuf& BlobBuf::operator=(const BlobBuf& other) {
  if (block_ != other.block_) Assign(other.Data(), other.Length());
  return *this;
}

BlobBuf& BlobBuf::Assign(const unsigned char* bytes, uint32_t length) {
  length = text::ResolveLength(bytes, length);
  if (length == 0) {
    Clear();
    return *this;
  }
  if (block_ && bytes == block_->data() && length == block_->length) return *this;
  uint32_t capacity = Capacity();
  if (length <= capacity && capacity <= FitLimit(length)) {
    std::memmove(block_->data(), bytes, length);
    block_->length = length;
    block_->data()[length] = 0;
    return *this;
  }
  uint32_t fresh = length < 8 ? 8 : length;
  if (fresh == kWholeText || size_t(fresh) + 1 > SIZE_MAX - sizeof(Block)) throw std::bad_alloc();
  Block* block = static_cast<Block*>(::operator new(sizeof(Block) + size_t(fresh) + 1));
  block->capacity = fresh;
  block->length = length;
  std::memcpy(block->data(), bytes, length);
  block->data()[length] = 0;
  Block* old = block_;
  block_ = block;
  ::operator delete(old);
  return *this;
}

}  // namespace kelmo
