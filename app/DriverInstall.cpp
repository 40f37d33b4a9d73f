#include "app/DriverInstall.h"

#include <shellapi.h>

namespace {

typedef UINT(WINAPI* tGetSystemWow64DirectoryW)(LPWSTR buffer, UINT size);

const wchar_t* InstallerForThisSystem() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  tGetSystemWow64DirectoryW getWow64Directory =
      kernel != nullptr ? reinterpret_cast<tGetSystemWow64DirectoryW>(
                              reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemWow64DirectoryW")))
                        : nullptr;
  if (getWow64Directory == nullptr) return ChooseDriverInstaller(false, 0, 0);
  wchar_t directory[MAX_PATH];
  const UINT result = getWow64Directory(directory, MAX_PATH);
  return ChooseDriverInstaller(true, result, result == 0 ? GetLastError() : ERROR_SUCCESS);
}

void RunInstaller(const wchar_t* installer, const wchar_t* parameters) {
  SHELLEXECUTEINFOW info = {};
  // The structure's own size (60 bytes only in a 32-bit build); the shell refuses any other.
  info.cbSize = sizeof(info);
  // No error box from the shell either: a missing installer is skipped without a word.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = installer;
  info.lpParameters = parameters;
  info.lpDirectory = L".\\qmdriver";
  info.nShow = SW_SHOW;
  ShellExecuteExW(&info);
  // No process handle means the start failed: nothing to wait for, nothing to report.
  if (info.hProcess == nullptr) return;
  WaitForSingleObject(info.hProcess, INFINITE);
  CloseHandle(info.hProcess);
}

}  // namespace

const wchar_t* ChooseDriverInstaller(bool hasWow64Function, UINT wow64Result, DWORD wow64Error) {
  if (hasWow64Function && (wow64Result != 0 || wow64Error != ERROR_CALL_NOT_IMPLEMENTED)) return L"DPInst_x64.exe";
  return L"DPInst_x86.exe";
}

void InstallDrivers() {
  const wchar_t* installer = InstallerForThisSystem();
  RunInstaller(installer, L"/PATH .\\KNCDCDriver\\ /F /LM  /A");
  RunInstaller(installer, L"/PATH .\\DFU_Driver\\ /F /LM  /A");
}
