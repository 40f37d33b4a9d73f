#include "usbio/DeviceSetupLibrary.h"

#include "usbio/UsbSystemPort.h"

namespace {

template <typename Pointer>
bool Bind(HMODULE module, const char* name, Pointer& pointer) {
  pointer = reinterpret_cast<Pointer>(reinterpret_cast<void*>(UsbSystem().GetProcAddress(module, name)));
  return pointer != nullptr;
}

}  // namespace

bool CDeviceSetupLibrary::Load() {
  if (m_hModule != nullptr) return true;
  m_hModule = UsbSystem().LoadLibraryW(L"setupapi.dll");
  if (m_hModule == nullptr) return false;
  if (!Bind(m_hModule, "SetupDiGetClassDevsW", SetupDiGetClassDevsW) ||
      !Bind(m_hModule, "SetupDiDestroyDeviceInfoList", SetupDiDestroyDeviceInfoList) ||
      !Bind(m_hModule, "SetupDiEnumDeviceInterfaces", SetupDiEnumDeviceInterfaces) ||
      !Bind(m_hModule, "SetupDiGetDeviceInterfaceDetailW", SetupDiGetDeviceInterfaceDetailW)) {
    Release();
    return false;
  }
  return true;
}

void CDeviceSetupLibrary::Release() {
  if (m_hModule != nullptr) UsbSystem().FreeLibrary(m_hModule);
  m_hModule = nullptr;
  SetupDiGetClassDevsW = nullptr;
  SetupDiDestroyDeviceInfoList = nullptr;
  SetupDiEnumDeviceInterfaces = nullptr;
  SetupDiGetDeviceInterfaceDetailW = nullptr;
}

CDeviceSetupLibrary& DeviceSetupLibrary() {
  static CDeviceSetupLibrary library;
  return library;
}
