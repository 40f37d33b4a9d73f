#include "procedure/FirmwareImages.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "package/Crc32.h"
#include "procedure/ProcedureTexts.h"
#include "signing/Sha256.h"
#include "signing/SigningTexts.h"

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
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

FirmwareImage::Load FirmwareImage::Open(const std::wstring& path) {
  return Open(path, OnTheSystemVolume(path) ? Access::kMapped : Access::kRead);
}

FirmwareImage::Load FirmwareImage::Open(const std::wstring& path, Access access) {
  // Readers only, no writer and no deletion while it is held; a writer that holds it already
  // keeps it from being opened at all.
  m_file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (m_file == INVALID_HANDLE_VALUE) return Load::kUnreadable;
  LARGE_INTEGER size = {};
  // The library takes 32-bit lengths: a larger file cannot be written whole.
  if (!GetFileSizeEx(m_file, &size) || size.QuadPart < 0 || size.QuadPart > 0xFFFFFFFFLL) return Load::kUnreadable;
  m_length = static_cast<std::uint32_t>(size.QuadPart);
  if (m_length == 0) return Load::kLoaded;  // an empty file cannot be mapped, nor needs to be
  return access == Access::kMapped ? MapWhole() : ReadWhole();
}

FirmwareImage::Load FirmwareImage::MapWhole() {
  m_mapping = CreateFileMappingW(m_file, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
  if (m_mapping == nullptr) return Load::kNoMemory;
  m_view = static_cast<const std::uint8_t*>(MapViewOfFile(m_mapping, FILE_MAP_COPY, 0, 0, 0));
  return m_view != nullptr ? Load::kLoaded : Load::kNoMemory;
}

FirmwareImage::Load FirmwareImage::ReadWhole() {
  auto* buffer = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, m_length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (buffer == nullptr) return Load::kNoMemory;
  m_view = buffer;
  for (std::uint32_t done = 0; done < m_length;) {
    const DWORD chunk = std::min<std::uint32_t>(m_length - done, 1u << 24);
    DWORD read = 0;
    if (!ReadFile(m_file, buffer + done, chunk, &read, nullptr) || read == 0) return Load::kUnreadable;
    done += read;
  }
  return Load::kLoaded;
}

namespace {

struct Component {
  bool written;
  const std::wstring& path;
  std::uint32_t checkedCrc;
  const signing::Sha256Digest& signedDigest;
  FirmwareImage& image;
  const wchar_t* bufferText;
  const wchar_t* readText;
};

}  // namespace

std::wstring LoadFirmwareImages(const UpdateSession& session, FirmwareImages& images) {
  const PreparedPackage& package = session.m_package;
  const ImageCheckValues& checks = package.checks;
  const SignedImages& signedImages = package.signedImages;
  // In the order of the writes, so a failure names the first component that would have failed.
  Component components[] = {
      {package.withBootloader, package.bootloaderFile, checks.bootloader, signedImages.bootloader,
       images.bootloader, texts::kBootloaderBuffer, texts::kBootloaderRead},
      {true, package.dataFile, checks.data, signedImages.data, images.data, texts::kDataRead, texts::kDataRead},
      {true, package.mediaFile, checks.media, signedImages.media, images.media, texts::kMediaRead,
       texts::kMediaRead},
      {true, package.programFile, checks.program, signedImages.program, images.program, texts::kProgramRead,
       texts::kProgramRead},
  };
  for (Component& component : components) {
    if (!component.written) continue;
    switch (component.image.Open(component.path)) {
      case FirmwareImage::Load::kLoaded: break;
      case FirmwareImage::Load::kNoMemory: return component.bufferText;
      case FirmwareImage::Load::kUnreadable: return component.readText;
    }
    if (BufferCrc32(component.image.bytes(), component.image.length()) != component.checkedCrc) {
      return texts::kFileCorrupted;
    }
    // A signed package: the bytes about to be written are the ones its maker signed, which a
    // CRC-32 alone cannot tell.
    signing::Sha256Digest digest;
    if (signedImages.accepted && (!signing::BufferSha256(component.image.bytes(), component.image.length(), digest) ||
                                  digest != component.signedDigest)) {
      return texts::kDoesNotMatchSignature;
    }
  }

  const DfuFlashParams& flash = session.m_dfuParams;
  if (!PlaceProgram(images.program.length(), flash.sectorSize, flash.flashTop, flash.appStartAddress,
                    images.placement)) {
    return texts::kProgramDoesNotFit;
  }
  return std::wstring();
}
