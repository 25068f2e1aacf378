// The path language on files shaped like real ones: conditions, positions
// and "//" in get, ls and tree; set and del change what they name and
// nothing else.
#include <gtest/gtest.h>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

// Shaped like a font configuration: comments, a DOCTYPE, both quotes.
const char kFonts[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
    "<fontconfig>\n"
    "  <!-- directories -->\n"
    "  <dir>/usr/share/fonts</dir>\n"
    "  <dir prefix=\"xdg\">fonts</dir>\n"
    "  <dir prefix='xdg'>other/[fonts]</dir>\n"
    "  <match target=\"font\">\n"
    "    <edit name=\"antialias\" mode=\"assign\"><bool>true</bool></edit>\n"
    "  </match>\n"
    "  <match target=\"pattern\">\n"
    "    <test name=\"family\"><string>mono</string></test>\n"
    "    <edit name=\"family\" mode=\"assign\"><string>monospace</string></edit>\n"
    "  </match>\n"
    "  <alias><family>serif</family><prefer><string>DejaVu Serif</string></prefer></alias>\n"
    "</fontconfig>\n";

struct ReadCase {
  std::vector<std::string> args;  // "FILE" stands for the document
  std::string out;
};

TEST(PathLanguage, SelectsForGetLsAndTree) {
  ScratchDir dir;
  const std::string file = dir.Write("fonts.conf", kFonts);
  const ReadCase cases[] = {
      {{"get", "FILE", "dir[@prefix=\"xdg\"]"}, "fonts\nother/[fonts]\n"},
      {{"get", "FILE", "dir[@prefix='xdg'][2]"}, "other/[fonts]\n"},
      {{"get", "FILE", "dir[@prefix=\"none\"]"}, ""},
      {{"get", "FILE", "dir[@prefix]"}, "fonts\nother/[fonts]\n"},
      {{"get", "FILE", "match[@target=\"pattern\"]/edit/@mode"}, "assign\n"},
      {{"get", "FILE", "alias[family=\"serif\"]/prefer/string"}, "DejaVu Serif\n"},
      {{"get", "FILE", "//string"}, "mono\nmonospace\nDejaVu Serif\n"},
      {{"get", "FILE", "//string[3]"}, "DejaVu Serif\n"},
      {{"get", "FILE", "//edit[@name=\"family\"]//string"}, "monospace\n"},
      {{"get", "FILE", "/fontconfig//bool", "--as", "bool"}, "true\n"},
      {{"ls", "FILE", "match[@target=\"font\"]/edit"},
       "name: attribute, string = \"antialias\"\nmode: attribute, string = \"assign\"\nbool: element, string = \"true\"\n"},
      {{"tree", "FILE", "//test"},
       "test: element, empty\n  name: attribute, string = \"family\"\n  string: element, string = \"mono\"\n"},
  };
  for (const ReadCase& c : cases) {
    std::vector<std::string> args = c.args;
    for (std::string& a : args) a = a == "FILE" ? file : a;
    const ToolRun run = RunTool(args);
    const bool none = c.out.empty();
    EXPECT_EQ(run.exitCode, none ? 1 : 0) << args[2] << ": " << run.err;
    EXPECT_EQ(run.out, c.out) << args[2];
  }
}

struct EditCase {
  std::vector<std::string> args;  // after FILE
  std::string from;               // the text that changes, and what it becomes
  std::string to;
};

TEST(PathLanguage, EditsChangeOnlyWhatIsNamed) {
  const EditCase cases[] = {
      {{"set", "dir[@prefix=\"xdg\"][2]", "x"}, "other/[fonts]", "x"},
      {{"set", "match[@target=\"font\"]/edit/@mode", "append"}, "\"antialias\" mode=\"assign\"",
       "\"antialias\" mode=\"append\""},
      {{"set", "match[test/@name]/@target", "x"}, "", ""},  // not a condition: a usage error
      {{"set", "alias[family=\"serif\"]/prefer/@x", "1"}, "<prefer>", "<prefer x=\"1\">"},
      {{"set", "match[@target=\"font\"]/edit/bool", "false"}, "<bool>true", "<bool>false"},
      {{"set", "//test/@qual", "any"}, "<test name=\"family\">", "<test name=\"family\" qual=\"any\">"},
      {{"del", "//edit[@name=\"family\"]"},
       "    <edit name=\"family\" mode=\"assign\"><string>monospace</string></edit>\n", ""},
      {{"del", "dir[@prefix=\"xdg\"][1]/@prefix"}, "<dir prefix=\"xdg\">", "<dir>"},
  };
  for (const EditCase& c : cases) {
    ScratchDir dir;
    const std::string file = dir.Write("fonts.conf", kFonts);
    std::vector<std::string> args{c.args.front(), file};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    args.push_back("-i");
    const ToolRun run = RunTool(args);
    std::string expected = kFonts;
    if (!c.from.empty()) {
      ASSERT_NE(expected.find(c.from), std::string::npos) << c.from;
      expected.replace(expected.find(c.from), c.from.size(), c.to);
    }
    EXPECT_EQ(run.exitCode, c.from.empty() ? 2 : 0) << c.args[1] << ": " << run.err;
    EXPECT_EQ(ReadFile(file), expected) << c.args[1];
  }
}

// --all changes every match in one pass, creating what is missing below
// each; a removal inside another removal goes with it.
TEST(PathLanguage, AllEditsEveryMatch) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> changes;  // in order
  } cases[] = {
      {{"set", "dir[@prefix]", "x"}, {{">fonts<", ">x<"}, {">other/[fonts]<", ">x<"}}},
      {{"set", "match/@target", "font"}, {{"\"pattern\"", "\"font\""}}},
      {{"set", "match/edit/@binding", "same"},
       {{"mode=\"assign\">", "mode=\"assign\" binding=\"same\">"},
        {"mode=\"assign\"><string>", "mode=\"assign\" binding=\"same\"><string>"}}},
      {{"del", "//string"},
       {{"<string>mono</string>", ""}, {"<string>monospace</string>", ""}, {"<string>DejaVu Serif</string>", ""}}},
      {{"del", "//*[@name]"},
       {{"    <edit name=\"antialias\" mode=\"assign\"><bool>true</bool></edit>\n", ""},
        {"    <test name=\"family\"><string>mono</string></test>\n", ""},
        {"    <edit name=\"family\" mode=\"assign\"><string>monospace</string></edit>\n", ""}}},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string file = dir.Write("fonts.conf", kFonts);
    std::vector<std::string> args{c.args.front(), file};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    args.insert(args.end(), {"--all", "-i"});
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, 0) << c.args[1] << ": " << run.err;
    std::string expected = kFonts;
    size_t at = 0;
    for (const auto& [from, to] : c.changes) {
      at = expected.find(from, at);
      ASSERT_NE(at, std::string::npos) << from;
      expected.replace(at, from.size(), to);
      at += to.size();
    }
    EXPECT_EQ(ReadFile(file), expected) << c.args[1];
  }
}

// A path that names several, or none with several places to create it,
// is refused without --all; a step with a condition is never created.
TEST(PathLanguage, EditsThatWouldGuessAreRefused) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"set", "dir[@prefix=\"xdg\"]", "x"}, 2, "names 2 of them: pick one with [n], or give --all"},
      {{"del", "//string"}, 2, "names 3 of them"},
      {{"set", "*/new", "x"}, 2, "names none, and there are 6 places to create it"},
      {{"set", "match[@target=\"none\"]/x", "1"}, 1, "cannot create \"match[@target=\"none\"]\""},
      {{"del", "dir[@prefix=\"none\"]"}, 1, "no parameter at dir[@prefix=\"none\"]"},
      {{"get", "dir[@prefix=xdg]"}, 2, "is quoted: [@a=\"v\"] or [@a='v'] (at character 13)\n  dir[@prefix=xdg]\n              ^"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string file = dir.Write("fonts.conf", kFonts);
    std::vector<std::string> args{c.args.front(), file};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    if (args[0] != "get") args.push_back("-i");
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, c.status) << args[2] << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(file), kFonts);
  }
}

}  // namespace
}  // namespace kelmo_test
