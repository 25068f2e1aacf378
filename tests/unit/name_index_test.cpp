// Lookup of children by name, with and without the sorted name index, and
// the index's upkeep through insertions, removals and renames.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tree/tree_node.h"
#include "tree/wstr_buf.h"
#include "tree_test_support.h"

namespace kelmo_tree_test {
namespace {

using kelmo::NameIndex;
using kelmo::WStrBuf;

std::vector<RefPtr<Kelmo>> AddChildren(const RefPtr<Kelmo>& parent,
                                       const std::vector<std::u16string>& names) {
  std::vector<RefPtr<Kelmo>> children;
  for (const std::u16string& name : names) {
    children.push_back(Node(name));
    parent->AppendChild(children.back());
  }
  return children;
}

RefPtr<Kelmo> Find(const RefPtr<Kelmo>& parent, const std::u16string& name, unsigned int n) {
  return parent->FindChildW(W(name), static_cast<unsigned int>(name.size()), n);
}

RefPtr<Kelmo> FindLast(const RefPtr<Kelmo>& parent, const std::u16string& name, unsigned int n) {
  return parent->FindLastChildW(W(name), static_cast<unsigned int>(name.size()), n);
}

// The index holds every child exactly once, in name order.
void ExpectIndexExact(const RefPtr<Kelmo>& parent) {
  const TreeNode* node = TreeNode::From(parent.get());
  ASSERT_NE(nullptr, node->Children());
  const NameIndex* index = node->Children()->Index();
  ASSERT_NE(nullptr, index);
  ASSERT_EQ(parent->GetChildCount(), index->Size());
  std::vector<const TreeNode*> inIndex;
  for (size_t i = 0; i < index->Size(); ++i) {
    inIndex.push_back(index->At(i));
    if (i > 0) {
      const WStrBuf& before = index->At(i - 1)->Name();
      const WStrBuf& after = index->At(i)->Name();
      EXPECT_LE(WStrBuf::Compare(before.Data(), before.Length(), after.Data(), after.Length()), 0)
          << "entries " << i - 1 << " and " << i << " out of order";
    }
  }
  std::vector<const TreeNode*> inList;
  for (const TreeNode* child = node->FirstChild(); child; child = child->NextSibling())
    inList.push_back(child);
  std::sort(inIndex.begin(), inIndex.end());
  std::sort(inList.begin(), inList.end());
  EXPECT_EQ(inList, inIndex);
}

class LookupTest : public ::testing::TestWithParam<bool> {
 protected:
  void Index(const RefPtr<Kelmo>& parent) {
    if (GetParam()) parent->BuildNameIndex();
  }
};

TEST_P(LookupTest, CountsMatchesFromEitherEnd) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"a", u"b", u"a", u"c"});
  Index(parent);
  struct Case {
    std::u16string name;
    unsigned int n;
    bool fromLast;
    int expected;  // child position, -1 for none
  };
  const Case cases[] = {
      {u"a", 0, false, 0}, {u"a", 1, false, 2}, {u"a", 2, false, -1},
      {u"a", 0, true, 2},  {u"a", 1, true, 0},  {u"a", 2, true, -1},
      {u"b", 0, false, 1}, {u"c", 0, true, 3},  {u"d", 0, false, -1},
      {u"", 0, false, -1}, {u"a", 4000000000u, false, -1}, {u"a", 0xFFFFFFFFu, false, -1},
      {u"a", 0xFFFFFFFFu, true, -1}, {u"c", 0xFFFFFFFFu, true, -1},
  };
  for (const Case& k : cases) {
    RefPtr<Kelmo> found = k.fromLast ? FindLast(parent, k.name, k.n) : Find(parent, k.name, k.n);
    RefPtr<Kelmo> expected = k.expected >= 0 ? c[k.expected] : nullptr;
    EXPECT_EQ(expected, found) << "name size " << k.name.size() << " n " << k.n << " last "
                               << k.fromLast;
  }
}

TEST_P(LookupTest, ComparesNamesExactly) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c =
      AddChildren(parent, {u"Port", u"port ", u"", u"\u00e9", std::u16string(u"a\0b", 3)});
  Index(parent);
  EXPECT_FALSE(Find(parent, u"port", 0));
  EXPECT_EQ(c[1], Find(parent, u"port ", 0));
  EXPECT_EQ(c[0], parent->FindChildW(W(u"Port"), kelmo::kWholeText, 0));
  EXPECT_EQ(c[2], parent->FindChildW(nullptr, 5, 0));
  EXPECT_EQ(c[2], parent->FindChildW(W(u"x"), 0, 0));
  EXPECT_EQ(c[4], Find(parent, std::u16string(u"a\0b", 3), 0));
  EXPECT_FALSE(parent->FindChildW(W(std::u16string(u"a\0b", 3)), kelmo::kWholeText, 0));
  const char utf8[] = "\xC3\xA9";
  EXPECT_EQ(c[3], parent->FindChildA(utf8, kelmo::kWholeText, kelmo::kCodePageUtf8, 0));
  EXPECT_EQ(c[3], parent->FindLastChildA(utf8, 2, kelmo::kCodePageUtf8, 0));
  EXPECT_FALSE(parent->FindChildA(utf8, 2, 4242424, 0));
  EXPECT_FALSE(parent->FindLastChildA(utf8, 2, 4242424, 0));
  EXPECT_EQ(c[2], parent->FindChildA(nullptr, 0, kelmo::kCodePageUtf8, 0));
}

TEST_P(LookupTest, AttributesAreFoundLikeElements) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"id", u"id"});
  c[0]->SetKind(static_cast<char>(kelmo::NodeKind::Attribute));
  Index(parent);
  EXPECT_EQ(c[0], Find(parent, u"id", 0));
  EXPECT_EQ(c[1], Find(parent, u"id", 1));
}

TEST_P(LookupTest, RemovingOneOfTwoLeavesTheOther) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"a", u"b", u"a"});
  Index(parent);
  parent->RemoveChild(c[0]);
  EXPECT_EQ(c[2], Find(parent, u"a", 0));
  EXPECT_FALSE(Find(parent, u"a", 1));
  c[2]->Detach();
  EXPECT_FALSE(Find(parent, u"a", 0));
  EXPECT_EQ(c[1], Find(parent, u"b", 0));
}

TEST_P(LookupTest, RenameKeepsThePlaceAndTheLookups) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"a", u"b", u"a", u"c"});
  Index(parent);
  c[0]->SetNameW(W(u"z"), 1);
  c[2]->SetNameA("y", kelmo::kWholeText, kelmo::kCodePageUtf8);
  EXPECT_EQ(u"z,b,y,c", ChildNames(parent));
  EXPECT_EQ(GetParam(), parent->HasNameIndex());
  EXPECT_FALSE(Find(parent, u"a", 0));
  EXPECT_EQ(c[0], Find(parent, u"z", 0));
  EXPECT_EQ(c[2], Find(parent, u"y", 0));
  EXPECT_EQ(1, RefCount(parent));
  // Removing and freeing a renamed child leaves nothing stale behind.
  parent->RemoveChild(c[0]);
  c[0] = nullptr;
  EXPECT_FALSE(Find(parent, u"z", 0));
  EXPECT_EQ(c[1], Find(parent, u"b", 0));
  EXPECT_EQ(c[3], FindLast(parent, u"c", 0));
  if (GetParam()) ExpectIndexExact(parent);
}

TEST_P(LookupTest, RenameToAnUnconvertibleNameKeepsTheOldOne) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"a", u"b"});
  Index(parent);
  c[1]->SetNameA("x", 1, 4242424);
  EXPECT_EQ(u"b", NameOf(c[1]));
  EXPECT_EQ(c[1], Find(parent, u"b", 0));
  EXPECT_EQ(u"a,b", ChildNames(parent));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutIndex, LookupTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "indexed" : "walked";
                         });

TEST(NameIndex, BuildOnceDropAndRemoveAll) {
  RefPtr<Kelmo> parent = Node(u"p");
  EXPECT_FALSE(parent->HasNameIndex());
  EXPECT_FALSE(Find(parent, u"a", 0));  // no child list at all
  parent->BuildNameIndex();
  EXPECT_TRUE(parent->HasNameIndex());
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"b", u"a"});
  EXPECT_EQ(c[1], Find(parent, u"a", 0));
  const NameIndex* index = TreeNode::From(parent.get())->Children()->Index();
  parent->BuildNameIndex();
  EXPECT_EQ(index, TreeNode::From(parent.get())->Children()->Index()) << "rebuilt";
  ExpectIndexExact(parent);

  parent->RemoveAllChildren();
  EXPECT_TRUE(parent->HasNameIndex());
  EXPECT_EQ(0u, index->Size());
  RefPtr<Kelmo> later = Node(u"a");
  parent->AppendChild(later);
  EXPECT_EQ(later, Find(parent, u"a", 0));

  parent->DropNameIndex();
  EXPECT_FALSE(parent->HasNameIndex());
  EXPECT_EQ(later, Find(parent, u"a", 0));
  parent->DropNameIndex();
  EXPECT_FALSE(parent->HasNameIndex());
}

TEST(NameIndex, BuildSortsByBytesAndKeepsDocumentOrderWithinAName) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c =
      AddChildren(parent, {u"\u00ff", u"b", u"\u0100", u"b", u"ab", u"a", u"b"});
  parent->BuildNameIndex();
  const NameIndex* index = TreeNode::From(parent.get())->Children()->Index();
  // U+0100 is the bytes 00 01 and sorts before everything else here.
  const int expected[] = {2, 5, 4, 1, 3, 6, 0};
  ASSERT_EQ(7u, index->Size());
  for (size_t i = 0; i < 7; ++i)
    EXPECT_EQ(TreeNode::From(c[expected[i]].get()), index->At(i)) << "entry " << i;
  EXPECT_EQ(c[3], Find(parent, u"b", 1));
  EXPECT_EQ(c[1], FindLast(parent, u"b", 2));
}

TEST(NameIndex, PlacementBesideADifferentlyNamedChildThatAgreesWithTheDocument) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"a", u"r"});
  parent->BuildNameIndex();
  RefPtr<Kelmo> y = Node(u"a");
  parent->InsertChildBefore(c[1], y);
  EXPECT_EQ(u"a,a,r", ChildNames(parent));
  EXPECT_EQ(c[0], Find(parent, u"a", 0));
  EXPECT_EQ(y, Find(parent, u"a", 1));
  parent->DropNameIndex();
  EXPECT_EQ(c[0], Find(parent, u"a", 0));
  EXPECT_EQ(y, Find(parent, u"a", 1));
}

TEST(NameIndex, PlacementBesideADifferentlyNamedChildFollowsTheDocument) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"b", u"a"});
  parent->BuildNameIndex();
  RefPtr<Kelmo> y2 = Node(u"b");
  parent->InsertChildAfter(c[1], y2);
  EXPECT_EQ(u"b,a,b", ChildNames(parent));
  EXPECT_EQ(c[0], Find(parent, u"b", 0));
  EXPECT_EQ(y2, Find(parent, u"b", 1));
  EXPECT_EQ(y2, FindLast(parent, u"b", 0));
  ExpectIndexExact(parent);
}

TEST(NameIndex, PlacementBesideAChildOfTheSameName) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = AddChildren(parent, {u"a", u"a", u"a"});
  parent->BuildNameIndex();
  RefPtr<Kelmo> after = Node(u"a");
  RefPtr<Kelmo> before = Node(u"a");
  RefPtr<Kelmo> first = Node(u"a");
  parent->InsertChildAfter(c[0], after);
  parent->InsertChildBefore(c[2], before);
  parent->PrependChild(first);
  const RefPtr<Kelmo> document[] = {first, c[0], after, c[1], before, c[2]};
  for (unsigned int n = 0; n < 6; ++n) {
    EXPECT_EQ(document[n], Find(parent, u"a", n)) << n;
    EXPECT_EQ(document[5 - n], FindLast(parent, u"a", n)) << n;
  }
  ExpectIndexExact(parent);
}

TEST(NameIndex, CloneHasNoIndexButFindsTheSameChildren) {
  RefPtr<Kelmo> parent = Node(u"p");
  AddChildren(parent, {u"a", u"b", u"a"});
  parent->BuildNameIndex();
  RefPtr<Kelmo> copy = parent->Clone();
  EXPECT_FALSE(copy->HasNameIndex());
  EXPECT_EQ(u"a", NameOf(Find(copy, u"a", 1)));
  EXPECT_EQ(copy->GetLastChild(), Find(copy, u"a", 1));
}

// Random edits keep the index exact (one entry per child, sorted by name),
// and every lookup on the indexed parent finds the child at the same place
// as the same lookup on a twin parent that walks its children.
TEST(NameIndex, StaysExactThroughRandomEdits) {
  std::mt19937 random(20240613u);
  const std::u16string names[] = {u"a", u"b", u"c", u"", u"ab"};
  RefPtr<Kelmo> parent = Node(u"p");
  RefPtr<Kelmo> twin = Node(u"p");
  parent->BuildNameIndex();
  std::vector<RefPtr<Kelmo>> pool, twins;
  for (int i = 0; i < 12; ++i) {
    pool.push_back(Node(names[i % 5]));
    twins.push_back(Node(names[i % 5]));
  }
  auto position = [](const RefPtr<Kelmo>& p, const RefPtr<Kelmo>& child) {
    int at = 0;
    for (RefPtr<Kelmo> c = p->GetFirstChild(); c; c = c->GetNextSibling(), ++at)
      if (c == child) return at;
    return -1;
  };
  for (int step = 0; step < 3000; ++step) {
    const size_t i = random() % pool.size();
    const size_t j = random() % pool.size();
    const unsigned int action = random() % 8;
    const std::u16string& name = names[random() % 5];
    const bool clear = random() % 50 == 0;
    for (int side = 0; side < 2; ++side) {
      const RefPtr<Kelmo>& p = side ? twin : parent;
      const RefPtr<Kelmo>& node = side ? twins[i] : pool[i];
      const RefPtr<Kelmo>& other = side ? twins[j] : pool[j];
      switch (action) {
        case 0: p->AppendChild(node); break;
        case 1: p->PrependChild(node); break;
        case 2: p->InsertChildBefore(other, node); break;
        case 3: p->InsertChildAfter(other, node); break;
        case 4: p->RemoveChild(node); break;
        case 5: node->Detach(); break;
        case 6: node->SetNameW(W(name), static_cast<unsigned int>(name.size())); break;
        case 7:
          if (clear) p->RemoveAllChildren();
          break;
      }
    }
    ExpectIndexExact(parent);
    ASSERT_EQ(ChildNames(twin), ChildNames(parent));
    for (const std::u16string& key : names) {
      for (unsigned int n = 0; n < 4; ++n) {
        EXPECT_EQ(position(twin, Find(twin, key, n)), position(parent, Find(parent, key, n)));
        EXPECT_EQ(position(twin, FindLast(twin, key, n)),
                  position(parent, FindLast(parent, key, n)));
      }
    }
    if (HasFailure()) FAIL() << "after step " << step;
  }
}

}  // namespace
}  // namespace kelmo_tree_test
