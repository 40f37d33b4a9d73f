#include "procedure/FirmwareImages.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "package/Crc32.h"
#include "package/UnpackedFiles.h"
#include "procedure/ProcedureTexts.h"

namespace {

std::wstring VolumeOf(const std::wstring& path) {
  std::wstring volume(path.size() + MAX_PATH, L'\0');
  if (!GetVolumePathNameW(path.c_str(), &volume[0], static_cast<DWORD>(volume.size()))) return std::wstring();
  volume.resize(wcslen(volume.c_str()));
  return volume;
}

// The system's own volume cannot go away while Windows runs. A USB disk counts as fixed too,
// and can be pulled.
bool OnTheSystemVolume(const std::wstring& path) {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring volume = VolumeOf(path);
  return !volume.empty() && GetDriveTypeW(volume.c_str()) == DRIVE_FIXED &&
         CompareStringOrdinal(volume.c_str(), -1, VolumeOf(windows).c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

FirmwareImage::~FirmwareImage() {
  if (m_mapping != nullptr) {
    if (m_view != nullptr) UnmapViewOfFile(m_view);
    CloseHandle(m_mapping);
  } else if (m_view != nullptr) {
    VirtualFree(const_cast<std::uint8_t*>(m_view), 0, MEM_RELEASE);
  }
}

FirmwareImage::Load FirmwareImage::Open(HANDLE file, const std::wstring& path) {
  return Open(file, OnTheSystemVolume(path) ? Access::kMapped : Access::kRead);
}

FirmwareImage::Load FirmwareImage::Open(HANDLE file, Access access) {
  LARGE_INTEGER size = {};
  // The library takes 32-bit lengths: a larger file cannot be written whole.
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > 0xFFFFFFFFLL) {
    return Load::kUnreadable;
  }
  m_length = static_cast<std::uint32_t>(size.QuadPart);
  if (m_length == 0) return Load::kLoaded;  // an empty file cannot be mapped, nor needs to be
  return access == Access::kMapped ? MapWhole(file) : ReadWhole(file);
}

FirmwareImage::Load FirmwareImage::MapWhole(HANDLE file) {
  m_mapping = CreateFileMappingW(file, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
  if (m_mapping == nullptr) return Load::kNoMemory;
  m_view = static_cast<const std::uint8_t*>(MapViewOfFile(m_mapping, FILE_MAP_COPY, 0, 0, 0));
  return m_view != nullptr ? Load::kLoaded : Load::kNoMemory;
}

FirmwareImage::Load FirmwareImage::ReadWhole(HANDLE file) {
  auto* buffer = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, m_length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (buffer == nullptr) return Load::kNoMemory;
  m_view = buffer;
  for (std::uint32_t done = 0; done < m_length;) {
    const DWORD chunk = std::min<std::uint32_t>(m_length - done, 1u << 24);
    if (!ReadHeldFile(file, done, buffer + done, chunk)) return Load::kUnreadable;
    done += chunk;
  }
  return Load::kLoaded;
}

namespace {

struct Component {
  bool written;
  const std::wstring& path;
  std::uint32_t checkedCrc;
  FirmwareImage& image;
  const wchar_t* bufferText;
  const wchar_t* readText;
};

}  // namespace

std::wstring LoadFirmwareImages(const UpdateSession& session, FirmwareImages& images) {
  const PreparedPackage& package = session.Package();
  const ImageCheckValues& checks = package.checks;
  // In the order of the writes, so a failure names the first component that would have failed.
  Component components[] = {
      {package.withBootloader, package.bootloaderFile, checks.bootloader, images.bootloader, texts::kBootloaderBuffer,
       texts::kBootloaderRead},
      {true, package.dataFile, checks.data, images.data, texts::kDataRead, texts::kDataRead},
      {true, package.mediaFile, checks.media, images.media, texts::kMediaRead, texts::kMediaRead},
      {true, package.programFile, checks.program, images.program, texts::kProgramRead, texts::kProgramRead},
  };
  for (Component& component : components) {
    if (!component.written) continue;
    // Only through the handle held since the unpacking: a file of that name opened now could be
    // another one. The digests the signature rule compared are of these very bytes.
    const UnpackedFile* file = package.files != nullptr ? package.files->Find(component.path) : nullptr;
    switch (file != nullptr ? component.image.Open(file->handle, component.path) : FirmwareImage::Load::kUnreadable) {
      case FirmwareImage::Load::kLoaded: break;
      case FirmwareImage::Load::kNoMemory: return component.bufferText;
      case FirmwareImage::Load::kUnreadable: return component.readText;
    }
    if (BufferCrc32(component.image.bytes(), component.image.length()) != component.checkedCrc) {
      return texts::kFileCorrupted;
    }
  }

  const DfuFlashParams& flash = session.FlashParams();
  if (!PlaceProgram(images.program.length(), flash.sectorSize, flash.flashTop, flash.appStartAddress,
                    images.placement)) {
    return texts::kProgramDoesNotFit;
  }
  return std::wstring();
}
