// The entry points, the factory and the counting rules, as a host sees them.
#include <gtest/gtest.h>

#include "support/host_library.h"

using kelmo::IModule;
using kelmo::Kelmo;
using kelmo::RefPtr;
using kelmo_test::HostLibrary;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::U16;
using kelmo_test::W;

TEST(ModuleEntry, NullSlotIsANoOperation) {
  HostLibrary& lib = HostLibrary::Instance();
  ASSERT_TRUE(lib.error.empty()) << lib.error;
  lib.get(nullptr);
  lib.free(nullptr);
}

TEST(ModuleEntry, SecondGetReplacesTheFactoryAndNodesOutliveIt) {
  HostLibrary& lib = HostLibrary::Instance();
  IModule* slot = nullptr;
  lib.get(&slot);
  ASSERT_NE(slot, nullptr);
  RefPtr<Kelmo> node = slot->CreateNodeW(W(u"kept"), kelmo::kWholeText);
  lib.get(&slot);
  ASSERT_NE(slot, nullptr);
  lib.free(&slot);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(NameOf(node), u"kept");
  node->SetInt(5);
  int v = 0;
  EXPECT_TRUE(node->GetInt(v));
  EXPECT_EQ(v, 5);
  lib.free(&slot);
  EXPECT_EQ(slot, nullptr);
}

TEST(ModuleFactory, NodeNamesFollowTheLengthRules) {
  ModuleScope m;
  struct Case {
    const kelmo::WChar* text;
    unsigned int length;
    std::u16string expected;
  };
  const std::u16string abc = u"abc";
  const Case cases[] = {
      {nullptr, 5, u""},
      {W(abc), 0, u""},
      {W(abc), kelmo::kWholeText, u"abc"},
      {W(abc), 2, u"ab"},
  };
  for (const Case& c : cases) {
    RefPtr<Kelmo> node = m->CreateNodeW(c.text, c.length);
    EXPECT_EQ(NameOf(node), c.expected);
  }
  EXPECT_EQ(NameOf(m->CreateNodeA("n\xC3\xA9", kelmo::kWholeText, 65001)), U16("n\xC3\xA9"));
  EXPECT_EQ(NameOf(m->CreateNodeA("name", kelmo::kWholeText, 12345)), u"");
}

TEST(ModuleFactory, FreshNodeIsAnEmptyFreeStandingElement) {
  ModuleScope m;
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"n"), kelmo::kWholeText);
  EXPECT_EQ(node->GetType(), 0);
  EXPECT_TRUE(node->IsEmpty());
  EXPECT_FALSE(node->IsNumber());
  EXPECT_FALSE(node->IsScalar());
  EXPECT_FALSE(node->IsBinary());
  EXPECT_FALSE(node->IsObject());
  EXPECT_EQ(node->GetKind(), 0);
  EXPECT_FALSE(node->GetParent());
  EXPECT_FALSE(node->GetFirstChild());
  EXPECT_EQ(node->GetChildCount(), 0u);
}

TEST(ModuleFactory, CreatesParsersAndTraversalObjects) {
  ModuleScope m;
  RefPtr<kelmo::KelmoParser> parser = m->CreateParser();
  RefPtr<kelmo::KelmoTraversal> traversal = m->CreateTraversal();
  EXPECT_TRUE(parser);
  EXPECT_TRUE(traversal);
}

// A child's next sibling kept alive only by the child: assigning it to the
// handle that holds the child must not destroy it.
TEST(RefCounting, AssignmentAddsBeforeItDrops) {
  ModuleScope m;
  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kelmo::kWholeText);
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    RefPtr<Kelmo> child = m->CreateNodeW(W(name), kelmo::kWholeText);
    parent->AppendChild(child);
  }
  RefPtr<Kelmo> walker = parent->GetFirstChild();
  walker = walker;  // self-assignment keeps the object
  EXPECT_EQ(NameOf(walker), u"a");
  parent->RemoveAllChildren();
  // Walker holds a, whose links are gone; b and c are free-standing now.
  EXPECT_FALSE(walker->GetNextSibling());
  std::u16string seen;
  RefPtr<Kelmo> again = m->CreateNodeW(W(u"x"), kelmo::kWholeText);
  RefPtr<Kelmo> child = m->CreateNodeW(W(u"y"), kelmo::kWholeText);
  again->AppendChild(child);
  child = nullptr;
  RefPtr<Kelmo> cursor = again->GetFirstChild();
  again = nullptr;  // parent gone: the child survives through cursor alone
  ASSERT_TRUE(cursor);
  EXPECT_EQ(NameOf(cursor), u"y");
  EXPECT_FALSE(cursor->GetParent());
  cursor = cursor->GetNextSibling();
  EXPECT_FALSE(cursor);
}

TEST(RefCounting, ExtraReferenceNeedsItsOwnRelease) {
  ModuleScope m;
  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kelmo::kWholeText);
  Kelmo* raw = parent.get();
  raw->AddRef();
  parent = nullptr;
  // Still alive through the extra reference.
  EXPECT_EQ(NameOf(RefPtr<Kelmo>(raw, kelmo::adopt_ref)), u"p");
}
