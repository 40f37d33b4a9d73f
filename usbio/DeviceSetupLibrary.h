// The Setup API, bound at first use from "setupapi.dll" and kept until program end; one
// instance for the whole process. A failed binding leaves nothing bound, so the next use
// tries again.
#pragma once

#include <windows.h>

#include <setupapi.h>

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
