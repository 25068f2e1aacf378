#include "several_files.h"

#include <algorithm>
#include <cstdio>

#include "tool_error.h"

namespace kelmo_tool {
namespace {

void Report(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

}  // namespace

std::vector<std::string> FilesBefore(const Arguments& args, size_t trailing, const std::string& usage) {
  if (args.positional.size() <= trailing) throw UsageError(usage);
  std::vector<std::string> files(args.positional.begin(),
                                 args.positional.end() - static_cast<std::ptrdiff_t>(trailing));
  if (std::count(files.begin(), files.end(), "-") > 1)
    throw UsageError("standard input (-) can be read only once");
  return files;
}

int ForEachFile(const std::vector<std::string>& files, const std::function<void(const std::string&)>& run) {
  if (files.size() == 1) {
    run(files.front());
    return kExitOk;
  }
  int status = kExitOk;
  for (const std::string& file : files) {
    try {
      run(file);
    } catch (const DocumentError& e) {
      // A document's messages start with its name already.
      Report(e.what());
      status = std::max(status, e.exitCode());
    } catch (const UsageError& e) {
      // What the file holds makes the command ask for more (a path that
      // names several): the same words, for this file.
      Report("kelmo: " + file + ": " + e.what());
      status = std::max(status, e.exitCode());
    } catch (const ToolError& e) {
      Report(std::string("kelmo: ") + e.what());
      status = std::max(status, e.exitCode());
    }
  }
  return status;
}

}  // namespace kelmo_tool
