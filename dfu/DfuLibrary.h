// Binding of the DFU library "kndfu.dll" at run time: one typed pointer per entry point,
// null while unbound. The library is loaded and bound again at every call and never freed.
//
// Threads: only a host's window thread loads the library (the start-up check, the device
// list's refresh while the library is not ready, the preparation's wait for the DFU driver),
// and never while a worker runs: the hand-over starts the worker after the preparation's last
// load, and until the worker's last step the refresh timer is stopped and a refresh asked for
// by the worker runs after its last DFU call. The worker reads the pointers without a lock.
#pragma once

#include <string>

#include "dfu/DfuApi.h"

// Results of LoadDfuLibrary (and of the library's own LMDFUInit).
constexpr int kDfuReady = 0;
constexpr int kDfuDriverNotFound = -3;
constexpr int kDfuWrongDriverVersion = -7;
constexpr int kDfuNotBound = -1;  // what a call through an unbound entry point counts as
// kndfu.dll is there but built for the other architecture: a 64-bit program cannot load a
// 32-bit library, nor a 32-bit program a 64-bit one. The driver is not what is missing, the
// updater of the library's architecture is. (The system's ERROR_BAD_EXE_FORMAT, negated.)
constexpr int kDfuLibraryOfOtherArchitecture = -193;

extern tLMDFUInit pfnLMDFUInit;
extern tLMDFUDeviceOpen pfnLMDFUDeviceOpen;
extern tLMDFUDeviceClose pfnLMDFUDeviceClose;
extern tLMDFUDeviceStringGet pfnLMDFUDeviceStringGet;
extern tLMDFUDeviceASCIIStringGet pfnLMDFUDeviceASCIIStringGet;
extern tLMDFUParamsGet pfnLMDFUParamsGet;
extern tLMDFUIsValidImage pfnLMDFUIsValidImage;
extern tLMDFUDownload pfnLMDFUDownload;
extern tLMDFUDownloadBin pfnLMDFUDownloadBin;
extern tLMDFUWriteNand pfnLMDFUWriteNand;
extern tLMDFUWriteEEP pfnLMDFUWriteEEP;
extern tLMDFUErase pfnLMDFUErase;
extern tLMDFUBlankCheck pfnLMDFUBlankCheck;
extern tLMDFUUpload pfnLMDFUUpload;
extern tLMDFUStatusGet pfnLMDFUStatusGet;
extern tLMDFUErrorStringGet pfnLMDFUErrorStringGet;
extern tLMDFUModeSwitch pfnLMDFUModeSwitch;
extern tLMDFUDevTypeGet pfnLMDFUDevTypeGet;

// 0 ready, -3 library or driver missing, -7 an entry point missing or the driver outdated,
// kDfuLibraryOfOtherArchitecture for a library of the other architecture.
int LoadDfuLibrary();
// The same for a library of another name; the program always uses "kndfu.dll".
int LoadDfuLibraryNamed(const wchar_t* libraryName);

// The calls an update makes, each -1 (kDfuNotBound) while its entry point is unbound.
int DfuDeviceOpen(int index, DfuDeviceInfo* info, DfuHandle* handle);
// Only when bound; the library's result is of no use to the caller.
void DfuDeviceClose(DfuHandle handle, int restartApplication);
int DfuDeviceASCIIStringGet(DfuHandle handle, std::uint32_t stringIndex, char* buffer, std::uint32_t* length);
int DfuParamsGet(DfuHandle handle, DfuFlashParams* params);
int DfuErase(DfuHandle handle, std::uint32_t address, std::uint32_t length, int verify, HWND notify);
int DfuDownloadBin(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address,
                   int verify, HWND notify);
int DfuWriteEEP(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address, int verify,
                HWND notify);
int DfuWriteNand(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address, int verify,
                 HWND notify);
// The library's 8-bit text for code, "Driver not installed" while unbound.
std::string DfuErrorString(int code);
