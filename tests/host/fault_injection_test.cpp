// Saves that fail part-way: a file-size limit, a full or read-only file
// system, a directory the process may not write, targets that are no files,
// text an encoding cannot carry. Whatever fails, the save must say false and
// the file it was to replace must still hold its old bytes, with no
// temporary file left beside it.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "host/child_process.h"
#include "support/host_library.h"
#include "host/scratch_dir.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::RefPtr;
using kelmo_test::kChildCannotSetUp;
using kelmo_test::ModuleScope;
using kelmo_test::ReadBytes;
using kelmo_test::kChildCannotReachFiles;
using kelmo_test::RunInChild;
using kelmo_test::RunUnprivileged;
using kelmo_test::ScratchDir;
using kelmo_test::SharedScratchDir;
using kelmo_test::UnprivilegedSkipReason;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;

namespace {

namespace fs = std::filesystem;

// What the save replaces: a small document with a few bytes no encoder
// would write, so that any change to it shows.
const std::string kOldContent =
    std::string("<?xml version=\"1.0\"?>\n<old>keep me</old>\n\0\xFF\x01", 45);

// Grows far past every limit used below once written out: about 300 kB.
RefPtr<Kelmo> LargeDocument(ModuleScope& m) {
  RefPtr<Kelmo> root = m->CreateNodeW(W(u"settings"), kelmo::kWholeText);
  for (int i = 0; i < 5000; ++i) {
    RefPtr<Kelmo> item = m->CreateNodeW(W(u"item"), kelmo::kWholeText);
    RefPtr<Kelmo> id = m->CreateNodeW(W(u"id"), kelmo::kWholeText);
    id->SetInt(i);
    id->SetKind(static_cast<char>(kelmo::NodeKind::Attribute));
    item->AppendChild(id);
    item->SetStringW(W(u"value \u00e9 & more"), kelmo::kWholeText);
    root->AppendChild(item);
  }
  return root;
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

enum class Entry { kWide, kNarrow };

// Saves the large document through one of the two entries.
bool SaveLarge(const fs::path& path, const char* encoding, Entry entry) {
  ModuleScope m;
  RefPtr<Kelmo> doc = LargeDocument(m);
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  if (entry == Entry::kNarrow)
    return t->SaveFileA(doc, path.string().c_str(), "  ", "\n", encoding, kelmo::kCodePageUtf8);
  const std::u16string wide = encoding ? U16(encoding) : std::u16string();
  return t->SaveFileW(doc, W(U16(path.string().c_str())), W(u"  "), W(u"\n"),
                      encoding ? W(wide) : nullptr);
}

// Sets a file-size limit on the calling process, with the signal that
// exceeding it raises ignored so that the write fails with EFBIG instead.
void LimitFileSize(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

// --- A file-size limit that stops the write ---

struct LimitCase {
  const char* encoding;
  Entry entry;
};

class FileSizeLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(FileSizeLimit, FailedSaveKeepsTheOldFile) {
  const LimitCase& c = GetParam();
  ScratchDir dir;
  const fs::path target = dir.File("keep.xml");

  // The size of the new file, from a save without limit elsewhere.
  ScratchDir reference;
  ASSERT_TRUE(SaveLarge(reference.File("new.xml"), c.encoding, c.entry));
  const std::string fresh = ReadBytes(reference.File("new.xml"));
  const rlim_t size = fresh.size();
  ASSERT_GT(size, 100000u);

  // From nothing at all, through the byte-order mark and the old file's own
  // size, to one byte short of the new file.
  const rlim_t limits[] = {0, 1, 2, 3, 100, kOldContent.size(), 4096, size / 2, size - 1};
  for (rlim_t limit : limits) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    WriteBytes(target, kOldContent);
    const int status = RunInChild([&] {
      LimitFileSize(limit);
      return SaveLarge(target, c.encoding, c.entry) ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << "the save reported success";
    EXPECT_EQ(ReadBytes(target), kOldContent);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"keep.xml"});
  }

  // A limit of exactly the new size is enough.
  WriteBytes(target, kOldContent);
  const int status = RunInChild([&] {
    LimitFileSize(size);
    return SaveLarge(target, c.encoding, c.entry) ? 1 : 0;
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(ReadBytes(target) == fresh);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"keep.xml"});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FileSizeLimit,
    ::testing::Values(LimitCase{nullptr, Entry::kWide}, LimitCase{nullptr, Entry::kNarrow},
                      LimitCase{"utf-16", Entry::kWide}, LimitCase{"UTF-16BE", Entry::kNarrow},
                      LimitCase{"us-ascii", Entry::kWide}, LimitCase{"gb18030", Entry::kNarrow}),
    [](const ::testing::TestParamInfo<LimitCase>& info) {
      std::string name = info.param.encoding ? info.param.encoding : "default";
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name + (info.param.entry == Entry::kWide ? "_W" : "_A");
    });

// --- A directory in which no replacement file can be made ---

// A directory that the unprivileged child may read but not write, holding
// a file that it may write.
class ReadOnlyDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    locked_ = dir_.File("locked");
    fs::create_directory(locked_);
    target_ = locked_ / "keep.xml";
    WriteBytes(target_, kOldContent);
    if (::geteuid() == 0) {
      ASSERT_EQ(::chown(locked_.c_str(), kelmo_test::kUnprivilegedUser,
                        kelmo_test::kUnprivilegedGroup), 0);
      ASSERT_EQ(::chown(target_.c_str(), kelmo_test::kUnprivilegedUser,
                        kelmo_test::kUnprivilegedGroup), 0);
    }
    ASSERT_EQ(::chmod(target_.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(locked_.c_str(), 0555), 0);
  }
  void TearDown() override { ::chmod(locked_.c_str(), 0755); }

  // Runs body as the unprivileged user, after checking that the directory
  // really refuses new files to it.
  int AsUnprivileged(const std::function<int()>& body) {
    return RunUnprivileged(locked_, [&] {
      const std::string probe = (locked_ / "probe").string();
      const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
      if (fd >= 0 || errno != EACCES) return kChildCannotSetUp;
      return body();
    });
  }

  SharedScratchDir dir_;
  fs::path locked_;
  fs::path target_;
};

TEST_F(ReadOnlyDirectory, SaveThatCannotCompleteKeepsTheOldFile) {
  for (Entry entry : {Entry::kWide, Entry::kNarrow}) {
    for (rlim_t limit : {rlim_t(0), rlim_t(10), rlim_t(4096)}) {
      SCOPED_TRACE("limit " + std::to_string(limit));
      WriteBytes(target_, kOldContent);
      const int status = AsUnprivileged([&] {
        LimitFileSize(limit);
        return SaveLarge(target_, nullptr, entry) ? 1 : 0;
      });
      if (const char* why = UnprivilegedSkipReason(status)) GTEST_SKIP() << why;
      EXPECT_EQ(status, 0);
      EXPECT_EQ(ReadBytes(target_), kOldContent);
      EXPECT_EQ(Entries(locked_), std::vector<std::string>{"keep.xml"});
    }
  }
}

TEST_F(ReadOnlyDirectory, SaveThatFitsIsWrittenInPlace) {
  ScratchDir reference;
  ASSERT_TRUE(SaveLarge(reference.File("new.xml"), "utf-16", Entry::kWide));
  const std::string fresh = ReadBytes(reference.File("new.xml"));
  // Longer and shorter than what the file held before.
  for (const std::string& before : {kOldContent, std::string(fresh.size() * 2, 'z')}) {
    WriteBytes(target_, before);
    const int status = AsUnprivileged([&] { return SaveLarge(target_, "utf-16", Entry::kWide); });
    if (const char* why = UnprivilegedSkipReason(status)) GTEST_SKIP() << why;
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(ReadBytes(target_) == fresh);
    EXPECT_EQ(Entries(locked_), std::vector<std::string>{"keep.xml"});
  }
}

TEST_F(ReadOnlyDirectory, ReadOnlyFileIsNotReplaced) {
  // The directory is writable this time; the file's own bits say no.
  ::chmod(locked_.c_str(), 0755);
  ASSERT_EQ(::chmod(target_.c_str(), 0444), 0);
  const int status = RunUnprivileged(locked_, [&] {
    if (::access(target_.c_str(), R_OK) != 0) return kChildCannotReachFiles;
    return (SaveLarge(target_, nullptr, Entry::kWide) ? 1 : 0) |
           (SaveLarge(target_, nullptr, Entry::kNarrow) ? 2 : 0);
  });
  if (const char* why = UnprivilegedSkipReason(status)) GTEST_SKIP() << why;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(target_), kOldContent);
  EXPECT_EQ(Entries(locked_), std::vector<std::string>{"keep.xml"});
}

// --- A full or read-only file system ---

// Bits of a child's report from inside its own mount namespace.
enum FileSystemReport {
  kSaveSucceeded = 1,
  kOldFileChanged = 2,
  kStrayFiles = 4,
  kNotFull = 8,
};

// In a private mount namespace, mounts a small memory file system on dir,
// lets prepare fill it, saves over keep.xml and reports what happened. The
// mount vanishes with the child.
int SaveOnPrivateFileSystem(const fs::path& dir, const char* options,
                            const std::function<bool(const fs::path&)>& prepare) {
  return RunInChild([&] {
    if (::unshare(CLONE_NEWNS) != 0) return kChildCannotSetUp;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kChildCannotSetUp;
    if (::mount("kelmo-test", dir.c_str(), "tmpfs", 0, options) != 0) return kChildCannotSetUp;
    const fs::path target = dir / "keep.xml";
    WriteBytes(target, kOldContent);
    if (ReadBytes(target) != kOldContent) return kChildCannotSetUp;
    if (!prepare(target)) return static_cast<int>(kNotFull);
    const std::vector<std::string> before = Entries(dir);
    int report = 0;
    if (SaveLarge(target, nullptr, Entry::kWide)) report |= kSaveSucceeded;
    if (SaveLarge(target, "utf-16", Entry::kNarrow)) report |= kSaveSucceeded;
    if (ReadBytes(target) != kOldContent) report |= kOldFileChanged;
    if (Entries(dir) != before) report |= kStrayFiles;
    return report;
  });
}

// Writes one file until the file system has no room left.
bool FillData(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  const std::string block(4096, 'f');
  int rounds = 0;
  while (::write(fd, block.data(), block.size()) > 0 && ++rounds < (1 << 20)) {
  }
  // Then single bytes into whatever room is left.
  while (::write(fd, "f", 1) == 1 && ++rounds < (1 << 21)) {
  }
  const bool full = errno == ENOSPC;
  ::close(fd);
  return full;
}

// Creates files until no more can be made.
bool FillInodes(const fs::path& dir) {
  for (int i = 0; i < 100000; ++i) {
    const std::string name = (dir / ("inode" + std::to_string(i))).string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return errno == ENOSPC;
    ::close(fd);
  }
  return false;
}

void ExpectReport(int status) {
  if (status == kChildCannotSetUp) GTEST_SKIP() << "cannot mount a private file system here";
  EXPECT_FALSE(status & kSaveSucceeded) << "a save reported success";
  EXPECT_FALSE(status & kOldFileChanged) << "the old file changed";
  EXPECT_FALSE(status & kStrayFiles) << "files were left behind";
  EXPECT_FALSE(status & kNotFull) << "the file system could not be filled";
  EXPECT_LT(status, 16) << "the child ended abnormally";
}

class FullFileSystem : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(mount_); }
  ScratchDir dir_;
  fs::path mount_ = dir_.File("mount");
};

TEST_F(FullFileSystem, NoRoomForTheData) {
  ExpectReport(SaveOnPrivateFileSystem(mount_, "size=256k", [](const fs::path& target) {
    return FillData(target.parent_path() / "filler");
  }));
}

TEST_F(FullFileSystem, NoRoomForAnotherFile) {
  // Neither a new file nor more data fits: the save cannot even begin a
  // replacement, and must not fall back on overwriting the old file.
  ExpectReport(SaveOnPrivateFileSystem(mount_, "size=256k,nr_inodes=16",
                                       [](const fs::path& target) {
                                         const fs::path dir = target.parent_path();
                                         return FillData(dir / "filler") && FillInodes(dir);
                                       }));
}

TEST_F(FullFileSystem, NoRoomForAnotherFileButForTheData) {
  // Only the old file itself may be written: overwriting it in place is the
  // one way left, and it works.
  const int status = SaveOnPrivateFileSystem(mount_, "size=4m,nr_inodes=16",
                                             [](const fs::path& target) {
                                               return FillInodes(target.parent_path());
                                             });
  if (status == kChildCannotSetUp) GTEST_SKIP() << "cannot mount a private file system here";
  EXPECT_TRUE(status & kSaveSucceeded);
  EXPECT_TRUE(status & kOldFileChanged);
  EXPECT_FALSE(status & kStrayFiles);
}

TEST_F(FullFileSystem, ReadOnlyFileSystem) {
  ExpectReport(SaveOnPrivateFileSystem(mount_, "size=256k", [this](const fs::path&) {
    return ::mount(nullptr, mount_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }));
}

// --- Targets that are not files ---

TEST(Faults, TargetsThatAreNoFilesAreRefused) {
  ScratchDir dir;
  WriteBytes(dir.File("keep.xml"), kOldContent);
  fs::create_directory(dir.File("subdir"));
  WriteBytes(dir.File("subdir") / "inside.xml", kOldContent);
  fs::create_symlink(dir.File("loop-b"), dir.File("loop-a"));
  fs::create_symlink(dir.File("loop-a"), dir.File("loop-b"));
  fs::create_symlink(dir.File("missing/target.xml"), dir.File("dangling"));
  const fs::path targets[] = {
      dir.File("subdir"),                  // a directory
      dir.File("keep.xml") / "child.xml",  // a path through a file
      dir.File("loop-a"),                  // a loop of links
      dir.File("dangling"),                // a link into a missing directory
      "/dev/full",                         // a device that is always full
  };
  const auto before = Entries(dir.path());
  for (const fs::path& target : targets) {
    SCOPED_TRACE(target.string());
    if (target == "/dev/full" && !fs::exists(target)) continue;
    EXPECT_FALSE(SaveLarge(target, nullptr, Entry::kNarrow));
    EXPECT_FALSE(SaveLarge(target, "utf-16", Entry::kWide));
    EXPECT_EQ(ReadBytes(dir.File("keep.xml")), kOldContent);
    EXPECT_EQ(ReadBytes(dir.File("subdir") / "inside.xml"), kOldContent);
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_EQ(Entries(dir.File("subdir")), std::vector<std::string>{"inside.xml"});
  }
}

// --- Text an encoding cannot carry ---

const char* const kEncodingNames[] = {
    "",         "utf-8",     "utf8",           "utf-16le",  "utf16le",   "utf-16",   "utf16",
    "unicode",  "utf-16be",  "utf16be",        "unicodefffe", "gb2312",  "gbk",      "x-cp20936",
    "hz-gb-2312", "gb18030", "big5",           "shift_jis", "ks_c_5601-1987", "us-ascii",
};

TEST(Faults, UnencodableTextEitherSavesOrKeepsTheOldFile) {
  ScratchDir dir;
  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  const std::u16string lone(1, char16_t(0xDC00));
  // Names stay plain: a name character that the encoding replaces would
  // leave markup no parser accepts, which is the caller's choice to make.
  RefPtr<Kelmo> doc = m->CreateNodeW(W(u"doc"), kelmo::kWholeText);
  doc->SetStringW(W(u"\u20ac \U0001F600 \u0915 " + lone + u"\uFFFF"), kelmo::kWholeText);
  const fs::path target = dir.File("keep.xml");
  for (const char* name : kEncodingNames) {
    SCOPED_TRACE(name);
    WriteBytes(target, kOldContent);
    const bool saved = t->SaveFileW(doc, W(U16(target.string().c_str())), nullptr, nullptr,
                                    W(U16(name)));
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"keep.xml"});
    if (!saved) {
      EXPECT_EQ(ReadBytes(target), kOldContent);
      continue;
    }
    // What was written reads back as one element holding a value.
    RefPtr<KelmoParser> p = m->CreateParser();
    ASSERT_TRUE(p->ParseFileA(target.string().c_str())) << p->GetErrorCode();
    RefPtr<Kelmo> back = p->GetRoot()->GetFirstChild();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetType(), int(kelmo::ValueType::String));
  }
}

}  // namespace

#endif  // !_WIN32
