// Watches the library write files: stands in for writev and pwritev (the
// calls the file writer uses) and, for each call on a regular file, appends
// the file's permission bits and link count, as "MODE NLINK" in octal and
// decimal, to the file named by KELMO_WRITE_PROBE_LOG, before passing the
// call on. Linked into a host program (whose own definitions then take the
// place of the C library's for a library it loads) or preloaded into the
// tool, so that a test sees who could open a file at the very moment its
// content is written, without relying on timing. With KELMO_WRITE_PROBE_KILL
// set, the process is killed at that moment instead.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>

namespace {

void Record(int fd) {
  const char* log = std::getenv("KELMO_WRITE_PROBE_LOG");
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  // A process killed at its first write of a file, for tests of what a
  // killed save leaves behind.
  if (std::getenv("KELMO_WRITE_PROBE_KILL")) ::raise(SIGKILL);
  if (!log || !*log) return;
  char line[64];
  const int n = std::snprintf(line, sizeof line, "%o %lu\n", static_cast<unsigned>(info.st_mode & 07777),
                              static_cast<unsigned long>(info.st_nlink));
  const int out = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (out < 0) return;
  // The log is written with write(), which is not watched.
  if (::write(out, line, static_cast<size_t>(n)) != n) std::abort();
  ::close(out);
}

template <class Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t writev(int fd, const struct iovec* iov, int count) {
  static const auto next = Next<ssize_t (*)(int, const struct iovec*, int)>("writev");
  Record(fd);
  return next(fd, iov, count);
}

ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t offset) {
  static const auto next = Next<ssize_t (*)(int, const struct iovec*, int, off_t)>("pwritev");
  Record(fd);
  return next(fd, iov, count, offset);
}

}  // extern "C"
