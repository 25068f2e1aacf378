// Large blocks straight from the operating system, given back to it as soon
// as they are freed. A general-purpose allocator may keep freed memory for
// later requests, so a process that loads one large document and lets it go
// would otherwise stay at its peak size.
#ifndef KELMO_OS_PAGE_MEMORY_H
#define KELMO_OS_PAGE_MEMORY_H

#include <cstddef>

namespace kelmo::os {

// Zero-filled, page-aligned memory of `size` bytes, or null when the system
// refuses. On Linux a size in whole huge pages (2 MB) is aligned to one and
// offered for huge pages, which the system uses where it has them.
void* AllocatePages(size_t size) noexcept;

// Returns memory from AllocatePages; size must be the one asked for.
void FreePages(void* pages, size_t size) noexcept;

}  // namespace kelmo::os

#endif  // KELMO_OS_PAGE_MEMORY_H
