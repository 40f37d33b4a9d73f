// A kndfu.dll for the dialog tests: all 18 entry points, no devices. LMDFUInit answers with
// the number in the environment variable KN_TEST_DFU_INIT (0 when unset), read at every
// call, so one test process can go through every start-up result.
#include <cwchar>

#include "dfu/DfuApi.h"

extern "C" {

int WINAPI LMDFUInit(void) {
  wchar_t value[32] = {};
  if (GetEnvironmentVariableW(L"KN_TEST_DFU_INIT", value, 32) == 0) return 0;
  return static_cast<int>(std::wcstol(value, nullptr, 10));
}

int WINAPI LMDFUDeviceOpen(int, DfuDeviceInfo*, DfuHandle*) { return -4; }
int WINAPI LMDFUDeviceClose(DfuHandle, int) { return 0; }
int WINAPI LMDFUDeviceStringGet(DfuHandle, std::uint32_t, std::uint16_t, wchar_t*, std::uint32_t*) { return -4; }
int WINAPI LMDFUDeviceASCIIStringGet(DfuHandle, std::uint32_t, char*, std::uint32_t*) { return -4; }
int WINAPI LMDFUParamsGet(DfuHandle, DfuFlashParams*) { return -4; }
int WINAPI LMDFUIsValidImage(const std::uint8_t*, std::uint32_t) { return 0; }
int WINAPI LMDFUDownload(DfuHandle, const std::uint8_t*, std::uint32_t, int, HWND) { return -4; }
int WINAPI LMDFUDownloadBin(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) { return -4; }
int WINAPI LMDFUWriteNand(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) { return -4; }
int WINAPI LMDFUWriteEEP(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) { return -4; }
int WINAPI LMDFUErase(DfuHandle, std::uint32_t, std::uint32_t, int, HWND) { return -4; }
int WINAPI LMDFUBlankCheck(DfuHandle, std::uint32_t, std::uint32_t) { return -4; }
int WINAPI LMDFUUpload(DfuHandle, std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND) { return -4; }
int WINAPI LMDFUStatusGet(DfuHandle, int*) { return -4; }
const char* WINAPI LMDFUErrorStringGet(int) { return "fake library"; }
int WINAPI LMDFUModeSwitch(DfuHandle) { return -4; }
int WINAPI LMDFUDevTypeGet(DfuHandle, std::uint32_t*) { return -4; }

}  // extern "C"
