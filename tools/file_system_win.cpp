#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "file_system.h"
#include "kelmo/easy/utf.hpp"

namespace kelmo_tool {
namespace {

using kelmo::easy::ToUtf16;
using kelmo::easy::ToUtf8;

std::wstring Wide(const std::string& utf8) {
  const std::u16string wide = ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string message = "error " + std::to_string(code);
  if (text) {
    std::u16string wide(text, text + wcslen(text));
    LocalFree(text);
    message = ToUtf8(wide);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
      message.pop_back();
  }
  return message;
}

bool ReadStream(std::FILE* file, std::string& bytes, std::string& why) {
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  if (std::ferror(file)) {
    why = "read error";
    return false;
  }
  return true;
}

}  // namespace

bool ReadInputFile(const std::string& path, std::string& bytes, std::string& why) {
  std::FILE* file = _wfopen(Wide(path).c_str(), L"rb");
  if (!file) {
    why = SystemMessage(GetLastError());
    return false;
  }
  const bool ok = ReadStream(file, bytes, why);
  std::fclose(file);
  return ok;
}

bool ReadStandardInput(std::string& bytes, std::string& why) {
  _setmode(_fileno(stdin), _O_BINARY);
  return ReadStream(stdin, bytes, why);
}

bool WriteStandardOutput(std::string_view bytes) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    return false;
  return std::fflush(stdout) == 0;
}

std::FILE* OpenForReading(const std::string& path) {
  if (path != "-") return _wfopen(Wide(path).c_str(), L"rb");
  _setmode(_fileno(stdin), _O_BINARY);
  return stdin;
}

std::FILE* OpenForWriting(const std::string& path) { return _wfopen(Wide(path).c_str(), L"wb"); }

std::string CreateTemporaryFile(std::string& why) {
  wchar_t dir[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0) {
    why = SystemMessage(GetLastError());
    return {};
  }
  wchar_t name[MAX_PATH + 1];
  if (GetTempFileNameW(dir, L"klm", 0, name) == 0) {
    why = SystemMessage(GetLastError());
    return {};
  }
  std::u16string wide(name, name + wcslen(name));
  return ToUtf8(wide);
}

void RemoveFile(const std::string& path) { DeleteFileW(Wide(path).c_str()); }

bool IsRegularFileOrMissing(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace kelmo_tool
