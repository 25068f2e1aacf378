// Memory for nodes, child lists and short texts: size classes in steps of 8
// bytes up to 256 (blocks are aligned to 8), each with a free list per
// thread and carved from 32 KiB chunks of its own. Small blocks are what a
// loaded tree is made of, and a general-purpose allocator spends far more per
// block on them (headers, rounding, bin searches).
//
// Any thread may free a block that another thread allocated; it simply joins
// the freeing thread's list. A thread that ends hands its lists on to the
// threads still running. Freed blocks are reused, not returned to the
// system; the chunks go back once the library is unloaded (or the process
// ends) with no block in use. Larger requests go to operator new.
#ifndef KELMO_TREE_SMALL_BLOCK_POOL_H
#define KELMO_TREE_SMALL_BLOCK_POOL_H

#include <cstddef>
#include <cstdint>

namespace kelmo {

namespace pool_detail {

// A sanitizer can only check blocks that it hands out itself. On Windows a
// DLL cannot count on its thread-local destructors running for every thread
// that ends (threads ended abruptly, hosts that unload the DLL while threads
// live), which would strand the blocks a thread had cached, so the system
// allocator serves there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
constexpr bool kPooling = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
constexpr bool kPooling = false;
#else
constexpr bool kPooling = true;
#endif
#else
constexpr bool kPooling = true;
#endif

constexpr size_t kGranule = 8;
constexpr size_t kLargestClass = 256;
constexpr size_t kClassCount = kLargestClass / kGranule;

inline size_t ClassOf(size_t size) { return size ? (size - 1) / kGranule : 0; }
inline size_t ClassBytes(size_t sizeClass) { return (sizeClass + 1) * kGranule; }

struct FreeBlock {
  FreeBlock* next;
};

enum : uint8_t { kFresh = 0, kOpen = 1, kClosed = 2 };

// Plain data, so that it needs no construction and stays readable while the
// thread ends (a block may still be freed by then).
struct ThreadCache {
  FreeBlock* lists[kClassCount];
  // Each class carves from a region of its own, so that blocks of one kind
  // (nodes, short names) lie densely together however often they are
  // reused.
  char* bump[kClassCount];
  char* bumpEnd[kClassCount];
  int64_t inUse;
  uint8_t state;
};

#if defined(__GNUC__)
extern __thread ThreadCache t_cache;
#else
extern thread_local ThreadCache t_cache;
#endif

}  // namespace pool_detail

class SmallBlockPool {
 public:
  static constexpr size_t kLargestClass = pool_detail::kLargestClass;

  // Size 0 is served as 1. Throws std::bad_alloc when memory runs out. The
  // common cases (a block from this thread's list, or carved from its
  // current chunk) are inline; blocks that ended threads left behind are
  // taken before a new chunk.
  static void* Allocate(size_t size) {
    using namespace pool_detail;
    if (kPooling && size <= kLargestClass) {
      ThreadCache& cache = t_cache;
      if (cache.state == kOpen) {
        const size_t c = ClassOf(size);
        if (FreeBlock* block = cache.lists[c]) {
          cache.lists[c] = block->next;
          ++cache.inUse;
          return block;
        }
        const size_t bytes = ClassBytes(c);
        if (static_cast<size_t>(cache.bumpEnd[c] - cache.bump[c]) >= bytes) {
          char* block = cache.bump[c];
          cache.bump[c] += bytes;
          ++cache.inUse;
          return block;
        }
      }
    }
    return AllocateSlow(size);
  }

  // Size must be the one given to Allocate. Null is ignored.
  static void Free(void* block, size_t size) noexcept {
    using namespace pool_detail;
    if (kPooling && block && size <= kLargestClass) {
      ThreadCache& cache = t_cache;
      if (cache.state == kOpen) {
        const size_t c = ClassOf(size);
        FreeBlock* freed = static_cast<FreeBlock*>(block);
        freed->next = cache.lists[c];
        cache.lists[c] = freed;
        --cache.inUse;
        return;
      }
    }
    FreeSlow(block, size);
  }

  // Blocks handed out and not yet freed, as far as this thread can tell:
  // the sum over threads that have ended plus the calling thread's own
  // count. For tests.
  static int64_t BlocksInUseSeenHere() noexcept;
  // Whether blocks come from the pool; builds with a sanitizer pass every
  // request to operator new so that its checks see each block.
  static bool Pooling() noexcept { return pool_detail::kPooling; }

 private:
  static void* AllocateSlow(size_t size);
  static void FreeSlow(void* block, size_t size) noexcept;
};

}  // namespace kelmo

#endif  // KELMO_TREE_SMALL_BLOCK_POOL_H
