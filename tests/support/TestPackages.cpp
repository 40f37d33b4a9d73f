#include "tests/support/TestPackages.h"

#include "package/Crc32.h"
#include "package/UpdateManifest.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageWriter.h"

namespace testing_support {

std::wstring BuildPackage(const std::wstring& folder, const PackageImages& images) {
  knpack::PackageInputs inputs;
  inputs.deviceType = images.deviceType;
  inputs.programFile = folder + L"program.bin";
  inputs.mediaFile = folder + L"media.bin";
  inputs.dataFile = folder + L"data.bin";
  bool written = WriteFileBytes(inputs.programFile, images.program) && WriteFileBytes(inputs.mediaFile, images.media) &&
                 WriteFileBytes(inputs.dataFile, images.data);
  if (!images.bootloader.empty()) {
    inputs.bootloaderFile = folder + L"bootloader.bin";
    written = written && WriteFileBytes(inputs.bootloaderFile, images.bootloader);
  }
  const std::wstring package = folder + L"update.kn";
  std::string error;
  if (images.deviceType.empty()) {
    // The package tool refuses a package for no device type: composed here as a hostile or old
    // builder would.
    ManifestContent content;
    content.programName = "program.bin";
    content.mediaName = "media.bin";
    content.dataName = "data.bin";
    content.programCrc = BufferCrc32(images.program.data(), images.program.size());
    content.mediaCrc = BufferCrc32(images.media.data(), images.media.size());
    content.dataCrc = BufferCrc32(images.data.data(), images.data.size());
    return written && images.bootloader.empty() &&
                   knpack::WriteZipArchive(package,
                                           {knpack::ZipEntry("info", ComposeUpdateManifest(content)),
                                            knpack::ZipEntry("program.bin", images.program),
                                            knpack::ZipEntry("media.bin", images.media),
                                            knpack::ZipEntry("data.bin", images.data)},
                                           error)
               ? package
               : std::wstring();
  }
  return written && knpack::BuildUpdatePackage(inputs, package, error) ? package : std::wstring();
}

}  // namespace testing_support
