// A walk whose visitor edits the tree, and inputs that hold no element or
// whose size cannot be told in advance.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/host_library.h"
#include "host/scratch_dir.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "host/child_process.h"
#endif

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::ParseError;
using kelmo::RefPtr;
using kelmo_test::ModuleScope;
using kelmo_test::ScratchDir;
using kelmo_test::U16;
using kelmo_test::W;

namespace {

// The node's name; the names here are ASCII.
std::string NameOf(const RefPtr<Kelmo>& node) {
  const std::u16string wide = kelmo_test::NameOf(node);
  return std::string(wide.begin(), wide.end());
}

struct Walk {
  std::string visited;
  std::function<void(RefPtr<Kelmo>&)> edit;
};

bool Record(RefPtr<Kelmo>& node, void* context) {
  Walk& walk = *static_cast<Walk*>(context);
  walk.visited += (walk.visited.empty() ? "" : " ") + NameOf(node);
  walk.edit(node);
  return true;
}

RefPtr<Kelmo> Parse(ModuleScope& m, const char* xml) {
  RefPtr<KelmoParser> parser = m->CreateParser();
  EXPECT_TRUE(parser->ParseStringA(xml, kelmo::kWholeText, kelmo::kCodePageUtf8));
  return parser->DetachRoot()->GetFirstChild();
}

// Whatever the visitor does to the node it is given, the walk visits every
// node that is still in the walked tree after it, and none of another tree.
TEST(TraverseEditTest, VisitorsThatChangeTheTreeMissNothing) {
  ModuleScope m;
  RefPtr<Kelmo> other = Parse(m, "<o><o1/><o2/></o>");
  struct Case {
    const char* name;
    const char* at;  // the visited node that the edit applies to
    std::function<void(ModuleScope&, RefPtr<Kelmo>&, const RefPtr<Kelmo>&)> edit;
    const char* expected;
  };
  const Case cases[] = {
      {"no edit", "", nullptr, "r a b b1 c d"},
      {"detach", "b", [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) { n->Detach(); },
       "r a b b1 c d"},
      {"remove through the parent", "b",
       [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) { n->GetParent()->RemoveChild(n); },
       "r a b b1 c d"},
      {"move into another tree", "b",
       [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>& o) {
         n->Detach();
         o->AppendChild(n);
       },
       "r a b b1 c d"},
      {"move to the end of its parent", "a",
       [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) {
         RefPtr<Kelmo> parent = n->GetParent();
         n->Detach();
         parent->AppendChild(n);
       },
       "r a b b1 c d a"},
      {"remove the next sibling", "b",
       [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) {
         n->GetParent()->RemoveChild(n->GetNextSibling());
       },
       "r a b b1 d"},
      {"detach itself and its next sibling", "b",
       [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) {
         RefPtr<Kelmo> next = n->GetNextSibling();
         n->Detach();
         next->Detach();
       },
       "r a b b1"},
      {"append a child", "b",
       [](ModuleScope& mm, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) {
         n->AppendChild(mm->CreateNodeA("b2", kelmo::kWholeText, kelmo::kCodePageUtf8));
       },
       "r a b b1 b2 c d"},
      {"append a sibling at the end", "d",
       [](ModuleScope& mm, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) {
         n->GetParent()->AppendChild(mm->CreateNodeA("e", kelmo::kWholeText, kelmo::kCodePageUtf8));
       },
       "r a b b1 c d e"},
      {"remove its children", "b",
       [](ModuleScope&, RefPtr<Kelmo>& n, const RefPtr<Kelmo>&) { n->RemoveAllChildren(); },
       "r a b c d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RefPtr<Kelmo> r = Parse(m, "<r><a/><b><b1/></b><c/><d/></r>");
    Walk walk;
    bool done = false;
    walk.edit = [&](RefPtr<Kelmo>& node) {
      if (c.edit && !done && NameOf(node) == c.at) {
        done = true;
        c.edit(m, node, other);
      }
    };
    m->CreateTraversal()->Traverse(r, &Record, &walk);
    EXPECT_EQ(walk.visited, c.expected);
  }
}

struct ParseCase {
  const char* name;
  std::string bytes;
  unsigned int code;
};

// Every input without an element fails with a code of its own, whichever
// way it comes in; a start tag that never ends is cut short.
TEST(NoElementTest, InputWithoutAnElementFails) {
  const ParseCase cases[] = {
      {"empty", "", 14},
      {"blanks", " \n\t ", 14},
      {"one blank", " ", 14},
      {"text", "hello", 14},
      {"one letter", "a", 14},
      {"comment", "<!-- c -->", 14},
      {"processing instruction", "<?pi x?>", 14},
      {"declaration and doctype", "<?xml version=\"1.0\"?><!DOCTYPE r>\n", 14},
      {"byte-order mark only", "\xEF\xBB\xBF", 14},
      {"cut-off declaration", "<?xml version=\"1.0\" enc", 13},
      {"short open tag", "<a>", 13},
      {"open tag", "<a", 13},
      {"element", "<a/>", 0},
  };
  ModuleScope m;
  RefPtr<KelmoParser> parser = m->CreateParser();
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bool expected = c.code == 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
    const auto size = static_cast<unsigned int>(c.bytes.size());
    EXPECT_EQ(parser->ParseBuffer(bytes, size), expected);
    EXPECT_EQ(parser->GetErrorCode(), c.code) << "ParseBuffer";
    ASSERT_TRUE(parser->GetRoot());
    EXPECT_EQ(parser->ParseStringA(c.bytes.c_str(), size, kelmo::kCodePageUtf8), expected);
    EXPECT_EQ(parser->GetErrorCode(), c.code) << "ParseStringA";
    const std::u16string wide = U16(c.bytes.c_str());
    EXPECT_EQ(parser->ParseStringW(W(wide), static_cast<unsigned int>(wide.size())), expected);
    EXPECT_EQ(parser->GetErrorCode(), c.code) << "ParseStringW";
    if (c.code == 14) {
      EXPECT_FALSE(parser->GetRoot()->GetFirstChild());
    }
  }
  EXPECT_FALSE(parser->ParseStringW(nullptr, 0));
  EXPECT_EQ(parser->GetErrorCode(), 14u);
}

#if !defined(_WIN32)

// Files whose size a seek cannot tell are read to their end: a pipe, a
// file under /proc, and empty or blank files report what they hold.
TEST(UnknownSizeFileTest, FilesAreReadToTheirEnd) {
  ModuleScope m;
  ScratchDir dir;
  const std::string fifo = dir.File("pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  RefPtr<KelmoParser> parser = m->CreateParser();
  // The writer is another process, so the read meets the pipe's end.
  std::string document = "<r>";
  for (int i = 0; i < 20000; ++i) document += "<x>" + std::to_string(i) + "</x>";
  document += "</r>";
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    std::ofstream(fifo, std::ios::binary) << document;
    ::_exit(0);
  }
  EXPECT_TRUE(parser->ParseFileA(fifo.c_str())) << parser->GetErrorCode();
  ::waitpid(writer, nullptr, 0);
  EXPECT_EQ(parser->GetRoot()->GetFirstChild()->GetChildCount(), 20000u);
  EXPECT_EQ(parser->GetErrorOffset(), document.size());

  const ParseCase files[] = {
      {"/proc/self/status", "", 14},  // text read whole: no element, not an encoding error
      {"empty", "", 14},
      {"blank", "  \n", 14},
      {"short", "<a>", 13},
  };
  for (const ParseCase& c : files) {
    SCOPED_TRACE(c.name);
    std::string path = c.name;
    if (path[0] != '/') {
      path = dir.File(c.name).string();
      kelmo_test::WriteBytes(path, c.bytes);
    }
    EXPECT_FALSE(parser->ParseFileA(path.c_str()));
    EXPECT_EQ(parser->GetErrorCode(), c.code);
    if (c.name[0] == '/') {
      EXPECT_GT(parser->GetErrorLine(), 5u);
    }
  }
}

#endif  // !_WIN32

}  // namespace
