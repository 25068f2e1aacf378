// Opening files by narrow or wide (UTF-16) path.
#ifndef KELMO_OS_FILE_OPEN_H
#define KELMO_OS_FILE_OPEN_H

#include <cstdint>
#include <cstdio>

#include "kelmo/platform_types.h"

namespace kelmo::os {

// fopen with the path as given. Null path or mode: null result.
std::FILE* OpenFileA(const char* path, const char* mode);

// Wide path: _wfopen on Windows; elsewhere the path is converted to UTF-8.
// Null path, or a path that cannot be converted: null result.
std::FILE* OpenFileW(const WChar* path, const char* mode);

// Size of an open file in bytes using 64-bit positions, leaving the position
// at the start; -1 when it cannot be told (not seekable).
int64_t FileSize(std::FILE* file);

}  // namespace kelmo::os

#endif  // KELMO_OS_FILE_OPEN_H
