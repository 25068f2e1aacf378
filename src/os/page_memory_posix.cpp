#include "os/page_memory.h"

#include <sys/mman.h>

namespace kelmo::platform {

// The pages are faulted in by the one call (MAP_POPULATE, where the system
// has it) rather than one fault at a time as they are first written: a
// document fills its chunks from start to end at once, and page faults were
// a tenth of the time of a large load.
#ifndef MAP_POPULATE
#define MAP_POPULATE 0
#endif

void* AllocatePages(size_t size) noexcept {
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void FreePages(void* pages, size_t size) noexcept {
  if (pages) munmap(pages, size);
}

}  // namespace kelmo::platform
