// A host program: loads the library, builds a small parameter tree, stores
// typed values and reads them back converted to other kinds.
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

// Loads the library and resolves its two entry points.
bool LoadLibraryEntryPoints(KelmoGetModuleFn& get, KelmoFreeModuleFn& free) {
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

// Reads a value as UTF-8 text through the narrow getter.
std::string Text(const RefPtr<Kelmo>& node) {
  const char* text = nullptr;
  unsigned int length = 0;
  RefPtr<kelmo::XInRes> holder;
  if (!node->GetStringA(text, length, kelmo::kCodePageUtf8, holder)) return "(no text)";
  return std::string(text, length);
}

RefPtr<Kelmo> Child(const RefPtr<Kelmo>& parent, const char* name) {
  RefPtr<Kelmo> child = parent->FindChildA(name, kelmo::kWholeText, kelmo::kCodePageUtf8, 0);
  if (!child) {
    child = parent->CreateNode();
    child->SetNameA(name, kelmo::kWholeText, kelmo::kCodePageUtf8);
    parent->AppendChild(child);
  }
  return child;
}

}  // namespace

int main() {
  KelmoGetModuleFn get = nullptr;
  KelmoFreeModuleFn free = nullptr;
  if (!LoadLibraryEntryPoints(get, free)) {
    std::fprintf(stderr, "cannot load %s\n", KELMO_LIBRARY_PATH);
    return 1;
  }
  kelmo::IModule* module = nullptr;
  get(&module);

  RefPtr<Kelmo> config = module->CreateNodeA("config", kelmo::kWholeText, kelmo::kCodePageUtf8);
  RefPtr<Kelmo> server = Child(config, "server");
  Child(server, "port")->SetInt(8080);
  Child(server, "ratio")->SetDouble(0.75);
  Child(server, "enabled")->SetBool(true);
  Child(server, "name")->SetStringA("primary \xC3\xA9t\xC3\xA9", kelmo::kWholeText,
                                   kelmo::kCodePageUtf8);
  Child(server, "retries")->SetStringA(" 0x1F ", kelmo::kWholeText, kelmo::kCodePageUtf8);
  const unsigned char key[] = {0xDE, 0xAD, 0xBE, 0xEF};
  Child(server, "key")->SetBinary(key, sizeof key);

  std::printf("server has %u parameters\n", server->GetChildCount());
  for (RefPtr<Kelmo> p = server->GetFirstChild(); p; p = p->GetNextSibling()) {
    const char* name = nullptr;
    unsigned int nameLength = 0;
    RefPtr<kelmo::XInRes> holder;
    p->GetNameA(name, nameLength, kelmo::kCodePageUtf8, holder);
    std::printf("  %-8.*s type 0x%02x  text \"%s\"", static_cast<int>(nameLength), name,
                p->GetType(), Text(p).c_str());
    int asInt = 0;
    double asDouble = 0;
    bool asBool = false;
    if (p->GetInt(asInt)) std::printf("  int %d", asInt);
    if (p->GetDouble(asDouble)) std::printf("  double %g", asDouble);
    if (p->GetBool(asBool)) std::printf("  bool %s", asBool ? "true" : "false");
    std::printf("\n");
  }

  RefPtr<Kelmo> copy = config->Clone();
  unsigned int port = 0;
  copy->FindChildA("server", kelmo::kWholeText, kelmo::kCodePageUtf8, 0)
      ->FindChildA("port", kelmo::kWholeText, kelmo::kCodePageUtf8, 0)
      ->GetUInt(port);
  std::printf("clone reads port %u\n", port);

  config = nullptr;
  copy = nullptr;
  server = nullptr;
  free(&module);
  return 0;
}
