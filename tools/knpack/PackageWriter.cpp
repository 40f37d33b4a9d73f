#include "tools/knpack/PackageWriter.h"

#include <windows.h>

#include <zip.h>
#include <iowin32.h>  // after zip.h: it needs zlib's macros

#include <cstdio>

#include "archive/EntryName.h"
#include "package/Crc32.h"
#include "package/UpdateManifest.h"

namespace knpack {
namespace {

bool ReadWholeFile(const std::wstring& path, std::string& data) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  data.clear();
  char chunk[65536];
  std::size_t read;
  while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0) data.append(chunk, read);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
  return result;
}

std::wstring BaseName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"/\\:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool AddEntry(zipFile zip, const ZipEntrySpec& entry) {
  zip_fileinfo info = {};
  info.dosDate = entry.dosDateTime;
  info.external_fa = entry.externalAttributes;
  const int method = entry.deflate ? Z_DEFLATED : 0;
  const bool isDirectory = !entry.name.empty() && entry.name.back() == '/';
  if (zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, entry.localExtra.data(),
                              static_cast<uInt>(entry.localExtra.size()), nullptr, 0, nullptr, method,
                              Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                              entry.versionMadeBy, 0, 0) != ZIP_OK) {
    return false;
  }
  bool ok = true;
  if (!isDirectory && !entry.data.empty()) {
    ok = zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) == ZIP_OK;
  }
  return zipCloseFileInZip(zip) == ZIP_OK && ok;
}

}  // namespace

bool NarrowToBytes(const std::wstring& text, std::string& bytes) {
  bytes.clear();
  for (wchar_t c : text) {
    if (c > 0xFF) return false;
    bytes.push_back(static_cast<char>(c));
  }
  return true;
}

ZipEntrySpec ZipEntry(const std::string& name, const std::string& data) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

std::string ExtendedTimestampField(std::int32_t unixWriteTime) {
  const auto t = static_cast<std::uint32_t>(unixWriteTime);
  std::string field = {'U', 'T', 5, 0, 1};
  for (int shift = 0; shift < 32; shift += 8) field.push_back(static_cast<char>((t >> shift) & 0xFF));
  return field;
}

bool WriteZipArchive(const std::wstring& path, const std::vector<ZipEntrySpec>& entries, std::string& error) {
  zlib_filefunc64_def files;
  fill_win32_filefunc64W(&files);
  zipFile zip = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &files);
  if (zip == nullptr) {
    error = "cannot create the archive";
    return false;
  }
  bool ok = true;
  for (const ZipEntrySpec& entry : entries) {
    if (!AddEntry(zip, entry)) {
      error = "cannot write the entry " + entry.name;
      ok = false;
      break;
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK && ok) {
    error = "cannot finish the archive";
    ok = false;
  }
  return ok;
}

bool BuildUpdatePackage(const PackageInputs& inputs, const std::wstring& outputPath, std::string& error) {
  struct Image {
    const std::wstring* path;
    std::wstring name;
    std::string manifestName, data;
  };
  std::vector<Image> images = {{&inputs.programFile, {}, {}, {}}, {&inputs.mediaFile, {}, {}, {}},
                               {&inputs.dataFile, {}, {}, {}}};
  const bool withBootloader = !inputs.bootloaderFile.empty();
  if (withBootloader) images.push_back({&inputs.bootloaderFile, {}, {}, {}});

  if (inputs.deviceType.empty()) {
    error = "the device type is empty: the updater matches it with no instrument";
    return false;
  }
  if (!IsWritableManifestField(inputs.deviceType)) {
    error = "the device type cannot stand in a manifest (a line feed or a Ctrl-Z in it, or over 4096 bytes)";
    return false;
  }
  for (Image& image : images) {
    image.name = BaseName(*image.path);
    // The updater reads entry names as UTF-8 but manifest lines byte by byte: a name only
    // matches when each of its characters fits a byte.
    if (!archive::IsSafeRelativeName(image.name) || !NarrowToBytes(image.name, image.manifestName) ||
        !IsWritableManifestField(image.manifestName)) {
      error = "the image name " + Utf8(image.name) + " cannot stand in a manifest (characters above 255, or a name "
              "Windows reserves)";
      return false;
    }
    if (!ReadWholeFile(*image.path, image.data)) {
      error = "cannot read " + Utf8(*image.path);
      return false;
    }
  }
  // Windows file names ignore case: names differing only in case would overwrite each other.
  for (std::size_t i = 0; i < images.size(); ++i) {
    for (std::size_t j = i + 1; j < images.size(); ++j) {
      if (SameFileName(images[i].name, images[j].name)) {
        error = "two images share the file name " + Utf8(images[i].name);
        return false;
      }
    }
    if (SameFileName(images[i].name, kManifestFileName) || SameFileName(images[i].name, L"info.sig")) {
      error = "an image may not be named info or info.sig";
      return false;
    }
  }

  ManifestContent content;
  content.deviceType = inputs.deviceType;
  content.withBootloader = withBootloader;
  std::string* names[] = {&content.programName, &content.mediaName, &content.dataName, &content.bootloaderName};
  std::uint32_t* crcs[] = {&content.programCrc, &content.mediaCrc, &content.dataCrc, &content.bootloaderCrc};
  for (std::size_t i = 0; i < images.size(); ++i) {
    *names[i] = images[i].manifestName;
    *crcs[i] = BufferCrc32(images[i].data.data(), images[i].data.size());
  }

  std::vector<ZipEntrySpec> entries;
  ZipEntrySpec manifest;
  manifest.name = kManifestEntryName;
  manifest.data = ComposeUpdateManifest(content);
  entries.push_back(manifest);
  for (Image& image : images) {
    ZipEntrySpec entry;
    entry.name = Utf8(image.name);
    entry.data = std::move(image.data);
    entries.push_back(std::move(entry));
  }
  return WriteZipArchive(outputPath, entries, error);
}

}  // namespace knpack
