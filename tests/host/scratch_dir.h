// A fresh directory for the files of one test, removed with everything in it
// when the test ends; and whole-file reading for byte-exact checks.
#ifndef KELMO_TESTS_HOST_SCRATCH_DIR_H
#define KELMO_TESTS_HOST_SCRATCH_DIR_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace kelmo_test {

class ScratchDir {
 public:
  ScratchDir() : ScratchDir(std::filesystem::temp_directory_path()) {}
  explicit ScratchDir(const std::filesystem::path& base) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = base / ("kelmo-host-" + std::to_string(random()) + std::to_string(random()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::filesystem::path File(const char* name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace kelmo_test

#endif  // KELMO_TESTS_HOST_SCRATCH_DIR_H
