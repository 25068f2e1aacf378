// A parsed (or cloned) tree lives in memory of its own document: these tests
// check that the memory stays exactly as long as some node of it does, and
// that nodes sharing read-only texts never see each other's changes.
#include "tree/doc_memory.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/kelmo_parser_impl.h"
#include "encoding/encoding.h"
#include "tree/tree_node.h"
#include "tree_test_support.h"

namespace kelmo_tree_test {
namespace {

using kelmo::DocMemory;
using kelmo::KelmoParserImpl;
using kelmo::WStrBuf;

RefPtr<Kelmo> Parse(const std::u16string& xml) {
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, kelmo::adopt_ref);
  EXPECT_TRUE(parser->ParseStringW(W(xml), static_cast<unsigned int>(xml.size())));
  return parser->DetachRoot();
}

std::u16string ValueOf(const RefPtr<Kelmo>& node) {
  const WChar* text = nullptr;
  unsigned int length = 0;
  RefPtr<kelmo::XInRes> holder;
  EXPECT_TRUE(node->GetStringW(text, length, holder));
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

const std::u16string kDocument =
    u"<r><item id='1'>one</item><item id='2'>two</item><item id='3'>three</item></r>";

// Whatever a host keeps of a document keeps all of its memory; the memory
// goes with the last node, however the nodes were let go.
TEST(DocMemory, LivesExactlyAsLongAsOneOfItsNodes) {
  struct Case {
    const char* what;
    std::function<RefPtr<Kelmo>(const RefPtr<Kelmo>& root)> keep;
  };
  const Case cases[] = {
      {"nothing", [](const RefPtr<Kelmo>&) { return RefPtr<Kelmo>(); }},
      {"a leaf", [](const RefPtr<Kelmo>& root) { return root->GetElement()->GetLastChild(); }},
      {"a detached subtree",
       [](const RefPtr<Kelmo>& root) {
         RefPtr<Kelmo> item = root->GetElement()->GetFirstChild();
         item->Detach();
         return item;
       }},
      {"a node moved into a heap tree",
       [](const RefPtr<Kelmo>& root) {
         RefPtr<Kelmo> item = root->GetElement()->GetFirstChild()->GetNextSibling();
         item->Detach();
         RefPtr<Kelmo> other = Node(u"other");
         other->AppendChild(item);
         return other;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int64_t before = DocMemory::LiveDocuments();
    RefPtr<Kelmo> root = Parse(kDocument);
    EXPECT_EQ(DocMemory::LiveDocuments(), before + 1);
    RefPtr<Kelmo> kept = c.keep(root);
    root = nullptr;
    EXPECT_EQ(DocMemory::LiveDocuments(), before + (kept ? 1 : 0));
    if (kept) {
      // Names and values of the kept nodes are still there to read.
      RefPtr<Kelmo> item = NameOf(kept) == u"other" ? kept->GetFirstChild() : kept;
      EXPECT_EQ(NameOf(item), u"item");
      EXPECT_FALSE(ValueOf(item).empty());
    }
    kept = nullptr;
    EXPECT_EQ(DocMemory::LiveDocuments(), before);
  }
}

// Equal names share one read-only text; each way of changing one node's
// name or value gives that node a text of its own and leaves the others.
TEST(DocMemory, SharedTextsAreCopiedBeforeAnyChange) {
  struct Case {
    const char* what;
    std::function<void(Kelmo&)> change;
    std::u16string name;
    std::u16string value;
  };
  const Case cases[] = {
      {"SetNameW", [](Kelmo& n) { n.SetNameW(W(u"cell"), 4); }, u"cell", u"one"},
      {"SetNameA, same length", [](Kelmo& n) { n.SetNameA("ITEM", 4, 65001); }, u"ITEM", u"one"},
      {"SetNameA, shorter", [](Kelmo& n) { n.SetNameA("it", 2, 65001); }, u"it", u"one"},
      {"SetStringW", [](Kelmo& n) { n.SetStringW(W(u"ONE"), 3); }, u"item", u"ONE"},
      {"SetStringA, same length", [](Kelmo& n) { n.SetStringA("uno", 3, 65001); }, u"item", u"uno"},
      {"SetStringA, longer", [](Kelmo& n) { n.SetStringA("eins!!!!!!", 10, 65001); }, u"item",
       u"eins!!!!!!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RefPtr<Kelmo> root = Parse(kDocument);
    RefPtr<Kelmo> first = root->GetElement()->GetFirstChild();
    RefPtr<Kelmo> second = first->GetNextSibling();
    RefPtr<kelmo::XInRes> holder;
    const WChar* a = nullptr;
    const WChar* b = nullptr;
    unsigned int length = 0;
    first->GetNameW(a, length, holder);
    second->GetNameW(b, length, holder);
    EXPECT_EQ(a, b) << "equal names of one document are one text";
    c.change(*first);
    EXPECT_EQ(NameOf(first), c.name);
    EXPECT_EQ(ValueOf(first), c.value);
    EXPECT_EQ(NameOf(second), u"item");
    EXPECT_EQ(ValueOf(second), u"two");
    EXPECT_EQ(NameOf(second->GetNextSibling()), u"item");
    EXPECT_EQ(NameOf(first->GetFirstChild()), u"id");
  }
}

TEST(DocMemory, CloneIsADocumentOfItsOwn) {
  const int64_t before = DocMemory::LiveDocuments();
  RefPtr<Kelmo> root = Parse(kDocument);
  RefPtr<Kelmo> copy = root->GetElement()->Clone();
  EXPECT_EQ(DocMemory::LiveDocuments(), before + 2);
  root = nullptr;
  EXPECT_EQ(DocMemory::LiveDocuments(), before + 1);
  EXPECT_EQ(ChildNames(copy), u"item,item,item");
  EXPECT_EQ(ValueOf(copy->GetLastChild()), u"three");
  copy = nullptr;
  EXPECT_EQ(DocMemory::LiveDocuments(), before);
}

// Nodes of one document may be let go on different threads at once.
TEST(DocMemory, NodesOfOneDocumentMayBeReleasedOnSeveralThreads) {
  const int64_t before = DocMemory::LiveDocuments();
  std::u16string xml = u"<r>";
  for (int i = 0; i < 2000; ++i) xml += u"<a><b>x</b></a>";
  xml += u"</r>";
  for (int round = 0; round < 4; ++round) {
    RefPtr<Kelmo> root = Parse(xml);
    std::vector<RefPtr<Kelmo>> halves[2];
    int i = 0;
    for (RefPtr<Kelmo> at = root->GetElement()->GetFirstChild(); at; at = at->GetNextSibling())
      halves[i++ % 2].push_back(at->GetFirstChild());
    std::thread other([&halves] { halves[1].clear(); });
    root = nullptr;
    halves[0].clear();
    other.join();
  }
  EXPECT_EQ(DocMemory::LiveDocuments(), before);
}

// A parsed tree goes in one step exactly when nothing of it outlives its
// root and no node owns anything outside the document's memory; any other
// tree goes node by node. Either way the memory goes, and (under the leak
// checker) nothing a node owned stays behind.
TEST(DocMemory, OnlyAnUntouchedUnheldTreeGoesInOneStep) {
  struct Case {
    const char* what;
    bool whole;
    std::function<void(const RefPtr<Kelmo>& element)> act;
  };
  static CountingComObject com;
  const Case cases[] = {
      {"nothing", true, [](const RefPtr<Kelmo>&) {}},
      {"every node read and let go", true,
       [](const RefPtr<Kelmo>& element) {
         for (RefPtr<Kelmo> at = element->GetFirstChild(); at; at = at->GetNextSibling()) {
           EXPECT_EQ(NameOf(at), u"item");
           EXPECT_FALSE(ValueOf(at).empty());
           RefPtr<Kelmo> again = at->GetFirstChild();  // twice held, then let go
         }
       }},
      {"a number over a parsed text", true,
       [](const RefPtr<Kelmo>& element) { element->GetFirstChild()->SetInt(7); }},
      {"a text of its own", false,
       [](const RefPtr<Kelmo>& element) { element->GetFirstChild()->SetStringW(W(u"new"), 3); }},
      {"a narrow text", false,
       [](const RefPtr<Kelmo>& element) { element->GetFirstChild()->SetStringA("new", 3, 65001); }},
      {"a new name", false,
       [](const RefPtr<Kelmo>& element) { element->GetFirstChild()->SetNameW(W(u"n"), 1); }},
      {"a byte array", false,
       [](const RefPtr<Kelmo>& element) {
         const unsigned char bytes[] = {1, 2, 3};
         element->GetLastChild()->SetBinary(bytes, 3);
       }},
      {"a shared pointer", false,
       [](const RefPtr<Kelmo>& element) { element->SetSharedPtr(std::make_shared<int>(1)); }},
      {"a COM object", false, [](const RefPtr<Kelmo>& element) { element->SetDispatch(&com); }},
      {"a child detached", false, [](const RefPtr<Kelmo>& element) { element->GetFirstChild()->Detach(); }},
      {"a heap node appended", false, [](const RefPtr<Kelmo>& element) { element->AppendChild(Node(u"h")); }},
      {"a child list on a leaf", false,
       [](const RefPtr<Kelmo>& element) { element->GetFirstChild()->GetFirstChild()->AppendChild(nullptr); }},
      {"a name index", false, [](const RefPtr<Kelmo>& element) { element->BuildNameIndex(); }},
      {"all children removed", false, [](const RefPtr<Kelmo>& element) { element->RemoveAllChildren(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int64_t live = DocMemory::LiveDocuments();
    const int64_t whole = DocMemory::WholeReleases();
    RefPtr<Kelmo> root = Parse(kDocument);
    c.act(root->GetElement());
    root = nullptr;
    EXPECT_EQ(DocMemory::WholeReleases() - whole, c.whole ? 1 : 0);
    EXPECT_EQ(DocMemory::LiveDocuments(), live);
  }
  EXPECT_EQ(com.references, 1);
}

// Large input is read in pieces, so names are cut at piece boundaries; a
// cut name must still read back whole and leave the tree free to go in one
// step. Element and attribute names of every length around the cut.
TEST(DocMemory, NamesCutBetweenPiecesKeepTheOneStepRelease) {
  std::string xml = "<r>";
  while (xml.size() < 3 * kelmo::DocumentPieces::kPieceBytes) {
    const std::string name = "n" + std::to_string(xml.size() % 97);
    xml += "<" + name + " attribute" + name + "='v'/>";
  }
  xml += "</r>";
  const int64_t whole = DocMemory::WholeReleases();
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, kelmo::adopt_ref);
  ASSERT_TRUE(parser->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                                  static_cast<unsigned int>(xml.size())));
  RefPtr<Kelmo> root = parser->DetachRoot();
  parser = nullptr;
  std::string rebuilt = "<r>";
  for (RefPtr<Kelmo> at = root->GetElement()->GetFirstChild(); at; at = at->GetNextSibling()) {
    const std::u16string name = NameOf(at);
    const std::u16string attribute = NameOf(at->GetFirstChild());
    rebuilt += "<" + std::string(name.begin(), name.end()) + " " +
               std::string(attribute.begin(), attribute.end()) + "='v'/>";
  }
  EXPECT_EQ(rebuilt + "</r>", xml);
  root = nullptr;
  EXPECT_EQ(DocMemory::WholeReleases() - whole, 1);
}

// A node kept past its root keeps the document, readable, and the tree
// goes node by node; the same tree let go later in one piece goes whole.
// Large documents freed one after another leave some of the system's
// memory kept for the next, never more than a bound, whatever their size.
TEST(DocMemory, KeptSystemMemoryStaysBounded) {
  std::u16string xml = u"<r>";
  for (int i = 0; i < 40000; ++i) xml += u"<item key='k' value='" + std::u16string(20, u'v') + u"'/>";
  xml += u"</r>";
  for (int round = 0; round < 3; ++round) {
    RefPtr<Kelmo> root = Parse(xml);
    ASSERT_TRUE(root);
    root = nullptr;
    EXPECT_LE(DocMemory::KeptPageBytes(), size_t(8) << 20) << round;
  }
}

TEST(DocMemory, AHeldNodeOutlivesItsRootReadable) {
  const int64_t live = DocMemory::LiveDocuments();
  const int64_t whole = DocMemory::WholeReleases();
  std::vector<RefPtr<Kelmo>> kept;
  for (int round = 0; round < 20; ++round) {
    RefPtr<Kelmo> root = Parse(kDocument);
    kept.push_back(root->GetElement()->GetLastChild());
  }
  EXPECT_EQ(DocMemory::LiveDocuments(), live + 20);
  for (const RefPtr<Kelmo>& node : kept) {
    EXPECT_EQ(NameOf(node), u"item");
    EXPECT_EQ(ValueOf(node), u"three");
    EXPECT_EQ(ValueOf(node->GetFirstChild()), u"3");
    EXPECT_FALSE(node->GetParent());
  }
  kept.clear();
  EXPECT_EQ(DocMemory::LiveDocuments(), live);
  EXPECT_EQ(DocMemory::WholeReleases(), whole);
}

TEST(WStrBufFrozen, ChangesCopyTheTextFirst) {
  const std::u16string text = u"frozen";
  alignas(8) unsigned char memory[64];
  ASSERT_LE(WStrBuf::FrozenBytes(6), sizeof(memory));
  const std::function<void(WStrBuf&)> changes[] = {
      [](WStrBuf& s) { s.Append(W(u"!"), 1); },
      [](WStrBuf& s) { s.AppendChar('!'); },
      [](WStrBuf& s) { s.Assign(W(u"thawed"), 6); },
      [](WStrBuf& s) { s.Resize(6), s.MutableData()[0] = 'F'; },
      [](WStrBuf& s) { s.Resize(3); },
      [](WStrBuf& s) { s.Erase(); },
      [](WStrBuf& s) { s.Clear(); },
  };
  for (const auto& change : changes) {
    WStrBuf frozen = WStrBuf::Freeze(memory, W(text), 6);
    WStrBuf shared = frozen.ShareFrozen();
    change(frozen);
    EXPECT_FALSE(frozen.IsFrozen());
    EXPECT_TRUE(shared.Equals(W(text), 6));
    EXPECT_EQ(shared.Data(), reinterpret_cast<const WChar*>(memory + 8));
  }
}

}  // namespace
}  // namespace kelmo_tree_test

namespace kelmo_tree_test {
namespace {

using kelmo::DocBuilder;

// Five-unit names whose FNV-1a-32 hashes agree in their low 20 bits: the
// last unit is solved for, the first four count up.
std::vector<std::u16string> FnvCollidingNames(size_t count) {
  constexpr uint32_t kPrime = 16777619u, kMask = (1u << 20) - 1, kTarget = 0x12345;
  uint32_t inverse = 1;  // of the prime, modulo 2^32 (Newton's iteration)
  for (int i = 0; i < 5; ++i) inverse *= 2 - kPrime * inverse;
  std::vector<std::u16string> names;
  for (uint32_t n = 0; names.size() < count; ++n) {
    std::u16string name = {char16_t(u'A' + n % 26), char16_t(0x4E00 + n / 26 % 5000),
                           char16_t(0x4E00 + n / 130000), u'x'};
    uint32_t h = 2166136261u;
    for (char16_t unit : name) h = (h ^ unit) * kPrime;
    const uint32_t last = ((kTarget * inverse) ^ h) & kMask;
    if (last < 0x4E00 || last > 0x9FFF) continue;
    name.push_back(char16_t(last));
    names.push_back(name);
  }
  return names;
}

uint64_t ProbesToIntern(const std::vector<std::u16string>& names, DocBuilder::NameHashFunction hash) {
  DocBuilder builder;
  builder.OpenNew();
  if (hash) builder.SetNameHashForTesting(hash);
  for (const std::u16string& name : names) builder.InternName(W(name), uint32_t(name.size()));
  return builder.NameProbes();
}

uint32_t SameHashForAll(const WChar*, uint32_t) { return 7; }

// The work per name is bounded whatever the names: names that the table's
// old hash put on one slot, and even a hash that gives every name the same
// value, cost a bounded number of slots each.
TEST(NameInterning, SlotsLookedAtGrowLinearlyWithCollidingNames) {
  for (size_t count : {2000u, 16000u}) {
    const std::vector<std::u16string> names = FnvCollidingNames(count);
    EXPECT_LE(ProbesToIntern(names, nullptr), 4 * count) << count << " names, keyed hash";
    EXPECT_LE(ProbesToIntern(names, &SameHashForAll), DocBuilder::kMaxNameProbes * count)
        << count << " names, one hash for all";
  }
}

TEST(NameInterning, EqualNamesShareOneTextEvenWhenTheirSlotsAreTaken) {
  for (DocBuilder::NameHashFunction hash : {DocBuilder::NameHashFunction(nullptr), &SameHashForAll}) {
    DocBuilder builder;
    builder.OpenNew();
    if (hash) builder.SetNameHashForTesting(hash);
    const std::vector<std::u16string> names = FnvCollidingNames(8);
    std::vector<WStrBuf> first;
    for (const std::u16string& name : names) first.push_back(builder.InternName(W(name), 5));
    for (size_t i = 0; i < names.size(); ++i) {
      WStrBuf again = builder.InternName(W(names[i]), 5);
      EXPECT_EQ(again.Data(), first[i].Data()) << i;
      EXPECT_TRUE(again.EqualsResolved(W(names[i]), 5));
    }
    // Past the bound a name is still copied faithfully, only not shared.
    for (const std::u16string& name : FnvCollidingNames(100)) {
      EXPECT_TRUE(builder.InternName(W(name), 5).EqualsResolved(W(name), 5));
    }
  }
}

// Names interned by their place in a sequence are the document's interned
// names: the same text as InternName gives, whether the place remembered
// that name, another one, or a name of a memory closed since.
TEST(NameInterning, NamesByPlaceAreTheInternedNames) {
  const std::vector<std::u16string> rows[] = {{u"key", u"type", u"value"},
                                              {u"key", u"tipe", u"value", u"extra"},
                                              {u"value", u"key"}};
  for (int memory = 0; memory < 2; ++memory) {
    DocBuilder builder;
    builder.OpenNew();
    for (const std::vector<std::u16string>& row : rows) {
      for (uint32_t place = 0; place < row.size(); ++place) {
        const std::u16string& name = row[place];
        const auto length = static_cast<uint32_t>(name.size());
        WStrBuf byPlace = builder.InternNameAt(place, W(name), length);
        EXPECT_TRUE(byPlace.EqualsResolved(W(name), length));
        EXPECT_EQ(byPlace.Data(), builder.InternName(W(name), length).Data()) << place;
      }
    }
    builder.Close();  // the memory goes: nothing was carved from it
  }
}

}  // namespace
}  // namespace kelmo_tree_test
