#include "tree/doc_memory.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <utility>

#include "os/page_memory.h"
#include "text/unit_scan.h"
#include "text/utf8_codec.h"
#include "tree/name_hash.h"

namespace kelmo {

namespace {

// Every counted block starts with this header; 8 bytes on every platform so
// that the block behind it keeps the alignment of the chunk.
union BlockHeader {
  DocMemory* memory;
  uint64_t padding;
};
static_assert(sizeof(BlockHeader) == DocMemory::kCountedHeaderBytes, "counted block header");

// Lifts the count while a builder carves: far above any number of blocks
// one document can have, far below overflow.
constexpr int64_t kReserve = int64_t(1) << 60;

constexpr size_t kFirstChunk = 8 * 1024;
// Chunks double up to 1 MB; a lane that has taken kHugeChunksFrom in all
// goes on in chunks of one huge page (2 MB), which the system's memory can
// back with one page (os/page_memory.h), so a large tree costs a fault per
// 2 MB rather than per 4 KB. The last chunk of each lane is partly empty,
// which is why smaller trees keep the smaller chunks.
constexpr size_t kSteadyChunk = 1024 * 1024;
constexpr size_t kLargestChunk = 2 * 1024 * 1024;
constexpr size_t kHugeChunksFrom = 8 * 1024 * 1024;

// A sanitizer (and its leak check) only sees memory that comes through the
// heap, so its builds take every chunk from there and keep none for later.
// Elsewhere large chunks come straight from the system, which takes them
// back when they are freed.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELMO_CHUNKS_FROM_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KELMO_CHUNKS_FROM_HEAP_ONLY 1
#endif
#endif
#ifdef KELMO_CHUNKS_FROM_HEAP_ONLY
constexpr size_t kPagesFrom = SIZE_MAX;
constexpr bool kKeepHeapChunks = false;
#else
constexpr size_t kPagesFrom = 256 * 1024;
constexpr bool kKeepHeapChunks = true;
#endif

std::atomic<int64_t> g_liveDocuments{0};
std::atomic<int64_t> g_wholeReleases{0};
// Chunks come a few per megabyte, so counting their bytes costs nothing
// that shows.
std::atomic<size_t> g_liveChunkBytes{0};

// The system's chunks of the last documents freed are kept for the next
// ones, up to kKeptPageBytes in all, so that loading documents one after
// another does not fault every page in afresh, while a process that lets a
// large tree go still gives nearly all of it back. Chunks this large come
// and go a few times per megabyte of tree, so a spin lock guards them.
constexpr size_t kKeptPageBytes = 8 * 1024 * 1024;
constexpr size_t kKeptPageChunks = 16;

class PageChunkCache {
 public:
  ~PageChunkCache() {
    Hold hold(lock_);
    for (size_t i = 0; i < count_; ++i) os::FreePages(chunks_[i], sizes_[i]);
    count_ = 0;
    closed_ = true;  // documents freed later give their chunks back at once
  }
  void* Take(size_t size) noexcept {
    Hold hold(lock_);
    for (size_t i = count_; i-- > 0;) {
      if (sizes_[i] != size) continue;
      void* chunk = chunks_[i];
      Remove(i);
      return chunk;
    }
    return nullptr;
  }
  size_t Bytes() noexcept {
    Hold hold(lock_);
    return bytes_;
  }
  // The newest chunks are kept: the oldest make room, so that a document of
  // another size does not find the cache full of chunks it cannot use.
  bool Keep(void* chunk, size_t size) noexcept {
    if (size > kKeptPageBytes) return false;
    void* evicted[kKeptPageChunks];
    size_t evictedSizes[kKeptPageChunks];
    size_t evictions = 0;
    {
      Hold hold(lock_);
      if (closed_) return false;
      while (count_ == kKeptPageChunks || size > kKeptPageBytes - bytes_) {
        evicted[evictions] = chunks_[0];
        evictedSizes[evictions] = sizes_[0];
        ++evictions;
        Remove(0);
      }
      chunks_[count_] = chunk;
      sizes_[count_] = size;
      ++count_;
      bytes_ += size;
    }
    for (size_t i = 0; i < evictions; ++i) os::FreePages(evicted[i], evictedSizes[i]);
    return true;
  }

 private:
  struct Hold {
    explicit Hold(std::atomic_flag& flag) : flag_(flag) {
      while (flag_.test_and_set(std::memory_order_acquire)) {
      }
    }
    ~Hold() { flag_.clear(std::memory_order_release); }
    std::atomic_flag& flag_;
  };
  // Keeps the others in the order they came.
  void Remove(size_t i) noexcept {
    bytes_ -= sizes_[i];
    --count_;
    for (; i < count_; ++i) {
      chunks_[i] = chunks_[i + 1];
      sizes_[i] = sizes_[i + 1];
    }
  }
  std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
  void* chunks_[kKeptPageChunks] = {};
  size_t sizes_[kKeptPageChunks] = {};
  size_t count_ = 0;
  size_t bytes_ = 0;
  bool closed_ = false;
} g_pageChunks;

bool Cacheable(size_t size) {
  return size >= kPagesFrom && size <= kLargestChunk && (size & (size - 1)) == 0;
}

void* TakeCachedChunk(size_t size) { return Cacheable(size) ? g_pageChunks.Take(size) : nullptr; }

bool KeepChunk(void* chunk, size_t size) { return Cacheable(size) && g_pageChunks.Keep(chunk, size); }

// The heap chunks of freed documents are kept too, a few of each size
// below kPagesFrom (8 KB up to 128 KB), so that a loop of small documents
// takes its chunks back warm instead of from the allocator every time. What
// is kept is bounded by the slots: under 512 KB.
constexpr size_t kHeapChunkClasses = 5;
constexpr size_t kHeapChunksPerClass = 2;
std::atomic<void*> g_heapChunkCache[kHeapChunkClasses * kHeapChunksPerClass];

// The first slot for chunks of `size` bytes, or SIZE_MAX when that size is
// not kept.
size_t HeapChunkSlots(size_t size) {
  if (!kKeepHeapChunks || size >= kPagesFrom || (size & (size - 1)) != 0) return SIZE_MAX;
  size_t sizeClass = 0;
  for (size_t s = kFirstChunk; s < size; s *= 2) ++sizeClass;
  if (size < kFirstChunk || sizeClass >= kHeapChunkClasses) return SIZE_MAX;
  return sizeClass * kHeapChunksPerClass;
}

void* TakeHeapChunk(size_t size) {
  const size_t first = HeapChunkSlots(size);
  if (first == SIZE_MAX) return nullptr;
  for (size_t slot = first; slot < first + kHeapChunksPerClass; ++slot)
    if (g_heapChunkCache[slot].load(std::memory_order_relaxed))
      if (void* chunk = g_heapChunkCache[slot].exchange(nullptr, std::memory_order_acquire))
        return chunk;
  return nullptr;
}

bool KeepHeapChunk(void* chunk, size_t size) {
  const size_t first = HeapChunkSlots(size);
  if (first == SIZE_MAX) return false;
  for (size_t slot = first; slot < first + kHeapChunksPerClass; ++slot) {
    void* empty = nullptr;
    if (g_heapChunkCache[slot].compare_exchange_strong(empty, chunk, std::memory_order_release,
                                                       std::memory_order_relaxed))
      return true;
  }
  return false;
}

struct HeapChunkCacheDrain {
  ~HeapChunkCacheDrain() {
    for (std::atomic<void*>& slot : g_heapChunkCache)
      if (void* chunk = slot.exchange(nullptr)) ::operator delete(chunk);
  }
} g_heapChunkCacheDrain;

inline size_t AlignUp(size_t n, size_t alignment) { return (n + alignment - 1) & ~(alignment - 1); }

inline BlockHeader* HeaderOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(static_cast<char*>(const_cast<void*>(block)) -
                                        sizeof(BlockHeader));
}


}  // namespace

struct DocMemory::Chunk {
  Chunk* next;
  size_t size;
};

// --- DocMemory ---

DocMemory* DocMemory::Create() {
  DocMemory* memory = new DocMemory;
  memory->live_.store(kReserve, std::memory_order_relaxed);
  for (LaneState& lane : memory->lanes_) lane.nextChunkSize = kFirstChunk;
  g_liveDocuments.fetch_add(1, std::memory_order_relaxed);
  return memory;
}

int64_t DocMemory::LiveDocuments() noexcept {
  return g_liveDocuments.load(std::memory_order_acquire);
}

int64_t DocMemory::WholeReleases() noexcept {
  return g_wholeReleases.load(std::memory_order_acquire);
}

size_t DocMemory::KeptPageBytes() noexcept { return g_pageChunks.Bytes(); }

size_t DocMemory::LiveChunkBytes() noexcept {
  return g_liveChunkBytes.load(std::memory_order_acquire);
}

void DocMemory::Seal(const void* root) noexcept {
  DocMemory* memory = OwnerOf(root);
  if (!memory) return;
  memory->sealedBlocks_ = memory->live_.load(std::memory_order_acquire);
  memory->sealedRoot_.store(root, std::memory_order_release);
}

// Every node of a tree that was never linked or unlinked since the parse is
// held by exactly two links (its neighbours' or the list's ends), and no
// block of it can die or be made without a link changing. So in an unspoiled
// tree the count equals the one sealed exactly when no node is held from
// outside (a held node adds to it, and is counted before its own count
// shows it), and the root is dying: every block is in the tree and nobody
// else can reach one.
bool DocMemory::ReleaseWhole(const void* root) noexcept {
  DocMemory* memory = OwnerOf(root);
  if (!memory || memory->sealedRoot_.load(std::memory_order_acquire) != root) return false;
  memory->sealedRoot_.store(nullptr, std::memory_order_relaxed);
  if (memory->spoiled_.load(std::memory_order_acquire) ||
      memory->live_.load(std::memory_order_acquire) != memory->sealedBlocks_)
    return false;
  memory->FreeChunks();
  g_wholeReleases.fetch_add(1, std::memory_order_relaxed);
  g_liveDocuments.fetch_sub(1, std::memory_order_release);
  delete memory;
  return true;
}

void* DocMemory::AllocateCounted(DocMemory* memory, size_t size) {
  if (memory) return memory->CarveCounted(size);
  BlockHeader* header = static_cast<BlockHeader*>(::operator new(sizeof(BlockHeader) + size));
  header->padding = 0;
  header->memory = nullptr;
  return header + 1;
}

void DocMemory::FreeCounted(void* block) noexcept {
  if (!block) return;
  BlockHeader* header = HeaderOf(block);
  if (DocMemory* memory = header->memory)
    memory->Drop(1);
  else
    ::operator delete(header);
}

DocMemory* DocMemory::OwnerOf(const void* block) noexcept { return HeaderOf(block)->memory; }

void DocMemory::Drop(int64_t blocks) noexcept {
  if (live_.fetch_sub(blocks, std::memory_order_acq_rel) != blocks) return;
  FreeChunks();
  g_liveDocuments.fetch_sub(1, std::memory_order_release);
  delete this;
}

void DocMemory::FreeChunks() noexcept {
  for (Chunk** list : {&chunks_, &lateChunks_}) {
    for (Chunk* chunk = *list; chunk;) {
      Chunk* next = chunk->next;
      g_liveChunkBytes.fetch_sub(chunk->size, std::memory_order_relaxed);
      if (chunk->size >= kPagesFrom) {
        if (!KeepChunk(chunk, chunk->size)) os::FreePages(chunk, chunk->size);
      } else if (!KeepHeapChunk(chunk, chunk->size)) {
        ::operator delete(chunk);
      }
      chunk = next;
    }
    *list = nullptr;
  }
}

void* DocMemory::CarveFromNewChunk(size_t size, size_t alignment, Lane lane) {
  LaneState& state = lanes_[lane];
  const size_t header = AlignUp(sizeof(Chunk), 16);
  if (size > SIZE_MAX / 2 - header) throw std::bad_alloc();
  size_t chunkSize = state.nextChunkSize;
  if (state.nextChunkSize < kSteadyChunk ||
      (state.nextChunkSize < kLargestChunk && state.chunkBytes >= kHugeChunksFrom))
    state.nextChunkSize *= 2;
  const size_t needed = header + size + alignment;
  // An oversized text gets a chunk of its own; the current chunk stays the
  // one to carve from when it has more room left.
  const bool alone = needed > chunkSize;
  if (alone) chunkSize = needed;
  void* raw = nullptr;
  if (chunkSize >= kPagesFrom) {
    raw = TakeCachedChunk(chunkSize);
    if (!raw) raw = os::AllocatePages(chunkSize);
    if (!raw) throw std::bad_alloc();
  } else {
    raw = TakeHeapChunk(chunkSize);
    if (!raw) raw = ::operator new(chunkSize);
  }
  g_liveChunkBytes.fetch_add(chunkSize, std::memory_order_relaxed);
  Chunk* chunk = static_cast<Chunk*>(raw);
  Chunk*& list = lane == kLateLane ? lateChunks_ : chunks_;
  chunk->next = list;
  chunk->size = chunkSize;
  list = chunk;
  state.chunkBytes += chunkSize;
  char* begin = static_cast<char*>(raw) + header;
  char* at = reinterpret_cast<char*>(AlignUp(reinterpret_cast<uintptr_t>(begin), alignment));
  char* end = static_cast<char*>(raw) + chunkSize;
  if (!alone || !state.next || size_t(state.end - state.next) < size_t(end - (at + size))) {
    state.next = at + size;
    state.end = end;
  }
  return at;
}

// --- FreedBlocks ---

void FreedBlocks::Add(void* block) noexcept {
  if (!block) return;
  DocMemory* memory = DocMemory::OwnerOf(block);
  if (!memory) {
    DocMemory::FreeCounted(block);
    return;
  }
  if (memory != memory_) {
    Flush();
    memory_ = memory;
  }
  ++count_;
}

void FreedBlocks::Flush() noexcept {
  if (memory_ && count_) memory_->Drop(count_);
  memory_ = nullptr;
  count_ = 0;
}

// --- DocBuilder ---

void DocBuilder::OpenNew() {
  Close();
  memory_ = DocMemory::Create();
}

void DocBuilder::OpenOwnerOf(const void* block) {
  Close();
  DocMemory* memory = DocMemory::OwnerOf(block);
  if (!memory) return;
  // The caller's block keeps the count above zero, so lifting it is safe.
  memory->live_.fetch_add(kReserve, std::memory_order_relaxed);
  memory_ = memory;
}

void DocBuilder::Close() noexcept {
  names_.clear();
  nameCount_ = 0;
  std::memset(recent_, 0, sizeof recent_);
  for (WStrBuf& name : sequence_) name = WStrBuf();
  if (!memory_) return;
  DocMemory* memory = memory_;
  memory_ = nullptr;
  const int64_t unused = kReserve - carved_;
  carved_ = 0;
  memory->Drop(unused);
}

WStrBuf DocBuilder::FreezeDecodedUtf8Text(const char* bytes, uint32_t size) {
  // A text has at most a unit a byte. Short texts are decoded into room for
  // that many and give back what they did not take; long ones, which would
  // hold much room at once, are counted first.
  constexpr uint32_t kCountedFrom = 4096;
  const uint32_t room = size < kCountedFrom ? size : text::Utf16UnitsOfUtf8(bytes, bytes + size);
  auto decode = [bytes, size, room](WChar* units) {
    return static_cast<uint32_t>(text::DecodeTrustedUtf8(bytes, size, units, units + room) - units);
  };
  if (!memory_) {
    std::basic_string<WChar> units(room, WChar(0));
    units.resize(decode(&units[0]));
    return WStrBuf(units.data(), static_cast<uint32_t>(units.size()));
  }
  const size_t carved = WStrBuf::FrozenBytes(room);
  char* at = static_cast<char*>(
      memory_->Carve(carved, WStrBuf::kFrozenAlignment, DocMemory::kTextLane));
  WStrBuf frozen = WStrBuf::FreezeFilled(at, decode);
  memory_->GiveBackTail(at + carved, carved - WStrBuf::FrozenBytes(frozen.Length()),
                        DocMemory::kTextLane);
  return frozen;
}

const Utf8Value* DocBuilder::KeepOtherUtf8Text(const char* bytes, uint32_t size, WStrBuf& wide) {
  if (!memory_ || text::HoldsSurrogateHalf(bytes, size)) {
    wide = FreezeDecodedUtf8Text(bytes, size);
    return nullptr;
  }
  return KeepUtf8(bytes, size);
}

// Open addressing over a power-of-two table kept at most half full, with a
// keyed hash and a bounded probe run: a name that finds neither its twin nor
// a free slot within kMaxNameProbes slots is not shared, which costs memory
// but never time. Long names seldom repeat, so they are copied without a
// lookup.
WStrBuf DocBuilder::InternName(const WChar* name, uint32_t length) {
  constexpr uint32_t kLongestInterned = 64;
  if (length == 0) return WStrBuf();
  if (!memory_ || length > kLongestInterned) return FreezeText(name, length);
  uint16_t* pair = &recent_[RecentPair(name, length)];
  if (IsRecent(pair[0], name, length)) return names_[pair[0] - 1].name.ShareFrozen();
  if (IsRecent(pair[1], name, length)) {
    std::swap(pair[0], pair[1]);
    return names_[pair[0] - 1].name.ShareFrozen();
  }
  if ((nameCount_ + 1) * 2 > names_.size()) {
    GrowNames();
    pair = &recent_[RecentPair(name, length)];
  }
  const uint32_t hash = hash_ ? hash_(name, length) : static_cast<uint32_t>(NameHash(name, length));
  const size_t mask = names_.size() - 1;
  size_t i = hash & mask;
  for (uint32_t probe = 0; probe < kMaxNameProbes; ++probe, i = (i + 1) & mask) {
    ++nameProbes_;
    NameSlot& slot = names_[i];
    if (slot.name.IsNull()) {
      slot.name = FreezeText(name, length);
      slot.hash = hash;
      ++nameCount_;
      Remember(pair, static_cast<uint32_t>(i + 1));
      return slot.name.ShareFrozen();
    }
    if (slot.hash == hash && slot.name.EqualsResolved(name, length)) {
      Remember(pair, static_cast<uint32_t>(i + 1));
      return slot.name.ShareFrozen();
    }
  }
  return FreezeText(name, length);
}


WStrBuf DocBuilder::FindRecentAsciiName(const char* bytes, uint32_t size) noexcept {
  if (size == 0 || !memory_) return WStrBuf();
  uint64_t head = 0, tail = 0;
  if (size >= 4) {
    head = WidenFour(bytes);
    tail = WidenFour(bytes + size - 4);
  } else {
    for (uint32_t i = 0; i < size; ++i) head = head << 16 | static_cast<unsigned char>(bytes[i]);
  }
  uint16_t* pair = &recent_[RecentPairOf(head, tail, size)];
  if (pair[0] != 0 && SameAsciiName(names_[pair[0] - 1].name, bytes, size))
    return names_[pair[0] - 1].name.ShareFrozen();
  if (pair[1] != 0 && SameAsciiName(names_[pair[1] - 1].name, bytes, size)) {
    std::swap(pair[0], pair[1]);
    return names_[pair[0] - 1].name.ShareFrozen();
  }
  return WStrBuf();
}

// A name that finds no free slot within the bound in the larger table drops
// out of it: nodes keep its text, later names just do not share it.
void DocBuilder::GrowNames() {
  std::memset(recent_, 0, sizeof recent_);  // the slots move
  std::vector<NameSlot> old;
  old.swap(names_);
  names_.resize(old.empty() ? 64 : old.size() * 2);
  nameCount_ = 0;
  const size_t mask = names_.size() - 1;
  for (NameSlot& slot : old) {
    if (slot.name.IsNull()) continue;
    size_t i = slot.hash & mask;
    for (uint32_t probe = 0; probe < kMaxNameProbes; ++probe, i = (i + 1) & mask) {
      ++nameProbes_;
      if (names_[i].name.IsNull()) {
        names_[i].hash = slot.hash;
        names_[i].name.Swap(slot.name);
        ++nameCount_;
        // The names known so far are the recent ones again at their new
        // slots, so growing costs no lookups later.
        const WStrBuf& name = names_[i].name;
        Remember(&recent_[RecentPair(name.Data(), name.Length())], static_cast<uint32_t>(i + 1));
        break;
      }
    }
  }
}

}  // namespace kelmo
