// Commands that take several files (get, set, del, count): the files come
// first, the path (and value) last. Each file is read, and edited or
// refused, on its own: one that fails is reported and the others still go
// on, and the exit status is the highest that any file gave.
#ifndef KELMO_TOOLS_SEVERAL_FILES_H
#define KELMO_TOOLS_SEVERAL_FILES_H

#include <functional>
#include <string>
#include <vector>

#include "command_line.h"

namespace kelmo_tool {

// The files among the positional arguments: all but the last `trailing`
// ones (the path, and the value). Fewer than one file, or standard input
// ("-") named twice, throws UsageError with `usage`.
std::vector<std::string> FilesBefore(const Arguments& args, size_t trailing, const std::string& usage);

// Runs `run` for each file. With one file what it throws goes on to the
// caller, so that a single file fails as it always has; with several, a
// ToolError is reported on standard error, naming the file where the message
// does not, and the next file is taken. Returns the highest exit status.
int ForEachFile(const std::vector<std::string>& files, const std::function<void(const std::string&)>& run);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_SEVERAL_FILES_H
