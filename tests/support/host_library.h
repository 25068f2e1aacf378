// Loads the built library the way a host program does and hands out its
// factory. Host-style tests use nothing else of the library.
#ifndef KELMO_TESTS_SUPPORT_HOST_LIBRARY_H
#define KELMO_TESTS_SUPPORT_HOST_LIBRARY_H

#include <string>

#include "kelmo/kelmo.h"
#include "support/node_text.h"

namespace kelmo_test {

// The library, loaded once per test process; the factory is made fresh by
// each caller of NewModule and freed by FreeModule.
class HostLibrary {
 public:
  static HostLibrary& Instance();
  KelmoGetModuleFn get = nullptr;
  KelmoFreeModuleFn free = nullptr;
  std::string error;

 private:
  HostLibrary();
};

// A factory for the duration of a scope.
class ModuleScope {
 public:
  ModuleScope();
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;
  kelmo::IModule* operator->() const { return module_; }
  kelmo::IModule* get() const { return module_; }

 private:
  kelmo::IModule* module_ = nullptr;
};

// UTF-16 text from an ASCII or UTF-8 literal.
std::u16string U16(const char* utf8);
// Wide text pointer of a u16string, in the interface's unit type.
inline const kelmo::WChar* W(const std::u16string& s) {
  return reinterpret_cast<const kelmo::WChar*>(s.c_str());
}

}  // namespace kelmo_test

#endif  // KELMO_TESTS_SUPPORT_HOST_LIBRARY_H
