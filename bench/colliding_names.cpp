// Times ParseBuffer and Clone of a UTF-16LE document whose element names are
// five units long and agree in the low 20 bits of their FNV-1a-32 hashes (the
// hash that name interning once used), against as many ordinary names:
//   kelmo_bench_colliding_names [count] [library]
// Interning that is immune to crafted names takes about as long for both.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kelmo/kelmo.h"

using namespace kelmo;

namespace {

std::u16string Document(int count, bool colliding) {
  constexpr uint32_t kPrime = 16777619u, kMask = (1u << 20) - 1, kTarget = 0x12345;
  uint32_t inverse = 1;  // of the prime modulo 2^32, by Newton's iteration
  for (int i = 0; i < 5; ++i) inverse *= 2 - kPrime * inverse;
  std::u16string doc = u"<r>";
  for (uint64_t n = 0; count > 0; ++n) {
    uint64_t s = n;
    char16_t name[5];
    name[0] = static_cast<char16_t>(u'A' + s % 26);
    s /= 26;
    for (int i = 1; i < 4; ++i, s /= 20000) name[i] = static_cast<char16_t>(0x4E00 + s % 20000);
    if (colliding) {
      uint32_t h = 2166136261u;
      for (int i = 0; i < 4; ++i) h = (h ^ name[i]) * kPrime;
      const uint32_t last = ((kTarget * inverse) ^ h) & kMask;
      if (last < 0x4E00 || last > 0x9FFF) continue;
      name[4] = static_cast<char16_t>(last);
    } else {
      name[4] = static_cast<char16_t>(0x4E00 + n % 0x5000);
    }
    doc += u"<";
    doc.append(name, 5);
    doc += u"/>";
    --count;
  }
  return doc + u"</r>";
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const char* path = argc > 2 ? argv[2] : KELMO_BENCH_LIBRARY_PATH;
  void* library = dlopen(path, RTLD_NOW);
  if (!library) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto get = reinterpret_cast<KelmoGetModuleFn>(dlsym(library, "GetCppModuleInterface"));
  auto release = reinterpret_cast<KelmoFreeModuleFn>(dlsym(library, "FreeCppModuleInterface"));
  IModule* module = nullptr;
  get(&module);
  for (bool colliding : {false, true}) {
    const std::u16string doc = Document(count, colliding);
    RefPtr<KelmoParser> parser = module->CreateParser();
    auto start = std::chrono::steady_clock::now();
    const bool parsed = parser->ParseBuffer(reinterpret_cast<const unsigned char*>(doc.data()),
                                            static_cast<unsigned int>(doc.size() * 2));
    const double parse = Milliseconds(start);
    start = std::chrono::steady_clock::now();
    RefPtr<Kelmo> copy = parser->GetRoot()->Clone();
    const double clone = Milliseconds(start);
    std::printf("%-9s names: %d  parse %s %.0f ms  clone %.0f ms\n", colliding ? "colliding" : "ordinary",
                count, parsed ? "ok" : "FAILED", parse, clone);
  }
  release(&module);
  return 0;
}
