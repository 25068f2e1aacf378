// Where the tool looks for the shared library.
#ifndef KELMO_TOOLS_LIBRARY_LOCATOR_H
#define KELMO_TOOLS_LIBRARY_LOCATOR_H

#include <string>
#include <vector>

namespace kelmo_tool {

// KELMO_LIBRARY alone when it is set. Otherwise, in order: beside the
// executable, in the library directory relative to it (an installed tree,
// wherever it was moved), in the build tree relative to it, the installation
// directory it was configured for, and the loader's own search. No path of
// the build tree is kept in the program.
std::vector<std::string> LibraryCandidates(const char* argv0);

// The directory holding the running executable, without a trailing slash;
// empty when it cannot be found.
std::string ExecutableDirectory(const char* argv0);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_LIBRARY_LOCATOR_H
