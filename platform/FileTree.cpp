#include "platform/FileTree.h"

#include <windows.h>

void RemoveTreeContents(const std::wstring& directory) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = directory + name;
      const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (folder && !link) {
        RemoveTree(path + L"\\");
      } else if (folder) {
        RemoveDirectoryW(path.c_str());
      } else {
        RemoveFileEvenIfReadOnly(path);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
}

void RemoveTree(const std::wstring& directory) {
  RemoveTreeContents(directory);
  RemoveDirectoryW(directory.c_str());
}

void RemoveFileEvenIfReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  DeleteFileW(path.c_str());
}
