#include "os/page_memory.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kelmo::os {

void* AllocatePages(size_t size) noexcept {
  return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void FreePages(void* pages, size_t) noexcept {
  if (pages) VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace kelmo::os
