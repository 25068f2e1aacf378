#include "tree/small_block_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "tree/kelmo_impl.h"

namespace kelmo {
namespace {

struct Block {
  unsigned char* bytes;
  size_t size;
  unsigned char fill;
};

Block Fill(size_t size, unsigned char fill) {
  Block block{static_cast<unsigned char*>(SmallBlockPool::Allocate(size)), size, fill};
  std::memset(block.bytes, fill, size);
  return block;
}

bool Intact(const Block& block) {
  for (size_t i = 0; i < block.size; ++i)
    if (block.bytes[i] != block.fill) return false;
  return true;
}

TEST(SmallBlockPool, BlocksOfEverySizeAreAlignedAndDoNotOverlap) {
  const int64_t before = SmallBlockPool::BlocksInUseSeenHere();
  std::vector<Block> blocks;
  for (size_t size = 0; size <= SmallBlockPool::kLargestClass + 40; ++size) {
    blocks.push_back(Fill(size, static_cast<unsigned char>(size)));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks.back().bytes) % 8, 0u) << "size " << size;
  }
  for (const Block& block : blocks) EXPECT_TRUE(Intact(block)) << "size " << block.size;
  for (const Block& block : blocks) SmallBlockPool::Free(block.bytes, block.size);
  EXPECT_EQ(SmallBlockPool::BlocksInUseSeenHere(), before);
}

TEST(SmallBlockPool, FreeingNullDoesNothing) {
  const int64_t before = SmallBlockPool::BlocksInUseSeenHere();
  SmallBlockPool::Free(nullptr, 32);
  EXPECT_EQ(SmallBlockPool::BlocksInUseSeenHere(), before);
}

TEST(SmallBlockPool, FreedBlockIsReusedForTheSameClass) {
  if (!SmallBlockPool::Pooling()) GTEST_SKIP() << "sanitizer or Windows build: blocks come from operator new";
  void* first = SmallBlockPool::Allocate(72);
  SmallBlockPool::Free(first, 72);
  void* second = SmallBlockPool::Allocate(66);  // the same 8-byte class
  EXPECT_EQ(second, first);
  SmallBlockPool::Free(second, 80);
}

// A block allocated on one thread and freed on another is counted out on one
// and in on the other; once both have ended the sum is back where it was.
TEST(SmallBlockPool, BlocksMayBeFreedOnAnotherThread) {
  const int64_t before = SmallBlockPool::BlocksInUseSeenHere();
  std::vector<Block> blocks;
  std::thread producer([&blocks] {
    for (int i = 0; i < 5000; ++i) blocks.push_back(Fill(size_t(1 + i % 256), 0xA5));
  });
  producer.join();
  bool intact = true;
  std::thread consumer([&blocks, &intact] {
    for (const Block& block : blocks) {
      intact = intact && Intact(block);
      SmallBlockPool::Free(block.bytes, block.size);
    }
  });
  consumer.join();
  EXPECT_TRUE(intact);
  EXPECT_EQ(SmallBlockPool::BlocksInUseSeenHere(), before);
}

TEST(SmallBlockPool, ListsOfAnEndedThreadServeOtherThreads) {
  if (!SmallBlockPool::Pooling()) GTEST_SKIP() << "sanitizer or Windows build: blocks come from operator new";
  constexpr size_t kSize = 232;  // a class no other test here uses
  std::set<void*> freedByEndedThread;
  std::thread ended([&freedByEndedThread] {
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(SmallBlockPool::Allocate(kSize));
    for (void* block : blocks) {
      freedByEndedThread.insert(block);
      SmallBlockPool::Free(block, kSize);
    }
  });
  ended.join();
  void* reused = nullptr;
  std::thread fresh([&reused] {
    reused = SmallBlockPool::Allocate(kSize);
    SmallBlockPool::Free(reused, kSize);
  });
  fresh.join();
  EXPECT_EQ(freedByEndedThread.count(reused), 1u);
}

// The unused rest of an ended thread's chunk is carved by the next thread
// that needs a fresh region, instead of staying idle. Blocks that earlier
// tests left on the shared lists come first, so both threads allocate until
// they carve.
TEST(SmallBlockPool, ChunkTailOfAnEndedThreadIsCarvedByAnother) {
  if (!SmallBlockPool::Pooling()) GTEST_SKIP() << "sanitizer build: blocks come from operator new";
  constexpr size_t kEnded = 240;
  constexpr size_t kFresh = 248;
  char* lastCarved = nullptr;
  std::thread ended([&lastCarved] {
    std::vector<char*> held;
    // Two blocks side by side were carved from a region.
    while (held.size() < 50000) {
      held.push_back(static_cast<char*>(SmallBlockPool::Allocate(kEnded)));
      if (held.size() > 1 && held[held.size() - 2] + kEnded == held.back()) break;
    }
    lastCarved = held.back();
    for (char* block : held) SmallBlockPool::Free(block, kEnded);
  });
  ended.join();
  ASSERT_NE(lastCarved, nullptr);
  bool carvedFromTail = false;
  std::thread fresh([&carvedFromTail, lastCarved] {
    std::vector<char*> held;
    while (held.size() < 50000 && !carvedFromTail) {
      char* block = static_cast<char*>(SmallBlockPool::Allocate(kFresh));
      held.push_back(block);
      // The ended thread's region went on right after its last block.
      carvedFromTail = block == lastCarved + kEnded;
    }
    for (char* block : held) SmallBlockPool::Free(block, kFresh);
  });
  fresh.join();
  EXPECT_TRUE(carvedFromTail);
}

// Threads hand blocks to each other through a shared queue while all of them
// allocate and free; every block must keep its contents until it is freed.
TEST(SmallBlockPool, ConcurrentUseKeepsBlocksApart) {
  const int64_t before = SmallBlockPool::BlocksInUseSeenHere();
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::atomic<bool> damaged{false};
  std::vector<std::vector<Block>> handed(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &damaged, &handed] {
      std::vector<Block> own;
      for (int i = 0; i < kRounds; ++i) {
        const size_t size = size_t(16 + (i * 37 + t * 11) % 240);
        own.push_back(Fill(size, static_cast<unsigned char>(t * 50 + i % 50)));
        if (own.size() > 64) {
          // Free the oldest half, keep the rest for another thread.
          for (size_t k = 0; k < 32; ++k) {
            if (!Intact(own[k])) damaged = true;
            SmallBlockPool::Free(own[k].bytes, own[k].size);
          }
          own.erase(own.begin(), own.begin() + 32);
        }
      }
      handed[t] = std::move(own);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::thread cleaner([&damaged, &handed] {
    for (auto& blocks : handed)
      for (const Block& block : blocks) {
        if (!Intact(block)) damaged = true;
        SmallBlockPool::Free(block.bytes, block.size);
      }
  });
  cleaner.join();
  EXPECT_FALSE(damaged);
  EXPECT_EQ(SmallBlockPool::BlocksInUseSeenHere(), before);
}

// Nodes come from the pool too: a tree built on one thread and released on
// another leaves nothing in use.
TEST(SmallBlockPool, TreeBuiltAndReleasedOnDifferentThreadsLeavesNothingInUse) {
  const int64_t before = SmallBlockPool::BlocksInUseSeenHere();
  RefPtr<KelmoImpl> root;
  std::thread builder([&root] {
    root = KelmoImpl::Make();
    static const WChar kName[] = {'n', 'o', 'd', 'e'};
    for (int i = 0; i < 1000; ++i) {
      RefPtr<KelmoImpl> child = KelmoImpl::Make();
      child->SetNameW(kName, 4);
      child->SetStringW(kName, 4);
      root->AppendChildNode(child.get());
    }
  });
  builder.join();
  std::thread releaser([&root] { root = nullptr; });
  releaser.join();
  EXPECT_EQ(SmallBlockPool::BlocksInUseSeenHere(), before);
}

}  // namespace
}  // namespace kelmo
