#include "platform/ProgramStart.h"

#include <windows.h>

std::wstring ProgramFolder() {
  // Long paths are allowed where the program lives: grow the buffer until the name fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

void ExcludeCurrentFolderFromDllSearch() {
  const std::wstring folder = ProgramFolder();
  // Without its own folder the program still must not search the current one.
  SetDllDirectoryW(folder.empty() ? L"" : folder.substr(0, folder.size() - 1).c_str());
}
