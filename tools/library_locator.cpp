#include "library_locator.h"

#include <cstdlib>

#include "kelmo/easy/library.hpp"
#include "kelmo/easy/utf.hpp"

#ifndef KELMO_TOOL_RELATIVE_LIBDIR
#define KELMO_TOOL_RELATIVE_LIBDIR "../lib"
#endif

namespace kelmo_tool {
namespace {

constexpr char kSeparator =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

// Folds "dir/.." pairs so that the path the tool reports reads plainly
// (/opt/kelmo/lib/libkelmo.so rather than /opt/kelmo/bin/../lib/libkelmo.so).
std::string Tidy(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == ".." && !parts.empty() && parts.back() != ".." && !parts.back().empty()) {
      parts.pop_back();
    } else if (part != "." || parts.empty()) {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string tidy;
  for (size_t i = 0; i < parts.size(); ++i) tidy += (i ? std::string(1, kSeparator) : "") + parts[i];
  return tidy;
}

void AddUnique(std::vector<std::string>& paths, const std::string& path) {
  if (path.empty()) return;
  for (const std::string& p : paths) {
    if (p == path) return;
  }
  paths.push_back(path);
}

}  // namespace

std::string ExecutableDirectory(const char* argv0) {
  const std::string directory = kelmo::easy::Library::ExecutableDirectory();
  if (!directory.empty()) return directory;
  return argv0 ? kelmo::easy::Library::DirectoryOf(argv0) : std::string();
}

std::vector<std::string> LibraryCandidates(const char* argv0) {
  if (const char* env = std::getenv("KELMO_LIBRARY"); env && *env) return {env};
  const std::string name = kelmo::easy::Library::DefaultName();
  std::vector<std::string> paths;
  const std::string dir = ExecutableDirectory(argv0);
  if (!dir.empty()) {
    AddUnique(paths, dir + kSeparator + name);
    AddUnique(paths, Tidy(dir + kSeparator + KELMO_TOOL_RELATIVE_LIBDIR + kSeparator + name));
  }
#ifdef KELMO_TOOL_BUILD_RELATIVE_LIBDIR
  // In the build tree: the library beside the tool's own directory.
  if (!dir.empty())
    AddUnique(paths, Tidy(dir + kSeparator + KELMO_TOOL_BUILD_RELATIVE_LIBDIR + kSeparator + name));
#endif
#ifdef KELMO_TOOL_INSTALL_LIBRARY
  AddUnique(paths, KELMO_TOOL_INSTALL_LIBRARY);
#endif
  AddUnique(paths, name);
  return paths;
}

}  // namespace kelmo_tool
