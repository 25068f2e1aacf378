// The version a library file carries, read from the file itself: the
// library's interfaces have no version query, and the tool must not add one
// to the binary interface.
#ifndef KELMO_TOOLS_LIBRARY_VERSION_H
#define KELMO_TOOLS_LIBRARY_VERSION_H

#include <string>

namespace kelmo_tool {

// "MAJOR.MINOR.PATCH", or "" when the file carries none. On Windows the
// DLL's version resource; elsewhere the real file name behind the path's
// links (libkelmo.so.0 -> libkelmo.so.0.1.0).
std::string LibraryFileVersion(const std::string& path);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_LIBRARY_VERSION_H
