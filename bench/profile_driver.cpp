// A small driver for profilers (callgrind, perf): loads one file through the
// library's own parser object, linked directly, and optionally writes it or
// reads every node's name and value through the interfaces.
//   kelmo_bench_profile FILE [load|write|both|read] [REPEAT]
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "api/parser_factory.h"
#include "api/traversal_factory.h"
#include "kelmo/kelmo.h"

namespace {

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [load|write|both|read] [REPEAT]\n", argv[0]);
    return 2;
  }
  const char* mode = argc > 2 ? argv[2] : "load";
  const int repeat = argc > 3 ? std::atoi(argv[3]) : 1;
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) return 1;
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);

  const bool load = std::strcmp(mode, "write") != 0;
  const bool read = std::strcmp(mode, "read") == 0;
  const bool write = !read && std::strcmp(mode, "load") != 0;
  kelmo::RefPtr<kelmo::KelmoTraversal> traversal = kelmo::NewKelmoTraversal();
  kelmo::RefPtr<kelmo::Kelmo> root;
  size_t written = 0;
  double parseSeconds = 0, freeSeconds = 0, writeSeconds = 0, readSeconds = 0;
  size_t seen = 0;
  for (int i = 0; i < repeat || (!load && i == 0); ++i) {
    if (load || !root) {
      double start = CpuSeconds();
      root = nullptr;
      freeSeconds += CpuSeconds() - start;
      start = CpuSeconds();
      kelmo::RefPtr<kelmo::KelmoParser> parser = kelmo::NewKelmoParser();
      if (!parser->ParseBuffer(bytes.data(), static_cast<unsigned int>(bytes.size()))) {
        std::fprintf(stderr, "parse error %u at line %u\n", parser->GetErrorCode(),
                     parser->GetErrorLine());
        return 1;
      }
      root = parser->DetachRoot();
      parseSeconds += CpuSeconds() - start;
    }
    if (read) {
      const double start = CpuSeconds();
      kelmo::RefPtr<kelmo::XInRes> holder;
      kelmo::RefPtr<kelmo::Kelmo> node = root->GetFirstChild();
      while (node) {
        const kelmo::WChar* text = nullptr;
        unsigned int length = 0;
        if (node->GetNameW(text, length, holder)) seen += length;
        if (node->GetStringW(text, length, holder)) seen += length;
        kelmo::RefPtr<kelmo::Kelmo> next = node->GetFirstChild();
        while (!next && node) {
          next = node->GetNextSibling();
          if (!next) node = node->GetParent();
        }
        node = next;
      }
      readSeconds += CpuSeconds() - start;
    }
    if (write) {
      const double start = CpuSeconds();
      unsigned int length = 0;
      kelmo::RefPtr<kelmo::XInRes> holder;
      traversal->ToXmlA(root, &length, "  ", "\n", 65001, holder);
      written += length;
      writeSeconds += CpuSeconds() - start;
    }
  }
  std::printf("%zu bytes read, %zu written, %zu characters seen; CPU ms: parse %.1f, free %.1f, "
              "write %.1f, read %.1f\n",
              bytes.size(), written, seen, parseSeconds * 1e3, freeSeconds * 1e3, writeSeconds * 1e3,
              readSeconds * 1e3);
  return 0;
}
