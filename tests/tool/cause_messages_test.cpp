// Messages that point at the cause: what a document that ends too early left
// open and where it began, entities from a DTD, and values read from bytes
// that did not decode.
#include <gtest/gtest.h>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

TEST(CauseMessages, PointAtWhatIsLeftOpen) {
  const struct {
    const char* document;
    std::string message;  // after "FILE:"
    const char* caret;    // the excerpt
  } cases[] = {
      {"<a>\n<b x=\"1\" y=\"2>text</b>\n</a>\n",
       "2:10: the document ends too early: the value of attribute \"y\" in <b> is never closed: its quote (\") has "
       "no partner (error 13)",
       "    <b x=\"1\" y=\"2>text</b>\n             ^\n"},
      {"<r>\n  <a v='x>\n</r>\n", "2:6: the document ends too early: the value of attribute \"v\"", nullptr},
      {"<config>\n  <server>\n    <port>80</port>\n", "2:3: the document ends too early: element <server> is never closed",
       "      <server>\n      ^\n"},
      {"<r><!-- note\n</r>\n", "1:4: the document ends too early: a comment never ends (error 13)", nullptr},
      {"<r><![CDATA[x</r>", "1:4: the document ends too early: a CDATA section never ends", nullptr},
      {"<r a=\"1\"", "1:1: the document ends too early: the start tag <r> never ends", nullptr},
      {"<r>&amp", "1:4: the document ends too early: a reference never ends", nullptr},
      {"<!DOCTYPE x [<!ENTITY ver \"1.0\">]>\n<x>&ver;</x>\n",
       "2:8: bad character or entity reference; entities declared in a DTD are not read, only &lt; &gt; &amp; &apos; "
       "&quot; and character references (error 5)",
       nullptr},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string file = dir.Write("broken.xml", c.document);
    const ToolRun run = RunTool({"check", file});
    EXPECT_EQ(run.exitCode, 1) << c.document;
    EXPECT_NE(run.err.find(file + ":" + c.message), std::string::npos) << run.err;
    if (c.caret) {
      EXPECT_NE(run.err.find(c.caret), std::string::npos) << run.err;
    }
  }
}

// Bytes that did not decode became U+FFFD in what get prints: a warning,
// and a failure under --strict.
TEST(CauseMessages, GetWarnsOfRepairedValues) {
  ScratchDir dir;
  const std::string file =
      dir.Write("latin1.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<c><city>M\xFCnchen</city></c>\n");
  for (const bool strict : {false, true}) {
    std::vector<std::string> args{"get", file, "city"};
    if (strict) args.push_back("--strict");
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, strict ? 1 : 0) << run.err;
    EXPECT_EQ(run.out, "M\xEF\xBF\xBDnchen\n");
    EXPECT_EQ(run.err.rfind(file + ":2:11: warning: bytes that are not valid utf-8 became U+FFFD\n", 0), 0u)
        << run.err;
  }
}

}  // namespace
}  // namespace kelmo_test
