// The few file operations the tool needs beyond the library: whole-file
// reads and temporary files. Files are replaced by the library's own safe
// writer.
#ifndef KELMO_TOOLS_FILE_SYSTEM_H
#define KELMO_TOOLS_FILE_SYSTEM_H

#include <cstdio>
#include <string>
#include <string_view>

namespace kelmo_tool {

// Each returns false and says why (the system's words) on failure.
bool ReadInputFile(const std::string& path, std::string& bytes, std::string& why);
bool ReadStandardInput(std::string& bytes, std::string& why);
bool WriteStandardOutput(std::string_view bytes);

// A file to read a block at a time with std::fread: standard input for "-"
// (in binary mode), else the file, opened for binary reading. Null when it
// cannot be opened; ReadInputFile then tells why.
std::FILE* OpenForReading(const std::string& path);
// A file opened for binary writing, replacing what it held; null on failure.
std::FILE* OpenForWriting(const std::string& path);

// Creates a new, empty, uniquely named file in the system's temporary
// directory. Returns its path, or "" on failure.
std::string CreateTemporaryFile(std::string& why);

void RemoveFile(const std::string& path);

// True when nothing exists at the path or it is a regular file: the cases
// in which writing a new file and renaming it over the path is right. A
// device or a pipe must be written directly instead.
bool IsRegularFileOrMissing(const std::string& path);

// Removes the file when it goes out of scope unless released.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) RemoveFile(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_FILE_SYSTEM_H
