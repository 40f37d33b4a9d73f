#include "usbio/UsbSystemPort.h"

namespace {

class RealUsbSystemPort : public UsbSystemPort {
 public:
  HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flags, HANDLE templateFile) override {
    return ::CreateFileW(path, access, share, security, disposition, flags, templateFile);
  }
  BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                       LPDWORD returned, LPOVERLAPPED overlapped) override {
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
  }
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) override {
    return ::ReadFile(file, buffer, size, read, overlapped);
  }
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) override {
    return ::WriteFile(file, buffer, size, written, overlapped);
  }
  BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) override {
    return ::GetOverlappedResult(file, overlapped, transferred, wait);
  }
  BOOL CancelIo(HANDLE file) override { return ::CancelIo(file); }
  HMODULE LoadLibraryW(LPCWSTR name) override { return ::LoadLibraryW(name); }
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override { return ::GetProcAddress(module, name); }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
};

RealUsbSystemPort g_realPort;
UsbSystemPort* g_port = &g_realPort;

}  // namespace

UsbSystemPort& UsbSystem() { return *g_port; }

void InstallUsbSystemPort(UsbSystemPort* port) { g_port = port != nullptr ? port : &g_realPort; }
