// Where the tool's writes go: a private file's new content is never open to
// others, a descriptor link is written through, and a file rewritten in
// place is reported.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/pipe_reader.h"
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

constexpr char kRewrittenInPlace[] =
    " was rewritten in place, not through a new file (it has other hard links, no file can be "
    "made in its directory, or it was named through another process's descriptor); a crash "
    "while writing leaves such a file part new, part old\n";

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
    EXPECT_EQ(run.err, "kelmo: note: " + file + kRewrittenInPlace);
    EXPECT_EQ(ReadFile(dir / "b.xml"), ReadFile(file));
  }
  const ToolRun replaced = RunTool({"set", dir.Write("c.xml", "<a/>"), "b", "1", "-i"});
  EXPECT_EQ(replaced.err, "");
}

// The same note where no new file can be made beside the file: here a file
// system out of inodes, mounted in a private mount namespace (skipped where
// the test may not make one). The child reports through files outside it.
TEST(SaveTargets, InPlaceWritesAreNotedWhereNoFileCanBeMade) {
  ScratchDir dir;
  const std::string full = dir / "full";
  ASSERT_EQ(mkdir(full.c_str(), 0755), 0);
  const std::string file = full + "/a.xml";
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int status = 1;
    try {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("kelmo-test", full.c_str(), "tmpfs", 0, "size=1m,nr_inodes=8") != 0)
        _exit(77);
      dir.Write("full/a.xml", "<a><b>1</b></a>");
      for (int i = 0; creat((full + "/filler" + std::to_string(i)).c_str(), 0600) >= 0; ++i) {
      }
      const ToolRun run = RunTool({"set", file, "b", "2", "-i"});
      dir.Write("err.txt", run.err);
      dir.Write("after.xml", ReadFile(file));
      status = run.exitCode;
    } catch (...) {
    }
    _exit(status);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot mount a private file system here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(dir / "err.txt"), "kelmo: note: " + file + kRewrittenInPlace);
  EXPECT_EQ(ReadFile(dir / "after.xml"), "<a><b>2</b></a>");
}

// -o into a named pipe: a reader that reads to the end gets the document; one
// that stops early, or none at all, fails the command with a reason. Neither
// waits for ever nor ends the tool with SIGPIPE.
TEST(SaveTargets, NamedPipesFailUnlessTheReaderTakesEverything) {
  struct Case {
    const char* label;
    bool reader;
    size_t limit;
    bool written;
  };
  const Case cases[] = {
      {"reads everything", true, size_t(1) << 30, true},
      {"stops early", true, 100, false},
      {"never opens", false, 0, false},
  };
  ScratchDir dir;
  std::string document = "<r>";
  for (int i = 0; i < 20000; ++i) document += "<item>" + std::to_string(i) + "</item>";
  const std::string input = dir.Write("in.xml", document + "</r>");
  const std::string fifo = dir / "pipe";
  const ToolRun expected = RunTool({"fmt", input});
  ASSERT_EQ(expected.exitCode, 0) << expected.err;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::unique_ptr<PipeReader> reader;
    if (c.reader) reader = std::make_unique<PipeReader>(fifo, c.limit);
    const ToolRun run = RunTool({"fmt", input, "-o", fifo});
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, c.written ? 0 : 1) << run.err;
    if (!c.written) {
      EXPECT_EQ(run.err, "kelmo: cannot write " + fifo +
                             ": it is a named pipe that no reader had open, or whose reader "
                             "closed it before reading everything\n");
    }
    if (reader) {
      const std::string got = reader->Finish();
      if (c.written) {
        EXPECT_TRUE(got == expected.out) << "read " << got.size() << " of " << expected.out.size();
      }
    }
    unlink(fifo.c_str());
  }
}

}  // namespace
}  // namespace kelmo_test
