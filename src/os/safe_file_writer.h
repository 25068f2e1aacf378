// Writing a whole file so that a failure never destroys the file it was meant
// to replace: the bytes go to a new file beside the target, which takes the
// target's place only once every byte has been written and flushed.
#ifndef KELMO_OS_SAFE_FILE_WRITER_H
#define KELMO_OS_SAFE_FILE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "kelmo/platform_types.h"

namespace kelmo::os {

// One piece of the file's new content.
struct ByteRange {
  const unsigned char* data;
  uint64_t size;
};

// How a file was written.
enum class WriteRoute {
  Replaced,  // a new file took the old one's place, complete: never half-written
  InPlace,   // an existing regular file was overwritten where it is (more than
             // one hard link, or no new file could be made beside it); a crash
             // while writing leaves it part new, part old
  Direct,    // not a regular file (a device, a pipe, a descriptor link such as
             // /dev/stdout): written as a stream
};

// Makes the parts, in order, the whole content of the file at path. True only
// when every byte was written. On failure an existing file keeps its old
// content and no temporary file is left behind. An existing file keeps its
// permission bits. A read-only file (by its permission bits, whoever runs)
// gives false untouched. The new file is never open to others before it
// has the old file's owner and mode, and where the system allows it has no
// name until it is complete, so a killed process leaves nothing behind.
// A file with more than one hard link, or one beside which no new file can
// be made, is overwritten in place after its new size is reserved; a target
// that is not a regular file (a device, a pipe) is written directly through
// one write-only descriptor; a link to a descriptor of this process
// (/dev/stdout, /proc/self/fd/N) is written through that descriptor at its
// position. A named pipe gives false at once when no reader has it open, and
// true only once its reader has read every byte (or, where this process
// holds a read end itself, once the bytes are in the pipe); a reader that
// goes away first gives false. SIGPIPE never reaches the process from these writes. A
// null path gives false. route, when given, says which way the file was (or
// was being) written.
bool ReplaceFileA(const char* path, const ByteRange* parts, size_t count,
                  WriteRoute* route = nullptr);
// The same with a wide path (converted to UTF-8 where the system takes
// narrow names; a path with an unpaired surrogate gives false).
bool ReplaceFileW(const WChar* path, const ByteRange* parts, size_t count,
                  WriteRoute* route = nullptr);

// Removes the temporary files (.kelmo-PID-TICKS-N.tmp) that saves of
// processes no longer running left in directory: saves killed before they
// could clean up, where new files cannot be made unnamed. Only this user's
// regular files are touched, and only those of a process that is gone.
// Saves through a named temporary file call it.
void RemoveStaleTemporaries(const std::string& directory);

// For the platform variants above. The largest piece handed to one write
// call, and every part written through stdio in such pieces (false at the
// first short write).
constexpr uint64_t kMaxWriteChunk = uint64_t(1) << 30;
bool WriteParts(std::FILE* file, const ByteRange* parts, size_t count);

}  // namespace kelmo::os

#endif  // KELMO_OS_SAFE_FILE_WRITER_H
