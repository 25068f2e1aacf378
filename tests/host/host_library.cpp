#include "host/host_library.h"

#include <gtest/gtest.h>

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

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

std::u16string U16(const char* utf8) {
  std::u16string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8);
  while (*s) {
    uint32_t c = *s++;
    int extra = 0;
    if (c >= 0xF0) { c &= 0x07; extra = 3; }
    else if (c >= 0xE0) { c &= 0x0F; extra = 2; }
    else if (c >= 0xC0) { c &= 0x1F; extra = 1; }
    for (int i = 0; i < extra && *s; ++i) c = (c << 6) | (*s++ & 0x3F);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::u16string NameOf(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  const kelmo::WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  if (!node || !node->GetNameW(text, length, holder)) return u"<none>";
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

std::u16string StringOf(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  const kelmo::WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  if (!node || !node->GetStringW(text, length, holder)) return u"<none>";
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace kelmo_test
