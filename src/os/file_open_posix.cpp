// File names are bytes here; wide names are taken to be UTF-16 and passed
// on as UTF-8, the encoding every current POSIX system's file names use.
#include <sys/types.h>

#include <string>

#include "os/file_open.h"
#include "text/utf8_codec.h"

namespace kelmo::os {

std::FILE* OpenFileW(const WChar* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  size_t length = 0;
  while (path[length] != 0) ++length;
  // A replaced character would open or create some other file.
  std::string narrowPath;
  if (!text::AppendUtf8Strict(path, length, narrowPath)) return nullptr;
  return std::fopen(narrowPath.c_str(), mode);
}

int64_t FileSize(std::FILE* file) {
  if (file == nullptr || fseeko(file, 0, SEEK_END) != 0) return -1;
  const off_t size = ftello(file);
  if (fseeko(file, 0, SEEK_SET) != 0) return -1;
  return size < 0 ? -1 : static_cast<int64_t>(size);
}

}  // namespace kelmo::os
