#include "update/UpdatePackage.h"

#include <share.h>

#include <cstdio>

#include "archive/ArchiveReader.h"
#include "archive/EntryMetadata.h"
#include "archive/EntryName.h"
#include "signing/PackageSignature.h"
#include "signing/Sha256.h"
#include "update/Crc32.h"
#include "update/FileCrc32.h"
#include "update/ManifestFile.h"
#include "update/UpdateManifest.h"
#include "update/UpdateTexts.h"
#include "update/WidenBytes.h"

namespace {

constexpr wchar_t kManifestName[] = L"info";

// Other writers are kept out while the file is read, as the manifest and images must not
// change between their check and their use.
FILE* OpenDenyingWrites(const std::wstring& path) { return _wfsopen(path.c_str(), L"rb", _SH_DENYWR); }

// Our own extracted files go, read-only or not.
void RemoveFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  DeleteFileW(path.c_str());
}

// The files this run's extraction created in the temporary directory. The directory is
// shared: whatever else lies there (an earlier package's images, another program's files) is
// neither taken as an image of this package nor deleted by its check.
class WrittenFiles {
 public:
  WrittenFiles(const std::wstring& directory, const std::vector<ExtractedEntry>& entries) {
    for (const ExtractedEntry& entry : entries) {
      if (entry.createdFile) m_paths.push_back(FullPath(directory + entry.name));
    }
  }

  bool Contains(const std::wstring& path) const {
    const std::wstring full = FullPath(path);
    for (const std::wstring& written : m_paths) {
      if (CompareStringOrdinal(written.c_str(), -1, full.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
  }

 private:
  // One spelling for one file: separators, "." steps and case as Windows resolves them.
  static std::wstring FullPath(const std::wstring& path) {
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
    full.resize(written < length ? written : 0);
    return full;
  }

  std::vector<std::wstring> m_paths;
};

// A manifest name must stay below the temporary directory and name a file this package
// brought: the check reads these files and deletes them on a mismatch.
bool ImageCanBeOpened(const std::wstring& tempDirectory, const std::string& name, const WrittenFiles& written) {
  const std::wstring relative = WidenBytes(name);
  if (!archive::IsSafeRelativeName(relative) ||
      tempDirectory.size() + relative.size() + 1 > archive::kMaxPathUnits ||
      !written.Contains(tempDirectory + relative)) {
    return false;
  }
  FILE* file = OpenDenyingWrites(tempDirectory + relative);
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// An entry that would put a folder where the manifest belongs ("info/", "info/x") is not
// written: the folder would stay behind and block the manifest of every later package.
bool TakesTheManifestsPlace(const archive::ArchiveEntry& entry) {
  const std::wstring name = entry.name;
  const std::size_t end = name.find_first_of(L"/\\");
  if (CompareStringOrdinal(name.c_str(), static_cast<int>(end == std::wstring::npos ? name.size() : end), kManifestName,
                           -1, TRUE) != CSTR_EQUAL) {
    return false;
  }
  return end != std::wstring::npos || (entry.attributes & archive::kAttrDirectory) != 0;
}

struct CheckPair {
  std::string expected, computed;
};

constexpr int kMaxEntries = 1000;
constexpr std::uint64_t kKeptFreeBytes = 256ull << 20;

// A package that cannot fill the disk: at most 1000 entries, and together they declare no
// more bytes than the volume has free, less a reserve for the system. An entry can never
// write more than it declares (the reader refuses that), so this holds for what is written.
bool FitsOnDisk(const std::wstring& packagePath, const std::wstring& directory) {
  archive::ArchiveReader reader;
  if (reader.Open(packagePath) != archive::kArchiveOk) return true;  // nothing to write: caught later
  archive::ArchiveEntry summary;
  if (reader.GetEntry(-1, summary) != archive::kArchiveOk || summary.index > kMaxEntries) return false;
  std::uint64_t declared = 0;
  for (int index = 0; index < summary.index; ++index) {
    archive::ArchiveEntry entry;
    if (reader.GetEntry(index, entry) != archive::kArchiveOk) continue;  // never extracted
    // Each size is below 2^64, and there are at most 1000 of them: a sum past the volume is enough.
    declared += entry.uncompressedSize > ~0ull - declared ? ~0ull - declared : entry.uncompressedSize;
  }
  ULARGE_INTEGER freeToCaller = {};
  if (!GetDiskFreeSpaceExW(directory.c_str(), &freeToCaller, nullptr, nullptr)) return false;
  const std::uint64_t usable = freeToCaller.QuadPart > kKeptFreeBytes ? freeToCaller.QuadPart - kKeptFreeBytes : 0;
  return declared <= usable;
}

}  // namespace

std::vector<ExtractedEntry> ExtractPackage(const std::wstring& packagePath, const std::wstring& directory) {
  std::vector<ExtractedEntry> results;
  archive::ArchiveReader reader;
  reader.Open(packagePath);
  reader.SetRootDirectory(directory);
  archive::ArchiveEntry summary;
  if (reader.GetEntry(-1, summary) != archive::kArchiveOk) return results;
  for (int index = 0; index < summary.index; ++index) {
    archive::ArchiveEntry entry;
    const DWORD described = reader.GetEntry(index, entry);
    const bool refused = TakesTheManifestsPlace(entry);
    const DWORD extracted = refused ? archive::kArchiveNoFile : reader.ExtractEntry(index, entry.name);
    results.push_back({index, described != archive::kArchiveOk ? described : extracted, entry.name,
                       !refused && reader.CreatedFile()});
  }
  reader.Close();
  return results;
}

bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          PreparedPackage& package) {
  return PrepareUpdatePackage(host, updateFile, directory, signing::TrustedKeys(), package);
}

bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          const signing::TrustedKeys& trusted, PreparedPackage& package) {
  const bool signatureRule = trusted.State() != signing::TrustState::kNoKeys;
  if (updateFile.empty()) {
    host.ShowMessage(texts::kNoUpdateFile);
    return false;
  }
  // Without a temporary directory the names would land in the drive's root.
  if (directory.empty()) {
    host.ShowMessage(texts::kWrongUpdateFile);
    return false;
  }

  // A manifest an earlier package left behind must never stand in for this package's own.
  const std::wstring manifestPath = directory + kManifestName;
  RemoveFile(manifestPath);
  RemoveDirectoryW(manifestPath.c_str());  // an empty folder in its place would block it too
  if (!FitsOnDisk(updateFile, directory)) {
    host.ShowMessage(texts::kWrongUpdateFile);
    return false;
  }
  const WrittenFiles written(directory, ExtractPackage(updateFile, directory));

  UpdateManifest manifest;
  // A manifest that this package did not write (one that could not be removed) is never read.
  const ManifestFileResult read =
      written.Contains(manifestPath) ? ReadManifestFile(manifestPath, manifest) : ManifestFileResult::kCannotOpen;
  if (read == ManifestFileResult::kCannotOpen) {
    host.ShowMessage(texts::kWrongUpdateFile);
    return false;
  }

  package.withBootloader = false;
  package.checks = ImageCheckValues();
  if (read == ManifestFileResult::kUnreadable || (manifest.hasLine9 && !manifest.HasBootloaderMarker())) {
    host.ShowMessage(texts::kWrongUpdateFile);
    return false;
  }
  if (manifest.HasBootloaderMarker()) {
    package.withBootloader = true;
    host.ShowMessage(texts::kBootloaderWarning);
  }

  Crc32Table table;
  BuildCrc32Table(table);
  std::vector<CheckPair> checks;
  package.deviceTypeCheck = DeviceTypeCheckValue(table, manifest.deviceType);
  checks.push_back({manifest.deviceTypeCheck, FormatCheckValue(package.deviceTypeCheck)});

  struct Image {
    const std::string& name;
    const std::string& expected;
    std::uint32_t& crc;
    signing::Sha256Digest& signedDigest;
  };
  SignedImages& signedImages = package.signedImages;
  signedImages = SignedImages();
  std::vector<Image> images = {
      {manifest.programName, manifest.programCheck, package.checks.program, signedImages.program},
      {manifest.mediaName, manifest.mediaCheck, package.checks.media, signedImages.media},
      {manifest.dataName, manifest.dataCheck, package.checks.data, signedImages.data}};
  if (package.withBootloader) {
    images.push_back(
        {manifest.bootloaderName, manifest.bootloaderCheck, package.checks.bootloader, signedImages.bootloader});
  }
  // With a trusted key, every image is hashed in the same read as its CRC-32.
  std::vector<signing::NamedEntry> signedEntries = {{"info", false, {}}};
  for (const Image& image : images) {
    if (!ImageCanBeOpened(directory, image.name, written)) {
      host.ShowMessage(texts::kWrongUpdateFile);
      return false;
    }
    signing::NamedEntry entry{image.name, false, {}};
    if (signatureRule) {
      signing::Sha256 hash;
      image.crc = FileCrc32(directory + WidenBytes(image.name), table,
                            [&hash](const unsigned char* bytes, std::size_t count) { hash.Update(bytes, count); });
      entry.hashed = hash.Final(entry.digest);  // read again by the rule if not
    } else {
      image.crc = FileCrc32(directory + WidenBytes(image.name), table);
    }
    checks.push_back({image.expected, FormatCheckValue(image.crc)});
    signedEntries.push_back(entry);
  }

  for (const CheckPair& check : checks) {
    if (check.expected == check.computed) continue;
    // All of these are this package's own: the manifest was read only as one it wrote, and
    // every image passed ImageCanBeOpened.
    RemoveFile(manifestPath);
    for (const Image& image : images) RemoveFile(directory + WidenBytes(image.name));
    host.ShowMessage(texts::kFileCorrupted);
    return false;
  }

  if (signatureRule) {
    const signing::SignatureCheck signature = signing::CheckPackageSignature(trusted, directory, signedEntries);
    if (const wchar_t* refusal = signing::SignatureRefusalText(signature.verdict)) {
      host.ShowMessage(refusal);
      return false;
    }
    // Accepted: the signed digests, in the order of the entries given (the manifest first).
    signedImages.accepted = true;
    signedImages.signer = signature.signer;
    for (std::size_t i = 0; i < images.size() && i + 1 < signature.signedDigests.size(); ++i) {
      images[i].signedDigest = signature.signedDigests[i + 1].digest;
    }
  }

  package.deviceType = WidenBytes(manifest.deviceType);
  package.programFile = directory + WidenBytes(manifest.programName);
  package.mediaFile = directory + WidenBytes(manifest.mediaName);
  package.dataFile = directory + WidenBytes(manifest.dataName);
  package.bootloaderFile = package.withBootloader ? directory + WidenBytes(manifest.bootloaderName) : L"";
  return true;
}

std::wstring SystemTempDirectory() {
  wchar_t buffer[512] = {};
  const DWORD length = GetTempPathW(512, buffer);
  return length > 0 && length < 512 ? std::wstring(buffer, length) : std::wstring();
}
