// Parsed trees let go on several threads at once: the root dropped on one
// thread while others drop the nodes of the same tree they held, and nodes
// of one tree passed from thread to thread while other threads parse and
// drop documents. Run under ThreadSanitizer and AddressSanitizer by the test
// command, which report any access to a tree's memory after it went back.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/host_library.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::RefPtr;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;

namespace {

constexpr unsigned kThreads = 6;

// Waits until every one of `parties` threads has arrived, round after round.
class Barrier {
 public:
  explicit Barrier(unsigned parties) : parties_(parties) {}
  void Wait() {
    const unsigned round = round_.load();
    if (arrived_.fetch_add(1) + 1 == parties_) {
      arrived_.store(0);
      round_.fetch_add(1);
      return;
    }
    while (round_.load() == round) std::this_thread::yield();
  }

 private:
  const unsigned parties_;
  std::atomic<unsigned> arrived_{0};
  std::atomic<unsigned> round_{0};
};

// A document with `children` elements named c0, c1, ... each with an
// attribute and a text.
std::string Document(unsigned children) {
  std::string xml = "<root>";
  for (unsigned i = 0; i < children; ++i)
    xml += "<c" + std::to_string(i) + " id='" + std::to_string(i) + "'>text</c" +
           std::to_string(i) + ">";
  return xml + "</root>";
}

// A handle of its own to a node the caller holds.
RefPtr<Kelmo> Shared(Kelmo* node) {
  node->AddRef();
  return RefPtr<Kelmo>(node, kelmo::adopt_ref);
}

RefPtr<Kelmo> Parse(KelmoParser& parser, const std::string& xml) {
  if (!parser.ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                          static_cast<unsigned>(xml.size())))
    return RefPtr<Kelmo>();
  return parser.DetachRoot();
}

TEST(Threads, RootDroppedWhileOtherThreadsDropItsChildren) {
  ModuleScope m;
  RefPtr<KelmoParser> parser = m->CreateParser();
  // Long enough that the root's release is still taking the tree apart
  // when the other threads let their nodes go, which lie spread over it.
  constexpr unsigned kChildren = 2000;
  constexpr unsigned kSpacing = kChildren / kThreads;
  const std::string xml = Document(kChildren);
  constexpr int kRounds = 100;
  std::vector<RefPtr<Kelmo>> held(kThreads);
  RefPtr<Kelmo> root;
  Barrier handedOut(kThreads + 1), go(kThreads + 1), dropped(kThreads + 1);
  std::atomic<int> wrongNames{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string expected = kelmo_test::U16(("c" + std::to_string(t * kSpacing)).c_str());
      for (int round = 0; round < kRounds; ++round) {
        handedOut.Wait();
        if (NameOf(held[t]) != expected) ++wrongNames;
        go.Wait();
        held[t] = nullptr;  // while the root goes
        dropped.Wait();
      }
    });
  }
  for (int round = 0; round < kRounds; ++round) {
    root = Parse(*parser, xml);
    ASSERT_TRUE(root);
    unsigned index = 0;
    for (RefPtr<Kelmo> child = root->GetElement()->GetFirstChild(); child;
         child = child->GetNextSibling(), ++index)
      if (index % kSpacing == 0 && index / kSpacing < kThreads) held[index / kSpacing] = child;
    handedOut.Wait();
    go.Wait();
    root = nullptr;
    dropped.Wait();
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrongNames.load(), 0);
}

// Nodes of one tree go round a ring of slots, each thread taking the node in
// its slot and putting it in the next one, while the tree's root is
// dropped half-way and the other threads parse documents of many sizes and
// drop them, some whole and some after holding a part.
TEST(Threads, NodesHandedBetweenThreadsWhileOthersParseAndDrop) {
  ModuleScope m;
  constexpr unsigned kPassers = kThreads / 2;
  constexpr int kRounds = 40;
  std::atomic<int> problems{0};
  for (int round = 0; round < kRounds; ++round) {
    RefPtr<KelmoParser> parser = m->CreateParser();
    RefPtr<Kelmo> root = Parse(*parser, Document(64));
    ASSERT_TRUE(root);
    std::vector<std::atomic<Kelmo*>> ring(kPassers);
    RefPtr<Kelmo> child = root->GetElement()->GetFirstChild();
    for (auto& slot : ring) {
      child->AddRef();  // the slot's own reference
      slot.store(child.get());
      child = child->GetNextSibling();
    }
    child = nullptr;
    Barrier start(kThreads + 1);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kPassers; ++t) {
      threads.emplace_back([&, t] {
        start.Wait();
        for (int pass = 0; pass < 200; ++pass) {
          Kelmo* node = ring[t].exchange(nullptr);
          if (!node) continue;
          // Only what the root's release leaves alone: its sibling links
          // are cut while the node is passed on.
          if (node->GetChildCount() != 1 || NameOf(Shared(node))[0] != u'c') ++problems;
          Kelmo* displaced = ring[(t + 1) % kPassers].exchange(node);
          if (displaced) displaced->Release();
        }
      });
    }
    for (unsigned t = kPassers; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        RefPtr<KelmoParser> own = m->CreateParser();
        start.Wait();
        for (unsigned size = 1; size < 2000; size = size * 3 + t) {
          RefPtr<Kelmo> tree = Parse(*own, Document(size));
          if (!tree) {
            ++problems;
            continue;
          }
          RefPtr<Kelmo> part = size % 2 ? tree->GetElement()->GetLastChild() : RefPtr<Kelmo>();
          tree = nullptr;
          if (part && part->GetChildCount() != 1) ++problems;
        }
      });
    }
    start.Wait();
    root = nullptr;
    parser = nullptr;
    for (std::thread& thread : threads) thread.join();
    for (auto& slot : ring)
      if (Kelmo* node = slot.exchange(nullptr)) node->Release();
  }
  EXPECT_EQ(problems.load(), 0);
}

}  // namespace
