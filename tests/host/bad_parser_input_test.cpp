// Bad input to the parser: empty, null and undecodable input, invalid UTF-8
// and lone surrogates, files that are missing, empty, too short, a directory
// or unreadable, and every prefix of a document.
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

// --- Parser entries ---

struct ParseInput {
  const char* label;
  std::function<bool(KelmoParser&)> parse;
  unsigned code;
};

void ExpectFreshEmptyRoot(KelmoParser& p) {
  RefPtr<Kelmo> root = p.GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetChildCount(), 0u);
  EXPECT_EQ(NameOf(root), u"");
  EXPECT_TRUE(root->IsEmpty());
}

TEST(BadInput, ParserEntriesRejectEmptyNullAndUndecodableInput) {
  ModuleScope m;
  static const char16_t wide[] = u"<a/>";
  static const char narrow[] = "<a/>";
  static const unsigned char bytes[] = {'<', 'a', '/', '>', 0};
  static const unsigned char bom16[] = {0xFF, 0xFE};
  static const unsigned char cutDeclaration[] = "<?xml version=\"1.0\" encoding=";
  const kelmo::WChar* w = reinterpret_cast<const kelmo::WChar*>(wide);
  const std::vector<ParseInput> inputs = {
      {"ParseStringW(null, 0)", [](KelmoParser& p) { return p.ParseStringW(nullptr, 0); }, 14},
      {"ParseStringW(null, 5)", [](KelmoParser& p) { return p.ParseStringW(nullptr, 5); }, 14},
      {"ParseStringW(null, whole)",
       [](KelmoParser& p) { return p.ParseStringW(nullptr, kWhole); }, 14},
      {"ParseStringW(text, 0)", [w](KelmoParser& p) { return p.ParseStringW(w, 0); }, 14},
      {"ParseStringW(empty, whole)",
       [w](KelmoParser& p) { return p.ParseStringW(w + 4, kWhole); }, 14},
      {"ParseStringA(null, 0)",
       [](KelmoParser& p) { return p.ParseStringA(nullptr, 0, kUtf8); }, 14},
      {"ParseStringA(null, whole)",
       [](KelmoParser& p) { return p.ParseStringA(nullptr, kWhole, kUtf8); }, 14},
      {"ParseStringA(null, 5, unknown code page)",
       [](KelmoParser& p) { return p.ParseStringA(nullptr, 5, kNoSuchCodePage); }, 14},
      {"ParseStringA(text, 0)",
       [](KelmoParser& p) { return p.ParseStringA(narrow, 0, kUtf8); }, 14},
      {"ParseStringA(empty, whole)",
       [](KelmoParser& p) { return p.ParseStringA(narrow + 4, kWhole, kUtf8); }, 14},
      {"ParseStringA(code page 12345)",
       [](KelmoParser& p) { return p.ParseStringA(narrow, kWhole, kNoSuchCodePage); }, 9},
      {"ParseStringA(code page 0xFFFFFFFF)",
       [](KelmoParser& p) { return p.ParseStringA(narrow, 4, kHugeCodePage); }, 9},
      {"ParseBuffer(null, 0)", [](KelmoParser& p) { return p.ParseBuffer(nullptr, 0); }, 14},
      {"ParseBuffer(null, 3)", [](KelmoParser& p) { return p.ParseBuffer(nullptr, 3); }, 9},
      {"ParseBuffer(null, 4)", [](KelmoParser& p) { return p.ParseBuffer(nullptr, 4); }, 9},
      {"ParseBuffer(null, 0xFFFFFFFF)",
       [](KelmoParser& p) { return p.ParseBuffer(nullptr, 0xFFFFFFFFu); }, 9},
      {"ParseBuffer(bytes, 0)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 0); }, 14},
      {"ParseBuffer(bytes, 1)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 1); }, 13},
      {"ParseBuffer(bytes, 2)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 2); }, 13},
      {"ParseBuffer(bytes, 3)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 3); }, 13},
      {"ParseBuffer(UTF-16 mark only)",
       [](KelmoParser& p) { return p.ParseBuffer(bom16, 2); }, 14},
      {"ParseBuffer(declaration cut after encoding=)",
       [](KelmoParser& p) {
         return p.ParseBuffer(cutDeclaration, sizeof cutDeclaration - 1);
       },
       13},
      {"ParseFileA(null)", [](KelmoParser& p) { return p.ParseFileA(nullptr); }, 12},
      {"ParseFileW(null)", [](KelmoParser& p) { return p.ParseFileW(nullptr); }, 12},
      {"ParseFileA(empty path)", [](KelmoParser& p) { return p.ParseFileA(""); }, 12},
      {"ParseFileW(empty path)",
       [w](KelmoParser& p) { return p.ParseFileW(w + 4); }, 12},
  };
  for (const ParseInput& input : inputs) {
    SCOPED_TRACE(input.label);
    ++g_badInputs;
    RefPtr<KelmoParser> p = m->CreateParser();
    ASSERT_TRUE(p->ParseStringW(W(u"<previous/>"), kWhole));
    RefPtr<Kelmo> previous = p->GetRoot();
    EXPECT_FALSE(input.parse(*p));
    EXPECT_EQ(p->GetErrorCode(), input.code);
    // Input cut short keeps what was built, as every parse error does.
    if (input.code != 13) ExpectFreshEmptyRoot(*p);
    // The earlier tree that the caller holds is not touched.
    EXPECT_EQ(NameOf(previous->GetFirstChild()), u"previous");
    EXPECT_NE(p->GetRoot(), previous);
  }
  // The inputs themselves are constant data the parser only reads.
  EXPECT_EQ(std::u16string(wide), u"<a/>");
  EXPECT_EQ(std::memcmp(bytes, "<a/>", 5), 0);
}

// Invalid UTF-8 and lone surrogates are not errors: names, values and
// attribute values keep what the decoder made of them.
TEST(BadInput, InvalidUtf8AndLoneSurrogatesParseWithoutError) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::string invalid[] = {
      "<a\xFF b=\"\xC0\xAF\">\xED\xA0\x80</a\xFF>",
      "<\xF4\x90\x80\x80>x</\xF4\x90\x80\x80>",
      "<a>\xC3</a>",
  };
  for (const std::string& xml : invalid) {
    ++g_badInputs;
    SCOPED_TRACE(xml);
    ASSERT_TRUE(p->ParseStringA(xml.data(), static_cast<unsigned>(xml.size()), kUtf8))
        << p->GetErrorCode();
    RefPtr<Kelmo> element = p->GetRoot()->GetFirstChild();
    ASSERT_NE(element, nullptr);
    EXPECT_FALSE(HasSurrogate(NameOf(element)));
    EXPECT_FALSE(HasSurrogate(StringOf(element)));
    ASSERT_TRUE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                               static_cast<unsigned>(xml.size())));
    EXPECT_EQ(p->GetRoot()->GetChildCount(), 1u);
  }

  const std::u16string high = kLoneHigh, low = kLoneLow;
  const std::u16string xml = u"<n" + high + u" a" + low + u"=\"" + low + high + u"\">" + high +
                             u"<c><![CDATA[" + low + u"]]></c></n" + high + u">";
  ++g_badInputs;
  ASSERT_TRUE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())))
      << p->GetErrorCode() << " at " << p->GetErrorOffset();
  RefPtr<Kelmo> n = p->GetRoot()->GetFirstChild();
  EXPECT_EQ(NameOf(n), u"n" + high);
  EXPECT_EQ(StringOf(n), high);
  RefPtr<Kelmo> attribute = n->GetFirstChild();
  EXPECT_EQ(NameOf(attribute), u"a" + low);
  EXPECT_EQ(StringOf(attribute), low + high);
  EXPECT_EQ(StringOf(n->GetLastChild()), low);

  // Written out and read again, the wide text keeps every unit.
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  RefPtr<XInRes> holder;
  unsigned length = 0;
  const kelmo::WChar* text = t->ToXmlW(n, &length, nullptr, nullptr, holder);
  ASSERT_TRUE(p->ParseStringW(text, length));
  EXPECT_EQ(StringOf(p->GetRoot()->GetFirstChild()), high);
}

// --- Files ---

#if !defined(_WIN32)
TEST(BadInput, FilesThatCannotBeReadOrAreTooShort) {
  ScratchDir dir;
  ModuleScope m;
  WriteBytes(dir.File("empty.xml"), "");
  WriteBytes(dir.File("one.xml"), "<");
  WriteBytes(dir.File("two.xml"), "<a");
  WriteBytes(dir.File("three.xml"), "<a>");
  WriteBytes(dir.File("mark.xml"), "\xEF\xBB\xBF");
  WriteBytes(dir.File("cut.xml"), "<?xml version=\"1.0\" encoding=\"utf");
  std::filesystem::create_directory(dir.File("subdir"));
  std::filesystem::create_directory(dir.File("full"));
  WriteBytes(dir.File("full") / "inside.xml", "<a/>");
  std::vector<std::pair<std::filesystem::path, unsigned>> cases = {
      {dir.File("missing.xml"), 12},
      {dir.File("no/such/dir/file.xml"), 12},
      {dir.File("subdir"), 12},
      {dir.File("full"), 12},
      {dir.path(), 12},
      {dir.File("empty.xml"), 14},
      {dir.File("one.xml"), 13},
      {dir.File("two.xml"), 13},
      {dir.File("three.xml"), 13},
      {dir.File("mark.xml"), 14},
      {dir.File("cut.xml"), 13},
  };
  // Directories on a memory file system report a size of their own.
  if (std::filesystem::is_directory("/dev/shm")) {
    cases.emplace_back("/dev/shm", 12);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first.string());
    g_badInputs += 2;
    RefPtr<KelmoParser> p = m->CreateParser();
    EXPECT_FALSE(p->ParseFileA(c.first.string().c_str()));
    EXPECT_EQ(p->GetErrorCode(), c.second);
    // A file cut short keeps what was built, as every parse error does.
    if (c.second != 13) ExpectFreshEmptyRoot(*p);
    ASSERT_TRUE(p->ParseStringW(W(u"<x/>"), kWhole));
    const std::u16string wide = U16(c.first.string().c_str());
    EXPECT_FALSE(p->ParseFileW(W(wide)));
    EXPECT_EQ(p->GetErrorCode(), c.second);
    if (c.second != 13) ExpectFreshEmptyRoot(*p);
  }
  // A wide path that cannot be spelled in UTF-8 names no file.
  std::u16string lone = U16(dir.File("x").string().c_str()) + kLoneHigh;
  RefPtr<KelmoParser> p = m->CreateParser();
  ++g_badInputs;
  EXPECT_FALSE(p->ParseFileW(W(lone)));
  EXPECT_EQ(p->GetErrorCode(), 12u);
  // The files read are left as they were.
  EXPECT_EQ(ReadBytes(dir.File("three.xml")), "<a>");
  EXPECT_EQ(ReadBytes(dir.File("full") / "inside.xml"), "<a/>");
}

TEST(BadInput, UnreadableFileIsAFileError) {
  kelmo_test::SharedScratchDir dir;
  const auto path = dir.File("locked.xml");
  WriteBytes(path, "<a/>");
  ASSERT_EQ(::chmod(path.string().c_str(), 0), 0);
  // A readable file beside it shows that the child reaches the directory.
  const auto control = dir.File("open.xml");
  WriteBytes(control, "<a/>");
  ASSERT_EQ(::chmod(control.string().c_str(), 0644), 0);
  // Root reads any file, so a privileged run checks from an unprivileged
  // child; the bits of the result say which entry went wrong.
  const int status = kelmo_test::RunUnprivileged(dir.path(), [&] {
    ModuleScope m;
    RefPtr<KelmoParser> p = m->CreateParser();
    int wrong = 0;
    if (!p->ParseFileA(control.string().c_str())) wrong |= 8;
    if (p->ParseFileA(path.string().c_str()) || p->GetErrorCode() != 12) wrong |= 1;
    if (p->GetRoot()->GetChildCount() != 0) wrong |= 2;
    if (p->ParseFileW(W(U16(path.string().c_str()))) || p->GetErrorCode() != 12) wrong |= 4;
    return wrong;
  });
  if (const char* why = kelmo_test::UnprivilegedSkipReason(status)) GTEST_SKIP() << why;
  g_badInputs += 2;
  EXPECT_EQ(status, 0);
  ::chmod(path.string().c_str(), 0600);
  EXPECT_EQ(ReadBytes(path), "<a/>");
}
#endif

// --- Every prefix of a document ---

// A document that uses every construct the parser knows, with line breaks,
// references, a CDATA section, comments, a processing instruction, a DOCTYPE
// and non-ASCII text.
const char kSampleDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<!DOCTYPE settings>\n"
    "<!-- settings of the service -->\n"
    "<settings version=\"2\" owner='ops &amp; dev'>\n"
    "  <server name=\"alpha\" port=\"8080\">primary &lt;main&gt; &#65;&#x42;</server>\n"
    "  <server name=\"beta\"/>\n"
    "  <?reload now?>\n"
    "  <note><![CDATA[a <raw> ]] text]]></note>\n"
    "  <caf\xC3\xA9 \xE2\x82\xAC=\"\xF0\x9F\x98\x80\">gr\xC3\xBC\xC3\x9F</caf\xC3\xA9>\n"
    "  <empty></empty>\n"
    "</settings>\n";

// The names of all nodes in the order the parser created them: depth first,
// which is document order.
std::vector<std::u16string> NamesInOrder(const RefPtr<Kelmo>& root) {
  std::vector<std::u16string> names;
  RefPtr<Kelmo> node = root->GetFirstChild();
  while (node) {
    names.push_back(NameOf(node));
    if (RefPtr<Kelmo> child = node->GetFirstChild()) {
      node = child;
      continue;
    }
    while (node && !node->GetNextSibling()) {
      RefPtr<Kelmo> parent = node->GetParent();
      node = parent == root ? nullptr : parent;
    }
    if (node) node = node->GetNextSibling();
  }
  return names;
}

// A prefix builds a prefix of the whole document's tree: the same nodes in
// the same order, of which only the last may still have half its name (and
// a replacement character where a multi-byte sequence was cut).
void ExpectPrefixOfTree(const std::vector<std::u16string>& part,
                        const std::vector<std::u16string>& whole) {
  ASSERT_LE(part.size(), whole.size());
  for (size_t i = 0; i < part.size(); ++i) {
    if (i + 1 < part.size()) {
      EXPECT_EQ(part[i], whole[i]) << "node " << i;
      continue;
    }
    std::u16string last = part[i];
    while (!last.empty() && last.back() == u'\uFFFD') last.pop_back();
    EXPECT_EQ(whole[i].compare(0, last.size(), last), 0) << "last node " << i;
  }
}

TEST(BadInput, EveryPrefixOfADocumentAsWideText) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::u16string doc = U16(kSampleDocument);
  ASSERT_TRUE(p->ParseStringW(W(doc), static_cast<unsigned>(doc.size())));
  const std::vector<std::u16string> whole = NamesInOrder(p->GetRoot());
  ASSERT_EQ(whole.size(), 12u);

  // Complete prefixes: the prolog up to the end of one of its lines or
  // constructs, and the whole root element with or without the last line end.
  const size_t rootStart = doc.find(u"<settings");
  const size_t rootEnd = doc.find(u"</settings>") + 11;
  size_t previousCount = 0;
  unsigned line = 1, column = 0;
  for (size_t n = 0; n <= doc.size(); ++n) {
    SCOPED_TRACE("prefix of " + std::to_string(n) + " units");
    ++g_badInputs;
    const bool ok = p->ParseStringW(W(doc), static_cast<unsigned>(n));
    RefPtr<Kelmo> root = p->GetRoot();
    ASSERT_NE(root, nullptr);
    if (n == 0) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(p->GetErrorCode(), 14u);
      EXPECT_EQ(root->GetChildCount(), 0u);
      continue;
    }
    // Input ending inside any construct, or with an element open, is cut
    // short: error 13 at its last character. A prolog that ends whole holds
    // no element: error 14.
    const bool complete = n >= rootEnd;
    const bool prolog = n <= rootStart && (doc[n - 1] == u'>' || doc[n - 1] == u'\n');
    EXPECT_EQ(ok, complete);
    EXPECT_EQ(p->GetErrorCode(), complete ? 0u : prolog ? 14u : 13u);
    // A line feed belongs to the line it ends; the character after it
    // starts the next line.
    if (n >= 2 && doc[n - 2] == u'\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    EXPECT_EQ(p->GetErrorOffset(), n);
    EXPECT_EQ(p->GetErrorLine(), line);
    EXPECT_EQ(p->GetErrorColumn(), column);
    const std::vector<std::u16string> names = NamesInOrder(root);
    ExpectPrefixOfTree(names, whole);
    EXPECT_GE(names.size(), previousCount);
    previousCount = names.size();
  }
  EXPECT_EQ(previousCount, whole.size());
}

TEST(BadInput, EveryPrefixOfADocumentAsBytes) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::string utf8 = kSampleDocument;
  // The same document in UTF-16LE with a byte-order mark.
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : U16(kSampleDocument)) {
    utf16.push_back(static_cast<char>(unit & 0xFF));
    utf16.push_back(static_cast<char>(unit >> 8));
  }
  const size_t declarationEnd = utf8.find("\"?>");  // the encoding value's closing quote

  for (const std::string* doc : {&utf8, static_cast<const std::string*>(&utf16)}) {
    const bool wide = doc == &utf16;
    SCOPED_TRACE(wide ? "UTF-16LE" : "UTF-8");
    const auto* bytes = reinterpret_cast<const unsigned char*>(doc->data());
    ASSERT_TRUE(p->ParseBuffer(bytes, static_cast<unsigned>(doc->size())));
    const std::vector<std::u16string> whole = NamesInOrder(p->GetRoot());
    ASSERT_EQ(whole.size(), 12u);
    for (size_t n = 0; n <= doc->size(); ++n) {
      SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
      ++g_badInputs;
      // Copied, so that reading past the prefix would be caught by the
      // address checker of the sanitizer build.
      std::unique_ptr<unsigned char[]> copy(new unsigned char[n ? n : 1]);
      std::memcpy(copy.get(), bytes, n);
      const bool ok = p->ParseBuffer(copy.get(), static_cast<unsigned>(n));
      bool sniffed = n >= 4;
      if (!wide && n <= declarationEnd) sniffed = false;  // the declaration is cut off
      // A prefix fails only as cut short or, before the root element, as
      // holding no element (the text test above says exactly which ones);
      // one too short to sniff is read as UTF-8. The whole document loads.
      if (n == doc->size()) {
        EXPECT_TRUE(ok);
      }
      ASSERT_NE(p->GetRoot(), nullptr);
      const std::vector<std::u16string> names = NamesInOrder(p->GetRoot());
      if (ok) {
        EXPECT_EQ(p->GetErrorCode(), 0u);
      } else if (wide && n % 2 == 1 && p->GetErrorCode() == 9u) {
        // Half a unit after text that read well: a damaged file.
      } else if (p->GetErrorCode() != 13u) {
        EXPECT_EQ(p->GetErrorCode(), 14u);
        EXPECT_TRUE(names.empty());
      }
      if (!sniffed) {
        EXPECT_FALSE(ok);
        EXPECT_TRUE(names.empty());
        continue;
      }
      ExpectPrefixOfTree(names, whole);
      // Whole units only: the offset never passes the decoded text.
      EXPECT_LE(p->GetErrorOffset(), wide ? (n - 2) / 2 : n);
      EXPECT_GE(p->GetErrorLine(), 1u);
      EXPECT_LE(p->GetErrorLine(), 12u);
      EXPECT_EQ(std::memcmp(copy.get(), bytes, n), 0);
    }
  }
}

// A document with an error: every prefix shorter than the failing character
// is cut short (error 13 at its end), every longer one fails with the same
// code at the same place.
TEST(BadInput, EveryPrefixOfDocumentsWithErrors) {
  const struct {
    const char* xml;
    unsigned code;
    unsigned offset;  // of the failing character, counted as read
  } documents[] = {
      {"<a>\n <b x=\"1\">t</c>\n</a>", 7, 19},
      {"<a b=\"1\" c>text</a>", 6, 11},
      {"<a>&nbsp;</a>", 5, 9},
      {"<a>x &amp y</a>", 5, 12},
      {"<a><!- no -->", 6, 7},
      {"<a><? x?></a>", 6, 6},
  };
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  for (const auto& d : documents) {
    SCOPED_TRACE(d.xml);
    const std::u16string doc = U16(d.xml);
    for (size_t n = 1; n <= doc.size(); ++n) {
      SCOPED_TRACE(n);
      ++g_badInputs;
      const bool ok = p->ParseStringW(W(doc), static_cast<unsigned>(n));
      if (n < d.offset) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(p->GetErrorCode(), 13u);
        EXPECT_EQ(p->GetErrorOffset(), n);
      } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(p->GetErrorCode(), d.code);
        EXPECT_EQ(p->GetErrorOffset(), d.offset);
        // The partial tree stays under the root.
        EXPECT_GE(p->GetRoot()->GetChildCount(), 1u);
      }
    }
  }
}

}  // namespace
