#include "tree/wstr_buf.h"

#include <cstring>
#include <memory>
#include <new>

namespace kelmo {

const WChar WStrBuf::kEmpty[1] = {0};
const char WStrBuf::kEmptyNarrow[1] = {0};

namespace {
// The largest capacity whose block (header, characters, terminator) can be
// sized without overflow.
constexpr uint32_t kMaxCapacity = 0xFFFFFFFEu;

}  // namespace

uint32_t GrowCapacity(uint32_t oldLength, uint32_t wanted) {
  uint32_t capacity = wanted < 8 ? 8 : wanted;
  if (oldLength >= 8) {
    uint64_t grown = uint64_t(oldLength) + oldLength / 2;
    if (grown > kMaxCapacity) grown = kMaxCapacity;
    if (grown > capacity) capacity = static_cast<uint32_t>(grown);
  }
  return capacity;
}

WStrBuf::Block* WStrBuf::NewBlock(uint32_t capacity) {
  if (capacity > kMaxCapacity) throw std::bad_alloc();
  size_t units = size_t(capacity) + 1;
  if (units > (SIZE_MAX - sizeof(Block)) / sizeof(WChar)) throw std::bad_alloc();
  void* memory = ::operator new(sizeof(Block) + units * sizeof(WChar));
  Block* block = static_cast<Block*>(memory);
  block->capacity = capacity;
  block->length = 0;
  block->data()[0] = 0;
  return block;
}

WStrBuf::Block* WStrBuf::NewBlockWith(const WChar* text, uint32_t length) {
  Block* block = NewBlock(length < 8 ? 8 : length);
  CopyUnits(block->data(), text, length);
  block->data()[length] = 0;
  block->length = length;
  return block;
}

void WStrBuf::FreeBlock(Block* block) noexcept {
  // A frozen block belongs to the memory it was laid out in.
  if (block->capacity != 0) ::operator delete(block);
}

WStrBuf::WStrBuf(const WChar* zeroTerminated) : WStrBuf(zeroTerminated, kWholeText) {}

WStrBuf::WStrBuf(const WChar* text, uint32_t length) {
  length = text::ResolveLength(text, length);
  if (length != 0) block_ = NewBlockWith(text, length);
}

WStrBuf::WStrBuf(const WStrBuf& other) : WStrBuf(other.Data(), other.Length()) {}

WStrBuf& WStrBuf::operator=(const WStrBuf& other) {
  if (block_ == other.block_) return *this;
  return Assign(other.Data(), other.Length());
}

WStrBuf& WStrBuf::Assign(const WChar* text, uint32_t length) {
  length = text::ResolveLength(text, length);
  if (length == 0) {
    Clear();
    return *this;
  }
  if (!block_) {
    block_ = NewBlockWith(text, length);
    return *this;
  }
  if (text == block_->data() && length == block_->length) return *this;
  uint32_t capacity = Capacity();
  if (length <= capacity && capacity <= FitLimit(length)) {
    // The source may lie inside this block (trimming does that).
    std::memmove(block_->data(), text, size_t(length) * sizeof(WChar));
    block_->length = length;
    block_->data()[length] = 0;
    return *this;
  }
  Block* fresh = NewBlockWith(text, length);
  Block* old = block_;
  block_ = fresh;
  if (old) FreeBlock(old);
  return *this;
}

WStrBuf& WStrBuf::AssignChar(WChar c) {
  uint32_t capacity = Capacity();
  if (capacity < 1 || capacity > 8) {
    Block* fresh = NewBlock(8);
    Clear();
    block_ = fresh;
  }
  block_->data()[0] = c;
  block_->data()[1] = 0;
  block_->length = 1;
  return *this;
}

WStrBuf& WStrBuf::AppendSlow(const WChar* text, uint32_t n) {
  if (!block_) {
    block_ = NewBlockWith(text, n);
    return *this;
  }
  uint32_t old = block_->length;
  uint32_t total = text::CheckedAdd(old, n);
  if (block_->capacity >= total) {
    if (n) std::memmove(block_->data() + old, text, size_t(n) * sizeof(WChar));
    block_->data()[total] = 0;
    block_->length = total;
    return *this;
  }
  Block* fresh = NewBlock(GrowCapacity(old, total));
  std::memcpy(fresh->data(), block_->data(), size_t(old) * sizeof(WChar));
  // The appended text may lie inside the old block: copy before freeing it.
  if (n) std::memcpy(fresh->data() + old, text, size_t(n) * sizeof(WChar));
  fresh->data()[total] = 0;
  fresh->length = total;
  FreeBlock(block_);
  block_ = fresh;
  return *this;
}

WStrBuf& WStrBuf::AppendCharSlow(WChar c) {
  if (!block_) {
    block_ = NewBlock(8);
    block_->data()[0] = c;
    block_->data()[1] = 0;
    block_->length = 1;
    return *this;
  }
  uint32_t m = text::CheckedAdd(block_->length, 1);
  uint64_t grown = m < 8 ? 8 : uint64_t(m) + m / 2;
  if (grown > kMaxCapacity) grown = kMaxCapacity;
  Block* fresh = NewBlock(static_cast<uint32_t>(grown));
  std::memcpy(fresh->data(), block_->data(), size_t(block_->length) * sizeof(WChar));
  fresh->length = block_->length;
  FreeBlock(block_);
  block_ = fresh;
  WChar* d = block_->data();
  d[block_->length++] = c;
  d[block_->length] = 0;
  return *this;
}

void WStrBuf::Resize(uint32_t n) {
  uint32_t length = Length();
  if (IsFrozen()) {
    if (n == 0) {
      Clear();
      return;
    }
    // The caller is about to write: the text becomes this handle's own.
    Block* own = NewBlock(n > length ? GrowCapacity(length, n) : (n < 8 ? 8 : n));
    const uint32_t kept = n < length ? n : length;
    std::memcpy(own->data(), block_->data(), size_t(kept) * sizeof(WChar));
    std::memset(own->data() + kept, 0, (size_t(n) - kept + 1) * sizeof(WChar));
    own->length = n;
    block_ = own;
    return;
  }
  if (n == length) return;
  if (n > length) {
    if (n > kMaxCapacity) throw std::bad_alloc();
    if (!block_) {
      block_ = NewBlock(n < 8 ? 8 : n);
    } else if (block_->capacity < n) {
      Block* fresh = NewBlock(GrowCapacity(length, n));
      std::memcpy(fresh->data(), block_->data(), size_t(length) * sizeof(WChar));
      FreeBlock(block_);
      block_ = fresh;
    }
    std::memset(block_->data() + length, 0, (size_t(n) - length + 1) * sizeof(WChar));
    block_->length = n;
    return;
  }
  if (n == 0) {
    Clear();
    return;
  }
  if (block_->capacity > FitLimit(n)) {
    Block* fresh = NewBlock(n < 8 ? 8 : n);
    std::memcpy(fresh->data(), block_->data(), size_t(n) * sizeof(WChar));
    FreeBlock(block_);
    block_ = fresh;
  }
  block_->data()[n] = 0;
  block_->length = n;
}

bool WStrBuf::Equals(const WStrBuf& other) const noexcept {
  if (block_ == other.block_) return true;
  uint32_t length = Length();
  if (length != other.Length()) return false;
  if (length == 0) return true;
  return std::memcmp(Data(), other.Data(), size_t(length) * sizeof(WChar)) == 0;
}

bool WStrBuf::Equals(const WChar* text, uint32_t length) const {
  length = text::ResolveLength(text, length);
  if (text == Data()) return length == Length();
  return EqualsResolved(text, length);
}

int WStrBuf::Compare(const WChar* a, uint32_t lengthA, const WChar* b, uint32_t lengthB) {
  lengthA = text::ResolveLength(a, lengthA);
  lengthB = text::ResolveLength(b, lengthB);
  if (a == b) return lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
  uint32_t common = lengthA < lengthB ? lengthA : lengthB;
  for (uint32_t i = 0; i < common; ++i) {
    uint16_t x = static_cast<uint16_t>(a[i]);
    uint16_t y = static_cast<uint16_t>(b[i]);
    if (x == y) continue;
    // Little-endian byte order: the low byte decides first.
    uint16_t kx = static_cast<uint16_t>((x << 8) | (x >> 8));
    uint16_t ky = static_cast<uint16_t>((y << 8) | (y >> 8));
    return kx < ky ? -1 : 1;
  }
  return lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
}

}  // namespace kelmo
