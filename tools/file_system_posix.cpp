#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_system.h"

namespace kelmo_tool {
namespace {

bool ReadDescriptor(int fd, std::string& bytes, std::string& why) {
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    why = std::strerror(EISDIR);
    return false;
  }
  const bool ok = ReadDescriptor(fd, bytes, why);
  ::close(fd);
  return ok;
}

bool ReadStandardInput(std::string& bytes, std::string& why) {
  return ReadDescriptor(STDIN_FILENO, bytes, why);
}

bool WriteStandardOutput(std::string_view bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    return false;
  return std::fflush(stdout) == 0;
}

std::string ResolvePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;
}

std::string CreateTemporaryFile(const std::string& target, std::string& why) {
  std::string pattern;
  if (target.empty()) {
    const char* dir = std::getenv("TMPDIR");
    pattern = std::string(dir && *dir ? dir : "/tmp") + "/kelmo-XXXXXX";
  } else {
    pattern = DirectoryOf(target) + "/." + BaseName(target) + ".kelmo-XXXXXX";
  }
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    why = std::strerror(errno);
    return {};
  }
  ::close(fd);
  return pattern;
}

bool ReplaceFile(const std::string& replacement, const std::string& target, std::string& why) {
  struct stat info;
  mode_t mode;
  if (::stat(target.c_str(), &info) == 0) {
    // Keep the owner where we may (as root), and the permission bits always.
    if (::chown(replacement.c_str(), info.st_uid, info.st_gid) != 0) {
      // Not permitted for an ordinary user; the file then belongs to them.
    }
    mode = info.st_mode & 07777;
  } else {
    // A new file gets the permissions any new file would get, not the
    // private ones of a temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::chmod(replacement.c_str(), mode) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (::rename(replacement.c_str(), target.c_str()) != 0) {
    why = std::strerror(errno);
    return false;
  }
  return true;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

bool IsRegularFileOrMissing(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode);
}

}  // namespace kelmo_tool
