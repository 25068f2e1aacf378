#include "os/safe_file_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace kelmo::os {
namespace {

#if !defined(_WIN32)

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

ByteRange Range(const std::string& bytes) {
  return ByteRange{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
}

class SafeFileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelmo-save-XXXXXX";
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& name : Entries()) std::remove((dir_ + "/" + name).c_str());
    ::rmdir(dir_.c_str());
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir_.c_str())) {
      while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      ::closedir(d);
    }
    return names;
  }

  std::string Path(const char* name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(SafeFileWriterTest, WritesAllPartsInOrderToANewFile) {
  const std::string bom = "\xEF\xBB\xBF", body = "<a/>\n";
  const ByteRange parts[] = {Range(bom), {nullptr, 0}, Range(body)};
  ASSERT_TRUE(ReplaceFileA(Path("new.xml").c_str(), parts, 3));
  EXPECT_EQ(ReadFile(Path("new.xml")), bom + body);
  EXPECT_EQ(Entries(), std::vector<std::string>{"new.xml"});
}

TEST_F(SafeFileWriterTest, NewFileGetsTheUsualPermissions) {
  const mode_t previous = ::umask(027);
  const std::string body = "x";
  const ByteRange part = Range(body);
  const bool ok = ReplaceFileA(Path("new.xml").c_str(), &part, 1);
  ::umask(previous);
  ASSERT_TRUE(ok);
  struct stat info;
  ASSERT_EQ(::stat(Path("new.xml").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(SafeFileWriterTest, ReplacingKeepsPermissionBits) {
  WriteFile(Path("old.xml"), "old content");
  ASSERT_EQ(::chmod(Path("old.xml").c_str(), 0604), 0);
  const std::string body = "new";
  const ByteRange part = Range(body);
  ASSERT_TRUE(ReplaceFileA(Path("old.xml").c_str(), &part, 1));
  EXPECT_EQ(ReadFile(Path("old.xml")), "new");
  struct stat info;
  ASSERT_EQ(::stat(Path("old.xml").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(SafeFileWriterTest, ReplacingThroughASymbolicLinkKeepsTheLink) {
  WriteFile(Path("real.xml"), "old");
  ASSERT_EQ(::symlink("real.xml", Path("link.xml").c_str()), 0);
  const std::string body = "new";
  const ByteRange part = Range(body);
  ASSERT_TRUE(ReplaceFileA(Path("link.xml").c_str(), &part, 1));
  struct stat info;
  ASSERT_EQ(::lstat(Path("link.xml").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadFile(Path("real.xml")), "new");
}

// Holds whoever runs the test, root included: the permission bits decide.
TEST_F(SafeFileWriterTest, ReadOnlyFileIsNotReplaced) {
  WriteFile(Path("locked.xml"), "old");
  ASSERT_EQ(::chmod(Path("locked.xml").c_str(), 0444), 0);
  const std::string body = "new";
  const ByteRange part = Range(body);
  EXPECT_FALSE(ReplaceFileA(Path("locked.xml").c_str(), &part, 1));
  EXPECT_EQ(ReadFile(Path("locked.xml")), "old");
  EXPECT_EQ(Entries().size(), 1u);
  ::chmod(Path("locked.xml").c_str(), 0644);
}

TEST_F(SafeFileWriterTest, HardLinksStayLinked) {
  WriteFile(Path("a.xml"), "old content");
  ASSERT_EQ(::link(Path("a.xml").c_str(), Path("b.xml").c_str()), 0);
  struct stat before;
  ASSERT_EQ(::stat(Path("a.xml").c_str(), &before), 0);
  const std::string body = "new";
  const ByteRange part = Range(body);
  ASSERT_TRUE(ReplaceFileA(Path("a.xml").c_str(), &part, 1));
  struct stat after;
  ASSERT_EQ(::stat(Path("a.xml").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 2u);
  EXPECT_EQ(ReadFile(Path("b.xml")), "new");
  EXPECT_EQ(Entries().size(), 2u);
}

// Ends the write with EFBIG once the file would grow past a few bytes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST_F(SafeFileWriterTest, FailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
  const std::string old = "<?xml version=\"1.0\"?>\n<old/>\n";
  WriteFile(Path("keep.xml"), old);
  const std::string big(64 * 1024, 'x');
  const ByteRange parts[] = {Range(old), Range(big)};
  bool ok = true;
  {
    FileSizeLimit limit(4096);
    ok = ReplaceFileA(Path("keep.xml").c_str(), parts, 2);
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadFile(Path("keep.xml")), old);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.xml"});
}

TEST_F(SafeFileWriterTest, MissingDirectoryOrDirectoryTargetFails) {
  const std::string body = "x";
  const ByteRange part = Range(body);
  EXPECT_FALSE(ReplaceFileA(Path("no/such/dir.xml").c_str(), &part, 1));
  ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
  EXPECT_FALSE(ReplaceFileA(Path("sub").c_str(), &part, 1));
  struct stat info;
  ASSERT_EQ(::stat(Path("sub").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(Entries(), std::vector<std::string>{"sub"});
  EXPECT_FALSE(ReplaceFileA(nullptr, &part, 1));
  EXPECT_FALSE(ReplaceFileW(nullptr, &part, 1));
}

TEST_F(SafeFileWriterTest, PipeIsWrittenInPlace) {
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  // The read end is open before the write, so the bytes wait in the pipe.
  const int readEnd = ::open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  const std::string body = "through the pipe";
  const ByteRange part = Range(body);
  EXPECT_TRUE(ReplaceFileA(Path("pipe").c_str(), &part, 1));
  char buffer[64] = {};
  const ssize_t got = ::read(readEnd, buffer, sizeof buffer);
  ::close(readEnd);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), body);
  struct stat info;
  ASSERT_EQ(::lstat(Path("pipe").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(SafeFileWriterTest, WidePathIsUtf8OnDisk) {
  const std::u16string name = u"/gr\u00fc\u00dfe-\u4e2d.xml";
  std::u16string wide(dir_.begin(), dir_.end());
  wide += name;
  const std::string body = "wide";
  const ByteRange part = Range(body);
  ASSERT_TRUE(ReplaceFileW(reinterpret_cast<const WChar*>(wide.c_str()), &part, 1));
  EXPECT_EQ(ReadFile(Path("gr\xC3\xBC\xC3\x9F" "e-\xE4\xB8\xAD.xml")), body);

  std::u16string lone(dir_.begin(), dir_.end());
  lone += u"/bad";
  lone += char16_t(0xD800);
  EXPECT_FALSE(ReplaceFileW(reinterpret_cast<const WChar*>(lone.c_str()), &part, 1));
  EXPECT_EQ(Entries().size(), 1u);
}

// Temporary files of saves whose process is gone are removed; those of a
// running process, files of other names and the save's own stay.
TEST_F(SafeFileWriterTest, StaleTemporariesOfDeadProcessesAreRemoved) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // now a process that no longer exists
  auto name = [](pid_t pid, const char* tail) {
    char text[64];
    std::snprintf(text, sizeof text, ".kelmo-%lx-1f-0.tmp%s", static_cast<unsigned long>(pid), tail);
    return std::string(text);
  };
  const std::string dead = name(child, ""), live = name(::getppid(), ""),
                    other = name(child, ".keep"), mine = name(::getpid(), "");
  for (const std::string& file : {dead, live, other, mine, std::string("a.xml")})
    WriteFile(Path(file.c_str()), "x");
  RemoveStaleTemporaries(dir_);
  std::vector<std::string> left = Entries();
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected{live, other, mine, "a.xml"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
}

#endif  // !_WIN32

}  // namespace
}  // namespace kelmo::os
