// Writing update packages: a ZIP archive with the manifest "info" and the images, as the
// updater reads them. Also writes arbitrary archives entry by entry, so tests can build the
// packages they need (odd names, attributes, hosts, extra fields) in the test itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace knpack {

struct ZipEntrySpec {
  std::string name;  // stored name, UTF-8
  std::string data;
  std::uint16_t versionMadeBy = 0;          // high byte: host (0 FAT, 3 Unix, 11 NTFS)
  std::uint32_t externalAttributes = 0x20;  // archive bit
  std::uint32_t dosDateTime = 0x5A210000;   // 2025-01-01 00:00:00
  std::string localExtra;                   // raw local extra field
  bool deflate = true;
};

// Creates (or replaces) the archive at path. Returns false with a reason on failure.
bool WriteZipArchive(const std::wstring& path, const std::vector<ZipEntrySpec>& entries, std::string& error);

struct PackageInputs {
  std::string deviceType;
  std::wstring programFile, mediaFile, dataFile, bootloaderFile;  // bootloader optional
};

// Reads the image files, writes the manifest for them and the package. Entry names are the
// images' file names.
bool BuildUpdatePackage(const PackageInputs& inputs, const std::wstring& outputPath, std::string& error);

// An entry of a file with these contents, with the writer's defaults for everything else.
ZipEntrySpec ZipEntry(const std::string& name, const std::string& data);

// Text for a manifest line: each character a byte; false when one does not fit.
bool NarrowToBytes(const std::wstring& text, std::string& bytes);

// An 'UT' extra field holding a modification time.
std::string ExtendedTimestampField(std::int32_t unixWriteTime);

}  // namespace knpack
