// kelmo check: where and why a document fails, in the FILE:LINE:COLUMN form.
#include <gtest/gtest.h>

#include "tool/sample_documents.h"
#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

struct BrokenDocument {
  const char* label;
  std::string bytes;
  const char* firstLine;  // after "FILE:"
  const char* excerpt;    // the lines after it; "" when none is shown
};

class CheckReportsProblem : public ::testing::TestWithParam<BrokenDocument> {};

TEST_P(CheckReportsProblem, WithPositionMessageAndErrorNumber) {
  ScratchDir dir;
  const std::string file = dir.Write("doc.xml", GetParam().bytes);
  const ToolRun run = RunTool({"check", file});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, file + ":" + GetParam().firstLine + "\n" + GetParam().excerpt);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, CheckReportsProblem,
    ::testing::Values(
        BrokenDocument{"TagMismatch", "<a>\n  <b></c>\n</a>\n",
                       "2:9: end tag does not match the open element (error 7)",
                       "      <b></c>\n            ^\n"},
        BrokenDocument{"UnknownEntity", "<a>x &nbsp; y</a>",
                       "1:11: bad character or entity reference (error 5)",
                       "    <a>x &nbsp; y</a>\n              ^\n"},
        BrokenDocument{"UnquotedAttribute", "<a b=c/>",
                       "1:6: syntax error: this character is not allowed here (error 6)",
                       "    <a b=c/>\n         ^\n"},
        BrokenDocument{"CrLfLinesCountOnce", "<a>\r\n\r\n<b x=\"1\" y></b></a>",
                       "3:11: syntax error: this character is not allowed here (error 6)",
                       "    <b x=\"1\" y></b></a>\n              ^\n"},
        BrokenDocument{"TabsStayUnderTheCaret", "<a>\n\t\t<b/x>\n</a>",
                       "2:6: syntax error: this character is not allowed here (error 6)",
                       "    \t\t<b/x>\n    \t\t   ^\n"},
        BrokenDocument{"ControlCharactersAreNotEchoed", "<a>\x1b[2J<\x01/a>",
                       "1:9: syntax error: this character is not allowed here (error 6)",
                       "    <a>?[2J<?/a>\n            ^\n"},
        BrokenDocument{"BareAmpersandInAttribute", "<a x=\"a & b\"/>",
                       "1:9: bad character or entity reference (error 5)",
                       "    <a x=\"a & b\"/>\n            ^\n"},
        BrokenDocument{"EmptyFile", "", " the document has no element (error 14)", ""},
        BrokenDocument{"BlankFile", "  \n", "1:3: the document has no element (error 14)", ""},
        // What is left open, where it begins, rather than the end of the text.
        BrokenDocument{"TooShort", "<a>", "1:1: the document ends too early: element <a> is never closed (error 13)",
                       "    <a>\n    ^\n"},
        BrokenDocument{"CommentOnly", "<!-- nothing here -->\n",
                       "1:22: the document has no element (error 14)", ""},
        BrokenDocument{"DeclarationCutOff", "<?xml version=\"1.0\" encoding=\"",
                       "1:1: the document ends too early: the XML declaration never ends (error 13)",
                       "    <?xml version=\"1.0\" encoding=\"\n    ^\n"}),
    [](const ::testing::TestParamInfo<BrokenDocument>& info) { return std::string(info.param.label); });

TEST(Check, GoodDocumentsPrintNothingAndExit0) {
  ScratchDir dir;
  const ToolRun run = RunTool({"check", dir.Write("a.xml", kConfigXml), dir.Write("b.xml", "<b/>")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

// What the lenient reader passes over is a warning with its position, and
// a failure with --strict; markup inside the element (a quoted ">", a CDATA
// section holding an end tag, a DOCTYPE subset) is not mistaken for it.
TEST(Check, WarnsAboutWhatAStrictReaderRejects) {
  const struct {
    std::string bytes;
    std::string warnings;  // after "FILE:"
  } cases[] = {
      {"junk before <a>1</a> junk after",
       "1:1: warning: the document does not start with markup: this character cannot begin it\n"
       "FILE:1:22: warning: text after the document element\n"},
      {"<a/><b/>", "1:5: warning: a second top-level element: a document has one\n"},
      {"<?xml version=\"1.0\"?>\n<!-- c -->\nx<a/>\n",
       "3:1: warning: text before the document element\n"},
      {"<a/>\r\n\r\n <![CDATA[x]]>", "3:2: warning: a CDATA section outside the document element\n"},
      {"<!DOCTYPE a [<!ENTITY e \"]>\">]>\n<a x=\"<b>\">t<b/><![CDATA[</a>]]><!--</a>--></a>\n", ""},
      {"<a x=\"1\" x=\"2\"/>",
       "1:10: warning: the attribute x is repeated in one start tag: a strict reader refuses it, "
       "this library keeps both\n"},
      {"<r>\n <a y = '>' x='1'>\n<b x='1' y=\"x='2'\"/></a></r>", ""},  // quoted, or in another tag
      {"<r><b z='1'\n   z='2'>t</b></r>",
       "2:4: warning: the attribute z is repeated in one start tag: a strict reader refuses it, "
       "this library keeps both\n"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string file = dir.Write("doc.xml", c.bytes);
    std::string expected = c.warnings.empty() ? "" : file + ":" + c.warnings;
    for (size_t at = expected.find("FILE:"); at != std::string::npos; at = expected.find("FILE:"))
      expected.replace(at, 4, file);
    const ToolRun run = RunTool({"check", file});
    EXPECT_EQ(run.exitCode, 0) << c.bytes;
    EXPECT_EQ(run.err, expected) << c.bytes;
    const ToolRun strict = RunTool({"check", "--strict", file});
    EXPECT_EQ(strict.exitCode, c.warnings.empty() ? 0 : 1) << c.bytes;
    EXPECT_EQ(strict.err, expected) << c.bytes;
  }
}

TEST(Check, ReportsEveryFailingFileAndGoesOn) {
  ScratchDir dir;
  const std::string good = dir.Write("good.xml", "<a/>");
  const std::string bad = dir.Write("bad.xml", "<a></b>");
  const std::string missing = dir / "missing.xml";
  const ToolRun run = RunTool({"check", bad, good, missing});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.find(bad + ":1:7: end tag does not match"), 0u) << run.err;
  EXPECT_NE(run.err.find(missing + ": cannot read file: No such file or directory (error 12)\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find(good), std::string::npos) << "good files are not mentioned";
}

TEST(Check, DirectoryIsUnreadable) {
  ScratchDir dir;
  const ToolRun run = RunTool({"check", dir.path()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot read file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(error 12)"), std::string::npos) << run.err;
}

TEST(Check, ReadsStandardInputForDash) {
  const ToolRun good = RunTool({"check", "-"}, {kConfigXml, {}, {}, ""});
  EXPECT_EQ(good.exitCode, 0) << good.err;
  const ToolRun bad = RunTool({"check", "-"}, {"<a>\n<b></a>", {}, {}, ""});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.err.rfind("<stdin>:2:7: end tag does not match the open element (error 7)\n", 0), 0u)
      << bad.err;
}

TEST(Check, Utf16DocumentsAreShownInTheirCharacters) {
  ScratchDir dir;
  // "<a>é</b>" in UTF-16LE with a byte-order mark.
  const std::string bytes("\xFF\xFE<\0a\0>\0\xE9\0<\0/\0b\0>\0", 18);
  const ToolRun run = RunTool({"check", dir.Write("wide.xml", bytes)});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(":1:8: end tag does not match the open element (error 7)\n"
                         "    <a>\xC3\xA9</b>\n           ^\n"),
            std::string::npos)
      << run.err;
}

TEST(Check, BinaryGarbageIsADocumentProblemNotACrash) {
  ScratchDir dir;
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919 + 13) & 0xFF));
  const std::string file = dir.Write("garbage.bin", garbage);
  const ToolRun run = RunTool({"check", file});
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  // Told at its first character (after the leading carriage return), not
  // only wherever the parser stopped.
  EXPECT_EQ(run.err.rfind(file + ":2:1: warning: the document does not start with markup", 0), 0u)
      << run.err;
}

TEST(Check, VeryDeepDocumentIsChecked) {
  std::string deep;
  const int depth = 200000;
  for (int i = 0; i < depth; ++i) deep += "<n>";
  for (int i = 0; i < depth; ++i) deep += "</n>";
  const ToolRun run = RunTool({"check", "-"}, {deep, {}, {}, ""});
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 0) << run.err;
}

}  // namespace
}  // namespace kelmo_test
