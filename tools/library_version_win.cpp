#include <windows.h>

#include <string>
#include <vector>

#include "kelmo/easy/utf.hpp"
#include "library_version.h"

namespace kelmo_tool {

std::string LibraryFileVersion(const std::string& path) {
  const std::u16string wide = kelmo::easy::ToUtf16(path);
  const auto* name = reinterpret_cast<LPCWSTR>(wide.c_str());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name, &ignored);
  if (size == 0) return "";
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(name, 0, size, data.data())) return "";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != VS_FFI_SIGNATURE)
    return "";
  // The fourth number is always 0: the project's version has three.
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS));
}

}  // namespace kelmo_tool
