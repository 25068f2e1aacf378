#include "tree/small_block_pool.h"

#include <atomic>
#include <new>

namespace kelmo {
namespace pool_detail {
#if defined(__GNUC__)
__thread ThreadCache t_cache;
#else
thread_local ThreadCache t_cache;
#endif
}  // namespace pool_detail

namespace {

using namespace pool_detail;

constexpr size_t kChunkBytes = 32 * 1024;

// Every piece of memory taken from operator new starts with this header and
// is listed in g_chunks until the pool is torn down.
struct alignas(16) Chunk {
  Chunk* next;
};

// The unused tail of a chunk that an ending thread leaves for others.
struct alignas(16) SpareRegion {
  SpareRegion* next;
  char* end;
};

std::atomic<Chunk*> g_chunks{nullptr};
std::atomic<FreeBlock*> g_orphans[kClassCount] = {};
std::atomic<SpareRegion*> g_spare{nullptr};
// Blocks in use as counted by threads that have ended.
std::atomic<int64_t> g_endedInUse{0};
// Threads whose lists have not been handed on yet.
std::atomic<int32_t> g_openCaches{0};

// Pushes the chain head..tail onto a shared list. Only pushes and whole-list
// takes touch these lists, so no node is ever read after another thread
// could have reused it.
template <class Node>
void PushChain(std::atomic<Node*>& list, Node* head, Node* tail) noexcept {
  Node* old = list.load(std::memory_order_relaxed);
  do {
    tail->next = old;
  } while (!list.compare_exchange_weak(old, head, std::memory_order_release,
                                       std::memory_order_relaxed));
}

template <class Node>
Node* TakeAll(std::atomic<Node*>& list) noexcept {
  if (!list.load(std::memory_order_relaxed)) return nullptr;
  return list.exchange(nullptr, std::memory_order_acquire);
}

char* NewChunk(size_t bytes) {
  Chunk* chunk = static_cast<Chunk*>(::operator new(bytes));
  PushChain(g_chunks, chunk, chunk);
  return reinterpret_cast<char*>(chunk + 1);
}

void Close(ThreadCache& cache) noexcept {
  for (size_t c = 0; c < kClassCount; ++c) {
    FreeBlock* head = cache.lists[c];
    if (!head) continue;
    FreeBlock* tail = head;
    while (tail->next) tail = tail->next;
    PushChain(g_orphans[c], head, tail);
    cache.lists[c] = nullptr;
  }
  for (size_t c = 0; c < kClassCount; ++c) {
    if (cache.bumpEnd[c] - cache.bump[c] >=
        static_cast<std::ptrdiff_t>(sizeof(SpareRegion) + kGranule)) {
      SpareRegion* region = reinterpret_cast<SpareRegion*>(cache.bump[c]);
      region->end = cache.bumpEnd[c];
      PushChain(g_spare, region, region);
    }
    cache.bump[c] = cache.bumpEnd[c] = nullptr;
  }
  g_endedInUse.fetch_add(cache.inUse, std::memory_order_relaxed);
  cache.inUse = 0;
  cache.state = kClosed;
  g_openCaches.fetch_sub(1, std::memory_order_release);
}

struct CacheCloser {
  ~CacheCloser() { Close(t_cache); }
};

void Open(ThreadCache& cache) noexcept {
  // Constructing the closer registers its destructor for this thread's end.
  static thread_local CacheCloser closer;
  (void)closer;
  g_openCaches.fetch_add(1, std::memory_order_relaxed);
  cache.state = kOpen;
}

// A fresh region to carve from: a spare tail left by an ended thread, or a
// new chunk.
void Refill(ThreadCache& cache, size_t c) {
  if (SpareRegion* regions = TakeAll(g_spare)) {
    if (SpareRegion* rest = regions->next) {
      SpareRegion* tail = rest;
      while (tail->next) tail = tail->next;
      PushChain(g_spare, rest, tail);
    }
    if (static_cast<size_t>(regions->end - reinterpret_cast<char*>(regions)) >= ClassBytes(c)) {
      cache.bumpEnd[c] = regions->end;
      cache.bump[c] = reinterpret_cast<char*>(regions);
      return;
    }
    // Too short for this class: left to the chunk list, like any tail.
  }
  cache.bump[c] = NewChunk(kChunkBytes);
  cache.bumpEnd[c] = cache.bump[c] + (kChunkBytes - sizeof(Chunk));
}

// After the thread's lists were handed on: blocks come from the shared
// lists or from a chunk of their own, and go back to the shared lists.
void* AllocateClosed(size_t c) {
  void* block;
  if (FreeBlock* list = TakeAll(g_orphans[c])) {
    if (FreeBlock* rest = list->next) {
      FreeBlock* tail = rest;
      while (tail->next) tail = tail->next;
      PushChain(g_orphans[c], rest, tail);
    }
    block = list;
  } else {
    block = NewChunk(sizeof(Chunk) + ClassBytes(c));
  }
  g_endedInUse.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void* AllocateUncached(ThreadCache& cache, size_t c) {
  if (cache.state == kClosed) return AllocateClosed(c);
  if (cache.state == kFresh) Open(cache);
  if (FreeBlock* block = cache.lists[c]) {
    cache.lists[c] = block->next;
    ++cache.inUse;
    return block;
  }
  if (FreeBlock* list = TakeAll(g_orphans[c])) {
    cache.lists[c] = list->next;
    ++cache.inUse;
    return list;
  }
  const size_t bytes = ClassBytes(c);
  if (static_cast<size_t>(cache.bumpEnd[c] - cache.bump[c]) < bytes) Refill(cache, c);
  char* block = cache.bump[c];
  cache.bump[c] += bytes;
  ++cache.inUse;
  return block;
}

// Gives the chunks back once nothing can refer to them any more: every
// thread that used the pool has handed its lists on and no block is in use.
// Otherwise they stay listed (and reachable) for the blocks still out.
struct PoolTeardown {
  ~PoolTeardown() {
    if (g_openCaches.load(std::memory_order_acquire) != 0) return;
    if (g_endedInUse.load(std::memory_order_relaxed) != 0) return;
    for (auto& orphans : g_orphans) orphans.store(nullptr, std::memory_order_relaxed);
    g_spare.store(nullptr, std::memory_order_relaxed);
    Chunk* chunk = g_chunks.exchange(nullptr, std::memory_order_acquire);
    while (chunk) {
      Chunk* next = chunk->next;
      ::operator delete(chunk);
      chunk = next;
    }
  }
};
PoolTeardown g_teardown;

}  // namespace

void* SmallBlockPool::AllocateSlow(size_t size) {
  if (!kPooling || size > kLargestClass) return ::operator new(size ? size : 1);
  return AllocateUncached(t_cache, ClassOf(size));
}

void SmallBlockPool::FreeSlow(void* block, size_t size) noexcept {
  if (!block) return;
  if (!kPooling || size > kLargestClass) {
    ::operator delete(block);
    return;
  }
  const size_t c = ClassOf(size);
  FreeBlock* freed = static_cast<FreeBlock*>(block);
  ThreadCache& cache = t_cache;
  if (cache.state == kClosed) {
    PushChain(g_orphans[c], freed, freed);
    g_endedInUse.fetch_sub(1, std::memory_order_relaxed);
    return;
  }
  // A thread that only frees still hands its list on when it ends.
  if (cache.state == kFresh) Open(cache);
  freed->next = cache.lists[c];
  cache.lists[c] = freed;
  --cache.inUse;
}

int64_t SmallBlockPool::BlocksInUseSeenHere() noexcept {
  return g_endedInUse.load(std::memory_order_relaxed) + t_cache.inUse;
}


}  // namespace kelmo
