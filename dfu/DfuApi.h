// The DFU library's entry points, records and notification messages, declared once: the
// program binds the library through these types, and our bench library exports them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

typedef std::uint32_t DfuHandle;  // opaque, 32 bits

// Filled by LMDFUDeviceOpen; the program reads only the product-string index at offset 12.
struct DfuDeviceInfo {
  std::uint8_t reserved0[12];
  std::uint32_t productStringIndex;
  std::uint8_t reserved1[20];
};
static_assert(sizeof(DfuDeviceInfo) == 36, "DfuDeviceInfo is 36 bytes");
static_assert(offsetof(DfuDeviceInfo, productStringIndex) == 12, "string index at offset 12");

struct DfuFlashParams {
  std::uint16_t sectorSize;  // bytes 2 and 3 are padding, never read
  std::uint16_t reserved;
  std::uint32_t flashTop;
  std::uint32_t appStartAddress;
};
static_assert(sizeof(DfuFlashParams) == 12, "DfuFlashParams is 12 bytes");
static_assert(offsetof(DfuFlashParams, flashTop) == 4 && offsetof(DfuFlashParams, appStartAddress) == 8,
              "DfuFlashParams layout");

// Messages the library sends to the notification window during a write; only wParam counts.
constexpr UINT UM_DFU_WRITE_BEGIN = WM_USER + 0x200;   // wParam: progress units n of the pass
constexpr UINT UM_DFU_VERIFY_BEGIN = WM_USER + 0x202;  // wParam: progress units n of the pass
constexpr UINT UM_DFU_DONE = WM_USER + 0x204;
constexpr UINT UM_DFU_FAILED = WM_USER + 0x205;
constexpr UINT UM_DFU_PROGRESS = WM_USER + 0x206;  // wParam: position 0 .. n-1

// Result of a verified write whose read-back differs.
constexpr int kDfuVerifyFailed = -14;

extern "C" {
typedef int(WINAPI* tLMDFUInit)(void);
typedef int(WINAPI* tLMDFUDeviceOpen)(int index, DfuDeviceInfo* info, DfuHandle* handle);
typedef int(WINAPI* tLMDFUDeviceClose)(DfuHandle handle, int restartApplication);
typedef int(WINAPI* tLMDFUDeviceStringGet)(DfuHandle handle, std::uint32_t stringIndex, std::uint16_t languageId,
                                           wchar_t* buffer, std::uint32_t* length);
typedef int(WINAPI* tLMDFUDeviceASCIIStringGet)(DfuHandle handle, std::uint32_t stringIndex, char* buffer,
                                                std::uint32_t* length);
typedef int(WINAPI* tLMDFUParamsGet)(DfuHandle handle, DfuFlashParams* params);
typedef int(WINAPI* tLMDFUIsValidImage)(const std::uint8_t* image, std::uint32_t length);
typedef int(WINAPI* tLMDFUDownload)(DfuHandle handle, const std::uint8_t* image, std::uint32_t length, int verify,
                                    HWND notify);
typedef int(WINAPI* tLMDFUDownloadBin)(DfuHandle handle, const std::uint8_t* data, std::uint32_t length,
                                       std::uint32_t address, int verify, HWND notify);
typedef int(WINAPI* tLMDFUWriteNand)(DfuHandle handle, const std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t address, int verify, HWND notify);
typedef int(WINAPI* tLMDFUWriteEEP)(DfuHandle handle, const std::uint8_t* data, std::uint32_t length,
                                    std::uint32_t address, int verify, HWND notify);
typedef int(WINAPI* tLMDFUErase)(DfuHandle handle, std::uint32_t address, std::uint32_t length, int verify,
                                 HWND notify);
typedef int(WINAPI* tLMDFUBlankCheck)(DfuHandle handle, std::uint32_t address, std::uint32_t length);
typedef int(WINAPI* tLMDFUUpload)(DfuHandle handle, std::uint8_t* buffer, std::uint32_t address, std::uint32_t length,
                                  int raw, HWND notify);
typedef int(WINAPI* tLMDFUStatusGet)(DfuHandle handle, int* status);
typedef const char*(WINAPI* tLMDFUErrorStringGet)(int code);
typedef int(WINAPI* tLMDFUModeSwitch)(DfuHandle handle);
typedef int(WINAPI* tLMDFUDevTypeGet)(DfuHandle handle, std::uint32_t* type);
}
