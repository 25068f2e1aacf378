// The traversal object as a host sees it: walking with a visitor, XML text
// in result buffers, and saved files byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host_library.h"
#include "host/scratch_dir.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

using kelmo::Kelmo;
using kelmo::KelmoTraversal;
using kelmo::NodeKind;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;

namespace {

std::u16string Text(const kelmo::WChar* text, unsigned int length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

class TraversalTest : public ::testing::Test {
 protected:
  RefPtr<Kelmo> Node(const char* name) { return m->CreateNodeW(W(U16(name)), kelmo::kWholeText); }

  RefPtr<Kelmo> Add(const RefPtr<Kelmo>& parent, const char* name,
                    NodeKind kind = NodeKind::Element) {
    RefPtr<Kelmo> child = Node(name);
    child->SetKind(static_cast<char>(kind));
    parent->AppendChild(child);
    return child;
  }

  // r(a=1)[x(b)[y], c(CDATA), z]
  RefPtr<Kelmo> SmallTree() {
    RefPtr<Kelmo> r = Node("r");
    Add(r, "a", NodeKind::Attribute)->SetInt(1);
    RefPtr<Kelmo> x = Add(r, "x");
    Add(x, "b", NodeKind::Attribute);
    Add(x, "y");
    Add(r, "c", NodeKind::CData)->SetStringW(W(u"<c>"), kelmo::kWholeText);
    Add(r, "z");
    return r;
  }

  std::u16string ToXml(const RefPtr<Kelmo>& node, const char16_t* unit = nullptr,
                       const char16_t* newline = nullptr) {
    RefPtr<XInRes> holder;
    unsigned int length = 0;
    const kelmo::WChar* text = t->ToXmlW(node, &length, reinterpret_cast<const kelmo::WChar*>(unit),
                                         reinterpret_cast<const kelmo::WChar*>(newline), holder);
    return Text(text, length);
  }

  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
};

// --- Traverse ---

struct Recorder {
  std::vector<std::u16string> names;
  size_t stopAt = 0;  // 0: never stop
};

bool Record(RefPtr<Kelmo>& node, void* context) {
  auto* recorder = static_cast<Recorder*>(context);
  recorder->names.push_back(NameOf(node));
  return recorder->names.size() != recorder->stopAt;
}

TEST_F(TraversalTest, VisitsEveryNodeInDocumentOrderAttributesIncluded) {
  Recorder recorder;
  t->Traverse(SmallTree(), Record, &recorder);
  EXPECT_EQ(recorder.names,
            (std::vector<std::u16string>{u"r", u"a", u"x", u"b", u"y", u"c", u"z"}));
}

TEST_F(TraversalTest, FalseStopsTheWholeWalk) {
  for (size_t stop = 1; stop <= 7; ++stop) {
    Recorder recorder;
    recorder.stopAt = stop;
    t->Traverse(SmallTree(), Record, &recorder);
    EXPECT_EQ(recorder.names.size(), stop);
  }
}

TEST_F(TraversalTest, StartsAtTheGivenNodeAndStaysInsideItsSubtree) {
  RefPtr<Kelmo> r = SmallTree();
  Recorder recorder;
  t->Traverse(r->FindChildW(W(u"x"), kelmo::kWholeText, 0), Record, &recorder);
  EXPECT_EQ(recorder.names, (std::vector<std::u16string>{u"x", u"b", u"y"}));
}

TEST_F(TraversalTest, NoNodeOrNoVisitorDoesNothing) {
  Recorder recorder;
  t->Traverse(RefPtr<Kelmo>(), Record, &recorder);
  EXPECT_TRUE(recorder.names.empty());
  RefPtr<Kelmo> r = SmallTree();
  t->Traverse(r, nullptr, &recorder);
  EXPECT_EQ(r->GetChildCount(), 4u);
  EXPECT_EQ(ToXml(r), u"<r a=\"1\"><x b=\"\"><y/></x><c><![CDATA[<c>]]></c><z/></r>");
}

struct Games {
  std::vector<RefPtr<Kelmo>> kept;
  RefPtr<Kelmo> other;
  int visits = 0;
};

TEST_F(TraversalTest, VisitorHandleGamesDoNotDisturbTheWalk) {
  using Game = bool (*)(RefPtr<Kelmo>&, void*);
  const Game games[] = {
      [](RefPtr<Kelmo>& node, void* c) {  // releases its handle
        ++static_cast<Games*>(c)->visits;
        node = nullptr;
        return true;
      },
      [](RefPtr<Kelmo>& node, void* c) {  // points its handle elsewhere
        auto* g = static_cast<Games*>(c);
        ++g->visits;
        node = g->other;
        return true;
      },
      [](RefPtr<Kelmo>& node, void* c) {  // steals the reference
        ++static_cast<Games*>(c)->visits;
        RefPtr<Kelmo> taken(std::move(node));
        return true;
      },
  };
  for (Game game : games) {
    Games g;
    g.other = Node("other");
    t->Traverse(SmallTree(), game, &g);
    EXPECT_EQ(g.visits, 7);
  }
}

TEST_F(TraversalTest, CopiedHandlesKeepNodesAliveAfterTheTreeIsGone) {
  Games g;
  {
    RefPtr<Kelmo> r = SmallTree();
    t->Traverse(
        r,
        [](RefPtr<Kelmo>& node, void* c) {
          static_cast<Games*>(c)->kept.push_back(node);
          return true;
        },
        &g);
    EXPECT_EQ(g.kept.front(), r);
  }
  ASSERT_EQ(g.kept.size(), 7u);
  EXPECT_EQ(NameOf(g.kept[4]), u"y");
  EXPECT_EQ(kelmo_test::StringOf(g.kept[5]), u"<c>");
}

// The walk keeps its own references on the path it is on, so cutting that
// path out of the host's tree does not pull nodes from under it.
TEST_F(TraversalTest, WalkSurvivesItsPathBeingCutFromTheTree) {
  struct Cut {
    RefPtr<Kelmo> root;
    std::vector<std::u16string> names;
  } cut;
  cut.root = Node("root");
  Add(Add(Add(cut.root, "a"), "b"), "c");
  Add(cut.root, "after");
  t->Traverse(
      RefPtr<Kelmo>(cut.root),
      [](RefPtr<Kelmo>& node, void* c) {
        auto* state = static_cast<Cut*>(c);
        state->names.push_back(NameOf(node));
        if (state->names.back() == u"b") state->root->RemoveAllChildren();
        return true;
      },
      &cut);
  // a was cut loose with its subtree: after b comes c, and a has no sibling.
  EXPECT_EQ(cut.names, (std::vector<std::u16string>{u"root", u"a", u"b", u"c"}));
}

// --- ToXmlW / ToXmlA ---

TEST_F(TraversalTest, ToXmlWithoutNodeGivesEmptyTextAndKeepsTheHolder) {
  RefPtr<XInRes> holder;
  unsigned int length = 99;
  t->ToXmlW(SmallTree(), &length, nullptr, nullptr, holder);
  XInRes* before = holder.get();
  ASSERT_NE(before, nullptr);
  const kelmo::WChar* wide = t->ToXmlW(RefPtr<Kelmo>(), &length, nullptr, nullptr, holder);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(holder.get(), before);
  length = 99;
  const char* narrow = t->ToXmlA(RefPtr<Kelmo>(), &length, nullptr, nullptr, 65001, holder);
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(narrow, "");
  EXPECT_EQ(holder.get(), before);
}

TEST_F(TraversalTest, EmptyOutputStillFillsTheWideHolderButNotTheNarrowOne) {
  RefPtr<Kelmo> unnamed = m->CreateNodeW(nullptr, 0);
  RefPtr<XInRes> holder;
  unsigned int length = 99;
  t->ToXmlW(SmallTree(), &length, nullptr, nullptr, holder);
  RefPtr<XInRes> earlier = holder;

  const kelmo::WChar* wide = t->ToXmlW(unnamed, &length, nullptr, nullptr, holder);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_NE(holder.get(), nullptr);
  EXPECT_NE(holder, earlier);

  RefPtr<XInRes> narrowHolder = earlier;
  length = 99;
  const char* narrow = t->ToXmlA(unnamed, &length, nullptr, nullptr, 65001, narrowHolder);
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(narrow, "");
  EXPECT_EQ(narrowHolder, earlier);
}

// A tree that would not read back the same gives no text at all, like the
// other failures of ToXmlA: empty text, length 0, holder untouched.
TEST_F(TraversalTest, ToXmlRefusesTreesThatWouldNotReadBack) {
  RefPtr<Kelmo> spaced = Node("r");
  Add(spaced, "a b");
  RefPtr<Kelmo> valuedRoot = m->CreateNodeW(nullptr, 0);
  valuedRoot->SetInt(1);
  Add(valuedRoot, "a");
  for (const RefPtr<Kelmo>& tree : {spaced, valuedRoot}) {
    RefPtr<XInRes> holder;
    unsigned int length = 99;
    t->ToXmlW(SmallTree(), &length, nullptr, nullptr, holder);
    RefPtr<XInRes> earlier = holder;
    const kelmo::WChar* wide = t->ToXmlW(tree, &length, W(u" "), W(u"\n"), holder);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(holder, earlier);
    for (unsigned int codePage : {65001u, 1200u}) {
      length = 99;
      const char* narrow = t->ToXmlA(tree, &length, " ", "\n", codePage, holder);
      EXPECT_EQ(length, 0u);
      EXPECT_STREQ(narrow, "");
      EXPECT_EQ(holder, earlier);
    }
  }
}

TEST_F(TraversalTest, ToXmlWOfASingleElementCountsExactlyItsUnits) {
  RefPtr<XInRes> holder;
  unsigned int length = 0;
  const kelmo::WChar* text = t->ToXmlW(Node("single"), &length, nullptr, nullptr, holder);
  EXPECT_EQ(Text(text, length), u"<single/>");
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(text[length], 0);
  EXPECT_EQ(t->ToXmlW(Node("single"), nullptr, nullptr, nullptr, holder)[0], u'<');
}

TEST_F(TraversalTest, ResultTextOutlivesTheTreeWhileTheHolderKeepsIt) {
  RefPtr<XInRes> holder;
  unsigned int length = 0;
  const kelmo::WChar* text;
  {
    RefPtr<Kelmo> r = SmallTree();
    text = t->ToXmlW(r, &length, W(u"\t"), W(u"\n"), holder);
  }
  RefPtr<XInRes> copy = holder;
  holder = nullptr;
  EXPECT_EQ(Text(text, length),
            u"<r a=\"1\">\n\t<x b=\"\">\n\t\t<y/>\n\t</x>\n\t<c><![CDATA[<c>]]></c>\n\t<z/>\n</r>\n");
}

TEST_F(TraversalTest, ToXmlAIsTheCodePageFormOfToXmlW) {
  RefPtr<Kelmo> r = Node("caf\xC3\xA9");
  Add(r, "k", NodeKind::Attribute)->SetStringW(W(U16("\xE4\xB8\xAD & \xF0\x9F\x98\x80")),
                                               kelmo::kWholeText);
  Add(r, "n")->SetDouble(-2.5);
  const std::u16string wide = ToXml(r, u"  ", u"\r\n");
  RefPtr<XInRes> holder;
  unsigned int length = 0;
  const char* narrow = t->ToXmlA(r, &length, "  ", "\r\n", 65001, holder);
  EXPECT_EQ(std::string(narrow, length),
            "<caf\xC3\xA9 k=\"\xE4\xB8\xAD &amp; \xF0\x9F\x98\x80\">\r\n  <n>-2.5</n>\r\n"
            "</caf\xC3\xA9>\r\n");
  EXPECT_EQ(U16(narrow), wide);
  EXPECT_EQ(narrow[length], 0);
}

TEST_F(TraversalTest, ToXmlAWithAnUnusableCodePageGivesEmptyText) {
  RefPtr<XInRes> holder;
  unsigned int length = 0;
  t->ToXmlW(Node("x"), &length, nullptr, nullptr, holder);
  RefPtr<XInRes> before = holder;
  length = 99;
  const char* text = t->ToXmlA(Node("a"), &length, nullptr, nullptr, 4242, holder);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(holder, before);
}

// --- SaveFileW / SaveFileA ---

std::string Utf16Bytes(const std::u16string& text, bool bigEndian) {
  std::string bytes;
  for (char16_t c : text) {
    const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

class SaveTest : public TraversalTest {
 protected:
  std::u16string PathW(const char* name) const { return dir.File(name).u16string(); }
  std::string PathA(const char* name) const { return dir.File(name).string(); }

  // r(v="1")[t "中文"]
  RefPtr<Kelmo> ChineseTree() {
    RefPtr<Kelmo> r = Node("r");
    Add(r, "v", NodeKind::Attribute)->SetInt(1);
    Add(r, "t")->SetStringW(W(U16("\xE4\xB8\xAD\xE6\x96\x87")), kelmo::kWholeText);
    return r;
  }

  ScratchDir dir;
};

TEST_F(SaveTest, FilesCarryMarkDeclarationAndBodyInTheirEncoding) {
  const std::u16string body = U16("<r v=\"1\">\n <t>\xE4\xB8\xAD\xE6\x96\x87</t>\n</r>\n");
  struct Case {
    const char* label;
    const char16_t* encoding;
    std::string expected;
  };
  const std::string declUtf8 = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  const Case cases[] = {
      {"null", nullptr, "\xEF\xBB\xBF" + declUtf8 + "<r v=\"1\">\n <t>\xE4\xB8\xAD\xE6\x96\x87</t>\n</r>\n"},
      {"empty", u"", "\xEF\xBB\xBF" + declUtf8 + "<r v=\"1\">\n <t>\xE4\xB8\xAD\xE6\x96\x87</t>\n</r>\n"},
      {"UTF-16LE", u"UTF-16LE",
       "\xFF\xFE" + Utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>\n" + body, false)},
      {"UTF-16BE", u"UTF-16BE",
       "\xFE\xFF" + Utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-16BE\"?>\n" + body, true)},
      {"GB2312", u"GB2312",
       "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<r v=\"1\">\n <t>\xD6\xD0\xCE\xC4</t>\n</r>\n"},
  };
  for (const Case& c : cases) {
    const std::u16string path = PathW("out.xml");
    ASSERT_TRUE(t->SaveFileW(ChineseTree(), W(path), W(u" "), W(u"\n"),
                             c.encoding ? W(c.encoding) : nullptr));
    EXPECT_EQ(ReadBytes(dir.File("out.xml")), c.expected) << c.label;
  }
}

TEST_F(SaveTest, UsAsciiHasNoMarkAndNarrowArgumentsUseTheCodePage) {
  RefPtr<Kelmo> r = Node("r");
  Add(r, "a")->SetStringW(W(u"x<y"), kelmo::kWholeText);
  ASSERT_TRUE(t->SaveFileA(r, PathA("ascii.xml").c_str(), "\t", "\r\n", "us-ascii", 65001));
  EXPECT_EQ(ReadBytes(dir.File("ascii.xml")),
            "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\r\n<r>\r\n\t<a>x&lt;y</a>\r\n</r>\r\n");
  // Without indent, newline and encoding: UTF-8 with its mark, on one line.
  ASSERT_TRUE(t->SaveFileA(r, PathA("plain.xml").c_str(), nullptr, nullptr, nullptr, 65001));
  EXPECT_EQ(ReadBytes(dir.File("plain.xml")),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><r><a>x&lt;y</a></r>");
}

TEST_F(SaveTest, WidePathsWithNonAsciiNamesWork) {
  const std::filesystem::path file = dir.path() / std::filesystem::u8path("\xE5\x8F\x82\xC3\xA9.xml");
  const std::u16string path = file.u16string();
  ASSERT_TRUE(t->SaveFileW(Node("a"), W(path), nullptr, nullptr, W(u"utf-8")));
  EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><a/>");
}

TEST_F(SaveTest, SavingAgainReplacesTheWholeFile) {
  RefPtr<Kelmo> big = ChineseTree();
  for (int i = 0; i < 50; ++i) Add(big, "filler")->SetInt(i);
  ASSERT_TRUE(t->SaveFileA(big, PathA("f.xml").c_str(), " ", "\n", nullptr, 65001));
  ASSERT_TRUE(t->SaveFileA(Node("small"), PathA("f.xml").c_str(), nullptr, nullptr, "us-ascii", 0));
  EXPECT_EQ(ReadBytes(dir.File("f.xml")),
            "<?xml version=\"1.0\" encoding=\"us-ascii\"?><small/>");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(SaveTest, MissingNodePathOrDirectoryGivesFalseAndNoFile) {
  EXPECT_FALSE(t->SaveFileA(Node("a"), PathA("missing/dir.xml").c_str(), nullptr, nullptr,
                            nullptr, 0));
  EXPECT_FALSE(t->SaveFileW(Node("a"), W(PathW("missing/dir.xml")), nullptr, nullptr, nullptr));
  EXPECT_FALSE(t->SaveFileW(RefPtr<Kelmo>(), W(PathW("a.xml")), nullptr, nullptr, nullptr));
  EXPECT_FALSE(t->SaveFileA(RefPtr<Kelmo>(), PathA("a.xml").c_str(), nullptr, nullptr, nullptr, 0));
  EXPECT_FALSE(t->SaveFileW(Node("a"), nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(t->SaveFileA(Node("a"), nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Names the parser would not read back as the same name, and structure the
// writer cannot express: the save fails and the old file stays byte for byte.
TEST_F(SaveTest, TreesThatWouldNotReadBackAreNotSaved) {
  const std::string old = "<?xml version=\"1.0\"?><old/>";
  WriteBytes(dir.File("keep.xml"), old);
  std::vector<RefPtr<Kelmo>> trees;
  for (const char* name : {"a b", "a<b", "a>b", "a&b", "a=b", "a\"b", "a'b", "a/b", "a\x01"}) {
    RefPtr<Kelmo> element = Node("r");
    Add(element, name);
    trees.push_back(element);
    RefPtr<Kelmo> attribute = Node("r");
    Add(attribute, name, NodeKind::Attribute);
    trees.push_back(attribute);
  }
  RefPtr<Kelmo> unnamedAttribute = Node("r");
  Add(unnamedAttribute, "", NodeKind::Attribute);
  trees.push_back(unnamedAttribute);
  RefPtr<Kelmo> rootValue = m->CreateNodeW(nullptr, 0);
  rootValue->SetStringW(W(u"v"), kelmo::kWholeText);
  Add(rootValue, "a");
  trees.push_back(rootValue);
  RefPtr<Kelmo> rootAttribute = m->CreateNodeW(nullptr, 0);
  Add(rootAttribute, "x", NodeKind::Attribute);
  Add(rootAttribute, "a");
  trees.push_back(rootAttribute);
  RefPtr<Kelmo> attributeChild = Node("r");
  Add(Add(attributeChild, "x", NodeKind::Attribute), "inner");
  trees.push_back(attributeChild);
  for (const RefPtr<Kelmo>& tree : trees) {
    EXPECT_FALSE(t->SaveFileW(tree, W(PathW("keep.xml")), nullptr, nullptr, nullptr));
    EXPECT_FALSE(t->SaveFileA(tree, PathA("keep.xml").c_str(), " ", "\n", "utf-16", 65001));
    EXPECT_EQ(ReadBytes(dir.File("keep.xml")), old);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
  // An element without a name stays a transparent container.
  RefPtr<Kelmo> group = Node("r");
  Add(Add(group, ""), "a");
  ASSERT_TRUE(t->SaveFileA(group, PathA("keep.xml").c_str(), nullptr, nullptr, "us-ascii", 0));
  EXPECT_EQ(ReadBytes(dir.File("keep.xml")), "<?xml version=\"1.0\" encoding=\"us-ascii\"?><r><a/></r>");
}

TEST_F(SaveTest, SavingOverADirectoryFailsAndLeavesIt) {
  std::filesystem::create_directory(dir.File("sub"));
  WriteBytes(dir.File("sub") / "inside.txt", "kept");
  EXPECT_FALSE(t->SaveFileW(Node("a"), W(PathW("sub")), nullptr, nullptr, nullptr));
  EXPECT_EQ(ReadBytes(dir.File("sub") / "inside.txt"), "kept");
}

#if !defined(_WIN32)
// The file-size limit makes the write fail part way, as a full disk would.
TEST_F(SaveTest, FailedWriteKeepsTheOldFileByteForByte) {
  const std::string old = "<?xml version=\"1.0\"?><old/>";
  WriteBytes(dir.File("keep.xml"), old);
  RefPtr<Kelmo> big = Node("big");
  for (int i = 0; i < 2000; ++i) Add(big, "item")->SetInt(i);

  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  void (*handler)(int) = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved;
  limit.rlim_cur = 1024;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  const bool wide = t->SaveFileW(big, W(PathW("keep.xml")), W(u" "), W(u"\n"), nullptr);
  const bool narrow = t->SaveFileA(big, PathA("keep.xml").c_str(), " ", "\n", "utf-16", 0);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, handler);

  EXPECT_FALSE(wide);
  EXPECT_FALSE(narrow);
  EXPECT_EQ(ReadBytes(dir.File("keep.xml")), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}
#endif

// --- Deep trees ---

TEST_F(SaveTest, MillionLevelsAreWalkedWrittenAndSaved) {
  const unsigned depth = 1000000;
  RefPtr<Kelmo> root = Node("d");
  {
    RefPtr<Kelmo> last = root;
    for (unsigned i = 1; i < depth; ++i) last = Add(last, "d");
  }
  struct Count {
    unsigned visits = 0;
    unsigned stopAt = 0;
  } count;
  auto counter = [](RefPtr<Kelmo>&, void* c) {
    auto* state = static_cast<Count*>(c);
    return ++state->visits != state->stopAt;
  };
  t->Traverse(root, counter, &count);
  EXPECT_EQ(count.visits, depth);
  count = Count{0, depth / 2};
  t->Traverse(root, counter, &count);
  EXPECT_EQ(count.visits, depth / 2);

  RefPtr<XInRes> holder;
  unsigned int length = 0;
  const kelmo::WChar* text = t->ToXmlW(root, &length, nullptr, nullptr, holder);
  ASSERT_EQ(length, (depth - 1) * 7 + 4);  // "<d>" and "</d>" per level, "<d/>" at the bottom
  EXPECT_EQ(Text(text, 7), u"<d><d><");
  EXPECT_EQ(Text(text + (depth - 1) * 3, 8), u"<d/></d>");

  ASSERT_TRUE(t->SaveFileW(root, W(PathW("deep.xml")), nullptr, nullptr, W(u"us-ascii")));
  EXPECT_EQ(std::filesystem::file_size(dir.File("deep.xml")),
            std::string("<?xml version=\"1.0\" encoding=\"us-ascii\"?>").size() + length);
}

}  // namespace
