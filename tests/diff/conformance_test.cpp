// Differential conformance: well-formed documents read by this library and
// by libxml2 must give the same tree once libxml2's tree is mapped by this
// library's rules. The documents are the XML files installed by the
// system's packages (when there are any) and generated ones that cover every
// construct. Where this library deliberately reads differently, the
// difference is listed below with its reason (and, for details of text,
// in reading_comparison.h), and documents that show it are counted apart.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <utility>
#include <vector>
#include <string>

#include "conformance_tree.h"
#include "document_generator.h"
#include "encoding/encoding.h"
#include "installed_xml_files.h"
#include "libxml2_reading.h"
#include "reading_comparison.h"

namespace kelmo_diff {
namespace {

enum class Verdict {
  Equal,
  Different,
  NotWellFormed,
  DeclaredEntities,
  EncodingOutsideTable,
  DeclarationNotSniffed,
  WindowsCodePage,
};

struct ListedDifference {
  Verdict verdict;
  const char* reason;
};

const ListedDifference kListedDifferences[] = {
    {Verdict::DeclaredEntities,
     "Entities declared in a document type definition are not expanded: only the five "
     "predefined entities and character references are. A reference to any other entity is "
     "error 5, which this library must report for such documents, unless an earlier error "
     "stops it: the internal subset ends at its first '>', so markup inside an entity's "
     "literal (the XML recommendation's own source has some) can fail first. Such a "
     "document must never load."},
    {Verdict::EncodingOutsideTable,
     "An encoding name outside the table of twenty known names is read with the platform's "
     "default code page (UTF-8 here) rather than refused; documents in such an encoding with "
     "bytes outside ASCII are not compared."},
    {Verdict::DeclarationNotSniffed,
     "The XML declaration is sniffed for its encoding only in its plain form (version 1.0, "
     "blanks without line breaks); other declarations leave the bytes read as UTF-8, and such "
     "documents with bytes outside ASCII are not compared."},
    {Verdict::WindowsCodePage,
     "The names gb2312 and shift_jis stand for the Windows code pages 936 and 932, which map "
     "a few characters differently from the standard tables libxml2 uses (kCodePageVariants); "
     "such documents are compared after mapping those characters."},
};

// Characters that the Windows code page gives (first) where the standard
// table gives the second, for every byte sequence on which they disagree.
struct CodePageVariant {
  const char* declaredName;
  std::vector<std::pair<char16_t, char16_t>> characters;
};

const CodePageVariant kCodePageVariants[] = {
    {"gb2312", {{0x00B7, 0x30FB}, {0x2014, 0x2015}}},
    {"shift_jis",
     {{0x005C, 0x00A5}, {0x007E, 0x203E}, {0xFF5E, 0x301C}, {0x2225, 0x2016}, {0xFF0D, 0x2212},
      {0xFFE0, 0x00A2}, {0xFFE1, 0x00A3}, {0xFFE2, 0x00AC}}},
};

std::u16string Mapped(std::u16string text, const CodePageVariant& variant) {
  for (char16_t& c : text)
    for (const auto& pair : variant.characters)
      if (c == pair.first) {
        c = pair.second;
        break;
      }
  return text;
}

const char* VerdictName(Verdict v) {
  switch (v) {
    case Verdict::Equal: return "equal";
    case Verdict::Different: return "different";
    case Verdict::NotWellFormed: return "not well-formed for libxml2";
    case Verdict::DeclaredEntities: return "listed: declared entities (error 5 as expected)";
    case Verdict::EncodingOutsideTable: return "listed: encoding outside the table";
    case Verdict::DeclarationNotSniffed: return "listed: declaration not sniffed";
    case Verdict::WindowsCodePage: return "listed: equal after the Windows code-page mapping";
  }
  return "?";
}

struct Outcome {
  Verdict verdict = Verdict::Equal;
  std::string detail;
};

bool HasNonAscii(const std::string& bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

bool HasAdjacentSections(const std::string& bytes) {
  const std::string ascii = "]]><![CDATA[";
  std::string le, be;
  for (char c : ascii) {
    le += c;
    le += '\0';
    be += '\0';
    be += c;
  }
  return bytes.find(ascii) != std::string::npos || bytes.find(le) != std::string::npos ||
         bytes.find(be) != std::string::npos;
}

std::string Lowered(const char* name) {
  std::string out;
  for (; *name; ++name) out += static_cast<char>(*name >= 'A' && *name <= 'Z' ? *name + 32 : *name);
  return out;
}

Outcome Judge(const std::string& bytes) {
  Outcome outcome;
  const ReferenceReading theirs = ReadWithLibxml2(bytes);
  if (!theirs.parsed) return {Verdict::NotWellFormed, ""};
  const LibraryReading ours = ReadWithLibrary(bytes);
  const std::string failure = "error " + std::to_string(ours.error) + " at line " +
                              std::to_string(ours.line) + " column " + std::to_string(ours.column);

  if (theirs.usesDeclaredEntities) {
    if (!ours.ok && (ours.error == 5 || theirs.subsetLiteralHoldsMarkup))
      return {Verdict::DeclaredEntities, ""};
    return {Verdict::Different, "expected error 5 for a declared entity, got " +
                                    (ours.ok ? std::string("success") : failure)};
  }

  char sniffed[kelmo::kEncodingNameSize] = {};
  uint32_t bomLength = 0;
  const bool detected = kelmo::DetectEncoding(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              static_cast<uint32_t>(bytes.size()), sniffed,
                                              &bomLength);
  const std::string sniffedName = Lowered(sniffed);
  const bool byMark = bomLength > 0 || sniffedName.compare(0, 6, "utf-16") == 0;
  if (detected && !theirs.declaredEncoding.empty() && !byMark && HasNonAscii(bytes)) {
    const uint32_t declared = kelmo::LookupCodePage(theirs.declaredEncoding.c_str());
    if (declared == 0) return {Verdict::EncodingOutsideTable, theirs.declaredEncoding};
    if (declared != kelmo::LookupCodePage(sniffedName.c_str()))
      return {Verdict::DeclarationNotSniffed, theirs.declaredEncoding};
  }

  if (!ours.ok) return {Verdict::Different, "this library failed: " + failure};
  const bool adjacent = HasAdjacentSections(bytes);
  const std::string diff = CompareReadings(ours.tree, theirs.tree, adjacent);
  if (diff.empty()) return outcome;
  for (const CodePageVariant& variant : kCodePageVariants) {
    if (theirs.declaredEncoding != variant.declaredName) continue;
    ConformanceTree mapped = ours.tree;
    for (ConformanceNode& node : mapped) {
      node.name = Mapped(node.name, variant);
      node.text = Mapped(node.text, variant);
    }
    if (CompareReadings(mapped, theirs.tree, adjacent).empty()) return {Verdict::WindowsCodePage, ""};
  }
  return {Verdict::Different, diff};
}

void PrintSummary(const char* corpus, const std::map<Verdict, unsigned>& counts) {
  unsigned total = 0;
  for (const auto& entry : counts) total += entry.second;
  std::cout << "[ corpus ] " << corpus << ": " << total << " documents\n";
  for (const auto& entry : counts)
    std::cout << "[ corpus ]   " << VerdictName(entry.first) << ": " << entry.second << "\n";
}

TEST(Libxml2Conformance, ListedDifferencesGiveTheirReasons) {
  for (const ListedDifference& d : kListedDifferences) {
    EXPECT_NE(d.verdict, Verdict::Equal);
    EXPECT_NE(d.verdict, Verdict::Different);
    EXPECT_GT(std::string(d.reason).size(), 40u);
  }
}

TEST(Libxml2Conformance, HandwrittenDocumentsReadAlike) {
  // Documents that show a listed difference on purpose, and what they show.
  const std::map<std::string, Verdict> expected = {
      {"declared entity", Verdict::DeclaredEntities},
      {"encoding outside the table", Verdict::EncodingOutsideTable},
  };
  std::map<Verdict, unsigned> counts;
  for (const GeneratedDocument& doc : HandwrittenDocuments()) {
    const Outcome outcome = Judge(doc.bytes);
    ++counts[outcome.verdict];
    const auto it = expected.find(doc.label);
    const Verdict want = it == expected.end() ? Verdict::Equal : it->second;
    EXPECT_EQ(VerdictName(outcome.verdict), std::string(VerdictName(want)))
        << doc.label << ": " << outcome.detail;
  }
  PrintSummary("handwritten", counts);
}

TEST(Libxml2Conformance, RandomDocumentsReadAlike) {
  std::map<Verdict, unsigned> counts;
  for (const GeneratedDocument& doc : RandomDocuments(400, 20240607)) {
    const Outcome outcome = Judge(doc.bytes);
    ++counts[outcome.verdict];
    EXPECT_EQ(outcome.verdict, Verdict::Equal)
        << doc.label << ": " << VerdictName(outcome.verdict) << " " << outcome.detail << "\n"
        << (doc.bytes.size() < 4000 ? Printable(Utf16Of(doc.bytes)) : std::string());
  }
  PrintSummary("random", counts);
}

TEST(Libxml2Conformance, InstalledXmlFilesReadAlike) {
  const std::vector<std::string> files = InstalledXmlFiles("/var/lib/dpkg/info", 3000, 1 << 20);
  if (files.empty()) GTEST_SKIP() << "no XML files installed by packages";
  std::map<Verdict, unsigned> counts;
  for (const std::string& path : files) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) continue;
    const Outcome outcome = Judge(bytes);
    ++counts[outcome.verdict];
    EXPECT_NE(outcome.verdict, Verdict::Different) << path << ": " << outcome.detail;
  }
  PrintSummary("installed files", counts);
}

// The comparison must notice a real difference, or every test above passes
// vacuously.
TEST(Libxml2Conformance, ComparisonNoticesDifferences) {
  const struct {
    const char* ours;
    const char* theirs;
  } cases[] = {
      {"<a>x</a>", "<a>y</a>"},
      {"<a b='1'/>", "<a b='2'/>"},
      {"<a b='1'/>", "<a c='1'/>"},
      {"<a><b/></a>", "<a/>"},
      {"<a><![CDATA[x]]></a>", "<a>x</a>"},
      {"<a>x y</a>", "<a>xy</a>"},
      {"<a b='x y'/>", "<a b='xy'/>"},
      {"<a b='x\ty'/>", "<a b='x&#9;&#9;y'/>"},
      {"<a><b/><c/></a>", "<a><c/><b/></a>"},
  };
  for (const auto& c : cases) {
    const LibraryReading ours = ReadWithLibrary(c.ours);
    const ReferenceReading theirs = ReadWithLibxml2(c.theirs);
    ASSERT_TRUE(ours.ok && theirs.parsed) << c.ours;
    EXPECT_FALSE(CompareReadings(ours.tree, theirs.tree, false).empty()) << c.ours << " vs " << c.theirs;
  }
}

TEST(Libxml2Conformance, AttributeBlanksMatchByTheListedRule) {
  const struct {
    const char16_t* theirs;
    const char16_t* ours;
    bool match;
  } cases[] = {
      {u"a b", u"a b", true},      {u"a b", u"a\tb", true},   {u"a b", u"ab", true},
      {u"ab", u"a b", false},      {u"a\tb", u"a b", false},  {u"a  b", u"a b", true},
      {u" \t", u"\t", true},       {u"a\nb", u"ab", false},   {u"a\nb", u"a\nb", true},
      {u"", u"", true},            {u" ", u"  ", false},      {u"x", u"y", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AttributeValuesMatch(c.theirs, c.ours), c.match)
        << Printable(c.theirs) << " / " << Printable(c.ours);
}

TEST(Libxml2Conformance, TextCanonicalFormsFollowTheListedRules) {
  EXPECT_EQ(CanonicalElementText(u"\n  a\n  b \t\n"), u"a  b");
  EXPECT_EQ(CanonicalElementText(u"a\nb"), u"ab");
  EXPECT_EQ(CanonicalElementText(u" \r a b \r"), u"a b");
  EXPECT_EQ(CanonicalElementText(u"\n\n"), u"");
  EXPECT_EQ(NormalizedLineEnds(u"a\r\nb\rc\n"), u"a\nb\nc\n");
  EXPECT_EQ(NormalizedLineEnds(u"\r\r\n"), u"\n\n");
}

}  // namespace
}  // namespace kelmo_diff
