// The few file operations the tool needs beyond the library: whole-file
// reads, temporary files, and replacing a file in one step.
#ifndef KELMO_TOOLS_FILE_SYSTEM_H
#define KELMO_TOOLS_FILE_SYSTEM_H

#include <string>
#include <string_view>

namespace kelmo_tool {

// Each returns false and says why (the system's words) on failure.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& why);
bool ReadStandardInput(std::string& bytes, std::string& why);
bool WriteStandardOutput(std::string_view bytes);

// The file a path finally names, symbolic links followed; the path itself
// when it cannot be resolved (for example because it does not exist yet).
std::string ResolvePath(const std::string& path);

// Creates a new, empty, uniquely named file in the directory of `target`
// (so that a rename can replace the target), or in the system's temporary
// directory when `target` is empty. Returns its path, or "" on failure.
std::string CreateTemporaryFile(const std::string& target, std::string& why);

// Moves `replacement` over `target` in one step, after giving it the
// target's permission bits. On failure the target is untouched.
bool ReplaceFile(const std::string& replacement, const std::string& target, std::string& why);

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
