// Where the tool's writes go: a private file's new content is never open to
// others, a descriptor link is written through, and a file rewritten in
// place is reported.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "tool/tool_runner.h"

namespace kelmo_test {
namespace {

// Every edit command on a mode-600 file: the probe preloaded into the tool
// sees each write of a regular file, and none is to a file that others may
// read.
TEST(SaveTargets, PrivateFilesStayPrivateWhileWritten) {
  const std::vector<std::vector<std::string>> edits = {
      {"set", "FILE", "b", "2", "-i"},
      {"del", "FILE", "b", "-i"},
      {"fmt", "FILE", "-i"},
  };
  for (std::vector<std::string> args : edits) {
    SCOPED_TRACE(args[0]);
    ScratchDir dir;
    const std::string file = dir.Write("secret.xml", "<a><b>1</b></a>");
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    args[1] = file;
    const std::string log = dir / "probe.log";
    ToolOptions options;
    options.extraEnv = {std::string("LD_PRELOAD=") + KELMO_WRITE_PROBE_PATH,
                        "KELMO_WRITE_PROBE_LOG=" + log};
    if (kAddressSanitized) {
      const char* asan = std::getenv("ASAN_OPTIONS");
      options.extraEnv.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                                 ":verify_asan_link_order=0");
    }
    const ToolRun run = RunTool(args, options);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string modes = ReadFile(log);
    ASSERT_FALSE(modes.empty()) << "the probe saw no write";
    for (size_t at = 0; at < modes.size(); at = modes.find('\n', at) + 1)
      EXPECT_EQ(modes.substr(at, modes.find(' ', at) - at), "600") << modes;
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
  }
}

// -o /dev/stdout with standard output in a file, truncated or appended to:
// the document lands in the stream, and nothing the file held is lost.
TEST(SaveTargets, StandardOutputLinksAreWrittenThrough) {
  ScratchDir dir;
  const std::string input = dir.Write("in.xml", "<a><b>1</b></a>");
  for (const std::string target : {"/dev/stdout", "/proc/self/fd/1"}) {
    for (const std::string redirect : {">", ">>"}) {
      SCOPED_TRACE(target + " " + redirect);
      const std::string out = dir.Write("out.txt", "earlier\n");
      const std::string command = std::string("{ echo before; '") + KELMO_TOOL_PATH + "' set '" +
                                  input + "' b 2 -o " + target + "; echo after; } " + redirect +
                                  " '" + out + "'";
      ASSERT_EQ(std::system(command.c_str()), 0);
      EXPECT_EQ(ReadFile(out),
                (redirect == ">>" ? "earlier\n" : "") + std::string("before\n<a><b>2</b></a>after\n"));
    }
  }
}

// A file with a second hard link cannot be replaced by a new file, so it is
// written where it is, and the user is told what a crash would have left.
TEST(SaveTargets, InPlaceWritesAreNoted) {
  ScratchDir dir;
  const std::string file = dir.Write("a.xml", "<a><b>1</b></a>");
  ASSERT_EQ(link(file.c_str(), (dir / "b.xml").c_str()), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"set", file, "b", "2", "-i"}, {"fmt", file, "-i"}}) {
    SCOPED_TRACE(args[0]);
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "kelmo: note: " + file +
                           " was rewritten in place, not through a new file (it has other hard "
                           "links, or no file can be made in its directory); a crash while "
                           "writing leaves such a file part new, part old\n");
    EXPECT_EQ(ReadFile(dir / "b.xml"), ReadFile(file));
  }
  const ToolRun replaced = RunTool({"set", dir.Write("c.xml", "<a/>"), "b", "1", "-i"});
  EXPECT_EQ(replaced.err, "");
}

}  // namespace
}  // namespace kelmo_test
