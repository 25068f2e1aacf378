// kelmo check reads a document a piece at a time (64 KB of bytes) without
// building its tree: what it reports must be what reading the whole file
// reports, wherever a problem falls relative to the pieces, and its memory
// must not grow with the file.
#include <gtest/gtest.h>

#include <string>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

constexpr size_t kPieceBytes = 64 * 1024;

// `head`, lines of 64 bytes filling the element it opens, and `tail`, which
// starts `before` bytes ahead of the end of the first piece, so that what it
// holds lies across the pieces' border. Lines are numbered on from head's:
// head's one line, 1023 filler lines, tail on line 1025.
std::string AcrossPieces(const std::string& head, const std::string& tail, size_t before) {
  std::string doc = head;
  const size_t target = kPieceBytes - before;
  while (doc.size() + 64 <= target) doc += "<p>" + std::string(56, 'x') + "</p>\n";
  doc.append(target - doc.size(), ' ');
  return doc + tail;
}

struct PiecedDocument {
  const char* label;
  std::string bytes;
  std::string report;  // standard error, "@" standing for the file's name
  int exitCode;        // without --strict; with it, any report fails
};

class CheckInPieces : public ::testing::TestWithParam<PiecedDocument> {};

std::string Expected(std::string report, const std::string& name) {
  for (size_t at = report.find('@'); at != std::string::npos; at = report.find('@', at + name.size()))
    report.replace(at, 1, name);
  return report;
}

TEST_P(CheckInPieces, ReportsWhatTheWholeFileReports) {
  const PiecedDocument& doc = GetParam();
  ScratchDir dir;
  const std::string file = dir.Write("doc.xml", doc.bytes);
  const ToolRun run = RunTool({"check", file});
  EXPECT_EQ(run.exitCode, doc.exitCode);
  EXPECT_EQ(run.err, Expected(doc.report, file));
  const ToolRun strict = RunTool({"check", "--strict", file});
  EXPECT_EQ(strict.exitCode, doc.report.empty() ? 0 : 1);
  EXPECT_EQ(strict.err, run.err);
  const ToolRun piped = RunTool({"check", "-"}, {doc.bytes, {}, {}, ""});
  EXPECT_EQ(piped.exitCode, doc.exitCode);
  EXPECT_EQ(piped.err, Expected(doc.report, "<stdin>"));
}

const char kRepeated[] =
    "warning: the attribute x is repeated in one start tag: a strict reader refuses it, this library keeps both\n";

INSTANTIATE_TEST_SUITE_P(
    Documents, CheckInPieces,
    ::testing::Values(
        PiecedDocument{"RepeatedAttributeAcrossPieces", AcrossPieces("<r>\n", "<b x=\"1\" x=\"2\"/></r>\n", 6),
                       std::string("@:1025:64: ") + kRepeated, 0},
        PiecedDocument{"TextAfterElementAcrossPieces", AcrossPieces("<r>\n", "</r>\r\n junk\n", 4),
                       "@:1026:2: warning: text after the document element\n", 0},
        // A carriage return ends one piece, its line feed starts the next:
        // one line break.
        PiecedDocument{"LineBreakSplitByPieces", AcrossPieces("<r>\n", "\r\n</r> junk", 1),
                       "@:1026:6: warning: text after the document element\n", 0},
        PiecedDocument{"InvalidByteAtPieceEnd", AcrossPieces("<r>\n", "\xff    </r>\n", 5),
                       "@:1025:56: bytes that are not valid utf-8 became U+FFFD (error 9)\n", 1},
        // A U+FFFD written in the document counts as a repair once any byte
        // of the document did not decode, in whichever piece.
        PiecedDocument{"InvalidByteInSecondPiece", AcrossPieces("<r>\n\xEF\xBF\xBD\n", "<v>\xff</v></r>\n", 2),
                       "@:2:1: bytes that are not valid utf-8 became U+FFFD (error 9)\n"
                       "@:1026:58: bytes that are not valid utf-8 became U+FFFD (error 9)\n",
                       1},
        PiecedDocument{"WrittenReplacementCharacters",
                       AcrossPieces("<r>\n\xEF\xBF\xBD\n", "<v>\xEF\xBF\xBD</v></r>\n", 2), "", 0},
        PiecedDocument{"UndefinedByteOfASingleByteEncoding",
                       AcrossPieces("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<r>\n",
                                    "<v>\xe9\x81</v></r>\n", 2),
                       "@:1026:17: bytes that are not valid windows-1252 became U+FFFD (error 9)\n", 1},
        PiecedDocument{"MismatchAcrossPieces", AcrossPieces("<r>\n", "<b></c></r>\n", 3),
                       "@:1025:64: end tag does not match the open element (error 7)\n" +
                           std::string(61, ' ') + "<b></c></r>\n" + std::string(67, ' ') + "^\n",
                       1},
        // The failing line is shown from its own text, read again: a
        // declaration on it names the encoding it was read in, and the
        // note on declared entities looks past the failure.
        PiecedDocument{"FailingLineHoldsTheDeclaration",
                       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xe9</x>",
                       "@:1:53: end tag does not match the open element (error 7)\n"
                       "    <?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xC3\xA9</x>\n" +
                           std::string(56, ' ') + "^\n",
                       1},
        PiecedDocument{"EntityDeclaredAfterTheFailure",
                       AcrossPieces("<r>\n", "<v>caf\xC3\xA9 &nbsp; x</v></r>\n<!DOCTYPE [<!ENTITY nbsp \"x\">]>", 2),
                       "@:1025:72: bad character or entity reference; entities declared in a DTD are not read, "
                       "only &lt; &gt; &amp; &apos; &quot; and character references (error 5)\n" +
                           std::string(62, ' ') + "<v>caf\xC3\xA9 &nbsp; x</v></r>\n" + std::string(75, ' ') +
                           "^\n",
                       1},
        // UTF-16 whose last byte is half a unit fails where the text ends:
        // here at the second unit of its last line break.
        PiecedDocument{"HalfUnitAfterTheLastLineBreak",
                       std::string("<\0r\0>\0\n\0 \0 \0<\0/\0r\0>\0\r\0\n\0\0", 25),
                       "@:2:8: unknown or undecodable encoding (error 9)\n", 1},
        // What a document cut short left open is shown where it began,
        // in whichever piece.
        PiecedDocument{"ElementOfTheFirstPieceNeverClosed", AcrossPieces("<r>\n", "<b></b>", 1),
                       "@:1:1: the document ends too early: element <r> is never closed (error 13)\n"
                       "    <r>\n    ^\n",
                       1},
        PiecedDocument{"QuoteWithoutPartnerAcrossPieces", AcrossPieces("<r>\n", "<b y=\"2\"\n x=\"1>", 4),
                       "@:1026:2: the document ends too early: the value of attribute \"x\" in <b> is never "
                       "closed: its quote (\") has no partner (error 13)\n     x=\"1>\n     ^\n",
                       1},
        PiecedDocument{"NeverClosedAcrossPieces", AcrossPieces("<r>\n", "<b>", 1),
                       "@:1025:60: the document ends too early: element <b> is never closed (error 13)\n" +
                           std::string(63, ' ') + "<b>\n" + std::string(63, ' ') + "^\n",
                       1}),
    [](const ::testing::TestParamInfo<PiecedDocument>& info) { return std::string(info.param.label); });

// Wherever the first piece ends in or around what is told, it is told at
// its own place: a tail starting `before` bytes ahead of the border starts
// at column 61 - before of line 1025.
TEST(CheckInPieces, ProblemsAreToldAtTheirPlaceWhereverThePieceEnds) {
  const struct {
    const char* tail;
    unsigned int offset;  // of what is told, in the tail
    const char* message;
  } tails[] = {
      {"<b x=\"1\" x=\"2\"/></r>\n", 9, kRepeated},
      {"<b></c></r>\n", 6, "end tag does not match the open element (error 7)\n"},
      {"\xff</r>\n", 0, "bytes that are not valid utf-8 became U+FFFD (error 9)\n"},
      {"<b y=\"2\" x=\"1></r>",  9,
       "the document ends too early: the value of attribute \"x\" in <b> is never closed: its quote (\") "
       "has no partner (error 13)\n"},
  };
  ScratchDir dir;
  for (const auto& tail : tails) {
    for (size_t before = 1; before <= 16; ++before) {
      const std::string file = dir.Write("doc.xml", AcrossPieces("<r>\n", tail.tail, before));
      const std::string told = file + ":1025:" + std::to_string(61 - before + tail.offset) + ": " + tail.message;
      const ToolRun run = RunTool({"check", file});
      EXPECT_EQ(run.err.compare(0, told.size(), told), 0) << before << "\n" << run.err;
    }
  }
}

// About 50 MB, checked with an address space far smaller than its tree (or
// even its decoded text) would take, good or broken: the reading keeps a
// piece at a time.
// A sanitized build cannot run under an address-space limit; the plain
// build checks the bound.
TEST(CheckInPieces, MemoryDoesNotGrowWithTheFile) {
  if (kAddressSanitized) GTEST_SKIP() << "no address-space limit applies under AddressSanitizer";
  std::string doc = "<?xml version=\"1.0\"?>\n<config>\n";
  for (int i = 0; doc.size() < (50u << 20); ++i)
    doc += "  <group id=\"" + std::to_string(i) + "\"><param type=\"int\">" + std::to_string(i * 7) +
           "</param><note>caf\xC3\xA9 &amp; more</note></group>\n";
  // Read to the end: the last tag's problem is told.
  doc += "  <last x=\"1\" x=\"2\"/>\n</config>\n";
  ScratchDir dir;
  const std::string file = dir.Write("big.xml", doc);
  ToolOptions limited;
  limited.addressSpaceKiB = 64 * 1024;
  const ToolRun run = RunTool({"check", file}, limited);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find(kRepeated), std::string::npos) << run.err;
  limited.input = doc;
  const ToolRun piped = RunTool({"check", "-"}, limited);
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_NE(piped.err.find(kRepeated), std::string::npos) << piped.err;

  // A document that does not parse is told from its failing line.
  doc.replace(doc.size() - 4, 1, "u");
  const ToolRun broken = RunTool({"check", dir.Write("broken.xml", doc)}, limited);
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_NE(broken.err.find(":9: end tag does not match the open element (error 7)\n    </confug>\n"),
            std::string::npos)
      << broken.err;
}

}  // namespace
}  // namespace kelmo_test
