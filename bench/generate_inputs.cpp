// Writes the generated benchmark documents into a directory:
//   kelmo_bench_inputs DIR [BYTES]   (BYTES defaults to 10 MB)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "input_generator.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [BYTES]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const size_t size = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 10u << 20;
  const struct {
    const char* name;
    std::string bytes;
  } documents[] = {
      {"config.xml", bench::GenerateConfig(size)},
      {"text.xml", bench::GenerateText(size)},
      // Peers refuse deeper documents (one stops at 100 levels).
      {"deep.xml", bench::GenerateDeep(size, 90)},
      {"gb2312.xml", bench::GenerateGb2312(size)},
  };
  for (const auto& document : documents) {
    const std::string path = dir + "/" + document.name;
    if (!WriteFile(path, document.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
