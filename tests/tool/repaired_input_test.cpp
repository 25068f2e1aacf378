// Input that was not read as written: an encoding that no converter knows,
// or bytes that did not decode. check says where, fmt refuses to make the
// damage permanent unless forced, set and del keep every byte they do not
// change, and every command reads the input as the library does.
#include <gtest/gtest.h>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

struct RepairedInput {
  const char* label;
  std::string bytes;
  std::string report;  // check's report, "@" standing for the file
};

class RepairedInputTest : public ::testing::TestWithParam<RepairedInput> {};

TEST_P(RepairedInputTest, CheckReportsFmtRefusesAndEditsKeepEveryOtherByte) {
  ScratchDir dir;
  const std::string file = dir.Write("doc.xml", GetParam().bytes);
  const ToolRun check = RunTool({"check", file});
  EXPECT_EQ(check.exitCode, 1);
  std::string report = GetParam().report;
  for (size_t at = report.find('@'); at != std::string::npos; at = report.find('@', at))
    report.replace(at, 1, file);
  EXPECT_EQ(check.err, report);

  // A rewrite would make the repair permanent, whatever the output.
  for (const std::vector<std::string>& rewrite :
       {std::vector<std::string>{"fmt", file, "-i"}, {"fmt", file}, {"fmt", file, "-o", dir / "out.xml"}}) {
    const ToolRun refused = RunTool(rewrite);
    EXPECT_EQ(refused.exitCode, 1) << rewrite.size();
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(file), GetParam().bytes);
  }
  EXPECT_TRUE(ReadFile(dir / "out.xml").empty());
  EXPECT_EQ(RunTool({"fmt", file, "--force", "--drop"}).exitCode, 0);

  // An edit touches only its own bytes, so the rest stays exactly as it was.
  const ToolRun set = RunTool({"set", file, "v", "1", "-i"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  const std::string& original = GetParam().bytes;
  const std::string edited = ReadFile(file);
  size_t same = 0, sameAtEnd = 0;
  while (same < original.size() && original[same] == edited[same]) ++same;
  while (sameAtEnd < original.size() - same &&
         original[original.size() - 1 - sameAtEnd] == edited[edited.size() - 1 - sameAtEnd])
    ++sameAtEnd;
  EXPECT_EQ(same + sameAtEnd, original.size()) << edited;
  EXPECT_NE(edited.find("<v>1</v>"), std::string::npos) << edited;
  EXPECT_EQ(RunTool({"get", file, "v"}).out, "1\n");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RepairedInputTest,
    ::testing::Values(
        RepairedInput{"UnknownEncoding", "<?xml version=\"1.0\" encoding=\"x-no-such\"?>\n<a>b</a>\n",
                      "@:1:31: unknown encoding \"x-no-such\"; the document was read in the system's "
                      "default encoding (error 9)\n"},
        RepairedInput{"BytesThatAreNotUtf8", "<a>\n  <b>ok \xFF</b>\n  <c x=\"\xC3\"/><!-- \xA9 -->\n</a>\n",
                      "@:2:9: bytes that are not valid utf-8 became U+FFFD (error 9)\n"
                      "@:3:9: bytes that are not valid utf-8 became U+FFFD (error 9)\n"
                      "@:3:18: bytes that are not valid utf-8 became U+FFFD (error 9)\n"},
        RepairedInput{"BytesThatAreNotUsAsciiBesideAComment",
                      "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\n<a><!-- c --><b>caf\xE9</b></a>\n",
                      "@:2:20: bytes that are not valid us-ascii became U+FFFD (error 9)\n"},
        RepairedInput{"BytesThatAreNotShiftJis",
                      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<a>\x82</a>\n",
                      "@:2:4: bytes that are not valid shift_jis became U+FFFD (error 9)\n"}),
    [](const ::testing::TestParamInfo<RepairedInput>& info) { return info.param.label; });

TEST(RepairedInput, SoundDocumentsAndRealU_FFFDAreNotReported) {
  ScratchDir dir;
  const std::string file = dir.Write("doc.xml", "<a>\xEF\xBF\xBD</a>");
  const ToolRun run = RunTool({"check", file});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

// A GBK document with version 1.1 and its declaration split over lines is
// read as GBK by every command, as the library reads it.
TEST(RepairedInput, EveryCommandReadsTheDeclaredEncoding) {
  ScratchDir dir;
  const std::string file =
      dir.Write("gbk.xml", "<?xml version=\"1.1\"\n\tencoding=\"GBK\"?>\n<a><b>\xD6\xD0\xCE\xC4</b></a>\n");
  EXPECT_EQ(RunTool({"get", file, "b"}).out, "\xE4\xB8\xAD\xE6\x96\x87\n");  // 中文
  const ToolRun fmt = RunTool({"fmt", file});
  EXPECT_EQ(fmt.exitCode, 0) << fmt.err;
  EXPECT_NE(fmt.out.find("<b>\xD6\xD0\xCE\xC4</b>"), std::string::npos) << fmt.out;
  EXPECT_EQ(RunTool({"check", file}).exitCode, 0);
}

}  // namespace
}  // namespace kelmo_test
