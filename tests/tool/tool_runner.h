// Runs the kelmo program as a user would: arguments, standard input, and
// the exit status and both output streams afterwards.
#ifndef KELMO_TESTS_TOOL_TOOL_RUNNER_H
#define KELMO_TESTS_TOOL_TOOL_RUNNER_H

#include <string>
#include <vector>

namespace kelmo_test {

struct ToolRun {
  int exitCode = -1;  // -1 when the program did not exit normally
  int signal = 0;     // the signal that ended it, if one did
  std::string out;
  std::string err;
};

struct ToolOptions {
  std::string input;                   // fed to standard input
  std::vector<std::string> extraEnv;   // NAME=VALUE added to the environment
  std::vector<std::string> unsetEnv;   // names removed from the environment
  std::string directory;               // working directory, if not the current one
  unsigned long addressSpaceKiB = 0;   // the program's address space limit, if any
};

// Whether this build runs under AddressSanitizer, whose shadow memory takes
// terabytes of address space (no address-space limit can apply) and whose
// runtime must come first unless told otherwise (a preloaded library).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitized = true;
#else
constexpr bool kAddressSanitized = false;
#endif
#else
constexpr bool kAddressSanitized = false;
#endif

ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options = {});

// A fresh directory for one test, removed with everything in it afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

}  // namespace kelmo_test

#endif  // KELMO_TESTS_TOOL_TOOL_RUNNER_H
