// Bad input to the traversal: no node, no visitor, no path, or a code page
// no converter knows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "host/child_process.h"
#include "host/bad_input.h"
#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "support/com_names.h"
#include "support/counting_com_object.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::StringOf;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;
using namespace kelmo_test::bad_input;

namespace {

// --- Traversal entries ---

TEST(BadInput, TraversalWithoutNodeVisitorPathOrUsableCodePage) {
  ScratchDir dir;
  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"a"), kWhole);
  node->SetStringW(W(u"v\u00e9"), kWhole);
  const RefPtr<Kelmo> none;

  // Traverse: nothing to walk, or nobody to call.
  int visits = 0;
  auto count = [](RefPtr<Kelmo>&, void* c) { return ++*static_cast<int*>(c) > 0; };
  g_badInputs += 2;
  t->Traverse(none, count, &visits);
  EXPECT_EQ(visits, 0);
  t->Traverse(node, nullptr, &visits);
  t->Traverse(node, count, &visits);
  EXPECT_EQ(visits, 1);

  // Text output without a node, or in a code page nobody knows.
  FilledHolder kept(m);
  unsigned length = 99;
  g_badInputs += 6;
  const kelmo::WChar* wide = t->ToXmlW(none, &length, nullptr, nullptr, kept.holder);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(wide[0], 0);
  kept.ExpectUntouched();
  for (unsigned codePage : {kNoSuchCodePage, kHugeCodePage, 99999u}) {
    length = 99;
    const char* narrow = t->ToXmlA(node, &length, " ", "\n", codePage, kept.holder);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(narrow, "");
    kept.ExpectUntouched();
  }
  length = 99;
  EXPECT_STREQ(t->ToXmlA(none, &length, nullptr, nullptr, kUtf8, kept.holder), "");
  EXPECT_EQ(length, 0u);
  kept.ExpectUntouched();
  // No length wanted, no layout strings: still the text.
  RefPtr<XInRes> holder;
  g_badInputs += 2;
  EXPECT_EQ(Text(t->ToXmlW(node, nullptr, nullptr, nullptr, holder), 9), u"<a>v\u00e9</a>");
  EXPECT_STREQ(t->ToXmlA(node, nullptr, nullptr, nullptr, kUtf8, holder), "<a>v\xC3\xA9</a>");
  // Invalid UTF-8 in the layout strings decodes to U+FFFD, which is not
  // white space: no text, rather than one that reads back differently.
  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kWhole);
  parent->AppendChild(node);
  ++g_badInputs;
  length = 1;
  const char* laidOut = t->ToXmlA(parent, &length, "\xFF", "\xC3", kUtf8, holder);
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(laidOut, "");

  // Saving: every refusal leaves an existing file byte for byte.
  const std::string old = "old content\n";
  const auto target = dir.File("target.xml");
  const std::string targetA = target.string();
  const std::u16string targetW = U16(targetA.c_str());
  WriteBytes(target, old);
  const std::u16string loneW = U16(dir.File("lone").string().c_str()) + kLoneHigh;
  const std::vector<std::pair<const char*, std::function<bool()>>> refusals = {
      {"SaveFileW without node",
       [&] { return t->SaveFileW(none, W(targetW), nullptr, nullptr, nullptr); }},
      {"SaveFileA without node",
       [&] { return t->SaveFileA(none, targetA.c_str(), nullptr, nullptr, nullptr, kUtf8); }},
      {"SaveFileW with null path",
       [&] { return t->SaveFileW(node, nullptr, nullptr, nullptr, nullptr); }},
      {"SaveFileA with null path",
       [&] { return t->SaveFileA(node, nullptr, nullptr, nullptr, nullptr, kUtf8); }},
      {"SaveFileA with empty path",
       [&] { return t->SaveFileA(node, "", nullptr, nullptr, nullptr, kUtf8); }},
      {"SaveFileW with empty path",
       [&] { return t->SaveFileW(node, W(u""), nullptr, nullptr, nullptr); }},
      {"SaveFileW with a lone surrogate in the path",
       [&] { return t->SaveFileW(node, W(loneW), nullptr, nullptr, nullptr); }},
      {"SaveFileA into a missing directory",
       [&] {
         return t->SaveFileA(node, dir.File("no/such/x.xml").string().c_str(), nullptr, nullptr,
                             nullptr, kUtf8);
       }},
      {"SaveFileW onto a directory",
       [&] {
         return t->SaveFileW(node, W(U16(dir.path().string().c_str())), nullptr, nullptr,
                             nullptr);
       }},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.first);
    ++g_badInputs;
    EXPECT_FALSE(refusal.second());
    EXPECT_EQ(ReadBytes(target), old);
  }
  // Nothing but the target is in the directory: no stray or partial file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);

  // Encoding names nobody knows cannot be written honestly: the save fails
  // and the old file stays as it was.
  const std::string longName(300, 'q');
  const std::string before = ReadBytes(target);
  for (const char* encoding : {"klingon", "UTF-9", longName.c_str(), "\xFF\xFE"}) {
    SCOPED_TRACE(std::string(encoding).substr(0, 20));
    ++g_badInputs;
    EXPECT_FALSE(t->SaveFileA(node, targetA.c_str(), nullptr, nullptr, encoding, 28591));
    EXPECT_EQ(ReadBytes(target), before);
  }
  // Narrow layout and encoding arguments that the code page cannot convert
  // become empty: the default encoding, no indentation.
  ++g_badInputs;
  ASSERT_TRUE(t->SaveFileA(parent, targetA.c_str(), "  ", "\n", "utf-16", kNoSuchCodePage));
  EXPECT_EQ(ReadBytes(target).compare(0, 3, "\xEF\xBB\xBF"), 0);
  EXPECT_NE(ReadBytes(target).find("encoding=\"utf-8\"?><p>"), std::string::npos);
}

}  // namespace
