#include "procedure/FirmwareImages.h"

#include <windows.h>

#include <new>

#include "package/Crc32.h"
#include "procedure/ProcedureTexts.h"
#include "signing/Sha256.h"
#include "signing/SigningTexts.h"

namespace {

enum class ImageRead { kRead, kNoBuffer, kUnreadable };

// The whole file, with other writers kept out while it is read.
ImageRead ReadWholeFile(const std::wstring& path, FirmwareImage& image) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ImageRead::kUnreadable;
  LARGE_INTEGER size = {};
  // The library takes 32-bit lengths: a larger file cannot be written whole.
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > 0xFFFFFFFFLL) {
    CloseHandle(file);
    return ImageRead::kUnreadable;
  }
  image.length = static_cast<std::uint32_t>(size.QuadPart);
  image.bytes.reset(new (std::nothrow) std::uint8_t[image.length == 0 ? 1 : image.length]);
  if (!image.bytes) {
    CloseHandle(file);
    return ImageRead::kNoBuffer;
  }
  std::uint32_t done = 0;
  while (done < image.length) {
    DWORD read = 0;
    if (!ReadFile(file, image.bytes.get() + done, image.length - done, &read, nullptr) || read == 0) break;
    done += read;
  }
  CloseHandle(file);
  return done == image.length ? ImageRead::kRead : ImageRead::kUnreadable;
}

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
    switch (ReadWholeFile(component.path, component.image)) {
      case ImageRead::kRead: break;
      case ImageRead::kNoBuffer: return component.bufferText;
      case ImageRead::kUnreadable: return component.readText;
    }
    if (BufferCrc32(component.image.bytes.get(), component.image.length) != component.checkedCrc) {
      return texts::kFileCorrupted;
    }
    // A signed package: the bytes about to be written are the ones its maker signed, which a
    // CRC-32 alone cannot tell.
    signing::Sha256Digest digest;
    if (signedImages.accepted && (!signing::BufferSha256(component.image.bytes.get(), component.image.length, digest) ||
                                  digest != component.signedDigest)) {
      return texts::kDoesNotMatchSignature;
    }
  }

  const DfuFlashParams& flash = session.m_dfuParams;
  if (!PlaceProgram(images.program.length, flash.sectorSize, flash.flashTop, flash.appStartAddress,
                    images.placement)) {
    return texts::kProgramDoesNotFit;
  }
  return std::wstring();
}
