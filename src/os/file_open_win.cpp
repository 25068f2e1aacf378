#include <stdio.h>

#include "os/file_open.h"

namespace kelmo::os {

std::FILE* OpenFileW(const WChar* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  // Modes are short ASCII strings such as "rb" or "wb+".
  wchar_t wideMode[16];
  size_t i = 0;
  for (; mode[i] != '\0'; ++i) {
    if (i + 1 >= sizeof wideMode / sizeof wideMode[0]) return nullptr;
    wideMode[i] = static_cast<wchar_t>(static_cast<unsigned char>(mode[i]));
  }
  wideMode[i] = L'\0';
  return _wfopen(path, wideMode);
}

int64_t FileSize(std::FILE* file) {
  if (file == nullptr || _fseeki64(file, 0, SEEK_END) != 0) return -1;
  const int64_t size = _ftelli64(file);
  if (_fseeki64(file, 0, SEEK_SET) != 0) return -1;
  return size < 0 ? -1 : size;
}

}  // namespace kelmo::os
