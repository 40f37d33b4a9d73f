// The kernel32 and loader functions the USB layer calls, behind one narrow seam. The program
// uses the system's own; the virtual instrument bench installs its driver simulation here,
// since no machine here has the USBIO driver or its devices.
#pragma once

#include <windows.h>

class UsbSystemPort {
 public:
  virtual ~UsbSystemPort() = default;

  virtual HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                               LPDWORD returned, LPOVERLAPPED overlapped) = 0;
  virtual BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) = 0;
  virtual BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) = 0;
  virtual BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) = 0;
  virtual BOOL CancelIo(HANDLE file) = 0;
  virtual HMODULE LoadLibraryW(LPCWSTR name) = 0;
  virtual FARPROC GetProcAddress(HMODULE module, LPCSTR name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;
};

// The port in use: the system's own unless another was installed.
UsbSystemPort& UsbSystem();

// Installs port (null: back to the system's own). Done once at start, before any USB use;
// the caller keeps port alive for as long as it is installed.
void InstallUsbSystemPort(UsbSystemPort* port);
