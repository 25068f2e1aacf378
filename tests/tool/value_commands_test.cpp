// kelmo get and kelmo set: paths, conversions, creation, and their failures.
#include <gtest/gtest.h>

#include "tool/sample_documents.h"
#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

struct GetCase {
  const char* path;
  const char* as;  // "" for the default
  std::string expected;
};

class GetPrints : public ::testing::TestWithParam<GetCase> {};

TEST_P(GetPrints, TheValueConverted) {
  ScratchDir dir;
  const std::string config = dir.Write("config.xml", kConfigXml);
  std::vector<std::string> args{"get", config, GetParam().path};
  if (*GetParam().as) args.insert(args.end(), {"--as", GetParam().as});
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, GetParam().expected);
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, GetPrints,
    ::testing::Values(
        GetCase{"server/name", "", "primary\n"},
        GetCase{"server/port", "", "8080\n"},             // the attribute comes first
        GetCase{"server/port[2]", "", "9090\n"},          // then the element
        GetCase{"server/@port", "int", "8080\n"},
        GetCase{"server/@host", "", "example.org\n"},
        GetCase{"users/user", "", "ann\n"},
        GetCase{"users/user[2]", "", "bob\n"},
        GetCase{"users/user[3]", "", "\xC3\xA9lise\n"},
        GetCase{"users/user[3]/id", "uint", "3\n"},
        GetCase{"/config/version", "int", "2\n"},
        GetCase{"script", "", "a < b && c\n"}),
    [](const ::testing::TestParamInfo<GetCase>& info) { return "Path" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Conversions, GetPrints,
    ::testing::Values(
        GetCase{"server/retries", "int", "31\n"},
        GetCase{"server/retries", "int64", "31\n"},
        GetCase{"server/ratio", "double", "0.75\n"},
        GetCase{"server/port", "double", "8080\n"},
        GetCase{"server/enabled", "bool", "true\n"},
        GetCase{"server/port", "bool", "true\n"},
        GetCase{"key", "base64", "ABC"},
        GetCase{"server/name", "string", "primary\n"}),
    [](const ::testing::TestParamInfo<GetCase>& info) { return "As" + std::to_string(info.index); });

// A double prints as the library writes it: the shortest digits that read
// back exactly, padded with zeros, never an exponent.
TEST(GetAsDouble, PrintsTheShortestExactPlainDecimal) {
  ScratchDir dir;
  const std::string file = dir.Write(
      "n.xml", "<n><a>0.30000000000000004</a><b>123456789012345678</b><c>1" +
                   std::string(23, '0') + "</c><d>0.000000015</d></n>");
  const struct {
    const char* path;
    std::string printed;
  } cases[] = {{"a", "0.30000000000000004\n"},
               {"b", "123456789012345680\n"},
               {"c", "1" + std::string(23, '0') + "\n"},
               {"d", "0.000000015\n"}};
  for (const auto& c : cases) {
    const ToolRun run = RunTool({"get", file, c.path, "--as", "double"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, c.printed) << c.path;
  }
}

struct GetFailure {
  const char* path;
  const char* as;
  const char* message;
};

class GetFails : public ::testing::TestWithParam<GetFailure> {};

TEST_P(GetFails, WithStatus1) {
  ScratchDir dir;
  const std::string config = dir.Write("config.xml", kConfigXml);
  const ToolRun run = RunTool({"get", config, GetParam().path, "--as", GetParam().as});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, config + ": " + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetFails,
    ::testing::Values(
        GetFailure{"server/missing", "string", "no parameter at server/missing"},
        GetFailure{"users/user[4]", "string", "no parameter at users/user[4]"},
        GetFailure{"users/user[4294967295]", "string", "no parameter at users/user[4294967295]"},
        GetFailure{"server/@name", "string", "no parameter at server/@name"},
        GetFailure{"/server/name", "string", "no parameter at /server/name"},
        GetFailure{"config/server", "string",
                   "no parameter at config/server (paths start below the document element "
                   "<config>; write /config/server to include it)"},
        GetFailure{"server/name", "int", "the value \"primary\" at server/name is not a valid int"},
        GetFailure{"server/ratio", "int", "the value \"0.75\" at server/ratio is not a valid int"},
        GetFailure{"server/name", "bool", "the value \"primary\" at server/name is not a valid bool"},
        GetFailure{"server/@host", "base64",
                   "the value \"example.org\" at server/@host is not a valid base64"},
        GetFailure{"blank", "int", "blank has no value"},
        GetFailure{"blank", "string", "blank has no value"},
        GetFailure{".", "string", ". has no value"}),
    [](const ::testing::TestParamInfo<GetFailure>& info) { return "Case" + std::to_string(info.index); });

TEST(Get, ReadsStandardInput) {
  const ToolRun run = RunTool({"get", "-", "users/user[2]"}, {kConfigXml, {}, {}, ""});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "bob\n");
}

TEST(Get, BrokenDocumentIsReportedLikeCheck) {
  const ToolRun run = RunTool({"get", "-", "a"}, {"<a><b></a>", {}, {}, ""});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind("<stdin>:1:10: end tag does not match the open element (error 7)\n", 0), 0u)
      << run.err;
}

// set writes the whole document; these read the result back with get, as a
// user would.
class Set : public ::testing::Test {
 protected:
  std::string Get(const std::string& file, const std::string& path, const std::string& as = "string") {
    const ToolRun run = RunTool({"get", file, path, "--as", as});
    EXPECT_EQ(run.exitCode, 0) << path << ": " << run.err;
    return run.out;
  }

  ScratchDir dir_;
  std::string config_ = dir_.Write("config.xml", kConfigXml);
};

TEST_F(Set, InPlaceChangesOnlyTheNamedValue) {
  const ToolRun run = RunTool({"set", config_, "server/name", "backup", "-i"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Get(config_, "server/name"), "backup\n");
  EXPECT_EQ(Get(config_, "users/user[2]"), "bob\n");
  EXPECT_EQ(Get(config_, "server/@host"), "example.org\n");
  EXPECT_EQ(Get(config_, "script"), "a < b && c\n");
}

TEST_F(Set, AttributeStaysAnAttribute) {
  ASSERT_EQ(RunTool({"set", config_, "server/port", "81", "--as", "int", "-i"}).exitCode, 0);
  const std::string text = ReadFile(config_);
  EXPECT_NE(text.find("<server port=\"81\" host=\"example.org\">"), std::string::npos) << text;
  EXPECT_NE(text.find("<port>9090</port>"), std::string::npos) << text;
}

TEST_F(Set, CreatesMissingElementsOnTheWay) {
  const ToolRun run = RunTool({"set", config_, "logging/file/path", "/var/log/x.log", "-i"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Get(config_, "logging/file/path"), "/var/log/x.log\n");
  const std::string text = ReadFile(config_);
  EXPECT_NE(text.find("  <logging>\n    <file>\n      <path>/var/log/x.log</path>\n    </file>\n  </logging>\n</config>"),
            std::string::npos)
      << text;
}

TEST_F(Set, CreatesTheNextOccurrenceOnly) {
  ASSERT_EQ(RunTool({"set", config_, "users/user[4]", "dan", "-i"}).exitCode, 0);
  EXPECT_EQ(Get(config_, "users/user[4]"), "dan\n");
  const std::string before = ReadFile(config_);
  const ToolRun skip = RunTool({"set", config_, "users/user[6]", "eve", "-i"});
  EXPECT_EQ(skip.exitCode, 1);
  EXPECT_NE(skip.err.find("4 of that name exist there, so the next one is [5]"), std::string::npos)
      << skip.err;
  EXPECT_EQ(ReadFile(config_), before);
}

TEST_F(Set, AtStepCreatesAnAttributeInTheStartTag) {
  ASSERT_EQ(RunTool({"set", config_, "users/user[2]/@id", "2", "-i"}).exitCode, 0);
  EXPECT_NE(ReadFile(config_).find("<user id=\"2\">bob</user>"), std::string::npos);
  ASSERT_EQ(RunTool({"set", config_, "server/@tls", "yes", "--as", "bool", "-i"}).exitCode, 0);
  EXPECT_NE(ReadFile(config_).find("<server port=\"8080\" host=\"example.org\" tls=\"1\">"),
            std::string::npos)
      << ReadFile(config_);
}

TEST_F(Set, NothingCanBeCreatedInsideAnAttribute) {
  const std::string before = ReadFile(config_);
  const ToolRun run = RunTool({"set", config_, "server/@host/x", "1", "-i"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("inside attribute \"host\""), std::string::npos) << run.err;
  const ToolRun later = RunTool({"set", config_, "server/@a/b", "1", "-i"});
  EXPECT_EQ(later.exitCode, 1);
  EXPECT_NE(later.err.find("cannot have children"), std::string::npos) << later.err;
  EXPECT_EQ(ReadFile(config_), before);
}

struct TypedSet {
  const char* as;
  const char* value;
  const char* written;  // the element as it appears in the file
};

class SetNormalises : public ::testing::TestWithParam<TypedSet> {};

TEST_P(SetNormalises, TheValueItStores) {
  ScratchDir dir;
  const std::string config = dir.Write("c.xml", "<c/>");
  const ToolRun run = RunTool({"set", config, "v", GetParam().value, "--as", GetParam().as});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(GetParam().written), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(config), "<c/>") << "without -i the file stays as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Types, SetNormalises,
    ::testing::Values(
        TypedSet{"string", "a<b & \"c\" ]]>", "<v>a&lt;b &amp; \"c\" ]]&gt;</v>"},
        TypedSet{"int", "-42", "<v>-42</v>"},
        TypedSet{"int", "0x1f", "<v>31</v>"},
        TypedSet{"int", "+7", "<v>7</v>"},
        TypedSet{"int", "-2147483648", "<v>-2147483648</v>"},
        TypedSet{"uint", "4294967295", "<v>4294967295</v>"},
        TypedSet{"int64", "-9223372036854775808", "<v>-9223372036854775808</v>"},
        TypedSet{"double", "2.5", "<v>2.5</v>"},
        TypedSet{"double", "-.125", "<v>-0.125</v>"},
        TypedSet{"double", "1 500", "<v>1500</v>"},
        TypedSet{"double", "0.1234567890123", "<v>0.1234567890123</v>"},
        TypedSet{"bool", "yes", "<v>1</v>"},
        TypedSet{"bool", "FALSE", "<v>0</v>"},
        TypedSet{"base64", "QUJD", "<v>QUJD</v>"},
        TypedSet{"base64", "", "<v></v>"}),
    [](const ::testing::TestParamInfo<TypedSet>& info) { return std::string(info.param.as) + std::to_string(info.index); });

TEST_F(Set, DoubleReadsBackThroughGet) {
  ASSERT_EQ(RunTool({"set", config_, "server/ratio", "-0.0125", "--as", "double", "-i"}).exitCode, 0);
  EXPECT_EQ(Get(config_, "server/ratio", "double"), "-0.0125\n");
}

TEST_F(Set, FromStandardInputToStandardOutput) {
  const ToolRun run = RunTool({"set", "-", "server/name", "x"},
                              {"<config><server><name>y</name></server></config>", {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "<config><server><name>x</name></server></config>");
}

TEST_F(Set, ToAnotherFileLeavesTheInput) {
  const std::string out = dir_ / "out.xml";
  ASSERT_EQ(RunTool({"set", config_, "server/name", "other", "-o", out}).exitCode, 0);
  EXPECT_EQ(ReadFile(config_), kConfigXml);
  EXPECT_EQ(Get(out, "server/name"), "other\n");
}

TEST_F(Set, NegativeNumberIsAValueNotAnOption) {
  ASSERT_EQ(RunTool({"set", config_, "server/offset", "-5", "--as", "int", "-i"}).exitCode, 0);
  EXPECT_EQ(Get(config_, "server/offset", "int"), "-5\n");
  ASSERT_EQ(RunTool({"set", config_, "server/label", "--", "-x", "-i"}).exitCode, 2)
      << "after -- even -i is a positional argument";
  ASSERT_EQ(RunTool({"set", "-i", config_, "server/label", "--", "-x"}).exitCode, 0);
  EXPECT_EQ(Get(config_, "server/label"), "-x\n");
}

// One grammar each way: a text that set --as T accepts is what get --as T
// reads back from the file, and a text that get refuses, set refuses too.
struct GrammarCase {
  const char* as;
  const char* text;
  const char* read;  // what get --as prints for the text; nullptr: not a value
};

class OneGrammar : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(OneGrammar, SetAcceptsWhatGetReads) {
  const GrammarCase& c = GetParam();
  ScratchDir dir;
  const std::string raw = dir.Write("raw.xml", "<c><v/></c>");
  const std::string typed = dir.Write("typed.xml", "<c><v/></c>");
  ASSERT_EQ(RunTool({"set", raw, "v", "-i", "--", c.text}).exitCode, 0);
  const ToolRun fromText = RunTool({"get", raw, "v", "--as", c.as});
  const ToolRun set = RunTool({"set", typed, "v", "-i", "--as", c.as, "--", c.text});
  if (!c.read) {
    EXPECT_EQ(fromText.exitCode, 1) << fromText.out;
    EXPECT_EQ(set.exitCode, 2) << set.err;
    EXPECT_EQ(ReadFile(typed), "<c><v/></c>");
    return;
  }
  EXPECT_EQ(fromText.exitCode, 0) << fromText.err;
  EXPECT_EQ(fromText.out, std::string(c.read) + "\n");
  ASSERT_EQ(set.exitCode, 0) << set.err;
  const ToolRun back = RunTool({"get", typed, "v", "--as", c.as});
  EXPECT_EQ(back.out, std::string(c.read) + "\n") << ReadFile(typed);
}

INSTANTIATE_TEST_SUITE_P(
    Types, OneGrammar,
    ::testing::Values(
        GrammarCase{"bool", "yes", "true"}, GrammarCase{"bool", "No", "false"},
        GrammarCase{"bool", "2", "true"}, GrammarCase{"bool", "0", "false"},
        GrammarCase{"bool", "on", nullptr}, GrammarCase{"bool", "off", nullptr},
        GrammarCase{"double", "1000", "1000"}, GrammarCase{"double", "-.5", "-0.5"},
        GrammarCase{"double", "1e3", nullptr}, GrammarCase{"double", "0x10", nullptr},
        GrammarCase{"int", "$1f", "31"}, GrammarCase{"int", "-7", "-7"},
        GrammarCase{"int", "4294967295", nullptr}, GrammarCase{"int", "1.5", nullptr},
        GrammarCase{"uint", "4294967295", "4294967295"}, GrammarCase{"uint", "-1", nullptr},
        GrammarCase{"int64", "-9223372036854775808", "-9223372036854775808"},
        GrammarCase{"int64", "9223372036854775808", nullptr},
        GrammarCase{"int64", "18446744073709551615", nullptr}),
    [](const ::testing::TestParamInfo<GrammarCase>& info) {
      return std::string(info.param.as) + std::to_string(info.index);
    });

TEST(SetOnElements, WarnsThatTheValueStandsBeforeThem) {
  ScratchDir dir;
  const std::string file = dir.Write("m.conf", "<fc>\n  <match><test/></match>\n  <dir>a</dir>\n</fc>\n");
  const ToolRun run = RunTool({"set", file, "match", "x", "-i"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, file + ": warning: match holds elements; the value stands before them\n");
  EXPECT_EQ(ReadFile(file), "<fc>\n  <match>x<test/></match>\n  <dir>a</dir>\n</fc>\n");
  const ToolRun plain = RunTool({"set", file, "dir", "b", "-i"});
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.err, "") << "an element with text only is no cause for a warning";
}

}  // namespace
}  // namespace kelmo_test
