// The Setup API, bound at first use from "setupapi.dll" and kept until program end; one
// instance for the whole process. A failed binding leaves nothing bound, so the next use
// tries again.
#pragma once

#include <windows.h>

#include <setupapi.h>

// The sizes the Setup API expects in the cbSize of its records: 32-bit Windows packs them to
// 1 byte, 64-bit Windows to 8 (the pointer-sized Reserved field and the padding after the
// detail's first character). A record of the wrong size is refused with
// ERROR_INVALID_USER_BUFFER, so the headers this program is built with must agree.
#ifdef _WIN64
constexpr DWORD kDeviceInterfaceDataSize = 32;
constexpr DWORD kDeviceInterfaceDetailDataSize = 8;
#else
constexpr DWORD kDeviceInterfaceDataSize = 28;
constexpr DWORD kDeviceInterfaceDetailDataSize = 6;
#endif
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == kDeviceInterfaceDataSize, "SP_DEVICE_INTERFACE_DATA of the platform");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == kDeviceInterfaceDetailDataSize,
              "SP_DEVICE_INTERFACE_DETAIL_DATA_W of the platform");

class CDeviceSetupLibrary {
 public:
  typedef HDEVINFO(WINAPI* tSetupDiGetClassDevsW)(const GUID*, PCWSTR, HWND, DWORD);
  typedef BOOL(WINAPI* tSetupDiDestroyDeviceInfoList)(HDEVINFO);
  typedef BOOL(WINAPI* tSetupDiEnumDeviceInterfaces)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                                     PSP_DEVICE_INTERFACE_DATA);
  typedef BOOL(WINAPI* tSetupDiGetDeviceInterfaceDetailW)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W, DWORD, PDWORD,
                                                          PSP_DEVINFO_DATA);

  CDeviceSetupLibrary() = default;
  ~CDeviceSetupLibrary() { Release(); }
  CDeviceSetupLibrary(const CDeviceSetupLibrary&) = delete;
  CDeviceSetupLibrary& operator=(const CDeviceSetupLibrary&) = delete;

  // True when all four entry points are bound.
  bool Load();
  void Release();
  bool IsLoaded() const { return m_hModule != nullptr; }

  HMODULE m_hModule = nullptr;
  tSetupDiGetClassDevsW SetupDiGetClassDevsW = nullptr;
  tSetupDiDestroyDeviceInfoList SetupDiDestroyDeviceInfoList = nullptr;
  tSetupDiEnumDeviceInterfaces SetupDiEnumDeviceInterfaces = nullptr;
  tSetupDiGetDeviceInterfaceDetailW SetupDiGetDeviceInterfaceDetailW = nullptr;
};

// The process's one binding, shared by every CUsbIo.
CDeviceSetupLibrary& DeviceSetupLibrary();
