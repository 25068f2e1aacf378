// Files like those a system keeps (font, policy, bus and MIME configuration)
// in the encodings they come in, each edited in place and compared byte for
// byte with the file expected; and an edit of a deeply nested file inside a
// bounded address space.
#include <gtest/gtest.h>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

const std::string kFonts =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
    "<fontconfig>\n"
    "\t<!-- Copyright \xA9 2001, not UTF-8 -->\n"
    "\t<dir>/usr/share/fonts</dir>\n"
    "\t<dir prefix=\"xdg\">fonts</dir>\n"
    "\t<cachedir>/var/cache/fontconfig</cachedir>\n"
    "\t<config>\n"
    "\t\t<rescan><int>30</int></rescan>\n"
    "\t</config>\n"
    "</fontconfig>\n";

const std::string kPolicy =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD polkit Policy Configuration 1.0//EN\"\r\n"
    " \"http://www.freedesktop.org/software/polkit/policyconfig-1.dtd\">\r\n"
    "<policyconfig>\r\n"
    "  <vendor>Example</vendor>\r\n"
    "  <action id='org.example.run'>\r\n"
    "    <description>Run it</description>\r\n"
    "    <defaults>\r\n"
    "      <allow_any>no</allow_any>\r\n"
    "    </defaults>\r\n"
    "  </action>\r\n"
    "</policyconfig>\r\n";

const std::string kBus =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <policy user=\"root\">\n"
    "    <allow own=\"org.example.Service\"/>\n"
    "  </policy>\n"
    "  <policy context=\"default\">\n"
    "    <deny own=\"org.example.Service\"/>  <allow send_destination=\"org.example.Service\"/>\n"
    "  </policy>\n"
    "</busconfig>\n";

const std::string kMime =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <mime-type type=\"text/x-menu\">\n"
    "    <comment>caf\xE9 menu</comment>\n"
    "    <glob pattern=\"*.menu\"/>\n"
    "  </mime-type>\n"
    "</mime-info>\n";

std::string Narrow(const char* encoding, const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"" + std::string(encoding) + "\"?>\n<city>\n  <name>" + body +
         "</name>\n  <!-- " + body + " -->\n  <note><![CDATA[" + body + "]]></note>\n</city>\n";
}

struct RealEdit {
  const char* label;
  std::string document;
  std::vector<std::string> args;  // after the command and the file
  std::string before, after;      // a piece of the document and what it becomes
};

class RealFiles : public ::testing::TestWithParam<RealEdit> {};

TEST_P(RealFiles, EditedInPlaceByteForByte) {
  const RealEdit& c = GetParam();
  ScratchDir dir;
  const std::string file = dir.Write("file.xml", c.document);
  std::vector<std::string> args = c.args;
  args.insert(args.begin() + 1, file);
  args.push_back("-i");
  const ToolRun run = RunTool(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string expected = c.document;
  const size_t at = expected.find(c.before);
  ASSERT_NE(at, std::string::npos);
  expected.replace(at, c.before.size(), c.after);
  EXPECT_EQ(ReadFile(file), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealFiles,
    ::testing::Values(
        RealEdit{"FontsValue", kFonts, {"set", "cachedir", "/x"}, "/var/cache/fontconfig", "/x"},
        RealEdit{"FontsNewDirAfterTheLastDir", kFonts, {"set", "dir[3]", "/opt/fonts"},
                 "\"xdg\">fonts</dir>\n", "\"xdg\">fonts</dir>\n\t<dir>/opt/fonts</dir>\n"},
        RealEdit{"FontsDelete", kFonts, {"del", "dir[2]"}, "\t<dir prefix=\"xdg\">fonts</dir>\n", ""},
        RealEdit{"PolicyAttribute", kPolicy, {"set", "action/@id", "org.example.'go'"},
                 "'org.example.run'", "'org.example.&apos;go&apos;'"},
        RealEdit{"PolicyNested", kPolicy, {"set", "action/defaults/allow_active", "yes"},
                 "      <allow_any>no</allow_any>\r\n",
                 "      <allow_any>no</allow_any>\r\n      <allow_active>yes</allow_active>\r\n"},
        RealEdit{"BusDeleteBesideAnother", kBus, {"del", "policy[2]/deny"},
                 "<deny own=\"org.example.Service\"/>  ", ""},
        RealEdit{"MimeLatin1", kMime, {"set", "mime-type/comment", "th\xC3\xA9 \xE2\x82\xAC"},
                 "caf\xE9 menu", "th\xE9 &#x20ac;"},
        RealEdit{"Windows1251", Narrow("windows-1251", "\xCC\xEE\xF1\xEA\xE2\xE0"),
                 {"set", "name", "\xD0\xA2\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C"},  // Тверь
                 "<name>\xCC\xEE\xF1\xEA\xE2\xE0", "<name>\xD2\xE2\xE5\xF0\xFC"},
        RealEdit{"Koi8r", Narrow("koi8-r", "\xED\xCF\xD3\xCB\xD7\xC1"),
                 {"set", "note", "\xD0\xA2\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C"},
                 "[\xED\xCF\xD3\xCB\xD7\xC1]", "[\xF4\xD7\xC5\xD2\xD8]"},
        RealEdit{"ShiftJisCdata", Narrow("Shift_JIS", "\x93\x8C\x8B\x9E"),
                 {"set", "note", "\xE5\xA4\xA7\xE9\x98\xAA"},  // 大阪
                 "[\x93\x8C\x8B\x9E]", "[\x91\xE5\x8D\xE3]"},
        RealEdit{"EucJp", Narrow("EUC-JP", "\xC5\xEC\xB5\xFE"),
                 {"set", "name", "\xE5\xA4\xA7\xE9\x98\xAA"},
                 "<name>\xC5\xEC\xB5\xFE", "<name>\xC2\xE7\xBA\xE5"},
        RealEdit{"Big5TrailBytesInAscii", Narrow("Big5", "\xA5x\xA5_"),
                 {"set", "note", "\xE9\xAB\x98\xE9\x9B\x84"},  // 高雄
                 "[\xA5x\xA5_]", "[\xB0\xAA\xB6\xAF]"},
        RealEdit{"Gb2312", Narrow("GB2312", "\xD6\xD0\xCE\xC4"),
                 {"set", "name", "\xE6\x97\xA5\xE6\x9C\xAC \xE1\x83\x90"},
                 "<name>\xD6\xD0\xCE\xC4", "<name>\xC8\xD5\xB1\xBE &#x10d0;"},
        RealEdit{"UnknownEncodingKeptAscii", Narrow("x-no-such", "\xE9t\xE9"),
                 {"set", "name", "\xC3\xA9t\xC3\xA9"}, "<name>\xE9t\xE9", "<name>&#xe9;t&#xe9;"}),
    [](const ::testing::TestParamInfo<RealEdit>& info) { return std::string(info.param.label); });

// A CDATA section cannot hold a character reference: a value with a
// character the encoding lacks is refused, naming it, on every output.
TEST(RealFiles, CdataThatCannotHoldTheValueSaysWhich) {
  ScratchDir dir;
  const std::string original = Narrow("Shift_JIS", "\x93\x8C\x8B\x9E");
  const std::string file = dir.Write("file.xml", original);
  for (const std::vector<std::string>& output :
       {std::vector<std::string>{"-i"}, {"-o", dir / "out.xml"}, {}}) {
    std::vector<std::string> args{"set", file, "note", "caf\xC3\xA9"};
    args.insert(args.end(), output.begin(), output.end());
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("U+00E9"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(file), original);
  EXPECT_TRUE(ReadFile(dir / "out.xml").empty());
}

// Memory, not time, bounds the edit: far less address space than a
// quadratic edit of a file nested 100,000 deep would take.
TEST(RealFiles, DeepFileEditsInBoundedMemory) {
  ScratchDir dir;
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  deep += "<v>1</v>";
  for (int i = 0; i < 100000; ++i) deep += "</a>";
  const std::string file = dir.Write("deep.xml", deep);
  ToolOptions limited;
  // A sanitized build cannot run under any address-space limit; it still
  // checks the edit, and the plain build checks the bound.
  if (!kAddressSanitized) limited.addressSpaceKiB = 400000;
  const ToolRun run = RunTool({"set", file, "w", "2", "-i"}, limited);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string expected = deep;
  expected.insert(expected.size() - 4, "<w>2</w>");
  EXPECT_EQ(ReadFile(file), expected);
}

}  // namespace
}  // namespace kelmo_test
