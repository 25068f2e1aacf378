#include "os/page_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace kelmo::os {
namespace {

// Memory from the system comes zeroed and writable at every size a
// document's chunks take; a whole number of huge pages lies on a huge-page
// boundary on Linux, where the system may back it with huge pages.
TEST(PageMemory, ZeroedWritableAndHugeSizesOnAHugeBoundary) {
  for (const size_t size : {size_t(256) << 10, size_t(1) << 20, size_t(2) << 20, size_t(4) << 20}) {
    auto* pages = static_cast<unsigned char*>(AllocatePages(size));
    ASSERT_NE(pages, nullptr) << size;
    const std::vector<unsigned char> zeros(size, 0);
    EXPECT_EQ(std::memcmp(pages, zeros.data(), size), 0) << size;
    pages[0] = 1;
    pages[size - 1] = 2;
#if defined(__linux__)
    if (size % (size_t(2) << 20) == 0) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(pages) % (uintptr_t(2) << 20), 0u) << size;
    }
#endif
    FreePages(pages, size);
  }
}

}  // namespace
}  // namespace kelmo::os
