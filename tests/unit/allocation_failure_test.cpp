// Running out of memory part-way through a parse or a copy: whichever
// allocation fails, the failure reaches the caller and every chunk the
// document had taken goes back. The chunks counted by the document memory
// include those taken straight from the system, which the leak checker
// cannot see, so the count is what these tests compare.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

#include "api/kelmo_parser_impl.h"
#include "tree/doc_memory.h"
#include "tree/tree_node.h"
#include "tree_test_support.h"

namespace {

// Allocations left before one fails; negative when none is to fail. The
// replaced operator new below serves the whole test program, library
// included, so the library's own allocations can be made to fail one by one.
std::atomic<int64_t> g_allocationsBeforeFailure{-1};

}  // namespace

namespace {

// Every allocation of the program comes here, so that one can be made to
// fail; every form of operator new and delete is replaced, so that the
// sanitizers see one allocator on both sides.
void* Allocate(std::size_t size, std::size_t alignment) {
  int64_t left = g_allocationsBeforeFailure.load(std::memory_order_relaxed);
  while (left >= 0) {
    if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
      if (left == 0) return nullptr;
      break;
    }
  }
  if (size == 0) size = 1;
#if defined(_WIN32)
  // Only the plain forms are replaced there (below).
  (void)alignment;
  return std::malloc(size);
#else
  if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
  return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
#endif
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
  if (void* block = Allocate(size, alignment)) return block;
  throw std::bad_alloc();
}

}  // namespace

// The compiler takes free() after a call of operator new for a mismatch; here
// operator new is this malloc-based one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }
#if !defined(_WIN32)
// Windows' C library has no aligned_alloc, and its aligned blocks need their
// own free: the aligned forms keep their defaults there, which pair up.
void* operator new(std::size_t size, std::align_val_t a) { return AllocateOrThrow(size, std::size_t(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return AllocateOrThrow(size, std::size_t(a)); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(size, std::size_t(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(size, std::size_t(a));
}
#endif
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
#if !defined(_WIN32)
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
#endif

namespace kelmo_tree_test {
namespace {

using kelmo::DocMemory;
using kelmo::KelmoParserImpl;

// A document of a few hundred kilobytes: chunks of every size the memory
// takes, from the first small ones to those it takes from the system.
std::string LargeDocument() {
  std::string xml = "<?xml version='1.0' encoding='UTF-8'?><root>";
  for (int i = 0; i < 3000; ++i)
    xml += "<item id='" + std::to_string(i) + "' kind='k" + std::to_string(i % 7) +
           "'>text of item " + std::to_string(i) + " \xC3\xA9</item>";
  return xml + "</root>";
}

struct Baseline {
  int64_t documents = DocMemory::LiveDocuments();
  size_t chunkBytes = DocMemory::LiveChunkBytes();
};

// Fails the first, second, third... allocation of `operation` until it
// succeeds, checking after each failure that nothing of the document stays.
template <typename Operation>
void FailEachAllocationOf(Operation operation) {
  const Baseline before;
  int failures = 0;
  for (int64_t allocation = 0;; ++allocation) {
    bool succeeded = false;
    g_allocationsBeforeFailure.store(allocation);
    try {
      succeeded = operation();
    } catch (const std::bad_alloc&) {
    }
    g_allocationsBeforeFailure.store(-1);
    EXPECT_EQ(DocMemory::LiveDocuments(), before.documents) << "allocation " << allocation;
    EXPECT_EQ(DocMemory::LiveChunkBytes(), before.chunkBytes) << "allocation " << allocation;
    if (succeeded) break;
    ++failures;
    ASSERT_LT(allocation, 100000) << "never succeeded";
  }
  // The operation did allocate, and failed each time (chunks kept from
  // earlier documents spare it some allocations).
  EXPECT_GE(failures, 3);
}

TEST(AllocationFailure, ParseOfBytesGivesBackEveryChunk) {
  const std::string xml = LargeDocument();
  FailEachAllocationOf([&xml] {
    RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, kelmo::adopt_ref);
    return parser->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                               static_cast<unsigned int>(xml.size())) &&
           parser->DetachRoot();
  });
}

TEST(AllocationFailure, ParseOfWideTextGivesBackEveryChunk) {
  const std::string narrow = LargeDocument();
  const std::u16string xml(narrow.begin(), narrow.end());
  FailEachAllocationOf([&xml] {
    RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, kelmo::adopt_ref);
    return parser->ParseStringW(W(xml), static_cast<unsigned int>(xml.size())) &&
           parser->DetachRoot();
  });
}

TEST(AllocationFailure, CloneGivesBackEveryChunk) {
  const std::string xml = LargeDocument();
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, kelmo::adopt_ref);
  ASSERT_TRUE(parser->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                                  static_cast<unsigned int>(xml.size())));
  RefPtr<Kelmo> root = parser->DetachRoot();
  FailEachAllocationOf([&root] { return static_cast<bool>(root->Clone()); });
}

}  // namespace
}  // namespace kelmo_tree_test
