#include "os/safe_file_writer.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "os/file_open.h"
#include "text/text_length.h"

namespace kelmo::os {
namespace {

bool WriteAndClose(std::FILE* file, const ByteRange* parts, size_t count) {
  if (!file) return false;
  const bool ok = WriteParts(file, parts, count) && std::fflush(file) == 0;
  std::fclose(file);
  return ok;
}

// How a target is written: through a replacement file, or in place.
enum class Route { Replace, Direct };

// A missing file, or an existing writable file on disk, is replaced; devices,
// pipes, directories, read-only files and paths that cannot be examined are
// written in place, where opening them gives the usual answer.
Route ChooseRoute(const wchar_t* path, DWORD& attributes) {
  attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Route::Replace : Route::Direct;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return Route::Direct;
  HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Route::Direct;
  const DWORD type = GetFileType(handle);
  CloseHandle(handle);
  return type == FILE_TYPE_DISK ? Route::Replace : Route::Direct;
}

bool FullPath(const wchar_t* path, std::wstring& full, std::wstring& directory) {
  DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return false;
  full.resize(needed);
  wchar_t* filePart = nullptr;
  DWORD written = GetFullPathNameW(path, needed, &full[0], &filePart);
  if (written == 0 || written >= needed || !filePart) return false;
  full.resize(written);
  directory.assign(full.c_str(), filePart - full.c_str());
  return true;
}

// Writes through a new file beside the target. Returns false with `made`
// unset when no such file could be created, so the caller may write in place.
bool WriteReplacement(const wchar_t* path, DWORD attributes, const ByteRange* parts,
                      size_t count, bool& made) {
  made = false;
  std::wstring full, directory;
  if (!FullPath(path, full, directory)) return false;
  wchar_t temporary[MAX_PATH + 1];
  if (GetTempFileNameW(directory.c_str(), L"klm", 0, temporary) == 0) return false;
  made = true;
  std::FILE* file = _wfopen(temporary, L"wb");
  bool ok = file != nullptr;
  if (ok) {
    ok = WriteParts(file, parts, count) && std::fflush(file) == 0 &&
         FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
    ok = std::fclose(file) == 0 && ok;
  }
  if (ok && attributes != INVALID_FILE_ATTRIBUTES) {
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    SetFileAttributesW(temporary, kept ? kept : FILE_ATTRIBUTE_NORMAL);
  }
  ok = ok && MoveFileExW(temporary, full.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) DeleteFileW(temporary);
  return ok;
}

bool ToWide(const char* path, std::wstring& wide) {
  const int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (needed <= 0) return false;
  wide.resize(static_cast<size_t>(needed));
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], needed) != needed) return false;
  wide.resize(static_cast<size_t>(needed) - 1);
  return true;
}

// What writing the target itself amounts to: an existing disk file that
// could not be replaced is overwritten where it is; anything else (a
// device, a pipe, a new file, a path that only opening can answer) is
// written as a stream.
WriteRoute DirectRoute(Route chosen, DWORD attributes) {
  return chosen == Route::Replace && attributes != INVALID_FILE_ATTRIBUTES ? WriteRoute::InPlace
                                                                          : WriteRoute::Direct;
}

}  // namespace

// Temporary files here come from GetTempFileNameW, without the process
// that made them in their names; there is nothing to tell a stale one by.
void RemoveStaleTemporaries(const std::string&) {}

bool ReplaceFileW(const WChar* path, const ByteRange* parts, size_t count, WriteRoute* route) {
  if (route) *route = WriteRoute::Replaced;
  if (!path || !*path) return false;
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  const Route chosen = ChooseRoute(path, attributes);
  if (chosen == Route::Replace) {
    bool made = false;
    const bool ok = WriteReplacement(path, attributes, parts, count, made);
    if (made) return ok;
  }
  if (route) *route = DirectRoute(chosen, attributes);
  // Write-only, as on POSIX systems: a pipe opened for reading as well
  // would be refused by a server that only reads.
  return WriteAndClose(OpenFileW(path, "wb"), parts, count);
}

bool ReplaceFileA(const char* path, const ByteRange* parts, size_t count, WriteRoute* route) {
  if (route) *route = WriteRoute::Replaced;
  if (!path || !*path) return false;
  std::wstring wide;
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  const Route chosen = ToWide(path, wide) ? ChooseRoute(wide.c_str(), attributes) : Route::Direct;
  if (chosen == Route::Replace) {
    bool made = false;
    const bool ok = WriteReplacement(wide.c_str(), attributes, parts, count, made);
    if (made) return ok;
  }
  if (route) *route = DirectRoute(chosen, attributes);
  // In place the narrow path is opened as narrow text, as the caller gave it.
  return WriteAndClose(OpenFileA(path, "wb"), parts, count);
}

}  // namespace kelmo::os
