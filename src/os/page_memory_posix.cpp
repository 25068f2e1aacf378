#include "os/page_memory.h"

#include <cstdint>

#include <sys/mman.h>

namespace kelmo::os {

// The pages are faulted in by the one call (MAP_POPULATE or
// MADV_POPULATE_WRITE, where the system has them) rather than one fault at
// a time as they are first written: a document fills its chunks from start
// to end at once, and page faults were a tenth of the time of a large load.
#ifndef MAP_POPULATE
#define MAP_POPULATE 0
#endif

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Memory in whole huge pages is placed on a huge-page boundary and offered
// to the system for huge pages, so that filling it takes one fault per
// 2 MB instead of one per 4 KB (where the system allows huge pages).
void* AllocateHugeAligned(size_t size) noexcept {
  const size_t span = size + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t(kHugePage) - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = aligned + size;
  if (start + span > end) munmap(reinterpret_cast<void*>(end), start + span - end);
  void* pages = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  madvise(pages, size, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  madvise(pages, size, MADV_POPULATE_WRITE);
#endif
  return pages;
}

}  // namespace

void* AllocatePages(size_t size) noexcept {
  if (size % kHugePage == 0) return AllocateHugeAligned(size);
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void FreePages(void* pages, size_t size) noexcept {
  if (pages) munmap(pages, size);
}

}  // namespace kelmo::os
