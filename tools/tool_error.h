// How a command fails: the exit status and what the user is told.
#ifndef KELMO_TOOLS_TOOL_ERROR_H
#define KELMO_TOOLS_TOOL_ERROR_H

#include <stdexcept>
#include <string>

namespace kelmo_tool {

enum ExitCode : int {
  kExitOk = 0,
  kExitDocument = 1,  // the document (or a file) has a problem
  kExitUsage = 2,     // the command line is wrong
  // exists only: 1 is "no such node" there, and these tell the rest apart.
  kExitNoValue = 3,     // the node is there but has no value
  kExitUnreadable = 4,  // the document cannot be read
};

class ToolError : public std::runtime_error {
 public:
  ToolError(int exitCode, const std::string& message)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// A command-line mistake: the message is followed by a pointer to --help.
class UsageError : public ToolError {
 public:
  explicit UsageError(const std::string& message) : ToolError(kExitUsage, message) {}
};

// A problem with a document or a file.
class DocumentError : public ToolError {
 public:
  explicit DocumentError(const std::string& message, int exitCode = kExitDocument)
      : ToolError(exitCode, message) {}
};

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_TOOL_ERROR_H
