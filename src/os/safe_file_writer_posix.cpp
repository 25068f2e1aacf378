#include "os/safe_file_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/text_length.h"
#include "text/utf8_codec.h"

namespace kelmo::os {

namespace {

// Writes the parts at the file's offset (pwrite at a given one when
// `offset` is not negative) with as few system calls as the sizes allow.
bool WriteAll(int fd, const ByteRange* parts, size_t count, off_t offset = -1) {
  std::vector<iovec> pending;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* data = parts[i].data;
    uint64_t left = parts[i].size;
    while (left > 0) {
      const size_t chunk = static_cast<size_t>(left < kMaxWriteChunk ? left : kMaxWriteChunk);
      pending.push_back(iovec{const_cast<unsigned char*>(data), chunk});
      data += chunk;
      left -= chunk;
    }
  }
  size_t first = 0;
  while (first < pending.size()) {
    const int batch = static_cast<int>(pending.size() - first < 64 ? pending.size() - first : 64);
    const ssize_t written = offset >= 0 ? ::pwritev(fd, &pending[first], batch, offset)
                                        : ::writev(fd, &pending[first], batch);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    if (offset >= 0) offset += written;
    size_t done = static_cast<size_t>(written);
    while (first < pending.size() && done >= pending[first].iov_len) {
      done -= pending[first].iov_len;
      ++first;
    }
    if (done > 0) {
      pending[first].iov_base = static_cast<char*>(pending[first].iov_base) + done;
      pending[first].iov_len -= done;
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
// would have without the reservation. The old bytes are then replaced by as
// few writes as possible followed by the cut to the new length: a process
// killed within those calls leaves the file part new and part old.
bool OverwriteInPlace(int fd, const ByteRange* parts, size_t count) {
  const uint64_t total = TotalSize(parts, count);
  if (total > 0) {
    int error;
    do {
      error = ::posix_fallocate(fd, 0, static_cast<off_t>(total));
    } while (error == EINTR);
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) return false;
  }
  return WriteAll(fd, parts, count, 0) && ::ftruncate(fd, static_cast<off_t>(total)) == 0 &&
         ::fsync(fd) == 0;
}

// Holds SIGPIPE back from this thread while it writes to a pipe, a socket or
// a terminal whose reader may go away: the write then fails with EPIPE and
// the save reports it, where the signal would end the host process. The
// signal that such a write raised is taken before the old mask comes back.
class PipeSignalHold {
 public:
  PipeSignalHold() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    held_ = ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
    sigset_t pending;
    pendingBefore_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  }
  ~PipeSignalHold() {
    if (!held_) return;
    const int error = errno;
    // Only a signal that one of these writes raised: one that was pending
    // before is the process's own. It is pending for this thread (a write
    // raises it for the thread that wrote), so sigwait returns at once.
    sigset_t pending;
    if (brokenPipe_ && !pendingBefore_ && ::sigpending(&pending) == 0 &&
        sigismember(&pending, SIGPIPE) == 1) {
      int taken = 0;
      ::sigwait(&pipe_, &taken);
    }
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    errno = error;
  }
  PipeSignalHold(const PipeSignalHold&) = delete;
  PipeSignalHold& operator=(const PipeSignalHold&) = delete;

  // Writes as WriteAll does, noting a reader that went away.
  bool Write(int fd, const ByteRange* parts, size_t count) {
    const bool ok = WriteAll(fd, parts, count);
    if (!ok && errno == EPIPE) brokenPipe_ = true;
    return ok;
  }

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool held_ = false;
  bool pendingBefore_ = false;
  bool brokenPipe_ = false;
};

// Waits until the reader of a pipe has taken every byte written to it:
// bytes still in the pipe when the reader closes its end were never read,
// and the save must not report them as written. True once the pipe is
// empty, false (EPIPE) when the reader closed it first. The system tells
// no "pipe now empty" event, so the count of unread bytes is looked at
// again after each short wait for the reader to go away. Where the count
// cannot be had, the write itself is all there is to go by.
bool AwaitReader(int fd) {
  int wait = 1;
  for (;;) {
    int unread = 0;
    if (::ioctl(fd, FIONREAD, &unread) != 0 || unread <= 0) return true;
    pollfd reader{fd, 0, 0};
    const int ready = ::poll(&reader, 1, wait);
    if (ready > 0 && (reader.revents & (POLLERR | POLLHUP)) != 0) {
      // It may have read the last byte just before it closed.
      if (::ioctl(fd, FIONREAD, &unread) == 0 && unread <= 0) return true;
      errno = EPIPE;
      return false;
    }
    if (ready < 0 && errno != EINTR) return true;
    wait = wait < 64 ? wait * 2 : wait;
  }
}

// Whether this process holds a read end of the pipe that fd writes to. Such
// a process reads the pipe itself, maybe only once the save has returned:
// waiting for the pipe to drain would then wait for ever. The descriptors
// are listed where the system shows them (/proc/self/fd, /dev/fd).
bool ReadByThisProcess(int fd) {
  struct stat pipe;
  if (::fstat(fd, &pipe) != 0) return false;
  for (const char* listing : {"/proc/self/fd", "/dev/fd"}) {
    DIR* dir = ::opendir(listing);
    if (!dir) continue;
    bool reads = false;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
      char* end = nullptr;
      const long other = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || other == fd || other == own) continue;
      struct stat info;
      const int flags = ::fcntl(static_cast<int>(other), F_GETFL);
      if (flags >= 0 && (flags & O_ACCMODE) != O_WRONLY &&
          ::fstat(static_cast<int>(other), &info) == 0 && info.st_dev == pipe.st_dev &&
          info.st_ino == pipe.st_ino) {
        reads = true;
        break;
      }
    }
    ::closedir(dir);
    return reads;
  }
  return false;
}

// Writes a target that is not a regular file (a pipe, a device) through the
// descriptor opened for it, write-only: holding it read-write as well would
// make this process a reader of its own pipe, so that a write whose real
// reader went away would block for ever instead of failing.
bool WriteStream(int fd, bool pipe, const ByteRange* parts, size_t count) {
  PipeSignalHold hold;
  return hold.Write(fd, parts, count) && (!pipe || ReadByThisProcess(fd) || AwaitReader(fd));
}

// Writes into the target itself. Used where no replacement file can be made.
// A regular file is overwritten in place (above); anything else is written
// as a stream. A named pipe that no reader holds open fails at once (the
// open does not wait for one); a missing file at the end of a link is
// created.
bool WriteDirect(const char* path, const ByteRange* parts, size_t count, WriteRoute* route) {
  if (route) *route = WriteRoute::Direct;
  int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, parts, count) && ::fsync(fd) == 0;
    return (::close(fd) == 0) && ok;
  }
  if (fd < 0) return false;
  // Once open, the writes wait for room in a pipe as any writer's do.
  struct stat info;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::fstat(fd, &info) != 0) {
    ::close(fd);
    return false;
  }
  bool ok;
  if (S_ISREG(info.st_mode)) {
    if (route) *route = WriteRoute::InPlace;
    ok = OverwriteInPlace(fd, parts, count);
  } else {
    ok = WriteStream(fd, S_ISFIFO(info.st_mode), parts, count);
  }
  return (::close(fd) == 0) && ok;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The descriptor of this process that a path names through a descriptor
// link (/dev/stdout, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N with this
// process's PID), or -1. `foreign` is set for a descriptor link of another
// process, or any other link that lives in /proc.
int OwnDescriptorOf(const std::string& link, bool& foreign) {
  static const char* const kStandard[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
  for (int fd = 0; fd < 3; ++fd) {
    if (link == kStandard[fd]) return fd;
  }
  auto number = [](const std::string& text, size_t from) {
    if (from >= text.size()) return -1;
    long value = 0;
    for (size_t i = from; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9' || value > 1000000000L) return -1;
      value = value * 10 + (text[i] - '0');
    }
    return static_cast<int>(value);
  };
  if (link.compare(0, 8, "/dev/fd/") == 0) return number(link, 8);
  const std::string self = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), self}) {
    if (link.compare(0, prefix.size(), prefix) == 0) {
      const int fd = number(link, prefix.size());
      if (fd >= 0) return fd;
    }
  }
#if defined(__linux__)
  // Every link under /proc is one of the kernel's: it names an open file
  // or a process's view of one, not a place to put a new file.
  struct statfs fs;
  constexpr long kProcMagic = 0x9fa0;
  if (::statfs(DirectoryOf(link).c_str(), &fs) == 0 && static_cast<long>(fs.f_type) == kProcMagic)
    foreign = true;
#endif
  return -1;
}

// Follows the chain of links from path. True when one of them is a
// descriptor link: fd is then this process's descriptor, or -1 for one of
// another process.
bool ReachesDescriptorLink(const char* path, int& fd) {
  std::string link = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(link.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
    bool foreign = false;
    fd = OwnDescriptorOf(link, foreign);
    if (fd >= 0 || foreign) return true;
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
    if (n <= 0) return false;
    std::string next(target.data(), static_cast<size_t>(n));
    link = next[0] == '/' ? next : DirectoryOf(link) + "/" + next;
  }
  return false;
}

// Writes to a descriptor of this process where it stands: at its offset,
// in its append mode, so that what the process wrote through it before and
// writes after stays in place around the document. What the process does
// with the stream after the save is its own business, so a pipe is not
// waited on to drain; a reader that has gone fails the save, without the
// signal.
bool WriteToDescriptor(int fd, const ByteRange* parts, size_t count) {
  // The C streams of the standard descriptors may hold text written before.
  if (fd == STDOUT_FILENO) std::fflush(stdout);
  if (fd == STDERR_FILENO) std::fflush(stderr);
  PipeSignalHold hold;
  return hold.Write(fd, parts, count);
}

std::string TemporaryName(const std::string& directory) {
  static std::atomic<uint32_t> counter{0};
  const auto ticks = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, "/.kelmo-%lx-%llx-%x.tmp",
                static_cast<unsigned long>(::getpid()), ticks,
                static_cast<unsigned>(counter.fetch_add(1)));
  return directory + suffix;
}

}  // namespace

void RemoveStaleTemporaries(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return;
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    unsigned long pid = 0;
    unsigned long long ticks = 0;
    unsigned serial = 0;
    int end = 0;
    if (std::sscanf(entry->d_name, ".kelmo-%lx-%llx-%x.tmp%n", &pid, &ticks, &serial, &end) != 3 ||
        entry->d_name[end] != '\0' || pid == 0 || pid == static_cast<unsigned long>(::getpid()))
      continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const std::string name = directory + "/" + entry->d_name;
    struct stat info;
    if (::lstat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == me)
      ::unlink(name.c_str());
  }
  ::closedir(dir);
}

namespace {

// Creates a new, unused file in directory with the given mode (through the
// umask). -1 when none can be made.
int CreateSibling(const std::string& directory, std::string& name, mode_t mode) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    name = TemporaryName(directory);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST && errno != EINTR) return -1;
  }
  return -1;
}

// A file in directory that has no name yet, so that nobody can open it and
// a process killed while writing it leaves nothing behind. -1 where the
// system or file system has no such files.
int CreateUnnamed(const std::string& directory, mode_t mode) {
#if defined(O_TMPFILE)
  return ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
  static_cast<void>(directory);
  static_cast<void>(mode);
  return -1;
#endif
}

// Gives the finished unnamed file a temporary name in directory, from
// which it is renamed over the target.
bool NameUnnamed(int fd, const std::string& directory, std::string& name) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  for (int attempt = 0; attempt < 64; ++attempt) {
    name = TemporaryName(directory);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) continue;
#if defined(AT_EMPTY_PATH)
    // Without /proc; needs a privilege that most processes lack.
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
#endif
    return false;
  }
  return false;
}

// Owner and mode of the file being replaced, given to the new file before
// it holds any of the content.
bool TakeOwnerAndMode(int fd, const struct stat& info) {
  // Owner first: changing it may clear the set-id bits that fchmod sets.
  // Only a privileged process may hand the file to another owner; for any
  // other the new file stays its own, as a rewritten file would not.
  const bool ownerKept = ::fchown(fd, info.st_uid, info.st_gid) == 0;
  static_cast<void>(ownerKept);
  return ::fchmod(fd, info.st_mode & 07777) == 0;
}

enum class Outcome { Done, Failed, Unavailable };

// Writes the new file unnamed, names it and renames it over the target.
// Unavailable, with nothing left behind, where no unnamed file can be made
// or named.
Outcome ReplaceThroughUnnamed(const std::string& directory, const std::string& target,
                              const struct stat* existing, const ByteRange* parts, size_t count) {
  // A new file takes its mode from the umask as any file would; a replaced
  // one starts as the owner's alone and takes the old mode before the data.
  const int fd = CreateUnnamed(directory, existing ? 0600 : 0666);
  if (fd < 0) return Outcome::Unavailable;
  bool ok = (!existing || TakeOwnerAndMode(fd, *existing)) && WriteAll(fd, parts, count) &&
            ::fsync(fd) == 0;
  std::string temporary;
  if (ok && !NameUnnamed(fd, directory, temporary)) {
    ::close(fd);
    return Outcome::Unavailable;
  }
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    if (!temporary.empty()) ::unlink(temporary.c_str());
    return Outcome::Failed;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return Outcome::Failed;
  }
  return Outcome::Done;
}

// The same through a named file, where unnamed files are not available.
Outcome ReplaceThroughNamed(const std::string& directory, const std::string& target,
                            const struct stat* existing, const ByteRange* parts, size_t count) {
  // A replaced file's content may be private: the new file is the owner's
  // alone until it takes the old file's owner and mode, before any data. A
  // new file gets its mode from the umask, as any file does.
  std::string temporary;
  const int fd = CreateSibling(directory, temporary, existing ? 0600 : 0666);
  if (fd < 0) return Outcome::Unavailable;
  RemoveStaleTemporaries(directory);
  bool ok = !existing || TakeOwnerAndMode(fd, *existing);
  ok = ok && WriteAll(fd, parts, count) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return Outcome::Failed;
  }
  return Outcome::Done;
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

bool ReplaceFileA(const char* path, const ByteRange* parts, size_t count, WriteRoute* route) {
  if (route) *route = WriteRoute::Replaced;
  if (!path || !*path) return false;
  std::string target = path;
  struct stat info;
  bool exists = false;
  if (::lstat(path, &info) == 0) {
    if (S_ISLNK(info.st_mode)) {
      // A descriptor link names an open file, not a place in a directory:
      // replacing what it points at would leave the descriptor writing into
      // a file that no longer has a name.
      int fd = -1;
      if (ReachesDescriptorLink(path, fd)) {
        if (fd < 0) return WriteDirect(path, parts, count, route);
        if (route) *route = WriteRoute::Direct;
        return WriteToDescriptor(fd, parts, count);
      }
      // Replace the file the link points to, not the link.
      char* resolved = ::realpath(path, nullptr);
      if (!resolved) return WriteDirect(path, parts, count, route);
      target = resolved;
      std::free(resolved);
      if (::stat(target.c_str(), &info) != 0) return WriteDirect(path, parts, count, route);
    }
    if (!S_ISREG(info.st_mode)) return WriteDirect(path, parts, count, route);
    // A file this process may not write is not replaced either, even where
    // the directory would allow a new file in its place. The permission bits
    // count for a privileged process too, as they do for an editor: a
    // read-only file stays read-only.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 ||
        (::geteuid() == 0 && (info.st_mode & 0222) == 0))
      return false;
    // A file with other names keeps them: it is written where it is, with
    // the room reserved first, so that every name sees the new content.
    if (info.st_nlink > 1) return WriteDirect(target.c_str(), parts, count, route);
    exists = true;
  } else if (errno != ENOENT) {
    return WriteDirect(path, parts, count, route);
  }

  const std::string directory = DirectoryOf(target);
  const struct stat* existing = exists ? &info : nullptr;
  Outcome outcome = ReplaceThroughUnnamed(directory, target, existing, parts, count);
  if (outcome == Outcome::Unavailable)
    outcome = ReplaceThroughNamed(directory, target, existing, parts, count);
  // No new file can be made beside the target (a directory this process
  // may not write): the only way left is to write the target in place.
  if (outcome == Outcome::Unavailable) return WriteDirect(path, parts, count, route);
  if (outcome == Outcome::Failed) return false;
  SyncDirectory(directory);
  return true;
}

bool ReplaceFileW(const WChar* path, const ByteRange* parts, size_t count, WriteRoute* route) {
  if (route) *route = WriteRoute::Replaced;
  if (!path) return false;
  std::string narrow;
  if (!text::AppendUtf8Strict(path, text::ResolveLength(path, kWholeText), narrow)) return false;
  return ReplaceFileA(narrow.c_str(), parts, count, route);
}

}  // namespace kelmo::os
