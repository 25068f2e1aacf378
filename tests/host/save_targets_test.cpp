// Where a save writes, and what it refuses to write: the new file's mode
// while it is written, descriptor links, and layout strings.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/host_library.h"
#include "host/scratch_dir.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "host/child_process.h"
#include "support/pipe_reader.h"
#endif

using kelmo::Kelmo;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
#if !defined(_WIN32)
using kelmo_test::PipeReader;
#endif
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;

namespace {

// <r><x>hi</x></r>
RefPtr<Kelmo> SmallTree(ModuleScope& m) {
  RefPtr<Kelmo> r = m->CreateNodeA("r", kelmo::kWholeText, kelmo::kCodePageUtf8);
  RefPtr<Kelmo> x = m->CreateNodeA("x", kelmo::kWholeText, kelmo::kCodePageUtf8);
  x->SetStringA("hi", kelmo::kWholeText, kelmo::kCodePageUtf8);
  r->AppendChild(x);
  return r;
}

const char kSavedSmallTree[] = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>\n  <x>hi</x>\n</r>\n";

// Only the characters that the parser drops between markup may lay out a
// document; anything else fails every way of writing it.
TEST(SaveLayoutTest, OnlyWhiteSpaceLaysOutTheText) {
  struct Case {
    const char* indent;
    const char* newline;
    bool writes;
  };
  const Case cases[] = {
      {"  ", "\n", true},  {"\t", "\r\n", true}, {"", "", true},      {" \r", "\t", true},
      {"--", "\n", false}, {"<x>", "\n", false}, {"\t", "&", false}, {"</r>", "", false},
      {"  ", "\n<!-- -->", false}, {"\xC2\xA0", "\n", false},
  };
  ModuleScope m;
  RefPtr<Kelmo> tree = SmallTree(m);
  ScratchDir dir;
  const std::string file = dir.File("keep.xml").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("indent \"") + c.indent + "\", newline \"" + c.newline + "\"");
    WriteBytes(file, "old");
    const bool saved = m->CreateTraversal()->SaveFileA(tree, file.c_str(), c.indent, c.newline,
                                                       nullptr, kelmo::kCodePageUtf8);
    RefPtr<XInRes> holder;
    unsigned int wideLength = 0, narrowLength = 0;
    m->CreateTraversal()->ToXmlW(tree, &wideLength, W(U16(c.indent)), W(U16(c.newline)), holder);
    m->CreateTraversal()->ToXmlA(tree, &narrowLength, c.indent, c.newline, kelmo::kCodePageUtf8,
                                 holder);
    EXPECT_EQ(saved, c.writes);
    EXPECT_EQ(wideLength != 0, c.writes);
    EXPECT_EQ(narrowLength != 0, c.writes);
    if (!c.writes) {
      EXPECT_EQ(ReadBytes(file), "old");
      continue;
    }
    RefPtr<kelmo::KelmoParser> parser = m->CreateParser();
    ASSERT_TRUE(parser->ParseFileA(file.c_str())) << parser->GetErrorCode();
    EXPECT_EQ(parser->GetRoot()->GetFirstChild()->GetFirstChild()->GetType(),
              static_cast<int>(kelmo::ValueType::String));
    EXPECT_TRUE(parser->GetRoot()->GetFirstChild()->IsEmpty());
  }
}

#if !defined(_WIN32)

// The modes that the probe linked into this program saw at each write of a
// regular file while body ran.
std::vector<std::string> ModesWhileWriting(const ScratchDir& dir, const std::function<void()>& body) {
  const std::string log = dir.File("probe.log").string();
  ::setenv("KELMO_WRITE_PROBE_LOG", log.c_str(), 1);
  body();
  ::unsetenv("KELMO_WRITE_PROBE_LOG");
  std::vector<std::string> modes;
  const std::string text = ReadBytes(log);
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    modes.push_back(text.substr(at, text.find(' ', at) - at));
    at = end + 1;
  }
  std::remove(log.c_str());
  return modes;
}

std::string Octal(mode_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(mode));
  return text;
}

// No one but the owner can read the new content of a private file at any
// moment: the new file has the old one's mode before its first byte.
TEST(SaveModeTest, NewContentHasTheFinalModeFromItsFirstByte) {
  struct Case {
    int existingMode;  // -1: no file yet
    mode_t umask;
    mode_t expected;
  };
  const Case cases[] = {
      {0600, 022, 0600}, {0640, 022, 0640}, {0644, 077, 0644}, {0604, 0, 0604},
      {-1, 022, 0644},   {-1, 077, 0600},
  };
  ModuleScope m;
  RefPtr<Kelmo> tree = SmallTree(m);
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + Octal(c.existingMode) + ", umask " + Octal(c.umask));
    ScratchDir dir;
    const std::string file = dir.File("secret.xml").string();
    if (c.existingMode >= 0) {
      WriteBytes(file, "old");
      ::chmod(file.c_str(), static_cast<mode_t>(c.existingMode));
    }
    const mode_t before = ::umask(c.umask);
    bool saved = false;
    const std::vector<std::string> modes = ModesWhileWriting(dir, [&] {
      saved = m->CreateTraversal()->SaveFileA(tree, file.c_str(), "  ", "\n", nullptr,
                                              kelmo::kCodePageUtf8);
    });
    ::umask(before);
    ASSERT_TRUE(saved);
    ASSERT_FALSE(modes.empty()) << "the probe saw no write";
    for (const std::string& mode : modes) EXPECT_EQ(mode, Octal(c.expected));
    struct stat info;
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.expected);
    EXPECT_EQ(ReadBytes(file), kSavedSmallTree);
    // Nothing but the file (and the probe's log, removed) is left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
  }
}

// A save killed while it writes leaves the old file as it was and nothing
// beside it: the new file has no name until it is complete.
TEST(SaveModeTest, AKilledSaveLeavesNothingBehind) {
  ModuleScope m;
  RefPtr<Kelmo> tree = SmallTree(m);
  for (const bool exists : {true, false}) {
    SCOPED_TRACE(exists ? "replacing a file" : "making a new file");
    ScratchDir dir;
    const std::string file = dir.File("a.xml").string();
    if (exists) WriteBytes(file, "old");
    const int status = kelmo_test::RunInChild([&] {
      ::setenv("KELMO_WRITE_PROBE_KILL", "1", 1);
      m->CreateTraversal()->SaveFileA(tree, file.c_str(), "  ", "\n", nullptr, kelmo::kCodePageUtf8);
      return 0;
    });
    EXPECT_EQ(status, -1) << "the save was not killed";
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, exists ? std::vector<std::string>{"a.xml"} : std::vector<std::string>{});
    if (exists) {
      EXPECT_EQ(ReadBytes(file), "old");
    }
  }
}

// A descriptor link names an open descriptor: the document goes through it,
// between what the process wrote before and after, whether the descriptor
// truncated its file or appends to it.
TEST(SaveTargetTest, DescriptorLinksAreWrittenThroughTheDescriptor) {
  ModuleScope m;
  RefPtr<Kelmo> tree = SmallTree(m);
  ScratchDir dir;
  const std::string link = dir.File("out-link").string();
  ASSERT_EQ(::symlink("/dev/stdout", link.c_str()), 0);
  const std::string body = std::string("before\n") + kSavedSmallTree + "after\n";
  for (const std::string& path : {std::string("/dev/stdout"), std::string("/proc/self/fd/1"),
                                  std::string("/dev/fd/1"), link}) {
    for (const bool append : {false, true}) {
      SCOPED_TRACE(path + (append ? " appending" : " truncating"));
      const std::string out = dir.File("out.txt").string();
      WriteBytes(out, "earlier\n");
      const int status = kelmo_test::RunInChild([&] {
        const int fd = ::open(out.c_str(), O_WRONLY | (append ? O_APPEND : O_TRUNC));
        if (fd < 0 || ::dup2(fd, 1) != 1) return 2;
        if (::write(1, "before\n", 7) != 7) return 2;
        const bool saved = m->CreateTraversal()->SaveFileA(tree, path.c_str(), "  ", "\n", nullptr,
                                                           kelmo::kCodePageUtf8);
        if (::write(1, "after\n", 6) != 6) return 2;
        return saved ? 0 : 1;
      });
      EXPECT_EQ(status, 0);
      EXPECT_EQ(ReadBytes(out), (append ? "earlier\n" : "") + body);
    }
  }
}

// A named pipe is written through the one descriptor the save opens, write
// only. The save succeeds only when its reader took every byte; a reader that
// stops early, or none at all, fails it: the save neither hangs (a watchdog
// would end the child) nor lets SIGPIPE end the process.
TEST(SaveTargetTest, NamedPipesSucceedOnlyWhenTheReaderTakesEverything) {
  struct Case {
    const char* label;
    bool reader;
    size_t limit;  // bytes the reader takes before it closes
    bool big;      // larger than a pipe holds
    bool saved;
  };
  const size_t all = size_t(1) << 30;
  const Case cases[] = {
      {"reads all of a small document", true, all, false, true},
      {"reads all of a large document", true, all, true, true},
      {"stops early in a small document", true, 10, false, false},
      {"stops early in a large document", true, 100, true, false},
      {"never opens", false, 0, false, false},
  };
  ModuleScope m;
  RefPtr<Kelmo> small = SmallTree(m);
  RefPtr<Kelmo> big = m->CreateNodeA("r", kelmo::kWholeText, kelmo::kCodePageUtf8);
  for (int i = 0; i < 20000; ++i) {
    RefPtr<Kelmo> item = m->CreateNodeA("item", kelmo::kWholeText, kelmo::kCodePageUtf8);
    item->SetStringA(std::to_string(i).c_str(), kelmo::kWholeText, kelmo::kCodePageUtf8);
    big->AppendChild(item);
  }
  ScratchDir dir;
  const std::string fifo = dir.File("pipe").string();
  const std::string file = dir.File("file.xml").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RefPtr<Kelmo> tree = c.big ? big : small;
    auto save = [&](const std::string& path) {
      return m->CreateTraversal()->SaveFileA(tree, path.c_str(), "  ", "\n", nullptr,
                                             kelmo::kCodePageUtf8);
    };
    ASSERT_TRUE(save(file));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::unique_ptr<PipeReader> reader;
    if (c.reader) reader = std::make_unique<PipeReader>(fifo, c.limit);
    const int status = kelmo_test::RunInChild([&] {
      if (reader) ::close(reader->fd());
      ::alarm(120);
      return save(fifo) ? 0 : 1;
    });
    EXPECT_EQ(status, c.saved ? 0 : 1) << "-1: the save was killed (SIGPIPE, or hung until the watchdog)";
    if (reader) {
      const std::string got = reader->Finish();
      const std::string sent = ReadBytes(file);
      if (c.saved) {
        EXPECT_TRUE(got == sent) << "read " << got.size() << " of " << sent.size() << " bytes";
      }
    }
    ::unlink(fifo.c_str());
  }
}

#endif  // !_WIN32

}  // namespace
