#include "os/safe_file_writer.h"

namespace kelmo::os {

bool WriteParts(std::FILE* file, const ByteRange* parts, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* data = parts[i].data;
    uint64_t left = parts[i].size;
    while (left > 0) {
      const size_t chunk = static_cast<size_t>(left < kMaxWriteChunk ? left : kMaxWriteChunk);
      if (std::fwrite(data, 1, chunk, file) != chunk) return false;
      data += chunk;
      left -= chunk;
    }
  }
  return true;
}

}  // namespace kelmo::os
