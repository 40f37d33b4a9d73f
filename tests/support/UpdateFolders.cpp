#include "tests/support/UpdateFolders.h"

#include <windows.h>

#include <algorithm>

#include "tests/support/TestFiles.h"

namespace testing_support {

std::vector<std::wstring> FolderListing(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool FillAsAnUpdate(const std::wstring& folder) {
  if (!WriteFileBytes(folder + L"info", "a manifest")) return false;
  SetFileAttributesW((folder + L"info").c_str(), FILE_ATTRIBUTE_READONLY);
  return CreateDirectoryW((folder + L"fw").c_str(), nullptr) && WriteFileBytes(folder + L"fw\\program.bin", "program");
}

bool MakeOld(const std::wstring& folder) {
  HANDLE handle = CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER time = {{now.dwLowDateTime, now.dwHighDateTime}};
  time.QuadPart -= 3600ull * 10000000ull;
  const FILETIME hourAgo = {time.LowPart, time.HighPart};
  const bool set = SetFileTime(handle, nullptr, nullptr, &hourAgo) != FALSE;
  CloseHandle(handle);
  return set;
}

}  // namespace testing_support
