// kelmo tree: the outline of a document.
#include <gtest/gtest.h>

#include <algorithm>

#include "tool/sample_documents.h"
#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

TEST(Tree, OutlinesKindsTypesAndValues) {
  const ToolRun run = RunTool({"tree", "-"}, {kConfigXml, {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "config: element, empty\n"
            "  version: attribute, string = \"2\"\n"
            "  server: element, empty\n"
            "    port: attribute, string = \"8080\"\n"
            "    host: attribute, string = \"example.org\"\n"
            "    name: element, string = \"primary\"\n"
            "    retries: element, string = \"0x1F\"\n"
            "    ratio: element, string = \"0.75\"\n"
            "    enabled: element, string = \"yes\"\n"
            "    port: element, string = \"9090\"\n"
            "  users: element, empty\n"
            "    user: element, string = \"ann\"\n"
            "    user: element, string = \"bob\"\n"
            "    user: element, string = \"\xC3\xA9lise\"\n"
            "      id: attribute, string = \"3\"\n"
            "  key: element, string = \"QUJD\"\n"
            "  script: cdata, string = \"a < b && c\"\n"
            "  blank: element, empty\n");
}

TEST(Tree, EscapesAndShortensValues) {
  const std::string doc = "<a><b><![CDATA[x\"y\\z\n\tq\x01]]></b><c>" + std::string(70, 'v') + "</c></a>";
  const ToolRun run = RunTool({"tree", "-"}, {doc, {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "a: element, empty\n"
            "  b: cdata, string = \"x\\\"y\\\\z\\n\\tq\\x01\"\n"
            "  c: element, string = \"" + std::string(60, 'v') + "...\"\n");
}

TEST(Tree, ShowsEveryTopLevelElement) {
  const ToolRun run = RunTool({"tree", "-"}, {"<a/><b/>", {}, {}, ""});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "a: element, empty\nb: element, empty\n");
}

TEST(Tree, DeepDocumentsCarryTheirDepth) {
  std::string deep;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) deep += "<n>";
  deep += "leaf";
  for (int i = 0; i < depth; ++i) deep += "</n>";
  const ToolRun run = RunTool({"tree", "-"}, {deep, {}, {}, ""});
  ASSERT_EQ(run.signal, 0);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), depth);
  EXPECT_NE(run.out.find("\n" + std::string(80, ' ') + "[depth 41] n: element, empty\n"), std::string::npos);
  const std::string last = std::string(80, ' ') + "[depth 99999] n: element, string = \"leaf\"\n";
  EXPECT_EQ(run.out.substr(run.out.size() - last.size()), last);
}

TEST(Tree, BrokenDocumentIsReported) {
  const ToolRun run = RunTool({"tree", "-"}, {"<a b='1' b></a>", {}, {}, ""});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("<stdin>:1:11: syntax error", 0), 0u) << run.err;
}

}  // namespace
}  // namespace kelmo_test
