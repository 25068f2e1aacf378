// Node construction, type queries, kind and name, copies, and destruction:
// which values are released, in which order, and that depth costs no stack.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tree/tree_node.h"
#include "tree_test_support.h"

namespace kelmo_tree_test {
namespace {

using kelmo::ValueType;
using kelmo::XInRes;

// Gives a node a value whose release is written to `log` under `label`.
void LogRelease(const RefPtr<Kelmo>& node, std::vector<std::string>& log, const std::string& label,
                std::function<void()> also = nullptr) {
  node->SetSharedPtr(std::shared_ptr<void>(new char(0), [&log, label, also](void* p) {
    delete static_cast<char*>(p);
    log.push_back(label);
    if (also) also();
  }));
}

RefPtr<Kelmo> Child(const RefPtr<Kelmo>& parent, const std::u16string& name,
                    std::vector<std::string>& log) {
  RefPtr<Kelmo> child = Node(name);
  LogRelease(child, log, std::string(name.begin(), name.end()));
  parent->AppendChild(child);
  return child;
}

using kelmo_test::StringOf;

// A chain of nested nodes whose innermost node is named "bottom", built
// from the top (each new leaf goes under the deepest node) or from the
// bottom (each new parent takes the chain so far).
RefPtr<Kelmo> Chain(size_t depth, bool fromTop) {
  if (fromTop) {
    RefPtr<Kelmo> top = TreeNode::Make();
    RefPtr<Kelmo> deepest = top;
    for (size_t i = 1; i < depth; ++i) {
      RefPtr<Kelmo> child = TreeNode::Make();
      deepest->AppendChild(child);
      deepest = child;
    }
    deepest->SetNameW(W(u"bottom"), 6);
    return top;
  }
  RefPtr<Kelmo> top = Node(u"bottom");
  for (size_t i = 1; i < depth; ++i) {
    RefPtr<Kelmo> parent = TreeNode::Make();
    parent->PrependChild(top);
    top = parent;
  }
  return top;
}

size_t ChainDepth(const RefPtr<Kelmo>& top, std::u16string* bottomName) {
  size_t depth = 0;
  const TreeNode* at = TreeNode::From(top.get());
  const TreeNode* last = at;
  for (; at; at = at->FirstChild()) {
    ++depth;
    last = at;
    if (at->NextSibling()) return 0;  // not a chain
  }
  if (bottomName && last) {
    *bottomName = std::u16string(reinterpret_cast<const char16_t*>(last->Name().Data()),
                                 last->Name().Length());
  }
  return depth;
}

TEST(NodeLifecycle, NewNodeIsEmptyAndUnnamed) {
  RefPtr<Kelmo> node = TreeNode::Make();
  EXPECT_EQ(0, node->GetType());
  EXPECT_TRUE(node->IsEmpty());
  EXPECT_FALSE(node->IsNumber());
  EXPECT_FALSE(node->IsScalar());
  EXPECT_FALSE(node->IsBinary());
  EXPECT_FALSE(node->IsObject());
  EXPECT_EQ(0, node->GetKind());
  EXPECT_EQ(1, RefCount(node));
  const WChar* text = nullptr;
  unsigned int length = 99;
  RefPtr<XInRes> holder;
  EXPECT_TRUE(node->GetNameW(text, length, holder));
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(0u, length);
  EXPECT_EQ(0, text[0]);
  EXPECT_FALSE(holder);
  RefPtr<Kelmo> made = node->CreateNode();
  EXPECT_NE(node, made);
  EXPECT_EQ(1, RefCount(made));
  EXPECT_TRUE(made->IsEmpty());
}

TEST(NodeLifecycle, TypeQueriesFollowTheTagRanges) {
  CountingComObject unknown;
  struct Case {
    const char* label;
    std::function<void(Kelmo&)> set;
    ValueType type;
    bool number, scalar, binary, object;
  };
  const Case cases[] = {
      {"char", [](Kelmo& n) { n.SetChar(-3); }, ValueType::Char, true, true, false, false},
      {"uint64", [](Kelmo& n) { n.SetUInt64(1); }, ValueType::UInt64, true, true, false, false},
      {"long double", [](Kelmo& n) { n.SetLongDouble(1); }, ValueType::LongDouble, true, true, false, false},
      {"bool", [](Kelmo& n) { n.SetBool(true); }, ValueType::Bool, true, true, false, false},
      {"pointer", [](Kelmo& n) { n.SetPointer(&n); }, ValueType::Pointer, false, false, false, true},
      {"shared", [](Kelmo& n) { n.SetSharedPtr(std::make_shared<int>(1)); }, ValueType::SharedPtr,
       false, false, false, true},
      {"unknown", [&](Kelmo& n) { n.SetUnknown(&unknown); }, ValueType::Unknown, false, false, false, true},
      {"dispatch", [](Kelmo& n) { n.SetDispatch(nullptr); }, ValueType::Dispatch, false, false, false, true},
      {"string", [](Kelmo& n) { n.SetStringW(W(u"x"), 1); }, ValueType::String, false, true, false, false},
      {"binary", [](Kelmo& n) { n.SetBinary(nullptr, 0); }, ValueType::Binary, false, true, true, false},
  };
  for (const Case& c : cases) {
    RefPtr<Kelmo> node = TreeNode::Make();
    c.set(*node);
    EXPECT_EQ(static_cast<int>(c.type), node->GetType()) << c.label;
    EXPECT_FALSE(node->IsEmpty()) << c.label;
    EXPECT_EQ(c.number, node->IsNumber()) << c.label;
    EXPECT_EQ(c.scalar, node->IsScalar()) << c.label;
    EXPECT_EQ(c.binary, node->IsBinary()) << c.label;
    EXPECT_EQ(c.object, node->IsObject()) << c.label;
  }
  EXPECT_EQ(1, unknown.references);
}

TEST(NodeLifecycle, KindKeepsTheLowByteSignExtended) {
  RefPtr<Kelmo> node = TreeNode::Make();
  node->SetKind(7);
  EXPECT_EQ(7, node->GetKind());
  node->SetKind(static_cast<char>(0xFF));
  EXPECT_EQ(-1, node->GetKind());
  node->SetKind(static_cast<char>(kelmo::NodeKind::CData));
  EXPECT_EQ(1, node->GetKind());
  EXPECT_TRUE(node->IsEmpty()) << "the kind does not touch the value";
}

TEST(NodeLifecycle, NamesInBothWidths) {
  RefPtr<Kelmo> node = TreeNode::Make();
  node->SetNameA("caf\xC3\xA9", kelmo::kWholeText, kelmo::kCodePageUtf8);
  EXPECT_EQ(u"caf\u00e9", NameOf(node));

  const char* text = nullptr;
  unsigned int length = 0;
  RefPtr<XInRes> holder;
  EXPECT_TRUE(node->GetNameA(text, length, kelmo::kCodePageUtf8, holder));
  EXPECT_EQ(std::string("caf\xC3\xA9"), std::string(text, length));
  EXPECT_EQ(0, text[length]);
  EXPECT_TRUE(holder) << "the narrow text lives in the holder";

  RefPtr<XInRes> untouched;
  EXPECT_FALSE(node->GetNameA(text, length, 4242424, untouched));
  EXPECT_EQ(0u, length);
  EXPECT_EQ(0, text[0]);
  EXPECT_FALSE(untouched);

  node->SetNameA("abc", 3, 4242424);
  EXPECT_EQ(u"caf\u00e9", NameOf(node)) << "an unconvertible name leaves the old one";
  node->SetNameA(nullptr, 0, 4242424);
  EXPECT_EQ(u"", NameOf(node));
  EXPECT_TRUE(node->GetNameA(text, length, 4242424, untouched)) << "empty name, any code page";
  EXPECT_EQ(0u, length);

  node->SetNameW(W(u"abc"), kelmo::kWholeText);
  EXPECT_EQ(u"abc", NameOf(node));
  node->SetNameW(W(u"abc"), 0);
  EXPECT_EQ(u"", NameOf(node));
  node->SetNameW(W(std::u16string(u"a\0b", 3)), 3);
  EXPECT_EQ(std::u16string(u"a\0b", 3), NameOf(node));
  node->SetNameW(nullptr, 5);
  EXPECT_EQ(u"", NameOf(node));
}

TEST(NodeLifecycle, RenameInsideAnIndexedParentKeepsEveryPosition) {
  for (size_t victim = 0; victim < 3; ++victim) {
    RefPtr<Kelmo> parent = Node(u"p");
    std::vector<RefPtr<Kelmo>> c = {Node(u"a"), Node(u"b"), Node(u"c")};
    for (const RefPtr<Kelmo>& child : c) parent->AppendChild(child);
    parent->BuildNameIndex();
    const int before = RefCount(c[victim]);
    c[victim]->SetNameW(W(u"z"), 1);
    std::u16string expected = u"a,b,c";
    expected[victim * 2] = u'z';
    EXPECT_EQ(expected, ChildNames(parent)) << victim;
    EXPECT_EQ(before, RefCount(c[victim]));
    // Renaming with the node's own current name text is safe.
    const WChar* own = TreeNode::From(c[victim].get())->Name().Data();
    c[victim]->SetNameW(own, 1);
    EXPECT_EQ(u"z", NameOf(c[victim]));
  }
}

TEST(NodeLifecycle, RenameKeepsANodeAliveThatOnlyTheListHeld) {
  RefPtr<Kelmo> parent = Node(u"p");
  parent->AppendChild(Node(u"a"));
  parent->AppendChild(Node(u"b"));
  parent->BuildNameIndex();
  TreeNode* first = TreeNode::From(parent->GetFirstChild().get());
  first->SetNameW(W(u"c"), 1);
  EXPECT_EQ(u"c,b", ChildNames(parent));
  EXPECT_EQ(2, first->RefCount());
}

TEST(NodeLifecycle, CloneCopiesNameKindValueAndChildrenInOrder) {
  RefPtr<Kelmo> source = Node(u"root");
  source->SetKind(static_cast<char>(kelmo::NodeKind::CData));
  source->SetStringW(W(u"text"), 4);
  RefPtr<Kelmo> a = Node(u"a");
  RefPtr<Kelmo> b = Node(u"b");
  RefPtr<Kelmo> a2 = Node(u"a");
  source->AppendChild(a);
  source->AppendChild(b);
  source->AppendChild(a2);
  b->AppendChild(Node(u"inner"));
  b->SetInt(-12);
  const unsigned char bytes[] = {1, 0, 2};
  a2->SetBinary(bytes, 3);

  RefPtr<Kelmo> copy = source->Clone();
  EXPECT_EQ(1, RefCount(copy));
  ExpectFreeStanding(copy);
  EXPECT_EQ(u"root", NameOf(copy));
  EXPECT_EQ(1, copy->GetKind());
  EXPECT_EQ(u"text", StringOf(copy));
  EXPECT_EQ(u"a,b,a", ChildNames(copy));
  for (RefPtr<Kelmo> at = copy->GetFirstChild(); at; at = at->GetNextSibling())
    EXPECT_TRUE(at != a && at != b && at != a2);
  RefPtr<Kelmo> copiedB = copy->GetFirstChild()->GetNextSibling();
  int number = 0;
  EXPECT_TRUE(copiedB->GetInt(number));
  EXPECT_EQ(-12, number);
  EXPECT_EQ(u"inner", ChildNames(copiedB));
  const unsigned char* data = nullptr;
  unsigned int length = 0;
  RefPtr<XInRes> holder;
  ASSERT_TRUE(copy->GetLastChild()->GetBinary(data, length, holder));
  EXPECT_EQ(std::string("\1\0\2", 3), std::string(reinterpret_cast<const char*>(data), length));

  // The copies own their texts and bytes.
  copy->SetStringW(W(u"changed"), 7);
  EXPECT_EQ(u"text", StringOf(source));
  a2->SetBinary(bytes, 1);
  ASSERT_TRUE(copy->GetLastChild()->GetBinary(data, length, holder));
  EXPECT_EQ(3u, length);
  // A clone of a child stops at that child's subtree.
  RefPtr<Kelmo> partial = b->Clone();
  EXPECT_EQ(u"inner", ChildNames(partial));
  ExpectFreeStanding(partial);
}

TEST(NodeLifecycle, CloneSharesObjectsAndCountsComReferences) {
  CountingComObject unknown;
  CountingComObject dispatch;
  auto shared = std::make_shared<int>(5);
  RefPtr<Kelmo> root = Node(u"root");
  root->SetUnknown(&unknown);
  RefPtr<Kelmo> d = Node(u"d");
  d->SetDispatch(&dispatch);
  RefPtr<Kelmo> s = Node(u"s");
  s->SetSharedPtr(shared);
  RefPtr<Kelmo> nullUnknown = Node(u"n");
  nullUnknown->SetUnknown(nullptr);
  root->AppendChild(d);
  root->AppendChild(s);
  root->AppendChild(nullUnknown);
  d = s = nullUnknown = nullptr;
  EXPECT_EQ(2, unknown.references);
  EXPECT_EQ(2, dispatch.references);
  EXPECT_EQ(2, shared.use_count());

  RefPtr<Kelmo> copy = root->Clone();
  EXPECT_EQ(3, unknown.references);
  EXPECT_EQ(3, dispatch.references);
  EXPECT_EQ(3, shared.use_count());
  RefPtr<Kelmo> copiedNull = copy->GetLastChild();
  EXPECT_EQ(static_cast<int>(ValueType::Unknown), copiedNull->GetType());
  kelmo::IUnknown* got = nullptr;
  EXPECT_TRUE(copiedNull->GetUnknown(got));
  EXPECT_EQ(nullptr, got);
  std::shared_ptr<void> out;
  EXPECT_TRUE(copy->GetFirstChild()->GetNextSibling()->GetSharedPtr(out));
  EXPECT_EQ(shared.get(), out.get());
  out.reset();

  copy = nullptr;
  copiedNull = nullptr;
  EXPECT_EQ(2, unknown.references);
  EXPECT_EQ(2, dispatch.references);
  EXPECT_EQ(2, shared.use_count());
  root = nullptr;
  EXPECT_EQ(1, unknown.references);
  EXPECT_EQ(1, dispatch.references);
  EXPECT_EQ(1, shared.use_count());
}

// The order in which a dying tree releases its values: the node's own value
// first, then its children's subtrees as their last links are dropped -
// every inner child when its successor's back link goes, then the first and
// the last child with the list's two entries.
TEST(NodeLifecycle, DestructionReleasesValuesInLinkDropOrder) {
  struct Case {
    int children;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {1, {"X", "1"}},
      {2, {"X", "1", "2"}},
      {3, {"X", "2", "1", "3"}},
      {5, {"X", "2", "3", "4", "1", "5"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> log;
    RefPtr<Kelmo> root = Node(u"X");
    LogRelease(root, log, "X");
    for (int i = 1; i <= c.children; ++i) Child(root, std::u16string(1, u'0' + i), log);
    root = nullptr;
    EXPECT_EQ(c.expected, log) << c.children << " children";
  }
}

TEST(NodeLifecycle, DestructionFreesSubtreesDepthFirst) {
  std::vector<std::string> log;
  RefPtr<Kelmo> root = Node(u"X");
  LogRelease(root, log, "X");
  Child(root, u"a", log);
  RefPtr<Kelmo> b = Child(root, u"b", log);
  Child(b, u"b1", log);
  RefPtr<Kelmo> b2 = Child(b, u"b2", log);
  Child(b2, u"b2x", log);
  Child(b, u"b3", log);
  Child(root, u"c", log);
  Child(root, u"d", log);
  b = b2 = nullptr;
  root = nullptr;
  const std::vector<std::string> expected = {"X", "b", "b2", "b2x", "b1", "b3", "c", "a", "d"};
  EXPECT_EQ(expected, log);
}

TEST(NodeLifecycle, HeldSubtreesSurviveTheirRoot) {
  std::vector<std::string> log;
  RefPtr<Kelmo> root = Node(u"X");
  LogRelease(root, log, "X");
  Child(root, u"a", log);
  RefPtr<Kelmo> b = Child(root, u"b", log);
  Child(b, u"b1", log);
  Child(b, u"b2", log);
  Child(root, u"c", log);
  root = nullptr;
  EXPECT_EQ((std::vector<std::string>{"X", "a", "c"}), log);
  ExpectFreeStanding(b);
  EXPECT_EQ(1, RefCount(b));
  EXPECT_EQ(u"b1,b2", ChildNames(b));
  b = nullptr;
  EXPECT_EQ((std::vector<std::string>{"X", "a", "c", "b", "b1", "b2"}), log);
}

TEST(NodeLifecycle, ValueReleaseMayReenterTheLibrary) {
  std::vector<std::string> log;
  // Another tree, owned only by the dying root's value.
  RefPtr<Kelmo> other = Node(u"Y");
  LogRelease(other, log, "Y");
  Child(other, u"y1", log);
  // A live tree whose children the dying root's value clears.
  RefPtr<Kelmo> live = Node(u"Z");
  Child(live, u"z1", log);
  // A child of the root that only the value holds besides the list.
  RefPtr<Kelmo> root = Node(u"X");
  Child(root, u"a", log);
  RefPtr<Kelmo> b = Child(root, u"b", log);
  auto owned = std::make_shared<RefPtr<Kelmo>>(other);
  auto heldChild = std::make_shared<RefPtr<Kelmo>>(b);
  other = b = nullptr;
  LogRelease(root, log, "X", [owned, heldChild, live] {
    *owned = nullptr;
    *heldChild = nullptr;
    live->RemoveAllChildren();
  });
  owned.reset();
  heldChild.reset();
  root = nullptr;
  const std::vector<std::string> expected = {"X", "Y", "y1", "z1", "a", "b"};
  EXPECT_EQ(expected, log);
  EXPECT_EQ(0u, live->GetChildCount());
}

// A value released while its parent dies must not be able to reach that
// parent (a reference to a dead node) or pull a later sibling out of the
// list that is being taken apart.
TEST(NodeLifecycle, DyingParentIsUnreachableFromCallbacks) {
  for (bool parentDies : {true, false}) {
    std::vector<std::string> log;
    RefPtr<Kelmo> root = Node(u"X");
    RefPtr<Kelmo> elsewhere = Node(u"E");
    Child(root, u"a", log);
    RefPtr<Kelmo> b = Node(u"b");
    root->AppendChild(b);
    Child(root, u"c", log);
    RefPtr<Kelmo> d = Child(root, u"d", log);
    std::vector<bool> sawParent;
    LogRelease(b, log, "b", [&] {
      sawParent.push_back(static_cast<bool>(d->GetParent()));
      d->Detach();
      elsewhere->AppendChild(d);
      if (!parentDies) root->RemoveChild(d);
    });
    b = nullptr;
    if (parentDies)
      root = nullptr;
    else
      root->RemoveAllChildren();
    EXPECT_EQ((std::vector<bool>{false}), sawParent);
    EXPECT_EQ((std::vector<std::string>{"b", "c", "a"}), log);
    ExpectFreeStanding(d);
    EXPECT_EQ(1, RefCount(d));
    EXPECT_EQ(0u, elsewhere->GetChildCount());
    elsewhere->AppendChild(d);
    EXPECT_EQ(u"d", ChildNames(elsewhere));
  }
}

// The same for the dying node's own value, whether the node is the root
// that is let go or a node inside the tree that goes with it.
TEST(NodeLifecycle, DyingNodeIsUnreachableFromItsOwnValue) {
  for (bool inner : {false, true}) {
    std::vector<std::string> log;
    RefPtr<Kelmo> top = Node(u"T");
    RefPtr<Kelmo> dying = Child(top, u"X", log);
    RefPtr<Kelmo> kept = Child(dying, u"k", log);
    std::vector<bool> sawParent;
    LogRelease(dying, log, "X", [&sawParent, kept] {
      sawParent.push_back(static_cast<bool>(kept->GetParent()));
    });
    if (inner) {
      dying = nullptr;
      top = nullptr;
    } else {
      dying->Detach();
      top = nullptr;
      dying = nullptr;
    }
    EXPECT_EQ((std::vector<bool>{false}), sawParent) << (inner ? "inner" : "root");
    ExpectFreeStanding(kept);
  }
}

TEST(NodeLifecycle, RemoveAllChildrenReleasesInLinkDropOrder) {
  std::vector<std::string> log;
  RefPtr<Kelmo> root = Node(u"X");
  for (int i = 1; i <= 4; ++i) Child(root, std::u16string(1, u'0' + i), log);
  root->RemoveAllChildren();
  EXPECT_EQ((std::vector<std::string>{"2", "3", "1", "4"}), log);
}

TEST(NodeLifecycle, MillionLevelChainClonesAndFreesWithoutRecursion) {
  const size_t depth = 1000000;
  RefPtr<Kelmo> chain = Chain(depth, true);
  ASSERT_EQ(depth, ChainDepth(chain, nullptr));
  RefPtr<Kelmo> copy = chain->Clone();
  std::u16string bottom;
  EXPECT_EQ(depth, ChainDepth(copy, &bottom));
  EXPECT_EQ(u"bottom", bottom);
  // Keep a node in the middle alive while the rest of the copy goes.
  const TreeNode* at = TreeNode::From(copy.get());
  for (size_t i = 0; i < depth / 2; ++i) at = at->FirstChild();
  RefPtr<Kelmo> middle;
  middle = const_cast<TreeNode*>(at);
  copy = nullptr;
  ExpectFreeStanding(middle);
  EXPECT_EQ(depth - depth / 2, ChainDepth(middle, nullptr));
  middle = nullptr;
  chain->RemoveAllChildren();
  EXPECT_EQ(0u, chain->GetChildCount());
  chain = Chain(depth, false);
  ASSERT_EQ(depth, ChainDepth(chain, nullptr));
  chain = nullptr;
}

// Linking a node under its own descendant is refused however far apart the
// two are, and linking leaves deep down stays cheap enough to build a
// million levels one append at a time (above).
TEST(NodeLifecycle, CyclesAreRefusedAtAnyDepth) {
  const size_t depth = 100000;
  RefPtr<Kelmo> chain = Chain(depth, true);
  RefPtr<Kelmo> bottom;
  bottom = const_cast<TreeNode*>([&] {
    const TreeNode* at = TreeNode::From(chain.get());
    while (at->FirstChild()) at = at->FirstChild();
    return at;
  }());
  bottom->AppendChild(chain);
  bottom->PrependChild(chain);
  EXPECT_EQ(0u, bottom->GetChildCount());
  EXPECT_FALSE(chain->GetParent());
  EXPECT_EQ(1, RefCount(chain));
  // A subtree that only looks deep: a free-standing chain goes under the
  // bottom of another chain.
  RefPtr<Kelmo> other = Chain(depth, false);
  bottom->AppendChild(other);
  EXPECT_EQ(1u, bottom->GetChildCount());
  EXPECT_EQ(2 * depth, ChainDepth(chain, nullptr));
}

}  // namespace
}  // namespace kelmo_tree_test
