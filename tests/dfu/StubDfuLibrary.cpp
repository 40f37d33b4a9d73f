// A stand-in DFU library for the binding tests, built in several variants: KN_STUB_INIT_RESULT
// is what LMDFUInit reports, and each variant's generated .def file may leave out one entry
// point (an outdated library).
#include <windows.h>

#include "dfu/DfuApi.h"

namespace {
constexpr int kStubCallResult = -99;  // no device work happens in a stub
}

extern "C" {
int WINAPI LMDFUInit(void) { return KN_STUB_INIT_RESULT; }
int WINAPI LMDFUDeviceOpen(int, DfuDeviceInfo*, DfuHandle*) { return kStubCallResult; }
int WINAPI LMDFUDeviceClose(DfuHandle, int) { return kStubCallResult; }
int WINAPI LMDFUDeviceStringGet(DfuHandle, std::uint32_t, std::uint16_t, wchar_t*, std::uint32_t*) {
  return kStubCallResult;
}
int WINAPI LMDFUDeviceASCIIStringGet(DfuHandle, std::uint32_t, char*, std::uint32_t*) { return kStubCallResult; }
int WINAPI LMDFUParamsGet(DfuHandle, DfuFlashParams*) { return kStubCallResult; }
int WINAPI LMDFUIsValidImage(const std::uint8_t*, std::uint32_t) { return kStubCallResult; }
int WINAPI LMDFUDownload(DfuHandle, const std::uint8_t*, std::uint32_t, int, HWND) { return kStubCallResult; }
int WINAPI LMDFUDownloadBin(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) {
  return kStubCallResult;
}
int WINAPI LMDFUWriteNand(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) {
  return kStubCallResult;
}
int WINAPI LMDFUWriteEEP(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) {
  return kStubCallResult;
}
int WINAPI LMDFUErase(DfuHandle, std::uint32_t, std::uint32_t, int, HWND) { return kStubCallResult; }
int WINAPI LMDFUBlankCheck(DfuHandle, std::uint32_t, std::uint32_t) { return kStubCallResult; }
int WINAPI LMDFUUpload(DfuHandle, std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) { return kStubCallResult; }
int WINAPI LMDFUStatusGet(DfuHandle, int*) { return kStubCallResult; }
const char* WINAPI LMDFUErrorStringGet(int) { return "stub library"; }
int WINAPI LMDFUModeSwitch(DfuHandle) { return kStubCallResult; }
int WINAPI LMDFUDevTypeGet(DfuHandle, std::uint32_t*) { return kStubCallResult; }
}
