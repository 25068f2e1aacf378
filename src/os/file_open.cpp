#include "os/file_open.h"

namespace kelmo::os {

std::FILE* OpenFileA(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return std::fopen(path, mode);
}

}  // namespace kelmo::os
