#include "app/DriverInstall.h"

#include <shellapi.h>

#include <string>

#include "platform/ProgramStart.h"

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

void RunInstaller(const std::wstring& driverFolder, const wchar_t* installer, const wchar_t* parameters) {
  const std::wstring file = driverFolder + L"\\" + installer;
  SHELLEXECUTEINFOW info = {};
  // The structure's own size (60 bytes only in a 32-bit build); the shell refuses any other.
  info.cbSize = sizeof(info);
  // No error box from the shell either: a missing installer is skipped without a word.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters;
  // The parameters name the packages relative to this folder.
  info.lpDirectory = driverFolder.c_str();
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
  // Beside the program, never below the current folder: the installers run with an
  // administrator's rights, and a program started from a shortcut or a scheduled task has
  // another current folder anyway.
  const std::wstring programFolder = ProgramFolder();
  if (programFolder.empty()) return;
  const std::wstring driverFolder = programFolder + L"qmdriver";
  const wchar_t* installer = InstallerForThisSystem();
  RunInstaller(driverFolder, installer, L"/PATH .\\KNCDCDriver\\ /F /LM  /A");
  RunInstaller(driverFolder, installer, L"/PATH .\\DFU_Driver\\ /F /LM  /A");
}
