#include "platform/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_open.h"
#include "platform/utf8_codec.h"
#include "common/text_length.h"

namespace kelmo::platform {
namespace {

bool WriteAll(int fd, const ByteRange* parts, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* data = parts[i].data;
    uint64_t left = parts[i].size;
    while (left > 0) {
      const size_t chunk = static_cast<size_t>(left < kMaxWriteChunk ? left : kMaxWriteChunk);
      const ssize_t written = ::write(fd, data, chunk);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      data += written;
      left -= static_cast<uint64_t>(written);
    }
  }
  return true;
}

uint64_t TotalSize(const ByteRange* parts, size_t count) {
  uint64_t total = 0;
  for (size_t i = 0; i < count; ++i) total += parts[i].size;
  return total;
}

// Overwrites an existing regular file in place. Room for the new content is
// claimed before the first old byte is touched, so that a full file system,
// a quota or a file-size limit fails the save with the old content intact.
// Where the file system cannot reserve room, the write goes ahead as it
// would have without the reservation.
bool OverwriteInPlace(int fd, const ByteRange* parts, size_t count) {
  const uint64_t total = TotalSize(parts, count);
  if (total > 0) {
    int error;
    do {
      error = ::posix_fallocate(fd, 0, static_cast<off_t>(total));
    } while (error == EINTR);
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) return false;
  }
  return WriteAll(fd, parts, count) && ::ftruncate(fd, static_cast<off_t>(total)) == 0 &&
         ::fsync(fd) == 0;
}

// Writes into the target itself. Used where no replacement file can be made.
// A regular file is overwritten in place (above); anything else is opened
// with truncation, and a failure there leaves what was written so far.
bool WriteDirect(const char* path, const ByteRange* parts, size_t count) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      const bool ok = OverwriteInPlace(fd, parts, count);
      return (::close(fd) == 0) && ok;
    }
    ::close(fd);
  }
  std::FILE* file = OpenFileA(path, "wb+");
  if (!file) return false;
  const bool ok = WriteParts(file, parts, count) && std::fflush(file) == 0;
  std::fclose(file);
  return ok;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates a new, unused file in directory. The mode goes through the
// process's umask like any other new file. -1 when none can be made.
int CreateSibling(const std::string& directory, std::string& name) {
  static std::atomic<uint32_t> counter{0};
  const auto ticks = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 64; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "/.kelmo-%lx-%llx-%x.tmp",
                  static_cast<unsigned long>(::getpid()), ticks,
                  static_cast<unsigned>(counter.fetch_add(1)));
    name = directory + suffix;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST && errno != EINTR) return -1;
  }
  return -1;
}

// Flushes the directory entry of a rename; failure here loses nothing that
// the rename has not already made visible, so it is not reported.
void SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool ReplaceFileA(const char* path, const ByteRange* parts, size_t count) {
  if (!path || !*path) return false;
  std::string target = path;
  struct stat info;
  bool exists = false;
  if (::lstat(path, &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      // Replace the file the link points to, not the link.
      char* resolved = ::realpath(path, nullptr);
      if (!resolved) return WriteDirect(path, parts, count);
      target = resolved;
      std::free(resolved);
      if (::stat(target.c_str(), &info) != 0) return WriteDirect(path, parts, count);
    }
    if (!S_ISREG(info.st_mode)) return WriteDirect(path, parts, count);
    // A file this process may not write is not replaced either, even where
    // the directory would allow a new file in its place. The permission bits
    // count for a privileged process too, as they do for an editor: a
    // read-only file stays read-only.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 ||
        (::geteuid() == 0 && (info.st_mode & 0222) == 0))
      return false;
    // A file with other names keeps them: it is written where it is, with
    // the room reserved first, so that every name sees the new content.
    if (info.st_nlink > 1) return WriteDirect(target.c_str(), parts, count);
    exists = true;
  } else if (errno != ENOENT) {
    return WriteDirect(path, parts, count);
  }

  const std::string directory = DirectoryOf(target);
  std::string temporary;
  const int fd = CreateSibling(directory, temporary);
  if (fd < 0) return WriteDirect(path, parts, count);

  bool ok = WriteAll(fd, parts, count);
  if (ok && exists) {
    // Owner first: changing it may clear the set-id bits that fchmod sets.
    // Only a privileged process may hand the file to another owner; for any
    // other the new file stays its own, as a rewritten file would not.
    const bool ownerKept = ::fchown(fd, info.st_uid, info.st_gid) == 0;
    static_cast<void>(ownerKept);
    ok = ::fchmod(fd, info.st_mode & 07777) == 0;
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncDirectory(directory);
  return true;
}

bool ReplaceFileW(const WChar* path, const ByteRange* parts, size_t count) {
  if (!path) return false;
  std::string narrow;
  if (!AppendUtf8Strict(path, ResolveLength(path, kWholeText), narrow)) return false;
  return ReplaceFileA(narrow.c_str(), parts, count);
}

}  // namespace kelmo::platform
