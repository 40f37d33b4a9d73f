// Stand-in for Microsoft's Driver Package Installer (DPInst_x86.exe / DPInst_x64.exe), for
// tests and the bench: installs nothing, only appends one line to "dpinst.log" in its working
// directory, so a caller can check which installer ran, with which parameters, from where:
//
//   <own file name> TAB <parameters as received> TAB <working directory> CRLF
//
// The parameters are the command line after the program's own name and the blanks that
// follow it; blanks inside them are kept as they came.
#include <windows.h>

#include <string>

namespace {

std::wstring OwnFileName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  const std::size_t slash = name.find_last_of(L"\\/");
  return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

std::wstring Parameters() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p != L'\0' && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

std::wstring WorkingDirectory() {
  wchar_t directory[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, directory);
  return directory;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring line = OwnFileName() + L"\t" + Parameters() + L"\t" + WorkingDirectory() + L"\r\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &utf8[0], size, nullptr, nullptr);

  HANDLE log = CreateFileW(L"dpinst.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(log);
  return ok ? 0 : 1;
}
