// The tool's command line: help, version, exit statuses of usage mistakes.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool/sample_documents.h"
#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

struct UsageCase {
  const char* label;
  std::vector<std::string> args;  // "CONFIG" stands for a valid document
  const char* stderrPart;
};

class ToolUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(ToolUsage, ExitsWithStatus2AndSaysWhatIsWrong) {
  ScratchDir dir;
  const std::string config = dir.Write("config.xml", kConfigXml);
  std::vector<std::string> args = GetParam().args;
  for (std::string& a : args) {
    if (a == "CONFIG") a = config;
  }
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_NE(run.err.find(GetParam().stderrPart), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(config), kConfigXml) << "a usage error must not touch the document";
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, ToolUsage,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "Usage: kelmo COMMAND"},
        UsageCase{"UnknownCommand", {"frobnicate"}, "unknown command \"frobnicate\""},
        UsageCase{"CheckWithoutFile", {"check"}, "check needs at least one FILE"},
        UsageCase{"CheckStdinTwice", {"check", "-", "-"}, "only once"},
        UsageCase{"GetWithoutPath", {"get", "CONFIG"}, "get takes FILE and PATH"},
        UsageCase{"GetEmptyStep", {"get", "CONFIG", "server///port"}, "empty step"},
        UsageCase{"GetUnclosedCondition", {"get", "CONFIG", "user[@id=\"3]"}, "has no closing \" (at character 10)\n  user[@id=\"3]\n           ^"},
        UsageCase{"GetOccurrenceZero", {"get", "CONFIG", "users/user[0]"}, "the first one is [1]"},
        UsageCase{"GetOccurrenceNotANumber", {"get", "CONFIG", "user[1x]"}, "whole number"},
        UsageCase{"GetUnclosedOccurrence", {"get", "CONFIG", "user[2"}, "must end with ']'"},
        UsageCase{"GetUnknownType", {"get", "CONFIG", "server", "--as", "float"}, "--as takes"},
        UsageCase{"SetStepNotAName", {"set", "CONFIG", "server/bad name", "1", "-i"},
                  "step \"bad name\" is not a name"},
        UsageCase{"UnknownOption", {"fmt", "CONFIG", "--bogus"}, "unknown option --bogus"},
        UsageCase{"OptionWithoutValue", {"fmt", "CONFIG", "--indent"}, "needs a value"},
        UsageCase{"OptionTwice", {"fmt", "CONFIG", "--newline", "lf", "--newline", "lf"}, "twice"},
        UsageCase{"BadNewline", {"fmt", "CONFIG", "--newline", "mac"}, "lf, crlf or none"},
        UsageCase{"IndentWithText", {"fmt", "CONFIG", "--indent", "ab"}, "spaces and tabs"},
        UsageCase{"UnknownEncoding", {"fmt", "CONFIG", "--encoding", "latin-1"}, "known encodings: utf-8"},
        UsageCase{"InPlaceAndOutput", {"fmt", "CONFIG", "-i", "-o", "x.xml"}, "cannot be used together"},
        UsageCase{"InPlaceOnStdin", {"fmt", "-", "-i"}, "standard input cannot be rewritten"},
        UsageCase{"FmtTwoFiles", {"fmt", "CONFIG", "CONFIG"}, "fmt takes one FILE"},
        UsageCase{"SetNotAnInt", {"set", "CONFIG", "server/port", "80x", "--as", "int", "-i"}, "not a valid int"},
        UsageCase{"SetIntOutOfRange", {"set", "CONFIG", "server/port", "2147483648", "--as", "int", "-i"}, "2147483647"},
        UsageCase{"SetNegativeUint", {"set", "CONFIG", "server/port", "-1", "--as", "uint", "-i"}, "not a valid uint"},
        UsageCase{"SetBadBool", {"set", "CONFIG", "server/enabled", "maybe", "--as", "bool", "-i"}, "starts with t or y (true)"},
        // The library reads no exponent, so set takes none either.
        UsageCase{"SetExponentDouble", {"set", "CONFIG", "server/ratio", "1e3", "--as", "double", "-i"}, "no exponent"},
        UsageCase{"SetBadBase64", {"set", "CONFIG", "key", "Q!JD", "--as", "base64", "-i"}, "not valid base64"},
        UsageCase{"SetMissingValue", {"set", "CONFIG", "server/port"}, "set takes FILE, PATH and VALUE"},
        UsageCase{"TreeWithoutFile", {"tree"}, "tree takes FILE"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.label); });

TEST(ToolHelp, EveryCommandDescribesItselfOnStandardOutput) {
  for (const char* command : {"check", "fmt", "get", "set", "tree"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{command, "--help"}, std::vector<std::string>{command, "-h"},
          std::vector<std::string>{"help", command}}) {
      const ToolRun run = RunTool(args);
      EXPECT_EQ(run.exitCode, 0) << command;
      EXPECT_EQ(run.out.rfind(std::string("Usage: kelmo ") + command, 0), 0u) << run.out;
      EXPECT_NE(run.out.find("Exit status: 0 ok, 1"), std::string::npos) << command;
      EXPECT_EQ(run.err, "");
    }
  }
}

TEST(ToolHelp, HelpWinsOverMissingArgumentsAndNeedsNoDocument) {
  const ToolRun run = RunTool({"get", "/no/such/file.xml", "--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("A PATH names children"), std::string::npos);
}

TEST(ToolHelp, GeneralHelpListsEveryCommand) {
  const ToolRun run = RunTool({"--help"});
  ASSERT_EQ(run.exitCode, 0);
  for (const char* command : {"check FILE", "count FILE PATH", "del FILE PATH", "exists FILE PATH", "fmt FILE",
                              "get FILE PATH", "ls FILE", "set FILE PATH VALUE", "tree FILE"})
    EXPECT_NE(run.out.find(command), std::string::npos) << command;
  EXPECT_EQ(RunTool({"help", "nonsense"}).exitCode, 2);
}

TEST(ToolVersion, NamesTheVersionAndTheLibraryInUse) {
  const ToolRun run = RunTool({"--version"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("kelmo " KELMO_PROJECT_VERSION "\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("library: " KELMO_LIBRARY_PATH "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nlibrary version: " KELMO_PROJECT_VERSION "\n"), std::string::npos)
      << run.out;
}

// The library's version is the one its file carries, read through links,
// not the tool's.
struct LibraryFileCase {
  const char* label;
  const char* name;     // in a scratch directory
  bool link;            // a link to the built library, else a copy of it
  const char* version;  // what --version says of it
};

class ToolLibraryVersion : public ::testing::TestWithParam<LibraryFileCase> {};

TEST_P(ToolLibraryVersion, NamesTheVersionOfTheFileLoaded) {
  ScratchDir dir;
  const std::string path = dir / GetParam().name;
  if (GetParam().link) {
    std::filesystem::create_symlink(KELMO_LIBRARY_PATH, path);
  } else {
    std::filesystem::copy_file(KELMO_LIBRARY_PATH, path);
  }
  const ToolRun run = RunTool({"--version"}, {"", {"KELMO_LIBRARY=" + path}, {}, ""});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("library: " + path + "\nlibrary version: " + GetParam().version + "\n"),
            std::string::npos)
      << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ToolLibraryVersion,
    ::testing::Values(
        LibraryFileCase{"UnversionedLinkLeadsToTheFile", "libkelmo.so", true, KELMO_PROJECT_VERSION},
        LibraryFileCase{"AnotherVersionIsNamedAsItIs", "libkelmo.so.2.5.1", false, "2.5.1"},
        LibraryFileCase{"SonameAloneIsNotAVersion", "libkelmo.so.2", false, "unknown"},
        LibraryFileCase{"NotANumber", "libkelmo.so.2.x.1", false, "unknown"},
        LibraryFileCase{"NoVersionInTheName", "kelmo-copy.so", false, "unknown"}),
    [](const ::testing::TestParamInfo<LibraryFileCase>& info) { return std::string(info.param.label); });

TEST(ToolLibrary, EnvironmentVariableChoosesTheLibrary) {
  ScratchDir dir;
  const std::string config = dir.Write("config.xml", kConfigXml);
  const ToolRun missing =
      RunTool({"get", config, "server/name"}, {"", {"KELMO_LIBRARY=" + dir / "none.so"}, {}, ""});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("cannot load the kelmo library"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find(dir / "none.so"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("Set the KELMO_LIBRARY environment variable"), std::string::npos)
      << missing.err;

  const std::string notALibrary = dir.Write("fake.so", "not a shared object");
  EXPECT_EQ(RunTool({"check", config}, {"", {"KELMO_LIBRARY=" + notALibrary}, {}, ""}).exitCode, 1);

  const ToolRun chosen =
      RunTool({"get", config, "server/name"}, {"", {"KELMO_LIBRARY=" KELMO_LIBRARY_PATH}, {}, ""});
  EXPECT_EQ(chosen.exitCode, 0) << chosen.err;
  EXPECT_EQ(chosen.out, "primary\n");
}

TEST(ToolLibrary, VersionStillAnswersWithoutALibrary) {
  const ToolRun run = RunTool({"--version"}, {"", {"KELMO_LIBRARY=/no/such/libkelmo.so"}, {}, ""});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("library: not loaded"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kelmo_test
