#include "dfu/DfuLibrary.h"

tLMDFUInit pfnLMDFUInit;
tLMDFUDeviceOpen pfnLMDFUDeviceOpen;
tLMDFUDeviceClose pfnLMDFUDeviceClose;
tLMDFUDeviceStringGet pfnLMDFUDeviceStringGet;
tLMDFUDeviceASCIIStringGet pfnLMDFUDeviceASCIIStringGet;
tLMDFUParamsGet pfnLMDFUParamsGet;
tLMDFUIsValidImage pfnLMDFUIsValidImage;
tLMDFUDownload pfnLMDFUDownload;
tLMDFUDownloadBin pfnLMDFUDownloadBin;
tLMDFUWriteNand pfnLMDFUWriteNand;
tLMDFUWriteEEP pfnLMDFUWriteEEP;
tLMDFUErase pfnLMDFUErase;
tLMDFUBlankCheck pfnLMDFUBlankCheck;
tLMDFUUpload pfnLMDFUUpload;
tLMDFUStatusGet pfnLMDFUStatusGet;
tLMDFUErrorStringGet pfnLMDFUErrorStringGet;
tLMDFUModeSwitch pfnLMDFUModeSwitch;
tLMDFUDevTypeGet pfnLMDFUDevTypeGet;

namespace {

// Binds one entry point into its typed pointer; false when the library lacks it.
template <typename Pointer>
bool Bind(HMODULE library, const char* name, Pointer& pointer) {
  pointer = reinterpret_cast<Pointer>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return pointer != nullptr;
}

#ifdef _WIN64
constexpr WORD kOtherMachine = IMAGE_FILE_MACHINE_I386;
#else
constexpr WORD kOtherMachine = IMAGE_FILE_MACHINE_AMD64;
#endif

// Whether the library the system would load under this name is a DLL of the other
// architecture. A load refused as a bad image may also mean a damaged file, which a driver
// installation does mend, so the file's own header decides: mapped as an image resource it
// is found by the same search as LoadLibraryW and mapped whatever its architecture.
bool IsLibraryOfOtherArchitecture(const wchar_t* libraryName) {
  HMODULE mapped = LoadLibraryExW(libraryName, nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
  if (mapped == nullptr) return false;
  // The handle of such a mapping is its base address with a low bit set as a mark.
  const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(mapped) & ~static_cast<ULONG_PTR>(3));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  bool other = false;
  if (dos->e_magic == IMAGE_DOS_SIGNATURE) {
    // Signature and file header are laid out alike in 32-bit and 64-bit images.
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    other = nt->Signature == IMAGE_NT_SIGNATURE && nt->FileHeader.Machine == kOtherMachine;
  }
  FreeLibrary(mapped);
  return other;
}

}  // namespace

int LoadDfuLibraryNamed(const wchar_t* libraryName) {
  HMODULE library = LoadLibraryW(libraryName);
  if (library == nullptr) {
    if (GetLastError() == ERROR_BAD_EXE_FORMAT && IsLibraryOfOtherArchitecture(libraryName)) {
      return kDfuLibraryOfOtherArchitecture;
    }
    return kDfuDriverNotFound;
  }

  // Every name is looked up, in this order, even after one is missing.
  bool complete = true;
  complete &= Bind(library, "LMDFUInit", pfnLMDFUInit);
  complete &= Bind(library, "LMDFUDeviceOpen", pfnLMDFUDeviceOpen);
  complete &= Bind(library, "LMDFUDeviceClose", pfnLMDFUDeviceClose);
  complete &= Bind(library, "LMDFUDeviceStringGet", pfnLMDFUDeviceStringGet);
  complete &= Bind(library, "LMDFUDeviceASCIIStringGet", pfnLMDFUDeviceASCIIStringGet);
  complete &= Bind(library, "LMDFUParamsGet", pfnLMDFUParamsGet);
  complete &= Bind(library, "LMDFUIsValidImage", pfnLMDFUIsValidImage);
  complete &= Bind(library, "LMDFUDownload", pfnLMDFUDownload);
  complete &= Bind(library, "LMDFUDownloadBin", pfnLMDFUDownloadBin);
  complete &= Bind(library, "LMDFUWriteNand", pfnLMDFUWriteNand);
  complete &= Bind(library, "LMDFUWriteEEP", pfnLMDFUWriteEEP);
  complete &= Bind(library, "LMDFUErase", pfnLMDFUErase);
  complete &= Bind(library, "LMDFUBlankCheck", pfnLMDFUBlankCheck);
  complete &= Bind(library, "LMDFUUpload", pfnLMDFUUpload);
  complete &= Bind(library, "LMDFUStatusGet", pfnLMDFUStatusGet);
  complete &= Bind(library, "LMDFUErrorStringGet", pfnLMDFUErrorStringGet);
  complete &= Bind(library, "LMDFUModeSwitch", pfnLMDFUModeSwitch);
  complete &= Bind(library, "LMDFUDevTypeGet", pfnLMDFUDevTypeGet);
  if (!complete) return kDfuWrongDriverVersion;
  return pfnLMDFUInit();
}

int LoadDfuLibrary() { return LoadDfuLibraryNamed(L"kndfu.dll"); }

int DfuDeviceOpen(int index, DfuDeviceInfo* info, DfuHandle* handle) {
  if (pfnLMDFUDeviceOpen == nullptr) return kDfuNotBound;
  return pfnLMDFUDeviceOpen(index, info, handle);
}

void DfuDeviceClose(DfuHandle handle, int restartApplication) {
  if (pfnLMDFUDeviceClose != nullptr) pfnLMDFUDeviceClose(handle, restartApplication);
}

int DfuDeviceASCIIStringGet(DfuHandle handle, std::uint32_t stringIndex, char* buffer, std::uint32_t* length) {
  if (pfnLMDFUDeviceASCIIStringGet == nullptr) return kDfuNotBound;
  return pfnLMDFUDeviceASCIIStringGet(handle, stringIndex, buffer, length);
}

int DfuParamsGet(DfuHandle handle, DfuFlashParams* params) {
  if (pfnLMDFUParamsGet == nullptr) return kDfuNotBound;
  return pfnLMDFUParamsGet(handle, params);
}

int DfuErase(DfuHandle handle, std::uint32_t address, std::uint32_t length, int verify, HWND notify) {
  if (pfnLMDFUErase == nullptr) return kDfuNotBound;
  return pfnLMDFUErase(handle, address, length, verify, notify);
}

int DfuDownloadBin(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address,
                   int verify, HWND notify) {
  if (pfnLMDFUDownloadBin == nullptr) return kDfuNotBound;
  return pfnLMDFUDownloadBin(handle, data, length, address, verify, notify);
}

int DfuWriteEEP(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address, int verify,
                HWND notify) {
  if (pfnLMDFUWriteEEP == nullptr) return kDfuNotBound;
  return pfnLMDFUWriteEEP(handle, data, length, address, verify, notify);
}

int DfuWriteNand(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address, int verify,
                 HWND notify) {
  if (pfnLMDFUWriteNand == nullptr) return kDfuNotBound;
  return pfnLMDFUWriteNand(handle, data, length, address, verify, notify);
}

std::string DfuErrorString(int code) {
  if (pfnLMDFUErrorStringGet == nullptr) return "Driver not installed";
  const char* text = pfnLMDFUErrorStringGet(code);
  return text != nullptr ? std::string(text) : std::string();
}
