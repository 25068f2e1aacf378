// kelmo set and del change only the bytes of what they change; ls and
// get --all list; fmt refuses to drop what it cannot write.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tool/sample_documents.h"
#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

// A document with everything a rewrite would lose: a declaration without a
// BOM, a DOCTYPE, comments, a processing instruction, multi-line text, CRLF
// line ends, tab indentation and single quotes.
const std::string kRich =
    "<?xml version=\"1.0\"?>\r\n"
    "<!DOCTYPE conf SYSTEM \"conf.dtd\">\r\n"
    "<!-- keep me -->\r\n"
    "<conf>\r\n"
    "\t<server port='80'   host=\"a\"><?hint x?>\r\n"
    "\t\t<name> primary </name>\r\n"
    "\t</server>\r\n"
    "\t<cert>\r\n"
    "\t\tMIIB\r\n"
    "\t\tAAAA\r\n"
    "\t</cert>\r\n"
    "\t<empty/>\r\n"
    "</conf>\r\n";

struct EditCase {
  const char* label;
  std::vector<std::string> args;  // after the command and the file
  std::string before, after;      // a piece of kRich and what it becomes
};

class EditInPlace : public ::testing::TestWithParam<EditCase> {};

TEST_P(EditInPlace, ChangesOnlyWhatWasAsked) {
  const EditCase& c = GetParam();
  ScratchDir dir;
  const std::string file = dir.Write("conf.xml", kRich);
  std::vector<std::string> args = c.args;
  args.insert(args.begin() + 1, file);
  args.push_back("-i");
  const ToolRun run = RunTool(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string expected = kRich;
  const size_t at = expected.find(c.before);
  ASSERT_NE(at, std::string::npos);
  expected.replace(at, c.before.size(), c.after);
  EXPECT_EQ(ReadFile(file), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditInPlace,
    ::testing::Values(
        EditCase{"Value", {"set", "server/name", "backup"}, "<name> primary </name>", "<name> backup </name>"},
        EditCase{"Attribute", {"set", "server/@port", "8'1", "--as", "string"},
                 "port='80'", "port='8&apos;1'"},
        EditCase{"Escaped", {"set", "server/name", " a<b "}, "<name> primary </name>",
                 "<name> &#x20;a&lt;b&#x20; </name>"},
        EditCase{"MultiLineText", {"set", "cert", "NEW"}, "\r\n\t\tMIIB\r\n\t\tAAAA\r\n\t</cert>",
                 "\r\n\t\tNEW\r\n\t</cert>"},
        EditCase{"SelfClosing", {"set", "empty", "1"}, "<empty/>", "<empty>1</empty>"},
        EditCase{"NewAttribute", {"set", "server/@tls", "yes", "--as", "bool"}, "host=\"a\"",
                 "host=\"a\"   tls=\"1\""},
        // Only what must be escaped is: in text "&", "<" and ">" after "]]";
        // in an attribute value "&", "<" and the quote around it.
        EditCase{"TextKeepsQuotes", {"set", "server/name", "'12h' \"x\""}, "<name> primary </name>",
                 "<name> '12h' \"x\" </name>"},
        EditCase{"TextEscapesMarkupOnly", {"set", "server/name", "a>b ]]> & <c>"},
                 "<name> primary </name>", "<name> a>b ]]&gt; &amp; &lt;c> </name>"},
        EditCase{"SingleQuotedAttribute", {"set", "server/@port", "say \"hi\" & 'x' <y>"},
                 "port='80'", "port='say \"hi\" &amp; &apos;x&apos; &lt;y>'"},
        EditCase{"DoubleQuotedAttribute", {"set", "server/@host", "it's \"a\" ]]>"}, "host=\"a\"",
                 "host=\"it's &quot;a&quot; ]]>\""},
        EditCase{"NewAttributeKeepsApostrophe", {"set", "server/@note", "it's"}, "host=\"a\"",
                 "host=\"a\"   note=\"it's\""},
        EditCase{"NewElements", {"set", "log/file/@level", "debug"}, "\t<empty/>\r\n",
                 "\t<empty/>\r\n\t<log>\r\n\t\t<file level=\"debug\"/>\r\n\t</log>\r\n"},
        EditCase{"IntoSelfClosing", {"set", "empty/x", "1"}, "<empty/>",
                 "<empty>\r\n\t\t<x>1</x>\r\n\t</empty>"},
        EditCase{"DeleteElement", {"del", "cert"}, "\r\n\t<cert>\r\n\t\tMIIB\r\n\t\tAAAA\r\n\t</cert>", ""},
        EditCase{"DeleteAttribute", {"del", "server/@port"}, " port='80'", ""}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.label); });

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

// Files as they come on a system: a set changes exactly one line.
TEST(EditRealFiles, OneValueChangesOneLine) {
  struct RealFile {
    std::string path, parameter;
  };
  const std::vector<RealFile> files = {
      {KELMO_SOURCE_DIR "/examples/data/settings.xml", "display/units"},
      {"/etc/fonts/fonts.conf", "cachedir"},
      {"/usr/share/mime/packages/freedesktop.org.xml", "mime-type[3]/comment"}};
  int tried = 0;
  for (const RealFile& real : files) {
    const std::string original = ReadFile(real.path);
    if (original.empty()) continue;  // not installed here
    ++tried;
    ScratchDir dir;
    const std::string copy = dir.Write("copy.xml", original);
    ASSERT_EQ(RunTool({"set", copy, real.parameter, "edited value", "-i"}).exitCode, 0) << real.path;
    EXPECT_EQ(RunTool({"get", copy, real.parameter}).out, "edited value\n") << real.path;
    const std::vector<std::string> before = Lines(original), after = Lines(ReadFile(copy));
    ASSERT_EQ(before.size(), after.size()) << real.path;
    int changed = 0;
    for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
    EXPECT_EQ(changed, 1) << real.path;
  }
  EXPECT_GE(tried, 1);
}

TEST(EditEncoding, Utf16AndNarrowFilesKeepTheirBytes) {
  ScratchDir dir;
  std::string wide = "\xFF\xFE";
  for (char c : std::string("<a>\n <b>x</b><!-- c -->\n</a>")) wide += {c, '\0'};
  const std::string utf16 = dir.Write("w.xml", wide);
  ASSERT_EQ(RunTool({"set", utf16, "b", "y", "-i"}).exitCode, 0);
  std::string expected = wide;
  expected[2 + 2 * 8] = 'y';
  EXPECT_EQ(ReadFile(utf16), expected);

  // Characters a narrow encoding holds are written as themselves; only
  // those it cannot hold become references.
  const std::string gb = dir.Write(
      "gb.xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<a>\xD6\xD0</a><!--\xCE\xC4-->");
  ASSERT_EQ(RunTool({"set", gb, ".", "\xC3\xA9\xE4\xB8\xAD\xE1\x83\x90", "-i"}).exitCode, 0);
  EXPECT_EQ(ReadFile(gb),
            "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<a>\xA8\xA6\xD6\xD0&#x10d0;</a><!--\xCE\xC4-->");
  EXPECT_EQ(RunTool({"get", gb, "."}).out, "\xC3\xA9\xE4\xB8\xAD\xE1\x83\x90\n");
}

// In a code page, what an edit keeps from the text (an element's name,
// repeated in the end tag that a value or a child makes it need) is bytes
// of that page, and the names and values it writes are encoded into it
// once. A name such as <y E4 B8 AD> in Shift_JIS, whose bytes happen to be
// valid UTF-8, stays those bytes.
struct CodePageCase {
  const char* label;
  const char* encoding;
  std::string element, edited;    // the document element before and after
  std::vector<std::string> args;  // after the file
};

class EditCodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(EditCodePage, KeepsAndWritesNamesInThePage) {
  const CodePageCase& c = GetParam();
  const std::string declaration = std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?>";
  ScratchDir dir;
  const std::string file = dir.Write("page.xml", declaration + c.element);
  std::vector<std::string> args = {"set", file};
  args.insert(args.end(), c.args.begin(), c.args.end());
  args.push_back("-i");
  const ToolRun run = RunTool(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(file), declaration + c.edited);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditCodePage,
    ::testing::Values(
        CodePageCase{"ChildOfNameThatReadsAsUtf8", "shift_jis", "<y\xE4\xB8\xAD/>",
                     "<y\xE4\xB8\xAD><x:y>v</x:y></y\xE4\xB8\xAD>", {"x:y", "v"}},
        CodePageCase{"ValueOfNameThatReadsAsUtf8", "windows-1252", "<r\xC3\xA9/>",
                     "<r\xC3\xA9>v</r\xC3\xA9>", {".", "v"}},
        CodePageCase{"NewElementNamedOutsideAscii", "windows-1252", "<r/>",
                     "<r><\xE9t\xE9>\xE9</\xE9t\xE9></r>", {"\xC3\xA9t\xC3\xA9", "\xC3\xA9"}},
        CodePageCase{"NewAttributeNamedOutsideAscii", "windows-1252", "<r a='1'/>",
                     "<r a='1' \xE9='\xE9'/>", {"@\xC3\xA9", "\xC3\xA9"}},
        CodePageCase{"NewElementsInElementNamedOutsideAscii", "shift_jis", "<\x92\x86/>",
                     "<\x92\x86><\x93\xFA \x96\x7B=\"\x92\x86\"/></\x92\x86>",
                     {"\xE6\x97\xA5/@\xE6\x9C\xAC", "\xE4\xB8\xAD"}}),
    [](const ::testing::TestParamInfo<CodePageCase>& info) { return std::string(info.param.label); });

TEST(EditFailures, LeaveTheFileAlone) {
  ScratchDir dir;
  const std::string file = dir.Write("conf.xml", kRich);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"del", file, "nothing", "-i"}, {"del", file, ".", "-i"},
        {"set", file, "*/x", "1", "-i"}, {"del", file, "/other/x", "-i"}}) {
    const ToolRun run = RunTool(args);
    EXPECT_NE(run.exitCode, 0) << args[2];
    EXPECT_EQ(run.err.rfind("kelmo: ", 0) == 0 || run.err.rfind(file, 0) == 0, true) << run.err;
  }
  EXPECT_EQ(ReadFile(file), kRich);
}

// Where the reader would see the edited text otherwise than the edit does,
// the edit is refused, saying why: it keeps the first run of text as an
// element's value unless a CDATA section follows, and ends a DOCTYPE at its
// first '>'.
TEST(EditFailures, WouldReadOtherwise) {
  ScratchDir dir;
  const std::string mixed = "<r>\n  first<item/>second\n  <b>x</b>\n</r>\n";
  const std::string file = dir.Write("mixed.xml", mixed);
  struct Case {
    std::vector<std::string> args;
    const char* why;
  };
  const std::string cdata = dir.Write("cdata.xml", "<r>a<b/><![CDATA[c]]></r>");
  for (const Case& c : {Case{{"set", file, ".", "", "-i"}, "<r> holds more text after its value"},
                        Case{{"set", cdata, ".", "x", "-i"}, "<r> holds a CDATA section after other text"},
                        Case{{"del", file, "item", "-i"}, "the text on either side of <item> would join"}}) {
    const ToolRun run = RunTool(c.args);
    EXPECT_NE(run.exitCode, 0) << c.args[0];
    EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(file), mixed);
  EXPECT_EQ(ReadFile(cdata), "<r>a<b/><![CDATA[c]]></r>");
  // The reader ends a DOCTYPE at its first '>': an element hidden in a
  // quoted entity value is one to it.
  const std::string subset = "<!DOCTYPE a [<!ENTITY x \"a> <y/>\">]>\n<a>1</a>\n";
  const std::string hidden = dir.Write("subset.xml", subset);
  const ToolRun run = RunTool({"set", hidden, ".", "2", "-i"});
  EXPECT_NE(run.err.find("internal subset that the reader reads otherwise"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(hidden), subset);
  // Where the text before is not the value, the runs may join.
  const std::string later = dir.Write("later.xml", "<r>v<b/>x<item/>y</r>");
  ASSERT_EQ(RunTool({"del", later, "item", "-i"}).exitCode, 0);
  EXPECT_EQ(ReadFile(later), "<r>v<b/>xy</r>");
}

// A comment's end is sought after its opener, as the reader seeks it:
// "<!--->" opens a comment and does not close it.
TEST(EditInPlace, CommentEndOverlappingTheOpener) {
  ScratchDir dir;
  const std::string file = dir.Write("c.xml", "<!--->-->\n<r><a>1</a></r>\n");
  const ToolRun run = RunTool({"set", file, "a", "2", "-i"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(file), "<!--->-->\n<r><a>2</a></r>\n");
}

TEST(EditWrites, RefuseReadOnlyTargetsAndKeepHardLinks) {
  ScratchDir dir;
  const std::string locked = dir.Write("locked.xml", "<a><b>1</b></a>");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  const ToolRun refused = RunTool({"set", locked, "b", "2", "-i"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "kelmo: cannot write " + locked + ": it is read-only\n");
  EXPECT_EQ(ReadFile(locked), "<a><b>1</b></a>");
  chmod(locked.c_str(), 0644);

  const std::string file = dir.Write("a.xml", "<a><b>1</b></a>");
  ASSERT_EQ(link(file.c_str(), (dir / "b.xml").c_str()), 0);
  ASSERT_EQ(RunTool({"set", file, "b", "2", "-i"}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "b.xml"), "<a><b>2</b></a>");

  const ToolRun toDirectory = RunTool({"set", file, "b", "3", "-o", dir.path()});
  EXPECT_EQ(toDirectory.exitCode, 1);
  EXPECT_EQ(toDirectory.err, "kelmo: cannot write " + dir.path() + ": it is a directory\n");
}

TEST(Listing, LsAndGetAllPrintEveryMatch) {
  const ToolOptions input{kConfigXml, {}, {}, ""};
  const ToolRun ls = RunTool({"ls", "-", "server"}, input);
  EXPECT_EQ(ls.exitCode, 0) << ls.err;
  EXPECT_EQ(ls.out.substr(0, ls.out.find('\n', ls.out.find('\n') + 1) + 1),
            "port: attribute, string = \"8080\"\nhost: attribute, string = \"example.org\"\n");
  EXPECT_EQ(RunTool({"get", "-", "users/user", "--all"}, input).out, "ann\nbob\n\xC3\xA9lise\n");
  EXPECT_EQ(RunTool({"get", "-", "*/*/@*"}, input).out, "3\n");
  EXPECT_EQ(RunTool({"get", "-", "*/@*"}, input).out, "8080\nexample.org\n");
  EXPECT_EQ(RunTool({"get", "-", "users/*[2]"}, input).out, "bob\n");
  EXPECT_EQ(RunTool({"get", "-", "nothing/*"}, input).exitCode, 1);
  EXPECT_EQ(RunTool({"ls", "-", "nothing"}, input).exitCode, 1);
  for (const char* command : {"del", "ls"}) {
    const ToolRun help = RunTool({command, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind(std::string("Usage: kelmo ") + command, 0), 0u) << help.out;
  }
}

// Re-indenting keeps all of these; a change of encoding rewrites from the
// tree, which would not.
TEST(FmtRefuses, WhatAChangeOfEncodingWouldDrop) {
  struct Case {
    std::string document, named;
  };
  for (const Case& c : {Case{kRich, "<stdin>:2:1: a DOCTYPE"},
                        Case{"<a><?p?></a>", "<stdin>:1:4: a processing instruction"},
                        Case{"<a>\xC3\xA9x<b/></a>", "<stdin>:1:1: text beside other content in <a>"},
                        Case{"<a>\n \xE4\xB8\xAD<b>x\ny</b></a>", "<stdin>:2:3: text with line breaks in <b>"}}) {
    const ToolRun run = RunTool({"fmt", "-", "--encoding", "iso-8859-1"}, {c.document, {}, {}, ""});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(c.named + " would be lost", 0), 0u) << run.err;
    EXPECT_EQ(RunTool({"fmt", "-", "--encoding", "iso-8859-1", "--drop"}, {c.document, {}, {}, ""}).exitCode, 0);
  }
}

TEST(FmtRefuses, IndentationThatWouldBlowUp) {
  const size_t depth = 100000;
  std::string deep;
  for (size_t i = 0; i < depth; ++i) deep += "<a>";
  for (size_t i = 0; i < depth; ++i) deep += "</a>";
  const ToolRun run = RunTool({"fmt", "-"}, {deep, {}, {}, ""});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("use --indent '' for none"), std::string::npos) << run.err;
  EXPECT_EQ(RunTool({"fmt", "-", "--indent", ""}, {deep, {}, {}, ""}).exitCode, 0);
}

}  // namespace
}  // namespace kelmo_test
