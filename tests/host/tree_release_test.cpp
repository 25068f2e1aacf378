// Letting go of loaded trees, as a host does it: whatever part of a tree the
// host still holds stays valid and readable, and every value that must be
// released is released exactly once, whichever way the tree goes.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/host_library.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::StringOf;
using kelmo_test::W;

namespace {

const char kConfig[] =
    "<?xml version='1.0'?><fontconfig><dir>/usr/share/fonts</dir>"
    "<match target='font'><edit name='rgba' mode='assign'><const>rgb</const></edit></match>"
    "<alias><family>serif</family><prefer><family>DejaVu Serif</family></prefer></alias>"
    "</fontconfig>";

RefPtr<Kelmo> Load(ModuleScope& m) {
  RefPtr<KelmoParser> parser = m->CreateParser();
  EXPECT_TRUE(parser->ParseBuffer(reinterpret_cast<const unsigned char*>(kConfig), sizeof kConfig - 1));
  return parser->DetachRoot();
}

// Counts how often the deleter of a shared value runs.
struct CountingDeleter {
  std::atomic<int>* deletions;
  void operator()(int* value) const {
    deletions->fetch_add(1);
    delete value;
  }
};

}  // namespace

// Loops of loads whose trees are dropped while the host keeps one node of
// each: the kept nodes read as they were loaded, with their own children.
TEST(TreeRelease, KeptNodesOfDroppedTreesStayReadable) {
  ModuleScope m;
  std::vector<RefPtr<Kelmo>> kept;
  for (int round = 0; round < 200; ++round) {
    RefPtr<Kelmo> root = Load(m);
    RefPtr<Kelmo> match = root->GetElement()->FindChildW(W(u"match"), 5, 0);
    ASSERT_TRUE(match);
    if (round % 2)
      kept.push_back(match->FindChildW(W(u"edit"), 4, 0));
    else
      kept.push_back(match);
    RefPtr<Kelmo> other = Load(m);  // one more tree that goes whole
  }
  for (size_t i = 0; i < kept.size(); ++i) {
    RefPtr<Kelmo> edit = i % 2 ? kept[i] : kept[i]->FindChildW(W(u"edit"), 4, 0);
    EXPECT_EQ(NameOf(edit), u"edit");
    EXPECT_EQ(StringOf(edit->FindChildW(W(u"name"), 4, 0)), u"rgba");
    EXPECT_EQ(StringOf(edit->GetLastChild()), u"rgb");
    EXPECT_EQ(bool(kept[i]->GetParent()), false);
  }
}

// A shared pointer or COM value set in a loaded tree is let go exactly once
// when the tree goes, also when the host holds another part of it.
TEST(TreeRelease, SharedValuesInALoadedTreeAreReleasedOnce) {
  ModuleScope m;
  for (bool holdPart : {false, true}) {
    SCOPED_TRACE(holdPart ? "a part held" : "nothing held");
    std::atomic<int> deletions{0};
    RefPtr<Kelmo> part;
    {
      RefPtr<Kelmo> root = Load(m);
      RefPtr<Kelmo> dir = root->GetElement()->GetFirstChild();
      dir->SetSharedPtr(std::shared_ptr<int>(new int(5), CountingDeleter{&deletions}));
      if (holdPart) part = root->GetElement()->GetLastChild();
    }
    EXPECT_EQ(deletions.load(), 1);
    if (part) EXPECT_EQ(NameOf(part), u"alias");
    part = nullptr;
    EXPECT_EQ(deletions.load(), 1);
  }
}

// Readers on several threads walk one tree and drop their handles in any
// order; whichever drop is the last frees the tree.
TEST(TreeRelease, ReadersDropOneTreeOnManyThreads) {
  ModuleScope m;
  for (int round = 0; round < 20; ++round) {
    std::vector<RefPtr<Kelmo>> handles(4, Load(m));
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (RefPtr<Kelmo>& handle : handles) {
      threads.emplace_back([&handle, &wrong] {
        RefPtr<Kelmo> element = handle->GetElement();
        handle = nullptr;
        int nodes = 0;
        for (RefPtr<Kelmo> at = element->GetFirstChild(); at; at = at->GetNextSibling()) {
          ++nodes;
          RefPtr<XInRes> holder;
          const kelmo::WChar* text = nullptr;
          unsigned int length = 0;
          if (!at->GetNameW(text, length, holder) || length == 0) wrong.fetch_add(1);
        }
        if (nodes != 3) wrong.fetch_add(1);
      });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
  }
}
