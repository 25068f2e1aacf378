#include "os/whole_file.h"

#include <cstdlib>

#include "os/file_open.h"

namespace kelmo::os {
namespace {

// Reads an open file to its end in growing blocks, for files whose size
// cannot be told in advance: pipes, terminals, and files such as those
// under /proc that report a size of 0.
bool ReadToEnd(std::FILE* file, FileBytes& bytes, uint32_t& size) {
  uint64_t capacity = 0;
  uint64_t filled = 0;
  while (true) {
    if (filled == capacity) {
      if (capacity >= kMaxWholeFile) return false;  // more than ParseBuffer can take
      uint64_t grown = capacity == 0 ? 65536 : capacity * 2;
      if (grown > kMaxWholeFile) grown = kMaxWholeFile;
      void* block = std::realloc(bytes.get(), static_cast<size_t>(grown));
      if (!block) return false;
      bytes.release();
      bytes.reset(static_cast<unsigned char*>(block));
      capacity = grown;
    }
    const size_t read = std::fread(bytes.get() + filled, 1, static_cast<size_t>(capacity - filled), file);
    filled += read;
    if (read == 0 || filled < capacity) {
      if (std::ferror(file)) return false;
      if (std::feof(file)) break;
    }
  }
  size = static_cast<uint32_t>(filled);
  return true;
}

}  // namespace

bool ReadWholeFile(std::FILE* file, FileBytes& bytes, uint32_t& size) {
  if (!file) return false;
  bool ok = false;
  const int64_t fileSize = FileSize(file);
  if (fileSize <= 0) {
    ok = ReadToEnd(file, bytes, size);
  } else if (uint64_t(fileSize) <= kMaxWholeFile) {
    size = static_cast<uint32_t>(fileSize);
    bytes.reset(static_cast<unsigned char*>(std::malloc(size)));
    // A file that grew since its size was taken is read only as far as
    // that size; one that shrank is a failed read.
    ok = bytes && std::fread(bytes.get(), 1, size, file) == size;
  }
  std::fclose(file);
  return ok;
}


}  // namespace kelmo::os
