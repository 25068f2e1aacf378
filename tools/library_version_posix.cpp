#include <cstdlib>

#include "library_version.h"

namespace kelmo_tool {
namespace {

// The version at the end of a shared object's file name: "0.1.0" for
// libkelmo.so.0.1.0; "" for a name that ends in less than three numbers
// (the soname libkelmo.so.0 says only the first) or in something else.
std::string VersionOfSharedObjectName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  const size_t so = name.find(".so.");
  if (so == std::string::npos) return "";
  const std::string version = name.substr(so + 4);
  int numbers = 0;
  bool inNumber = false;
  for (char c : version) {
    if (c >= '0' && c <= '9') {
      if (!inNumber) ++numbers;
      inNumber = true;
    } else if (c == '.' && inNumber) {
      inNumber = false;
    } else {
      return "";
    }
  }
  return numbers == 3 && inNumber ? version : "";
}

}  // namespace

std::string LibraryFileVersion(const std::string& path) {
  // The loader's own search (a bare soname) names no file to follow.
  if (path.find('/') == std::string::npos) return "";
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return "";
  const std::string resolved(real);
  std::free(real);
  return VersionOfSharedObjectName(resolved);
}

}  // namespace kelmo_tool
