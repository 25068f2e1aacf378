// The library's main job, end to end, as a host program does it: load an XML
// parameter file, read typed values, change some, save the tree as UTF-8 and
// as UTF-16LE, load both files again and show that they agree.
//
//   kelmo_example [settings.xml] [output directory]
#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "kelmo/kelmo.h"

using kelmo::Kelmo;
using kelmo::RefPtr;

namespace {

constexpr unsigned int kUtf8 = kelmo::kCodePageUtf8;

bool LoadEntryPoints(KelmoGetModuleFn& get, KelmoFreeModuleFn& free) {
#if defined(_WIN32)
  HMODULE handle = LoadLibraryA(KELMO_LIBRARY_PATH);
  if (!handle) return false;
  get = reinterpret_cast<KelmoGetModuleFn>(GetProcAddress(handle, "GetCppModuleInterface"));
  free = reinterpret_cast<KelmoFreeModuleFn>(GetProcAddress(handle, "FreeCppModuleInterface"));
#else
  void* handle = dlopen(KELMO_LIBRARY_PATH, RTLD_NOW);
  if (!handle) {
    std::fprintf(stderr, "%s\n", dlerror());
    return false;
  }
  get = reinterpret_cast<KelmoGetModuleFn>(dlsym(handle, "GetCppModuleInterface"));
  free = reinterpret_cast<KelmoFreeModuleFn>(dlsym(handle, "FreeCppModuleInterface"));
#endif
  return get && free;
}

// Follows a path of child names ("sampling/gain"); null when a step is missing.
RefPtr<Kelmo> At(RefPtr<Kelmo> node, const std::string& path) {
  size_t start = 0;
  while (node && start <= path.size()) {
    size_t slash = path.find('/', start);
    std::string step = path.substr(start, slash == std::string::npos ? std::string::npos
                                                                      : slash - start);
    node = node->FindChildA(step.c_str(), static_cast<unsigned int>(step.size()), kUtf8, 0);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return node;
}

// The node at the path, created with any missing steps, for a value to be
// stored in.
RefPtr<Kelmo> AtOrCreate(RefPtr<Kelmo> node, const std::string& path) {
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    const std::string step = path.substr(start, slash == std::string::npos ? std::string::npos
                                                                              : slash - start);
    RefPtr<Kelmo> child = node->FindChildA(step.c_str(), static_cast<unsigned int>(step.size()), kUtf8, 0);
    if (!child) {
      child = node->CreateNode();
      child->SetNameA(step.c_str(), static_cast<unsigned int>(step.size()), kUtf8);
      node->AppendChild(child);
    }
    node = child;
    if (slash == std::string::npos) return node;
    start = slash + 1;
  }
}

// A parameter to read; a missing one keeps the default it was given, and
// the program says so instead of failing.
RefPtr<Kelmo> Param(const RefPtr<Kelmo>& settings, const std::string& path) {
  RefPtr<Kelmo> node = At(settings, path);
  if (!node) std::printf("  (%s is missing: keeping its default)\n", path.c_str());
  return node;
}

std::string Text(const RefPtr<Kelmo>& node) {
  const char* text = nullptr;
  unsigned int length = 0;
  RefPtr<kelmo::XInRes> holder;
  if (!node || !node->GetStringA(text, length, kUtf8, holder)) return "(none)";
  return std::string(text, length);
}

RefPtr<Kelmo> Load(kelmo::IModule* module, const std::string& path) {
  RefPtr<kelmo::KelmoParser> parser = module->CreateParser();
  if (!parser->ParseFileA(path.c_str())) {
    std::fprintf(stderr, "%s:%u:%u: cannot load (error %u)\n", path.c_str(),
                 parser->GetErrorLine(), parser->GetErrorColumn(), parser->GetErrorCode());
    return nullptr;
  }
  // The root has no name; its first child is the document element.
  return parser->DetachRoot()->GetElement();
}

std::u16string Xml(kelmo::IModule* module, const RefPtr<Kelmo>& node) {
  RefPtr<kelmo::KelmoTraversal> traversal = module->CreateTraversal();
  RefPtr<kelmo::XInRes> holder;
  unsigned int length = 0;
  const kelmo::WChar* text = traversal->ToXmlW(node, &length, nullptr, nullptr, holder);
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

int Run(kelmo::IModule* module, const std::string& input, const std::string& outDir) {
  RefPtr<Kelmo> settings = Load(module, input);
  if (!settings) return 1;
  std::printf("loaded %s\n", input.c_str());

  // Every value read from XML is text; the getters convert on demand.
  int interval = 0, channels = 0;
  double gain = 0, offset = 0;
  bool autoRange = true, dhcp = false;
  unsigned int port = 0;
  if (RefPtr<Kelmo> node = Param(settings, "sampling/intervalMs")) node->GetInt(interval);
  if (RefPtr<Kelmo> node = Param(settings, "sampling/channels")) node->GetInt(channels);
  if (RefPtr<Kelmo> node = Param(settings, "sampling/gain")) node->GetDouble(gain);
  if (RefPtr<Kelmo> node = Param(settings, "sampling/offset")) node->GetDouble(offset);
  if (RefPtr<Kelmo> node = Param(settings, "sampling/autoRange")) node->GetBool(autoRange);
  // An attribute is a child too.
  if (RefPtr<Kelmo> node = Param(settings, "network/dhcp")) node->GetBool(dhcp);
  if (RefPtr<Kelmo> node = Param(settings, "network/port")) node->GetUInt(port);
  std::printf("  intervalMs %d, channels %d, gain %g, offset %g, autoRange %s\n", interval,
              channels, gain, offset, autoRange ? "true" : "false");
  std::printf("  network: dhcp %s, port %u, host %s\n", dhcp ? "true" : "false", port,
              Text(At(settings, "network/host")).c_str());
  std::printf("  display title \"%s\", profile \"%s\"\n",
              Text(At(settings, "display/title")).c_str(), Text(At(settings, "profile")).c_str());
  const unsigned char* table = nullptr;
  unsigned int tableLength = 0;
  RefPtr<kelmo::XInRes> holder;
  RefPtr<Kelmo> tableNode = Param(settings, "calibration/table");
  if (tableNode && tableNode->GetBinary(table, tableLength, holder) && tableLength > 0)
    std::printf("  calibration table: %u bytes from base64, first %u\n", tableLength, table[0]);

  // Change typed values: they are stored as numbers and written as text.
  AtOrCreate(settings, "sampling/intervalMs")->SetInt(interval * 2);
  AtOrCreate(settings, "sampling/gain")->SetDouble(gain + 0.5);
  AtOrCreate(settings, "sampling/autoRange")->SetBool(true);
  AtOrCreate(settings, "network/port")->SetUInt(port + 1);
  std::printf("changed intervalMs to %d, gain to %g, autoRange to true, port to %u\n",
              interval * 2, gain + 0.5, port + 1);

  RefPtr<kelmo::KelmoTraversal> traversal = module->CreateTraversal();
  const std::string utf8Path = outDir + "/settings-utf8.xml";
  const std::string utf16Path = outDir + "/settings-utf16le.xml";
  if (!traversal->SaveFileA(settings, utf8Path.c_str(), "  ", "\n", "utf-8", kUtf8) ||
      !traversal->SaveFileA(settings, utf16Path.c_str(), "  ", "\n", "utf-16le", kUtf8)) {
    std::fprintf(stderr, "cannot save into %s\n", outDir.c_str());
    return 1;
  }
  std::printf("saved %s and %s\n", utf8Path.c_str(), utf16Path.c_str());

  RefPtr<Kelmo> fromUtf8 = Load(module, utf8Path);
  RefPtr<Kelmo> fromUtf16 = Load(module, utf16Path);
  if (!fromUtf8 || !fromUtf16) return 1;
  int reread = 0;
  double rereadGain = 0;
  At(fromUtf16, "sampling/intervalMs")->GetInt(reread);
  At(fromUtf16, "sampling/gain")->GetDouble(rereadGain);
  std::printf("reloaded: intervalMs %d, gain %g from the UTF-16LE file\n", reread, rereadGain);

  const std::u16string a = Xml(module, fromUtf8);
  const std::u16string b = Xml(module, fromUtf16);
  const std::u16string c = Xml(module, settings);
  const bool agree = a == b && b == c;
  std::printf("UTF-8 file, UTF-16LE file and the edited tree %s (%zu characters of XML)\n",
              agree ? "agree" : "DIFFER", a.size());
  return agree ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string input = argc > 1 ? argv[1] : KELMO_EXAMPLE_DATA "/settings.xml";
  const std::string outDir = argc > 2 ? argv[2] : ".";
  KelmoGetModuleFn get = nullptr;
  KelmoFreeModuleFn free = nullptr;
  if (!LoadEntryPoints(get, free)) {
    std::fprintf(stderr, "cannot load %s\n", KELMO_LIBRARY_PATH);
    return 1;
  }
  kelmo::IModule* module = nullptr;
  get(&module);
  int status = Run(module, input, outDir);
  free(&module);
  return status;
}
