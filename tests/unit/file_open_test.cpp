#include "os/file_open.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "os/code_page.h"

namespace kelmo::os {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class FileOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = fs::path(::testing::TempDir()) / (std::string("kelmo_file_open_") + info->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string PathOf(const std::string& name) const { return (directory_ / name).string(); }

  // The directory's path as UTF-16 followed by `name`, zero-terminated.
  std::vector<WChar> WidePathOf(const std::u16string& name) const {
    const std::string base = directory_.string() + "/";
    std::vector<WChar> wide(base.size());
    const int units = MultiByteToWide(65001, base.data(), static_cast<int>(base.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(units));
    wide.insert(wide.end(), name.begin(), name.end());
    wide.push_back(0);
    return wide;
  }

  static void WriteFile(const std::string& path, const std::string& contents) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(contents.size(), std::fwrite(contents.data(), 1, contents.size(), file));
    std::fclose(file);
  }

  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()));
  }

  fs::path directory_;
};

TEST_F(FileOpenTest, WidePathWithNonAsciiNameReachesTheUtf8Name) {
  const std::vector<WChar> widePath = WidePathOf(u"\u0442\u0435\u0441\u0442 \u4E2D\u6587 \U0001F600.bin");
  std::FILE* written = OpenFileW(widePath.data(), "wb+");
  ASSERT_NE(nullptr, written);
  ASSERT_EQ(5u, std::fwrite("hello", 1, 5, written));
  std::fclose(written);

#if !defined(_WIN32)
  // Windows takes narrow paths in the ANSI code page: there the name has no
  // UTF-8 spelling, and only the wide path below reads the file back.
  std::FILE* read = OpenFileA(PathOf("\xD1\x82\xD0\xB5\xD1\x81\xD1\x82 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80.bin").c_str(), "rb");
  ASSERT_NE(nullptr, read);
  char contents[8] = {};
  EXPECT_EQ(5u, std::fread(contents, 1, sizeof contents, read));
  EXPECT_STREQ("hello", contents);
  std::fclose(read);
#endif

  std::FILE* again = OpenFileW(widePath.data(), "rb");
  ASSERT_NE(nullptr, again);
  EXPECT_EQ(5, FileSize(again));
  std::fclose(again);
}

TEST_F(FileOpenTest, UnpairedSurrogateInWidePathOpensNothing) {
  const std::vector<WChar> widePath = WidePathOf(std::u16string(u"bad") + char16_t(0xD800) + u".bin");
  EXPECT_EQ(nullptr, OpenFileW(widePath.data(), "wb"));
  EXPECT_EQ(0u, EntryCount());
}

TEST_F(FileOpenTest, MissingFileGivesNull) {
  EXPECT_EQ(nullptr, OpenFileA(PathOf("missing.xml").c_str(), "rb"));
  EXPECT_EQ(nullptr, OpenFileW(WidePathOf(u"missing.xml").data(), "rb"));
}

TEST_F(FileOpenTest, NullArgumentsGiveNull) {
  const std::string path = PathOf("present.xml");
  WriteFile(path, "x");
  const std::vector<WChar> widePath = WidePathOf(u"present.xml");
  EXPECT_EQ(nullptr, OpenFileA(nullptr, "rb"));
  EXPECT_EQ(nullptr, OpenFileA(path.c_str(), nullptr));
  EXPECT_EQ(nullptr, OpenFileW(nullptr, "rb"));
  EXPECT_EQ(nullptr, OpenFileW(widePath.data(), nullptr));
}

TEST_F(FileOpenTest, FileSizeCountsAllBytesAndRewinds) {
  const std::string path = PathOf("sized.bin");
  WriteFile(path, std::string(70001, 'z'));
  std::FILE* file = OpenFileA(path.c_str(), "rb");
  ASSERT_NE(nullptr, file);
  ASSERT_EQ('z', std::fgetc(file));  // not at the start when asked
  EXPECT_EQ(70001, FileSize(file));
  EXPECT_EQ(0, std::ftell(file));
  std::fclose(file);
}

TEST_F(FileOpenTest, FileSizeOfEmptyFileIsZero) {
  const std::string path = PathOf("empty.bin");
  WriteFile(path, "");
  std::FILE* file = OpenFileA(path.c_str(), "rb");
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(0, FileSize(file));
  std::fclose(file);
}

TEST(FileOpenSizeTest, NullOrUnseekableFileHasNoSize) {
  EXPECT_EQ(-1, FileSize(nullptr));
#if !defined(_WIN32)
  std::FILE* pipe = popen("echo data", "r");
  ASSERT_NE(nullptr, pipe);
  EXPECT_EQ(-1, FileSize(pipe));
  pclose(pipe);
#endif
}

}  // namespace
}  // namespace kelmo::os
