// Reading a whole file into memory: a regular file with one read of its
// exact size, and a pipe, a terminal or a file that reports no size (those
// under /proc) to its end in growing blocks. Stdio only, so one file serves
// every platform.
#ifndef KELMO_OS_WHOLE_FILE_H
#define KELMO_OS_WHOLE_FILE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kelmo::os {

using FileBytes = std::unique_ptr<unsigned char, decltype(&std::free)>;

// The largest file read: sizes are 32-bit where the bytes go (ParseBuffer).
constexpr uint64_t kMaxWholeFile = 0xFFFFFFFFu;

// Reads a whole open file and closes it: with one read into a buffer of its
// exact size where the size can be told, otherwise to its end. A larger
// file than kMaxWholeFile is a failure rather than a truncated prefix, as is
// a null file.
bool ReadWholeFile(std::FILE* file, FileBytes& bytes, uint32_t& size);

}  // namespace kelmo::os

#endif  // KELMO_OS_WHOLE_FILE_H
