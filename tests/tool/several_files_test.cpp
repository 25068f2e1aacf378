// Several files in one run (get, set, del, count), each read and edited or
// refused on its own; get's FILE:PATH: lines; count and exists for scripts.
#include <gtest/gtest.h>

#include <algorithm>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

// Shaped like a polkit policy: actions addressed by id, one without values.
const char kPolicy[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<policyconfig>\n"
    "  <action id=\"org.example.one\">\n"
    "    <defaults>\n"
    "      <allow_any>no</allow_any>\n"
    "      <allow_active>yes</allow_active>\n"
    "    </defaults>\n"
    "  </action>\n"
    "  <action id=\"org.example.two\">\n"
    "    <defaults><allow_any/></defaults>\n"
    "  </action>\n"
    "</policyconfig>\n";

// "A", "B" and "BAD" stand for two good files and one that does not parse.
struct Files {
  ScratchDir dir;
  std::string a = dir.Write("a.policy", kPolicy);
  std::string b = dir.Write("b.policy", kPolicy);
  std::string bad = dir.Write("bad.policy", "<policyconfig><action>");

  std::vector<std::string> Args(std::vector<std::string> args) const {
    for (std::string& arg : args) arg = arg == "A" ? a : arg == "B" ? b : arg == "BAD" ? bad : arg;
    return args;
  }
  std::string Named(std::string text) const {
    for (const auto& [from, to] : {std::pair{"BAD:", bad + ":"}, {"A:", a + ":"}, {"B:", b + ":"}}) {
      for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, std::string(from).size(), to);
    }
    return text;
  }
};

TEST(SeveralFiles, ReadingPrintsEachLineWithItsFileAndPath) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"get", "A", "B", "action[@id=\"org.example.one\"]/defaults/allow_any"}, 0,
       "A:action[1]/defaults/allow_any: no\nB:action[1]/defaults/allow_any: no\n"},
      {{"get", "A", "//allow_any", "--with-path"}, 0,
       "A:action[1]/defaults/allow_any: no\n"},  // the second has no value
      {{"get", "A", "action[2]/@id", "--with-path"}, 0, "A:action[2]/@id: org.example.two\n"},
      {{"get", "A", "B", "action/@id", "--no-path"}, 0, "org.example.one\norg.example.one\n"},
      {{"get", "A", "//allow_any"}, 0, "no\n"},  // one file: values alone, as always
      {{"get", "A", "BAD", "B", "action/defaults/allow_active"}, 1,
       "A:action[1]/defaults/allow_active: yes\nB:action[1]/defaults/allow_active: yes\n"},
      {{"get", "A", "B", "nothing"}, 1, ""},
      {{"count", "A", "action"}, 0, "2\n"},
      {{"count", "A", "action[2]/defaults/*"}, 0, "1\n"},
      {{"count", "A", "B", "//allow_any"}, 0, "A:2\nB:2\n"},
      {{"count", "A", "nothing"}, 0, "0\n"},
      {{"count", "BAD", "A", "action"}, 1, "A:2\n"},
      {{"get", "A", "B", "x", "--with-path", "--no-path"}, 2, ""},
      {{"get", "-", "-", "x"}, 2, ""},
      {{"get", "A", "B", "action/@id", "--as", "base64"}, 2, ""},
  };
  for (const auto& c : cases) {
    const Files files;
    const ToolRun run = RunTool(files.Args(c.args));
    EXPECT_EQ(run.exitCode, c.status) << c.args[c.args.size() - 1] << ": " << run.err;
    EXPECT_EQ(run.out, files.Named(c.out)) << c.args[c.args.size() - 1];
    // The file that fails is named, with where it fails.
    if (std::find(c.args.begin(), c.args.end(), "BAD") != c.args.end()) {
      EXPECT_EQ(run.err.rfind(files.bad + ":1:", 0), 0u) << run.err;
    }
  }
}

TEST(SeveralFiles, EachFileIsEditedOrRefusedOnItsOwn) {
  const std::string oneChanged = [] {
    std::string text = kPolicy;
    text.replace(text.find(">no<"), 4, ">auth_admin<");
    return text;
  }();
  const std::string secondGone = [] {
    std::string text = kPolicy;
    const size_t from = text.find("  <action id=\"org.example.two\">");
    text.erase(from, text.find("</policyconfig>") - from);
    return text;
  }();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string a, b;  // the files afterwards
  } cases[] = {
      {{"set", "A", "B", "action/defaults/allow_any", "auth_admin", "-i"}, 0, oneChanged, oneChanged},
      {{"set", "A", "BAD", "B", "action/defaults/allow_any", "auth_admin", "-i"}, 1, oneChanged, oneChanged},
      {{"del", "A", "B", "action[@id=\"org.example.two\"]", "-i"}, 0, secondGone, secondGone},
      // Without -i there is nowhere to put several documents.
      {{"set", "A", "B", "action/defaults/allow_any", "auth_admin"}, 2, kPolicy, kPolicy},
      {{"del", "A", "B", "action", "-o", "out.xml"}, 2, kPolicy, kPolicy},
      // A path that names several in one file is refused for that file.
      {{"del", "A", "B", "action[@id]", "-i"}, 2, kPolicy, kPolicy},
  };
  for (const auto& c : cases) {
    const Files files;
    const ToolRun run = RunTool(files.Args(c.args));
    EXPECT_EQ(run.exitCode, c.status) << c.args[0] << ": " << run.err;
    EXPECT_EQ(ReadFile(files.a), c.a) << c.args[0];
    EXPECT_EQ(ReadFile(files.b), c.b) << c.args[0];
    EXPECT_EQ(ReadFile(files.bad), "<policyconfig><action>");
  }
}

// exists tells a missing node (1) from one without a value (3), and both
// from a file that cannot be read (4).
TEST(Exists, ExitStatusSaysWhatThePathNames) {
  const struct {
    const char* path;
    int status;
  } cases[] = {
      {"action/@id", 0},
      {"action/defaults/allow_active", 0},
      {"action[2]/defaults/allow_any", 3},  // <allow_any/>
      {"action/defaults", 3},               // holds only elements
      {"//allow_any", 0},                   // one of the matches has a value
      {"action[2]//allow_any", 3},
      {"action[3]", 1},
      {"action[@id=\"none\"]", 1},
      {"action[", 2},
  };
  const Files files;
  for (const auto& c : cases) {
    const ToolRun run = RunTool({"exists", files.a, c.path});
    EXPECT_EQ(run.exitCode, c.status) << c.path << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.path;
  }
  EXPECT_EQ(RunTool({"exists", files.bad, "action"}).exitCode, 4);
  EXPECT_EQ(RunTool({"exists", files.dir / "missing.xml", "action"}).exitCode, 4);
}

}  // namespace
}  // namespace kelmo_test
