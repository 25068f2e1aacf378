// The library on many threads at once: handles to the nodes of one shared
// tree taken and dropped everywhere while the tree is only read, and
// separate factories, trees, parsers and traversal objects used side by side.
// Run under ThreadSanitizer by the test command; in the other builds the
// counts checked here still show lost or doubled reference changes.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/host_library.h"
#include "host/scratch_dir.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::ScratchDir;
using kelmo_test::StringOf;
using kelmo_test::U16;
using kelmo_test::W;

namespace {

constexpr unsigned kWhole = kelmo::kWholeText;

unsigned ThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores < 4 ? 8 : cores * 2;
}

// Runs body(thread number) on n threads at once, released together so that
// they really overlap, and gives each thread's list of problems.
std::vector<std::string> OnThreads(unsigned n, const std::function<void(unsigned, std::string&)>& body) {
  std::vector<std::string> problems(n);
  std::atomic<unsigned> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (!go.load()) std::this_thread::yield();
      body(i, problems[i]);
    });
  }
  while (ready.load() < n) std::this_thread::yield();
  go.store(true);
  for (std::thread& t : threads) t.join();
  return problems;
}

void ExpectNoProblems(const std::vector<std::string>& problems) {
  for (size_t i = 0; i < problems.size(); ++i)
    EXPECT_TRUE(problems[i].empty()) << "thread " << i << ": " << problems[i];
}

std::u16string Text(const kelmo::WChar* text, unsigned length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// --- One tree, many readers ---

struct SharedTree {
  RefPtr<Kelmo> root;
  std::shared_ptr<void> sentinel = std::make_shared<int>(0);
  long holders = 0;  // nodes holding the sentinel
  unsigned nodes = 1;
};

// A root with sections, each with entries; every element shares one
// sentinel object, so its use count tells how many of them are alive.
SharedTree BuildSharedTree(ModuleScope& m) {
  SharedTree tree;
  tree.root = m->CreateNodeW(W(u"config"), kWhole);
  tree.root->SetSharedPtr(tree.sentinel);
  tree.holders = 1;
  for (int s = 0; s < 24; ++s) {
    RefPtr<Kelmo> section = m->CreateNodeW(W(u"section"), kWhole);
    section->SetSharedPtr(tree.sentinel);
    tree.root->AppendChild(section);
    ++tree.holders;
    ++tree.nodes;
    for (int e = 0; e < 16; ++e) {
      RefPtr<Kelmo> entry = m->CreateNodeW(W(u"entry"), kWhole);
      entry->SetSharedPtr(tree.sentinel);
      RefPtr<Kelmo> id = m->CreateNodeW(W(u"id"), kWhole);
      const std::string digits = std::to_string(s * 100 + e);
      id->SetStringA(digits.c_str(), kWhole, kelmo::kCodePageUtf8);
      id->SetKind(static_cast<char>(kelmo::NodeKind::Attribute));
      entry->AppendChild(id);
      RefPtr<Kelmo> value = m->CreateNodeW(W(u"value"), kWhole);
      value->SetInt(e);
      entry->AppendChild(value);
      section->AppendChild(entry);
      tree.holders += 1;
      tree.nodes += 3;
    }
    section->BuildNameIndex();
  }
  tree.root->BuildNameIndex();
  return tree;
}

// Visits every node of the tree by handles only, checking the links on the
// way, and takes extra references of every kind.
void ReadSharedTree(const SharedTree& tree, KelmoTraversal& traversal,
                    const std::u16string& expectedXml, std::string& problems) {
  unsigned seen = 1;
  for (RefPtr<Kelmo> section = tree.root->GetFirstChild(); section;
       section = section->GetNextSibling()) {
    ++seen;
    if (section->GetParent() != tree.root) problems += "section parent; ";
    section->AddRef();  // a bare reference, as a host holding a raw pointer takes it
    RefPtr<Kelmo> last = section->GetLastChild();
    if (!last || last->GetPrevSibling()->GetNextSibling() != last) problems += "sibling links; ";
    section->Release();
    for (RefPtr<Kelmo> entry = section->GetFirstChild(); entry; entry = entry->GetNextSibling()) {
      seen += 3;
      std::shared_ptr<void> share;
      if (!entry->GetSharedPtr(share) || share != tree.sentinel) problems += "shared value; ";
      RefPtr<Kelmo> id = entry->FindChildW(W(u"id"), kWhole, 0);
      RefPtr<Kelmo> value = entry->GetLastChild();
      int number = -1;
      if (!id || !value || !value->GetInt(number) || number < 0 || number >= 16)
        problems += "entry children; ";
      const kelmo::WChar* text = nullptr;
      unsigned length = 0;
      RefPtr<XInRes> holder;
      if (id && (!id->GetStringW(text, length, holder) || length == 0 || holder))
        problems += "attribute text; ";
      RefPtr<Kelmo> copies[] = {entry, entry->GetParent(), value->GetParent()};
      if (copies[1] != section || copies[2] != entry) problems += "parents; ";
    }
    if (section->FindLastChildW(W(u"entry"), kWhole, 15) != section->GetFirstChild())
      problems += "indexed lookup; ";
  }
  if (seen != tree.nodes) problems += "walked " + std::to_string(seen) + " nodes; ";

  unsigned visits = 0;
  traversal.Traverse(tree.root, [](RefPtr<Kelmo>& node, void* count) {
    RefPtr<Kelmo> keep = node;  // another reference taken and dropped
    ++*static_cast<unsigned*>(count);
    return true;
  }, &visits);
  if (visits != tree.nodes) problems += "traversed " + std::to_string(visits) + " nodes; ";

  RefPtr<XInRes> holder;
  unsigned length = 0;
  const kelmo::WChar* xml = traversal.ToXmlW(tree.root, &length, W(u" "), W(u"\n"), holder);
  if (Text(xml, length) != expectedXml) problems += "text output differs; ";
}

TEST(Threads, HandlesToOneTreeTakenAndDroppedOnManyThreads) {
  ModuleScope m;
  SharedTree tree = BuildSharedTree(m);
  RefPtr<KelmoTraversal> traversal = m->CreateTraversal();
  RefPtr<XInRes> holder;
  unsigned length = 0;
  const kelmo::WChar* xml = traversal->ToXmlW(tree.root, &length, W(u" "), W(u"\n"), holder);
  const std::u16string expected = Text(xml, length);
  ASSERT_GT(expected.size(), 10000u);
  ASSERT_EQ(tree.sentinel.use_count(), tree.holders + 1);

  // One traversal object serves all threads; it keeps no state.
  ExpectNoProblems(OnThreads(ThreadCount(), [&](unsigned, std::string& problems) {
    for (int round = 0; round < 30; ++round) ReadSharedTree(tree, *traversal, expected, problems);
  }));

  // Every reference taken was dropped: nothing freed early, nothing kept.
  EXPECT_EQ(tree.sentinel.use_count(), tree.holders + 1);
  xml = traversal->ToXmlW(tree.root, &length, W(u" "), W(u"\n"), holder);
  EXPECT_TRUE(Text(xml, length) == expected);
  tree.root = nullptr;
  EXPECT_EQ(tree.sentinel.use_count(), 1);
}

TEST(Threads, ReferenceCountsStayExactUnderContention) {
  ModuleScope m;
  auto sentinel = std::make_shared<int>(0);
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"shared"), kWhole);
  node->SetSharedPtr(sentinel);
  RefPtr<KelmoParser> parser = m->CreateParser();
  RefPtr<KelmoTraversal> traversal = m->CreateTraversal();
  RefPtr<XInRes> name;
  const char* narrow = nullptr;
  unsigned narrowLength = 0;
  ASSERT_TRUE(node->GetNameA(narrow, narrowLength, kelmo::kCodePageUtf8, name));

  constexpr int kRounds = 100000;
  ExpectNoProblems(OnThreads(ThreadCount(), [&](unsigned, std::string& problems) {
    std::vector<RefPtr<Kelmo>> copies;
    for (int i = 0; i < kRounds; ++i) {
      node->AddRef();
      copies.push_back(node);
      RefPtr<KelmoParser> p = parser;
      RefPtr<KelmoTraversal> t = traversal;
      RefPtr<XInRes> n = name;
      if (i % 1000 == 999) copies.clear();
    }
    for (int i = 0; i < kRounds; ++i) node->Release();
    if (std::string(narrow, narrowLength) != "shared") problems += "result text changed; ";
  }));

  // The node is alive with exactly the references the test holds.
  EXPECT_EQ(sentinel.use_count(), 2);
  EXPECT_EQ(NameOf(node), u"shared");
  node = nullptr;
  EXPECT_EQ(sentinel.use_count(), 1);
}

// --- Separate objects on separate threads ---

std::u16string WithNumber(const char* text, unsigned number) {
  std::u16string out = U16(text);
  const std::string digits = std::to_string(number);
  out.append(digits.begin(), digits.end());
  return out;
}

// Texts read from UTF-8 are made UTF-16 when first asked for: threads that
// all ask at once for every value of a fresh tree each get the right text,
// and all get the one text that was published first.
TEST(Threads, FirstRequestsForTheWideFormOfTextsAgree) {
  ModuleScope m;
  constexpr unsigned kEntries = 300;
  std::string document = "<r>";
  std::vector<std::u16string> expected;
  for (unsigned i = 0; i < kEntries; ++i) {
    const std::string digits = std::to_string(i);
    document += "<e k=\"v\xC3\xA9" + digits + "\">t\xE6\x97\xA5" + std::string(70, 'x') + digits + "</e>";
    expected.push_back(u"t\u65e5" + std::u16string(70, u'x') + WithNumber("", i));
    expected.push_back(u"v\u00e9" + WithNumber("", i));
  }
  document += "</r>";
  RefPtr<KelmoParser> parser = m->CreateParser();
  ASSERT_TRUE(parser->ParseBuffer(reinterpret_cast<const unsigned char*>(document.data()),
                                  static_cast<unsigned>(document.size())));
  std::vector<RefPtr<Kelmo>> nodes;
  for (RefPtr<Kelmo> e = parser->GetRoot()->GetElement()->GetFirstChild(); e; e = e->GetNextSibling()) {
    nodes.push_back(e);
    nodes.push_back(e->GetFirstChild());
  }
  ASSERT_EQ(nodes.size(), expected.size());
  const unsigned threads = ThreadCount();
  std::vector<std::vector<const kelmo::WChar*>> seen(threads, std::vector<const kelmo::WChar*>(nodes.size()));
  ExpectNoProblems(OnThreads(threads, [&](unsigned thread, std::string& problems) {
    for (size_t k = 0; k < nodes.size(); ++k) {
      const size_t i = (k + thread * 7) % nodes.size();  // threads start in different places
      const kelmo::WChar* text = nullptr;
      unsigned length = 0;
      RefPtr<XInRes> holder;
      if (!nodes[i]->GetStringW(text, length, holder) || Text(text, length) != expected[i])
        problems += "text " + std::to_string(i) + "; ";
      seen[thread][i] = text;
    }
  }));
  for (unsigned thread = 1; thread < threads; ++thread) EXPECT_TRUE(seen[thread] == seen[0]);
}

TEST(Threads, SeparateTreesParsersAndTraversalsSideBySide) {
  ScratchDir dir;
  const char16_t* const encodings[] = {u"utf-8", u"utf-16", u"UTF-16BE", u"unicode"};
  ExpectNoProblems(OnThreads(ThreadCount(), [&](unsigned thread, std::string& problems) {
    // A factory of the thread's own, made and freed through the exports.
    ModuleScope m;
    RefPtr<KelmoParser> p = m->CreateParser();
    RefPtr<KelmoTraversal> t = m->CreateTraversal();
    const std::u16string path = U16(dir.File(("t" + std::to_string(thread) + ".xml").c_str())
                                        .string().c_str());
    for (unsigned round = 0; round < 15; ++round) {
      const std::u16string doc = u"<job owner=\"caf\u00e9\" n=\"" + WithNumber("", thread) +
                                 u"\"><step>one</step><step>two &amp; three</step>"
                                 u"<note><![CDATA[<raw>]]></note></job>";
      if (!p->ParseStringW(W(doc), kWhole)) {
        problems += "parse failed; ";
        return;
      }
      RefPtr<Kelmo> job = p->DetachRoot()->GetFirstChild();
      job->BuildNameIndex();
      RefPtr<Kelmo> second = job->FindChildW(W(u"step"), kWhole, 1);
      second->SetInt(static_cast<int>(thread * 1000 + round));
      second->SetNameW(W(u"stage"), kWhole);
      RefPtr<Kelmo> extra = job->CreateNode();
      extra->SetNameW(W(WithNumber("extra", round)), kWhole);
      extra->SetDouble(round + 0.5);
      job->InsertChildBefore(second, extra);

      RefPtr<XInRes> holder;
      unsigned length = 0;
      const kelmo::WChar* xml = t->ToXmlW(job, &length, nullptr, nullptr, holder);
      const std::u16string written = Text(xml, length);
      if (written.find(WithNumber("<stage>", thread * 1000 + round)) == std::u16string::npos)
        problems += "modified value missing; ";
      const char* utf8 = t->ToXmlA(job, &length, nullptr, nullptr, kelmo::kCodePageUtf8, holder);
      if (length <= written.size() || std::string(utf8, 13) != "<job owner=\"c")
        problems += "narrow text; ";

      const auto* encoding = reinterpret_cast<const kelmo::WChar*>(encodings[(thread + round) % 4]);
      if (!t->SaveFileW(job, W(path), nullptr, nullptr, encoding)) {
        problems += "save failed; ";
        continue;
      }
      if (!p->ParseFileW(W(path))) {
        problems += "reparse failed " + std::to_string(p->GetErrorCode()) + "; ";
        continue;
      }
      RefPtr<Kelmo> back = p->GetRoot()->GetElement();
      xml = t->ToXmlW(back, &length, nullptr, nullptr, holder);
      if (Text(xml, length) != written)
        problems += "round trip differs; ";
      unsigned visits = 0;
      t->Traverse(back, [](RefPtr<Kelmo>&, void* c) { return ++*static_cast<unsigned*>(c) > 0; },
                  &visits);
      if (visits != 7) problems += "traversed " + std::to_string(visits) + "; ";
      if (StringOf(back->FindChildW(W(u"note"), kWhole, 0)) != u"<raw>") problems += "section; ";
    }
  }));
}

// A parser and its tree made on one thread and used on another, in turn.
TEST(Threads, ObjectsHandedFromThreadToThread) {
  ModuleScope m;
  RefPtr<KelmoParser> parser;
  RefPtr<Kelmo> root;
  std::thread([&] { parser = m->CreateParser(); }).join();
  std::thread([&] { ASSERT_TRUE(parser->ParseStringW(W(u"<a><b/></a>"), kWhole)); }).join();
  std::thread([&] { root = parser->DetachRoot(); parser = nullptr; }).join();
  std::thread([&] { root->GetElement()->AppendChild(root->CreateNode()); }).join();
  EXPECT_EQ(root->GetElement()->GetChildCount(), 2u);
  std::thread([&] { root = nullptr; }).join();
  EXPECT_EQ(root, nullptr);
}

}  // namespace
