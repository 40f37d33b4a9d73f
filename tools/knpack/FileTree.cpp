#include "tools/knpack/FileTree.h"

#include <windows.h>

#include "update/UpdatePackage.h"

namespace knpack {

void RemoveTree(const std::wstring& directory) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = directory + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(directory.c_str());
}

std::wstring NewScratchDirectory(const std::wstring& purpose) {
  const std::wstring base = SystemTempDirectory() + purpose + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetTickCount());
  // A folder left by an earlier run of the same process id and tick is not reused.
  for (unsigned attempt = 0;; ++attempt) {
    const std::wstring path = base + (attempt == 0 ? std::wstring() : L"-" + std::to_wstring(attempt)) + L"\\";
    if (CreateDirectoryW(path.c_str(), nullptr) || attempt == 100) return path;
  }
}

}  // namespace knpack
