#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_system.h"
#include "kelmo/easy.hpp"

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

}  // namespace

// The library's convenience layer reads files the same way, with the same
// reasons, for hosts.
bool ReadInputFile(const std::string& path, std::string& bytes, std::string& why) {
  return kelmo::easy::ReadFileBytes(path, bytes, why);
}

bool ReadStandardInput(std::string& bytes, std::string& why) {
  return ReadDescriptor(STDIN_FILENO, bytes, why);
}

bool WriteStandardOutput(std::string_view bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    return false;
  return std::fflush(stdout) == 0;
}

std::FILE* OpenForReading(const std::string& path) {
  return path == "-" ? stdin : std::fopen(path.c_str(), "rb");
}

std::FILE* OpenForWriting(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

std::string CreateTemporaryFile(std::string& why) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/kelmo-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    why = std::strerror(errno);
    return {};
  }
  ::close(fd);
  return pattern;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

bool IsRegularFileOrMissing(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode);
}

}  // namespace kelmo_tool
