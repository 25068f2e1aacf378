#include "alloc_counter.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

// The C library's own entry points, which the replacements forward to.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<int64_t> g_current{0};
std::atomic<int64_t> g_peak{0};
std::atomic<bool> g_seen{false};
std::atomic<bool> g_counting{false};

inline bool Counting() { return g_counting.load(std::memory_order_relaxed); }

void AddedBytes(int64_t bytes) {
  const int64_t now = g_current.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  int64_t peak = g_peak.load(std::memory_order_relaxed);
  while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void Added(void* pointer) {
  if (!pointer || !Counting()) return;
  AddedBytes(int64_t(malloc_usable_size(pointer)));
  g_seen.store(true, std::memory_order_relaxed);
}

int64_t PageRounded(size_t length) {
  const int64_t page = sysconf(_SC_PAGESIZE);
  return (int64_t(length) + page - 1) / page * page;
}

void Removed(void* pointer) {
  if (pointer && Counting())
    g_current.fetch_sub(int64_t(malloc_usable_size(pointer)), std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  void* p = __libc_malloc(size);
  Added(p);
  return p;
}

void* calloc(size_t count, size_t size) {
  void* p = __libc_calloc(count, size);
  Added(p);
  return p;
}

void* realloc(void* pointer, size_t size) {
  if (!Counting()) return __libc_realloc(pointer, size);
  const int64_t before = pointer ? int64_t(malloc_usable_size(pointer)) : 0;
  void* p = __libc_realloc(pointer, size);
  if (p) {
    g_current.fetch_sub(before, std::memory_order_relaxed);
    Added(p);
  } else if (size == 0) {
    g_current.fetch_sub(before, std::memory_order_relaxed);
  }
  return p;
}

void free(void* pointer) {
  Removed(pointer);
  __libc_free(pointer);
}

void* memalign(size_t alignment, size_t size) {
  void* p = __libc_memalign(alignment, size);
  Added(p);
  return p;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

// Anonymous mappings that a library asks for itself (large blocks straight
// from the system) count as heap too. The C library's own allocator maps
// through its internal entry points, which these do not see.
void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  void* p = reinterpret_cast<void*>(
      syscall(SYS_mmap, address, length, protection, flags, fd, offset));
  if (p != MAP_FAILED && (flags & MAP_ANONYMOUS) && Counting()) AddedBytes(PageRounded(length));
  return p;
}

int munmap(void* address, size_t length) {
  const int result = static_cast<int>(syscall(SYS_munmap, address, length));
  // Only whole mappings that were counted are given back by the callers
  // that matter here.
  if (result == 0 && Counting()) g_current.fetch_sub(PageRounded(length), std::memory_order_relaxed);
  return result;
}

}  // extern "C"

namespace bench {

HeapUse CurrentHeapUse() {
  return HeapUse{g_current.load(std::memory_order_relaxed),
                 g_peak.load(std::memory_order_relaxed)};
}

void SetHeapCounting(bool on) { g_counting.store(on, std::memory_order_relaxed); }

void ResetPeak() { g_peak.store(g_current.load(std::memory_order_relaxed)); }

bool HeapCountingActive() {
  const bool was = g_counting.exchange(true);
  // volatile keeps the compiler from dropping the pair.
  void* volatile probe = std::malloc(64);
  const bool seen = g_seen.load(std::memory_order_relaxed);
  std::free(probe);
  g_counting.store(was);
  return seen;
}

}  // namespace bench
