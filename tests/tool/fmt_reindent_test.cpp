// kelmo fmt re-indents where the document stands: what the tree does not
// hold (comments, processing instructions, the DOCTYPE, the declaration, the
// byte-order mark) and every byte of markup and text stay as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

struct ReindentCase {
  const char* label;
  std::string input;
  std::string expected;
};

class FmtReindent : public ::testing::TestWithParam<ReindentCase> {};

// Blank lines between groups stay, one each.
TEST_P(FmtReindent, KeepsEverythingButTheBlanksBetweenMarkup) {
  ScratchDir dir;
  const std::string file = dir.Write("in.xml", GetParam().input);
  const ToolRun run = RunTool({"fmt", file});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, GetParam().expected);
  ASSERT_EQ(RunTool({"fmt", file, "-i"}).exitCode, 0);
  EXPECT_EQ(ReadFile(file), GetParam().expected);
  // Formatting what is formatted changes nothing.
  EXPECT_EQ(RunTool({"fmt", file}).out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    RealLikeFiles, FmtReindent,
    ::testing::Values(
        ReindentCase{"FontsWithDoctypeAndComments",
                     "<?xml version=\"1.0\"?>\n"
                     "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                     "<!-- system font access -->\n"
                     "<fontconfig>\n"
                     "<!-- Font directory list -->\n"
                     "\t<dir>/usr/share/fonts</dir>\n"
                     "\t<dir prefix=\"xdg\">fonts</dir>\n \n\n"
                     "<!--\n  Accept 'mono', replacing it with 'monospace'\n-->\n"
                     "\t<match target=\"pattern\">\n"
                     "\t\t<test qual=\"any\" name=\"family\"><string>mono</string></test>\n"
                     "\t</match>\n"
                     "</fontconfig>\n",
                     "<?xml version=\"1.0\"?>\n"
                     "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                     "<!-- system font access -->\n"
                     "<fontconfig>\n"
                     "  <!-- Font directory list -->\n"
                     "  <dir>/usr/share/fonts</dir>\n"
                     "  <dir prefix=\"xdg\">fonts</dir>\n"
                     "\n"
                     "  <!--\n  Accept 'mono', replacing it with 'monospace'\n-->\n"
                     "  <match target=\"pattern\">\n"
                     "    <test qual=\"any\" name=\"family\">\n"
                     "      <string>mono</string>\n"
                     "    </test>\n"
                     "  </match>\n"
                     "</fontconfig>\n"},
        ReindentCase{"PolicyWithMultiLineDoctypeAndMixedText",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE policyconfig PUBLIC \"-//example//DTD Policy 1.0//EN\"\n"
                     " \"http://example.org/policyconfig.dtd\">\n"
                     "<policyconfig><vendor>Example</vendor>\n"
                     "<action id=\"org.example.run\">\n"
                     "<message xml:lang=\"de\">Programm ausf\xC3\xBChren</message>\n"
                     "<description>Run <b>it</b>\n  now</description>\n"
                     "<defaults><allow_any>no</allow_any><allow_active>auth_admin</allow_active></defaults>\n"
                     "</action>\n"
                     "</policyconfig>",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<!DOCTYPE policyconfig PUBLIC \"-//example//DTD Policy 1.0//EN\"\n"
                     " \"http://example.org/policyconfig.dtd\">\n"
                     "<policyconfig>\n"
                     "  <vendor>Example</vendor>\n"
                     "  <action id=\"org.example.run\">\n"
                     "    <message xml:lang=\"de\">Programm ausf\xC3\xBChren</message>\n"
                     "    <description>Run <b>it</b>\n  now</description>\n"
                     "    <defaults>\n"
                     "      <allow_any>no</allow_any>\n"
                     "      <allow_active>auth_admin</allow_active>\n"
                     "    </defaults>\n"
                     "  </action>\n"
                     "</policyconfig>\n"},
        ReindentCase{"BusConfigWithoutDeclarationCrLfAndPi",
                     "<!DOCTYPE busconfig PUBLIC \"-//example//DTD Bus 1.0//EN\"\r\n"
                     " \"http://example.org/busconfig.dtd\">\r\n"
                     "<busconfig>\r\n"
                     "        <policy user=\"root\"><allow own=\"org.example.Daemon\"/>\r\n"
                     "  <?reload now?></policy>\r\n"
                     "        <include ignore_missing='yes'>/etc/extra.conf</include>\r\n"
                     "</busconfig>\r\n"
                     "<!-- trailing note -->\r\n",
                     "<!DOCTYPE busconfig PUBLIC \"-//example//DTD Bus 1.0//EN\"\r\n"
                     " \"http://example.org/busconfig.dtd\">\n"
                     "<busconfig>\n"
                     "  <policy user=\"root\">\n"
                     "    <allow own=\"org.example.Daemon\"/>\n"
                     "    <?reload now?>\n"
                     "  </policy>\n"
                     "  <include ignore_missing='yes'>/etc/extra.conf</include>\n"
                     "</busconfig>\n"
                     "<!-- trailing note -->\n"}),
    [](const ::testing::TestParamInfo<ReindentCase>& info) { return std::string(info.param.label); });

// In place, the byte-order mark or its absence and the declaration as
// written stay, in UTF-8 and in an encoding whose bytes are not decoded.
TEST(FmtReindentInPlace, KeepsTheMarkAndTheDeclaration) {
  struct Case {
    std::string before, after;
  };
  const std::string latin = "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?>";
  for (const Case& c :
       {Case{"\xEF\xBB\xBF<a><b>\xC3\xA9</b></a>", "\xEF\xBB\xBF<a>\n  <b>\xC3\xA9</b>\n</a>\n"},
        Case{"<a><b>x</b></a>", "<a>\n  <b>x</b>\n</a>\n"},
        Case{latin + "<a><b>caf\xE9</b></a>", latin + "\n<a>\n  <b>caf\xE9</b>\n</a>\n"}}) {
    ScratchDir dir;
    const std::string file = dir.Write("in.xml", c.before);
    const ToolRun run = RunTool({"fmt", file, "-i"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(file), c.after);
  }
}

// A mark that decides the encoding stays in every output, standard output
// included: a UTF-8 mark before a declaration naming another encoding, a
// UTF-16 mark before a line break. Without it the output would be read in
// another encoding, as another tree. A mark before "<" decides nothing (the
// bytes tell UTF-16 without it), and standard output drops it as usual.
TEST(FmtReindent, KeepsAMarkThatDecidesTheEncoding) {
  struct Input {
    std::string label, mark, bytes;
    bool decides;
  };
  std::vector<Input> inputs;
  for (const std::string name : {"koi8-r", "windows-1251", "UTF-16", "utf-7", "ebcdic-cp-us"}) {
    inputs.push_back({"utf-8 mark, declared " + name, "\xEF\xBB\xBF",
                      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"" + name +
                          "\"?><r><c>chi\xF0\x9F\x98\x80ld</c></r>",
                      true});
  }
  for (const bool bigEndian : {false, true}) {
    for (const std::string before : {"\n", "<!--c-->"}) {
      std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
      for (const char c : before + "<r><c>x</c></r>") {
        bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
      }
      inputs.push_back({std::string(bigEndian ? "utf-16be" : "utf-16le") + " mark, then " +
                            (before == "\n" ? "a line break" : "a comment"),
                        bytes.substr(0, 2), bytes, before == "\n"});
    }
  }
  for (const Input& input : inputs) {
    for (const std::string route : {"-i", "-o", "standard output"}) {
      SCOPED_TRACE(input.label + ", " + route);
      ScratchDir dir;
      const std::string in = dir.Write("in.xml", input.bytes);
      const std::string out = route == "-i" ? in : dir / "out.xml";
      const ToolRun tree = RunTool({"tree", in});
      ASSERT_EQ(tree.exitCode, 0) << tree.err;
      std::vector<std::string> args{"fmt", in};
      if (route != "standard output") args.push_back(route);
      if (route == "-o") args.push_back(out);
      const ToolRun run = RunTool(args);
      ASSERT_EQ(run.exitCode, 0) << run.err;
      if (route == "standard output") dir.Write("out.xml", run.out);
      const bool kept = ReadFile(out).compare(0, input.mark.size(), input.mark) == 0;
      EXPECT_EQ(kept, input.decides || route != "standard output");
      EXPECT_EQ(RunTool({"tree", out}).out, tree.out);
    }
  }
}

TEST(FmtReindent, NamesAnEncodingTheLibraryCannotWrite) {
  const ToolRun run = RunTool({"fmt", "-", "--encoding", "utf-32"}, {"<a><b>1</b></a>", {}, {}, ""});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("kelmo: the library cannot write utf-32:", 0), 0u) << run.err;
}

}  // namespace
}  // namespace kelmo_test
