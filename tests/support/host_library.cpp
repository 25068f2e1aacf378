#include "support/host_library.h"

#include <gtest/gtest.h>

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "support/utf8_reference.h"

namespace kelmo_test {

HostLibrary::HostLibrary() {
#if defined(_WIN32)
  HMODULE handle = LoadLibraryA(KELMO_LIBRARY_PATH);
  if (!handle) {
    error = "LoadLibrary failed for " KELMO_LIBRARY_PATH;
    return;
  }
  get = reinterpret_cast<KelmoGetModuleFn>(GetProcAddress(handle, "GetCppModuleInterface"));
  free = reinterpret_cast<KelmoFreeModuleFn>(GetProcAddress(handle, "FreeCppModuleInterface"));
#else
  void* handle = dlopen(KELMO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    error = dlerror();
    return;
  }
  get = reinterpret_cast<KelmoGetModuleFn>(dlsym(handle, "GetCppModuleInterface"));
  free = reinterpret_cast<KelmoFreeModuleFn>(dlsym(handle, "FreeCppModuleInterface"));
#endif
  if (!get || !free) error = "entry points not found";
}

HostLibrary& HostLibrary::Instance() {
  static HostLibrary library;
  return library;
}

ModuleScope::ModuleScope() {
  HostLibrary& lib = HostLibrary::Instance();
  if (!lib.error.empty()) throw std::runtime_error(lib.error);
  lib.get(&module_);
  if (!module_) throw std::runtime_error("GetCppModuleInterface gave no factory");
}

ModuleScope::~ModuleScope() { HostLibrary::Instance().free(&module_); }

std::u16string U16(const char* utf8) { return Utf16Of(utf8); }

}  // namespace kelmo_test
