// kelmo fmt: layouts, encodings, and the safety of rewriting a file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tool/sample_documents.h"
#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

constexpr char kSmall[] = "<a x=\"1\"><b>t</b><c/></a>";

struct LayoutCase {
  const char* label;
  std::vector<std::string> options;
  std::string expected;
};

class FmtLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FmtLayout, WritesTheChosenIndentAndLineEnds) {
  std::vector<std::string> args{"fmt", "-"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  const ToolRun run = RunTool(args, {kSmall, {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // A document without a declaration keeps its absence.
  EXPECT_EQ(run.out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, FmtLayout,
    ::testing::Values(
        LayoutCase{"Default", {}, "<a x=\"1\">\n  <b>t</b>\n  <c/>\n</a>\n"},
        LayoutCase{"TabAndCrLf", {"--indent", "\\t", "--newline", "crlf"},
                   "<a x=\"1\">\r\n\t<b>t</b>\r\n\t<c/>\r\n</a>\r\n"},
        LayoutCase{"FourSpaces", {"--indent=4"}, "<a x=\"1\">\n    <b>t</b>\n    <c/>\n</a>\n"},
        LayoutCase{"NoIndent", {"--indent", ""}, "<a x=\"1\">\n<b>t</b>\n<c/>\n</a>\n"},
        LayoutCase{"OneLine", {"--newline", "none"}, "<a x=\"1\"><b>t</b><c/></a>"},
        LayoutCase{"OneLineIndentedOnRequest", {"--newline", "none", "--indent", " "},
                   "<a x=\"1\"> <b>t</b> <c/></a>"}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.label); });

// UTF-16 text of an ASCII string, little- or big-endian.
std::string Utf16(const std::string& ascii, bool bigEndian) {
  std::string out;
  for (char c : ascii) {
    if (bigEndian) out.push_back('\0');
    out.push_back(c);
    if (!bigEndian) out.push_back('\0');
  }
  return out;
}

TEST(FmtEncoding, Utf16LittleEndianWithMarkAndDeclaration) {
  const ToolRun run = RunTool({"fmt", "-", "--encoding", "UTF-16LE", "--newline", "none", "--bom"}, {kSmall, {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "\xFF\xFE" + Utf16("<?xml version=\"1.0\" encoding=\"utf-16le\"?><a x=\"1\"><b>t</b><c/></a>", false));
}

TEST(FmtEncoding, KeepsTheInputsEncodingByDefault) {
  ScratchDir dir;
  const std::string wide = dir.Write("wide.xml", "\xFE\xFF" + Utf16("<a><b>t</b></a>", true));
  const ToolRun run = RunTool({"fmt", wide, "--newline", "none"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, Utf16("<a><b>t</b></a>", true));

  const std::string declared = dir.Write(
      "gb.xml", "<?xml version=\"1.0\" encoding=\"GB2312\"?><a>\xD6\xD0\xCE\xC4</a>");
  const ToolRun gb = RunTool({"fmt", declared, "--newline", "none"});
  ASSERT_EQ(gb.exitCode, 0) << gb.err;
  // the declaration stays as the file spells it
  EXPECT_EQ(gb.out, "<?xml version=\"1.0\" encoding=\"GB2312\"?><a>\xD6\xD0\xCE\xC4</a>");
  // and the text itself survives a move to UTF-8
  const ToolRun utf8 = RunTool({"get", "-", "."}, {gb.out, {}, {}, ""});
  EXPECT_EQ(utf8.out, "\xE4\xB8\xAD\xE6\x96\x87\n");
}

TEST(FmtEncoding, ConvertedFileReadsBackTheSame) {
  ScratchDir dir;
  const std::string config = dir.Write("config.xml", kConfigXml);
  for (const char* encoding : {"utf-16le", "utf-16be", "gb18030", "utf-8"}) {
    const std::string out = dir / (std::string(encoding) + ".xml");
    ASSERT_EQ(RunTool({"fmt", config, "--encoding", encoding, "-o", out, "--drop"}).exitCode, 0) << encoding;
    const ToolRun name = RunTool({"get", out, "users/user[3]"});
    EXPECT_EQ(name.out, "\xC3\xA9lise\n") << encoding;
    const ToolRun script = RunTool({"get", out, "script"});
    EXPECT_EQ(script.out, "a < b && c\n") << encoding;
  }
}

TEST(FmtEncoding, WritesReferencesInTextAndRefusesNamesTheEncodingCannotHold) {
  const ToolRun text = RunTool({"fmt", "-", "--encoding", "us-ascii", "--drop"}, {kConfigXml, {}, {}, ""});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("<user id=\"3\">&#xe9;lise</user>"), std::string::npos) << text.out;
  const ToolRun name =
      RunTool({"fmt", "-", "--encoding", "us-ascii"}, {"<caf\xC3\xA9>x</caf\xC3\xA9>", {}, {}, ""});
  EXPECT_EQ(name.exitCode, 1);
  EXPECT_EQ(name.out, "");
  EXPECT_NE(name.err.find("cannot write the document in us-ascii: the name \"caf\xC3\xA9\" holds U+00E9"),
            std::string::npos)
      << name.err;
}

class FmtInPlace : public ::testing::Test {
 protected:
  ScratchDir dir_;
  std::string config_ = dir_.Write("config.xml", kConfigXml);

  void ExpectUntouched() {
    EXPECT_EQ(ReadFile(config_), kConfigXml);
    EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"config.xml"}) << "no file may be left behind";
  }
};

TEST_F(FmtInPlace, RewritesTheFile) {
  const ToolRun run = RunTool({"fmt", config_, "-i", "--indent", "1", "--drop"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string text = ReadFile(config_);
  EXPECT_EQ(text.rfind(kUtf8Declaration, 0), 0u);
  EXPECT_NE(text.find("\n <server port=\"8080\" host=\"example.org\">\n  <name>primary</name>\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"config.xml"});
}

TEST_F(FmtInPlace, EncodingFailureLeavesTheOldFileWhole) {
  const std::string named = "<caf\xC3\xA9>x</caf\xC3\xA9>";
  dir_.Write("config.xml", named);
  EXPECT_EQ(RunTool({"fmt", config_, "-i", "--encoding", "us-ascii"}).exitCode, 1);
  EXPECT_EQ(ReadFile(config_), named);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"config.xml"});
}

TEST_F(FmtInPlace, UnknownEncodingLeavesTheOldFileWhole) {
  EXPECT_EQ(RunTool({"fmt", config_, "-i", "--encoding", "ebcdic"}).exitCode, 2);
  ExpectUntouched();
}

TEST_F(FmtInPlace, BrokenDocumentIsNotRewritten) {
  const std::string broken = "<a><b></a>";
  dir_.Write("config.xml", broken);
  EXPECT_EQ(RunTool({"fmt", config_, "-i"}).exitCode, 1);
  EXPECT_EQ(ReadFile(config_), broken);
}

TEST_F(FmtInPlace, UnwritableDirectoryIsWrittenInPlace) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into any directory";
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  const ToolRun run = RunTool({"fmt", config_, "-i", "--indent", "7", "--drop"});
  chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(ReadFile(config_).find("\n       <server"), std::string::npos);
  EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"config.xml"});
}

TEST_F(FmtInPlace, KeepsPermissionBits) {
  ASSERT_EQ(chmod(config_.c_str(), 0640), 0);
  ASSERT_EQ(RunTool({"fmt", config_, "-i", "--drop"}).exitCode, 0);
  struct stat info;
  ASSERT_EQ(stat(config_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(FmtInPlace, ThroughASymbolicLinkRewritesItsTarget) {
  const std::string link = dir_ / "link.xml";
  ASSERT_EQ(symlink(config_.c_str(), link.c_str()), 0);
  ASSERT_EQ(RunTool({"fmt", link, "-i", "--newline", "none", "--drop"}).exitCode, 0);
  struct stat info;
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFile(config_).find('\n'), std::string::npos) << "the target holds the new text";
}

TEST(FmtOutput, MissingDirectoryIsADocumentProblem) {
  ScratchDir dir;
  const ToolRun run = RunTool({"fmt", "-", "-o", dir / "no/such/dir/out.xml"}, {kSmall, {}, {}, ""});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot write " + dir / "no/such/dir/out.xml"), std::string::npos) << run.err;
}

TEST(FmtOutput, DeviceIsWrittenNotReplaced) {
  const ToolRun run = RunTool({"fmt", "-", "-o", "/dev/null"}, {kSmall, {}, {}, ""});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  struct stat info;
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST(FmtOutput, DashMeansStandardOutput) {
  const ToolRun run = RunTool({"fmt", "-", "-o", "-", "--newline", "none"}, {kSmall, {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, kSmall);
}

}  // namespace
}  // namespace kelmo_test
