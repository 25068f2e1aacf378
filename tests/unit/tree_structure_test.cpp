// Child lists: insertion, removal, refusals and sibling navigation, with the
// links checked in both directions after every change.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tree/tree_node.h"
#include "tree_test_support.h"

namespace kelmo_tree_test {
namespace {

using kelmo::IDispatch;
using kelmo::IUnknown;
using kelmo::XInRes;

// A host's own implementation of the node interface. The library must not
// link such an object into its lists: it knows nothing of its fields.
class ForeignNode final : public kelmo::Implementation<Kelmo, ForeignNode> {
 public:
  RefPtr<Kelmo> Clone() override { return nullptr; }
  RefPtr<Kelmo> CreateNode() override { return nullptr; }
  int GetType() override { return 0; }
  bool IsEmpty() override { return true; }
  bool IsNumber() override { return false; }
  bool IsScalar() override { return false; }
  bool IsBinary() override { return false; }
  bool IsObject() override { return false; }
  int GetKind() override { return 0; }
  void SetKind(char) override {}
  bool GetNameA(const char*&, unsigned int&, unsigned int, RefPtr<XInRes>&) override { return false; }
  bool GetNameW(const WChar*&, unsigned int&, RefPtr<XInRes>&) override { return false; }
  void SetNameA(const char*, unsigned int, unsigned int) override {}
  void SetNameW(const WChar*, unsigned int) override {}
  bool GetBinary(const unsigned char*&, unsigned int&, RefPtr<XInRes>&) override { return false; }
  bool GetStringA(const char*&, unsigned int&, unsigned int, RefPtr<XInRes>&) override { return false; }
  bool GetStringW(const WChar*&, unsigned int&, RefPtr<XInRes>&) override { return false; }
  bool GetDispatch(IDispatch*&) override { return false; }
  bool GetUnknown(IUnknown*&) override { return false; }
  bool GetSharedPtr(std::shared_ptr<void>&) override { return false; }
  bool GetPointer(void*&) override { return false; }
  bool GetBool(bool&) override { return false; }
  bool GetLongDouble(long double&) override { return false; }
  bool GetDouble(double&) override { return false; }
  bool GetFloat(float&) override { return false; }
  bool GetULong(uint32_t&) override { return false; }
  bool GetLong(int32_t&) override { return false; }
  bool GetUInt64(uint64_t&) override { return false; }
  bool GetInt64(int64_t&) override { return false; }
  bool GetUInt(unsigned int&) override { return false; }
  bool GetInt(int&) override { return false; }
  bool GetUShort(uint16_t&) override { return false; }
  bool GetShort(int16_t&) override { return false; }
  bool GetUChar(unsigned char&) override { return false; }
  bool GetChar(char&) override { return false; }
  void SetBinary(const unsigned char*, unsigned int) override {}
  void SetStringA(const char*, unsigned int, unsigned int) override {}
  void SetStringW(const WChar*, unsigned int) override {}
  void SetDispatch(IDispatch*) override {}
  void SetUnknown(IUnknown*) override {}
  void SetSharedPtr(const std::shared_ptr<void>&) override {}
  void SetPointer(void*) override {}
  void SetBool(bool) override {}
  void SetLongDouble(long double) override {}
  void SetDouble(double) override {}
  void SetFloat(float) override {}
  void SetULong(uint32_t) override {}
  void SetLong(int32_t) override {}
  void SetUInt64(uint64_t) override {}
  void SetInt64(int64_t) override {}
  void SetUInt(unsigned int) override {}
  void SetInt(int) override {}
  void SetUShort(uint16_t) override {}
  void SetShort(int16_t) override {}
  void SetUChar(unsigned char) override {}
  void SetChar(char) override {}
  void SetEmpty() override {}
  RefPtr<Kelmo> GetParent() override { return nullptr; }
  void AppendChild(const RefPtr<Kelmo>&) override {}
  void PrependChild(const RefPtr<Kelmo>&) override {}
  void InsertChildBefore(const RefPtr<Kelmo>&, const RefPtr<Kelmo>&) override {}
  void InsertChildAfter(const RefPtr<Kelmo>&, const RefPtr<Kelmo>&) override {}
  void RemoveChild(const RefPtr<Kelmo>&) override {}
  void Detach() override {}
  void RemoveAllChildren() override {}
  RefPtr<Kelmo> GetElement() override { return nullptr; }
  RefPtr<Kelmo> FindChildA(const char*, unsigned int, unsigned int, unsigned int) override { return nullptr; }
  RefPtr<Kelmo> FindChildW(const WChar*, unsigned int, unsigned int) override { return nullptr; }
  RefPtr<Kelmo> GetFirstChild() override { return nullptr; }
  RefPtr<Kelmo> FindLastChildA(const char*, unsigned int, unsigned int, unsigned int) override { return nullptr; }
  RefPtr<Kelmo> FindLastChildW(const WChar*, unsigned int, unsigned int) override { return nullptr; }
  RefPtr<Kelmo> GetLastChild() override { return nullptr; }
  unsigned int GetChildCount() override { return 0; }
  RefPtr<Kelmo> GetPrevSibling() override { return nullptr; }
  RefPtr<Kelmo> GetPrevSameName() override { return nullptr; }
  RefPtr<Kelmo> GetNextSibling() override { return nullptr; }
  RefPtr<Kelmo> GetNextSameName() override { return nullptr; }
  bool HasNameIndex() override { return false; }
  void BuildNameIndex() override {}
  void DropNameIndex() override {}
  void AddRef() override { ++references; }
  void Release() override {
    if (--references == 0) delete this;
  }
  int references = 1;
};

// A parent with children named by the letters of `names`; the children are
// returned so that tests can pass them as reference nodes.
std::vector<RefPtr<Kelmo>> Fill(const RefPtr<Kelmo>& parent, const std::u16string& names) {
  std::vector<RefPtr<Kelmo>> children;
  for (char16_t name : names) {
    children.push_back(Node(std::u16string(1, name)));
    parent->AppendChild(children.back());
  }
  return children;
}

enum class Op { Append, Prepend, Before, After };

struct InsertCase {
  const char* label;
  std::u16string initial;
  Op op;
  int reference;  // index into the initial children, -1 for a null reference
  std::u16string expected;
};

class InsertionTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(InsertionTest, LinksTheNewChildInPlace) {
  const InsertCase& c = GetParam();
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> children = Fill(parent, c.initial);
  RefPtr<Kelmo> added = Node(u"X");
  RefPtr<Kelmo> reference = c.reference >= 0 ? children[c.reference] : nullptr;
  switch (c.op) {
    case Op::Append: parent->AppendChild(added); break;
    case Op::Prepend: parent->PrependChild(added); break;
    case Op::Before: parent->InsertChildBefore(reference, added); break;
    case Op::After: parent->InsertChildAfter(reference, added); break;
  }
  std::u16string expected;
  for (char16_t name : c.expected) {
    if (!expected.empty()) expected += u",";
    expected += name;
  }
  EXPECT_EQ(expected, ChildNames(parent));
  EXPECT_EQ(parent, added->GetParent());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertionTest,
    ::testing::Values(InsertCase{"append_to_empty", u"", Op::Append, -1, u"X"},
                      InsertCase{"append", u"ab", Op::Append, -1, u"abX"},
                      InsertCase{"prepend_to_empty", u"", Op::Prepend, -1, u"X"},
                      InsertCase{"prepend", u"ab", Op::Prepend, -1, u"Xab"},
                      InsertCase{"before_first", u"abc", Op::Before, 0, u"Xabc"},
                      InsertCase{"before_middle", u"abc", Op::Before, 1, u"aXbc"},
                      InsertCase{"before_last", u"abc", Op::Before, 2, u"abXc"},
                      InsertCase{"before_null_prepends", u"abc", Op::Before, -1, u"Xabc"},
                      InsertCase{"after_first", u"abc", Op::After, 0, u"aXbc"},
                      InsertCase{"after_last", u"abc", Op::After, 2, u"abcX"},
                      InsertCase{"after_null_appends", u"abc", Op::After, -1, u"abcX"},
                      InsertCase{"after_only", u"a", Op::After, 0, u"aX"},
                      InsertCase{"before_only", u"a", Op::Before, 0, u"Xa"}),
    [](const ::testing::TestParamInfo<InsertCase>& info) { return info.param.label; });

TEST(TreeStructure, RefusedInsertionsChangeNothing) {
  RefPtr<Kelmo> parent = Node(u"p");
  RefPtr<Kelmo> other = Node(u"o");
  std::vector<RefPtr<Kelmo>> children = Fill(parent, u"ab");
  std::vector<RefPtr<Kelmo>> foreignChildren = Fill(other, u"z");
  RefPtr<Kelmo> grandchild = Node(u"g");
  children[0]->AppendChild(grandchild);
  RefPtr<Kelmo> foreign(new ForeignNode, kelmo::adopt_ref);
  RefPtr<Kelmo> fresh = Node(u"n");
  const int freshCount = RefCount(fresh);

  struct Attempt {
    const char* label;
    std::function<void()> run;
  };
  const Attempt attempts[] = {
      {"null child", [&] { parent->AppendChild(nullptr); }},
      {"child of this parent again", [&] { parent->AppendChild(children[1]); }},
      {"child of another parent", [&] { parent->PrependChild(foreignChildren[0]); }},
      {"foreign implementation", [&] { parent->AppendChild(foreign); }},
      {"foreign reference", [&] { parent->InsertChildAfter(foreign, fresh); }},
      {"reference of another parent", [&] { parent->InsertChildBefore(foreignChildren[0], fresh); }},
      {"free-standing reference", [&] { parent->InsertChildAfter(Node(u"r"), fresh); }},
      {"itself", [&] { parent->AppendChild(parent); }},
      {"its own root", [&] { grandchild->AppendChild(parent); }},
      {"its own root before a reference", [&] { children[0]->InsertChildBefore(grandchild, parent); }},
  };
  for (const Attempt& attempt : attempts) {
    attempt.run();
    EXPECT_EQ(u"a,b", ChildNames(parent)) << attempt.label;
    EXPECT_EQ(u"z", ChildNames(other)) << attempt.label;
    EXPECT_EQ(u"g", ChildNames(children[0])) << attempt.label;
    EXPECT_EQ(u"", ChildNames(grandchild)) << attempt.label;
    ExpectFreeStanding(fresh);
    ExpectFreeStanding(parent);
    EXPECT_EQ(freshCount, RefCount(fresh)) << attempt.label;
  }
  EXPECT_EQ(1, static_cast<ForeignNode*>(foreign.get())->references);
}

TEST(TreeStructure, RefusedInsertionStillCreatesTheChildList) {
  RefPtr<Kelmo> parent = Node(u"p");
  EXPECT_EQ(nullptr, TreeNode::From(parent.get())->Children());
  parent->AppendChild(nullptr);
  ASSERT_NE(nullptr, TreeNode::From(parent.get())->Children());
  EXPECT_EQ(0u, parent->GetChildCount());
  EXPECT_FALSE(parent->HasNameIndex());
}

TEST(TreeStructure, FromRecognisesOnlyOwnNodes) {
  RefPtr<Kelmo> own = Node(u"a");
  RefPtr<Kelmo> foreign(new ForeignNode, kelmo::adopt_ref);
  EXPECT_EQ(own.get(), TreeNode::From(own.get()));
  EXPECT_EQ(nullptr, TreeNode::From(foreign.get()));
  EXPECT_EQ(nullptr, TreeNode::From(nullptr));
}

TEST(TreeStructure, LinksHoldExactlyTheirReferences) {
  RefPtr<Kelmo> parent = Node(u"p");
  RefPtr<Kelmo> a = Node(u"a");
  RefPtr<Kelmo> b = Node(u"b");
  RefPtr<Kelmo> c = Node(u"c");
  parent->AppendChild(a);
  EXPECT_EQ(3, RefCount(a));  // ours, first, last
  parent->AppendChild(b);
  parent->AppendChild(c);
  EXPECT_EQ(3, RefCount(a));  // ours, first, b's previous link
  EXPECT_EQ(3, RefCount(b));  // ours, both neighbours
  EXPECT_EQ(3, RefCount(c));  // ours, b's next link, last
  EXPECT_EQ(1, RefCount(parent));  // children never hold their parent
  parent->RemoveChild(b);
  EXPECT_EQ(1, RefCount(b));
  EXPECT_EQ(u"a,c", ChildNames(parent));
  parent->RemoveAllChildren();
  EXPECT_EQ(1, RefCount(a));
  EXPECT_EQ(1, RefCount(c));
}

TEST(TreeStructure, RemoveChildRefusesStrangers) {
  RefPtr<Kelmo> parent = Node(u"p");
  RefPtr<Kelmo> other = Node(u"o");
  std::vector<RefPtr<Kelmo>> mine = Fill(parent, u"ab");
  std::vector<RefPtr<Kelmo>> theirs = Fill(other, u"c");
  parent->RemoveChild(theirs[0]);
  parent->RemoveChild(nullptr);
  parent->RemoveChild(Node(u"free"));
  EXPECT_EQ(u"a,b", ChildNames(parent));
  EXPECT_EQ(u"c", ChildNames(other));
  // A node without any child list ignores removals.
  RefPtr<Kelmo> bare = Node(u"bare");
  bare->RemoveChild(mine[0]);
  EXPECT_EQ(u"a,b", ChildNames(parent));
}

TEST(TreeStructure, RemovingEveryPositionKeepsTheListConsistent) {
  const std::u16string names = u"abcd";
  for (size_t victim = 0; victim < names.size(); ++victim) {
    RefPtr<Kelmo> parent = Node(u"p");
    std::vector<RefPtr<Kelmo>> children = Fill(parent, names);
    parent->RemoveChild(children[victim]);
    std::u16string expected;
    for (size_t i = 0; i < names.size(); ++i) {
      if (i == victim) continue;
      if (!expected.empty()) expected += u",";
      expected += names[i];
    }
    EXPECT_EQ(expected, ChildNames(parent)) << "removed " << victim;
    ExpectFreeStanding(children[victim]);
  }
}

TEST(TreeStructure, RemovingTheOnlyChildEmptiesTheList) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> children = Fill(parent, u"a");
  parent->RemoveChild(children[0]);
  EXPECT_FALSE(parent->GetFirstChild());
  EXPECT_FALSE(parent->GetLastChild());
  EXPECT_EQ(0u, parent->GetChildCount());
  // The emptied list takes children again.
  parent->AppendChild(children[0]);
  EXPECT_EQ(u"a", ChildNames(parent));
}

TEST(TreeStructure, DetachJoinsNeighboursAndLeavesRootsAlone) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> children = Fill(parent, u"abc");
  parent->Detach();
  ExpectFreeStanding(parent);
  children[1]->Detach();
  EXPECT_EQ(u"a,c", ChildNames(parent));
  EXPECT_EQ(children[2], children[0]->GetNextSibling());
  ExpectFreeStanding(children[1]);
  children[1]->Detach();
  ExpectFreeStanding(children[1]);
  // A detached node can move to another parent.
  RefPtr<Kelmo> other = Node(u"o");
  other->AppendChild(children[1]);
  EXPECT_EQ(u"b", ChildNames(other));
}

TEST(TreeStructure, DetachKeepsANodeAliveThatOnlyTheListHeld) {
  RefPtr<Kelmo> parent = Node(u"p");
  parent->AppendChild(Node(u"a"));
  Fill(parent, u"b");
  RefPtr<Kelmo> first = parent->GetFirstChild();
  first->Detach();
  EXPECT_EQ(1, RefCount(first));
  EXPECT_EQ(u"a", NameOf(first));
  EXPECT_EQ(u"b", ChildNames(parent));
}

TEST(TreeStructure, RemoveAllChildrenFreesOrReleasesEveryChild) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> children = Fill(parent, u"abcde");
  RefPtr<Kelmo> kept = children[2];
  children.clear();  // only the list and `kept` hold them now
  parent->RemoveAllChildren();
  EXPECT_EQ(0u, parent->GetChildCount());
  EXPECT_FALSE(parent->GetFirstChild());
  EXPECT_FALSE(parent->GetLastChild());
  ExpectFreeStanding(kept);
  EXPECT_EQ(1, RefCount(kept));
  parent->RemoveAllChildren();  // on an empty list
  Fill(parent, u"f");
  EXPECT_EQ(u"f", ChildNames(parent));
}

TEST(TreeStructure, HeldChildSurvivesItsParent) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> children = Fill(parent, u"abc");
  Fill(children[1], u"xy");
  RefPtr<Kelmo> middle = children[1];
  children.clear();
  parent = nullptr;
  ExpectFreeStanding(middle);
  EXPECT_EQ(1, RefCount(middle));
  EXPECT_EQ(u"x,y", ChildNames(middle));
}

TEST(TreeStructure, SameNameSteppingFollowsTheSiblings) {
  RefPtr<Kelmo> parent = Node(u"p");
  std::vector<RefPtr<Kelmo>> c = Fill(parent, u"aba");
  EXPECT_EQ(c[2], c[0]->GetNextSameName());
  EXPECT_FALSE(c[2]->GetNextSameName());
  EXPECT_EQ(c[0], c[2]->GetPrevSameName());
  EXPECT_FALSE(c[0]->GetPrevSameName());
  EXPECT_FALSE(c[1]->GetNextSameName());
  EXPECT_FALSE(c[1]->GetPrevSameName());
  // Names are compared exactly; empty names are equal to each other.
  RefPtr<Kelmo> list = Node(u"l");
  RefPtr<Kelmo> empty1 = Node(u"");
  RefPtr<Kelmo> upper = Node(u"A");
  RefPtr<Kelmo> empty2 = Node(u"");
  list->AppendChild(empty1);
  list->AppendChild(upper);
  list->AppendChild(empty2);
  EXPECT_EQ(empty2, empty1->GetNextSameName());
  EXPECT_FALSE(upper->GetNextSameName());
}

TEST(TreeStructure, GetElementPrefersANamedNode) {
  RefPtr<Kelmo> named = Node(u"n");
  EXPECT_EQ(named, named->GetElement());
  RefPtr<Kelmo> unnamed = Node(u"");
  EXPECT_FALSE(unnamed->GetElement());
  std::vector<RefPtr<Kelmo>> children = Fill(unnamed, u"ab");
  EXPECT_EQ(children[0], unnamed->GetElement());
}

}  // namespace
}  // namespace kelmo_tree_test
