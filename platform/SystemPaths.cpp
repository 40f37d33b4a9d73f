#include "platform/SystemPaths.h"

#include <windows.h>

#include <vector>

std::wstring SystemTempDirectory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> full(needed);
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  return length > 0 && length < needed ? std::wstring(full.data(), length) : path;
}
