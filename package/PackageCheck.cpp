#include "package/PackageCheck.h"

#include <share.h>

#include <cstdio>

#include "archive/ArchiveReader.h"
#include "archive/EntryMetadata.h"
#include "archive/EntryName.h"
#include "package/FileCrc32.h"
#include "package/ManifestFile.h"
#include "package/PackageTexts.h"
#include "package/UpdateManifest.h"
#include "platform/FileTree.h"
#include "signing/PackageSignature.h"
#include "signing/Sha256.h"
#include "text/WidenBytes.h"

namespace {

constexpr int kMaxEntries = 1000;
constexpr std::uint64_t kKeptFreeBytes = 256ull << 20;

// The files this run's extraction created in the folder. A folder the package tool's user
// names may hold other files (an earlier package's images, another program's): they are
// neither taken as an image of this package nor deleted by its check.
class WrittenFiles {
 public:
  WrittenFiles() = default;
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

// An entry that would put a folder where the manifest belongs ("info/", "info/x") is not
// written: the folder would stay behind and block the manifest of every later package.
bool TakesTheManifestsPlace(const archive::ArchiveEntry& entry) {
  const std::wstring name = entry.name;
  const std::size_t end = name.find_first_of(L"/\\");
  if (CompareStringOrdinal(name.c_str(), static_cast<int>(end == std::wstring::npos ? name.size() : end),
                           kManifestFileName, -1, TRUE) != CSTR_EQUAL) {
    return false;
  }
  return end != std::wstring::npos || (entry.attributes & archive::kAttrDirectory) != 0;
}

std::wstring Quoted(const std::string& bytes) { return L"\"" + WidenBytes(bytes) + L"\""; }

// One image the manifest names: its lines, and where the check puts what it finds.
struct ManifestImage {
  int nameLine;  // its check value is on the next line
  const std::string* name;
  const std::string* expected;
  std::uint32_t* crc;
  signing::Sha256Digest* signedDigest;
};

// The check of one package, step by step. Each step shows its failure and says why.
class PackageCheck {
 public:
  PackageCheck(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
               const signing::TrustedKeys& trusted, PreparedPackage& package, PackageRefusal* refusal)
      : m_host(host),
        m_updateFile(updateFile),
        m_directory(directory),
        m_trusted(trusted),
        m_signatureRule(trusted.State() != signing::TrustState::kNoKeys),
        m_package(package),
        m_refusal(refusal) {}

  bool Run() {
    m_package = PreparedPackage();
    return HasPackageAndFolder() && ClearTheManifestsPlace() && FitsOnDisk() && Unpack() && ReadManifest() &&
           ConfirmBootloader() && OpenImages() && CompareCheckValues() && ApplySignatureRule() && HandImagesOn();
  }

 private:
  bool Refuse(const wchar_t* text, const std::wstring& reason) {
    m_host.ShowMessage(text);
    if (m_refusal != nullptr) *m_refusal = {text, reason};
    return false;
  }

  std::wstring ManifestPath() const { return m_directory + kManifestFileName; }
  std::wstring PathOf(const std::string& name) const { return m_directory + WidenBytes(name); }

  bool HasPackageAndFolder() {
    if (m_updateFile.empty()) return Refuse(texts::kNoUpdateFile, L"no package was chosen");
    // Without a folder the names would land in the drive's root.
    if (m_directory.empty()) return Refuse(texts::kWrongUpdateFile, L"there is no folder to unpack the package into");
    return true;
  }

  // A manifest an earlier package left behind must never stand in for this package's own;
  // an empty folder in its place would block it too.
  bool ClearTheManifestsPlace() {
    RemoveFileEvenIfReadOnly(ManifestPath());
    RemoveDirectoryW(ManifestPath().c_str());
    return true;
  }

  // A package that cannot fill the disk: at most 1000 entries, and together they declare no
  // more bytes than the volume has free, less a reserve for the system. An entry can never
  // write more than it declares (the reader refuses that), so this holds for what is written.
  bool FitsOnDisk() {
    archive::ArchiveReader reader;
    if (reader.Open(m_updateFile) != archive::kArchiveOk) return true;  // nothing to write: no manifest later
    archive::ArchiveEntry summary;
    if (reader.GetEntry(-1, summary) != archive::kArchiveOk) {
      return Refuse(texts::kWrongUpdateFile, L"the archive's entries cannot be listed");
    }
    if (summary.index > kMaxEntries) {
      return Refuse(texts::kWrongUpdateFile, L"the package has " + std::to_wstring(summary.index) +
                                                 L" entries, more than " + std::to_wstring(kMaxEntries));
    }
    std::uint64_t declared = 0;
    for (int index = 0; index < summary.index; ++index) {
      archive::ArchiveEntry entry;
      if (reader.GetEntry(index, entry) != archive::kArchiveOk) continue;  // never extracted
      // Each size is below 2^64, and there are at most 1000 of them: a sum past the volume is enough.
      declared += entry.uncompressedSize > ~0ull - declared ? ~0ull - declared : entry.uncompressedSize;
    }
    ULARGE_INTEGER freeToCaller = {};
    if (!GetDiskFreeSpaceExW(m_directory.c_str(), &freeToCaller, nullptr, nullptr)) {
      return Refuse(texts::kWrongUpdateFile, L"the free space of " + m_directory + L" cannot be read");
    }
    const std::uint64_t usable = freeToCaller.QuadPart > kKeptFreeBytes ? freeToCaller.QuadPart - kKeptFreeBytes : 0;
    if (declared > usable) {
      return Refuse(texts::kWrongUpdateFile, L"the entries declare " + std::to_wstring(declared) +
                                                 L" bytes, more than the " + std::to_wstring(usable) +
                                                 L" bytes free (less 256 MiB kept for the system)");
    }
    return true;
  }

  bool Unpack() {
    m_written = WrittenFiles(m_directory, ExtractPackage(m_updateFile, m_directory));
    return true;
  }

  bool ReadManifest() {
    // A manifest that this package did not write (one that could not be removed) is never read.
    const ManifestFileResult read = m_written.Contains(ManifestPath())
                                        ? ReadManifestFile(ManifestPath(), m_manifest)
                                        : ManifestFileResult::kCannotOpen;
    if (read == ManifestFileResult::kCannotOpen) {
      return Refuse(texts::kWrongUpdateFile, L"the package holds no readable manifest \"info\" at its root");
    }
    if (read == ManifestFileResult::kUnreadable) {
      return Refuse(texts::kWrongUpdateFile, L"a manifest line is longer than " + std::to_wstring(kMaxManifestLine) +
                                                 L" bytes");
    }
    if (m_manifest.hasLine9 && !m_manifest.HasBootloaderMarker()) {
      return Refuse(texts::kWrongUpdateFile, L"manifest line 9 is " + Quoted(m_manifest.line9) + L", not \"" +
                                                 WidenBytes(kBootloaderMarker) + L"\"");
    }
    return true;
  }

  bool ConfirmBootloader() {
    if (!m_manifest.HasBootloaderMarker()) return true;
    m_package.withBootloader = true;
    m_host.ShowMessage(texts::kBootloaderWarning);
    return true;
  }

  // A manifest name must stay below the folder and name a file this package brought: the
  // check reads these files and deletes them on a mismatch. With a trusted key, every image
  // is hashed in the same read as its CRC-32.
  bool OpenImages() {
    ImageCheckValues& checks = m_package.checks;
    SignedImages& signedImages = m_package.signedImages;
    m_images = {{3, &m_manifest.programName, &m_manifest.programCheck, &checks.program, &signedImages.program},
                {5, &m_manifest.mediaName, &m_manifest.mediaCheck, &checks.media, &signedImages.media},
                {7, &m_manifest.dataName, &m_manifest.dataCheck, &checks.data, &signedImages.data}};
    if (m_package.withBootloader) {
      m_images.push_back({10, &m_manifest.bootloaderName, &m_manifest.bootloaderCheck, &checks.bootloader,
                          &signedImages.bootloader});
    }
    m_signedEntries = {{kManifestEntryName, false, {}}};
    for (const ManifestImage& image : m_images) {
      const std::wstring why = WhyImageCannotBeRead(*image.name);
      if (!why.empty()) {
        return Refuse(texts::kWrongUpdateFile, L"manifest line " + std::to_wstring(image.nameLine) + L" names " +
                                                   Quoted(*image.name) + L": " + why);
      }
      signing::NamedEntry entry{*image.name, false, {}};
      if (m_signatureRule) {
        signing::Sha256 hash;
        *image.crc = FileCrc32(PathOf(*image.name),
                               [&hash](const unsigned char* bytes, std::size_t count) { hash.Update(bytes, count); });
        entry.hashed = hash.Final(entry.digest);  // read again by the rule if not
      } else {
        *image.crc = FileCrc32(PathOf(*image.name));
      }
      m_signedEntries.push_back(entry);
    }
    return true;
  }

  std::wstring WhyImageCannotBeRead(const std::string& name) const {
    const std::wstring relative = WidenBytes(name);
    if (!archive::IsSafeRelativeName(relative)) return L"a name that leaves the package's folder";
    if (m_directory.size() + relative.size() + 1 > archive::kMaxPathUnits) return L"a name too long for a path";
    if (!m_written.Contains(m_directory + relative)) return L"no file of this package";
    // Other writers are kept out while the file is read, as the images must not change
    // between their check and their use.
    FILE* file = _wfsopen((m_directory + relative).c_str(), L"rb", _SH_DENYWR);
    if (file == nullptr) return L"a file that cannot be opened";
    std::fclose(file);
    return std::wstring();
  }

  bool CompareCheckValues() {
    m_package.deviceTypeCheck = DeviceTypeCheckValue(m_manifest.deviceType);
    std::wstring mismatch = Mismatch(2, L"device type " + Quoted(m_manifest.deviceType), m_manifest.deviceTypeCheck,
                                     m_package.deviceTypeCheck);
    for (const ManifestImage& image : m_images) {
      if (!mismatch.empty()) break;
      mismatch = Mismatch(image.nameLine + 1, L"file " + Quoted(*image.name), *image.expected, *image.crc);
    }
    if (mismatch.empty()) return true;
    // All of these are this package's own: the manifest was read only as one it wrote, and
    // every image passed WhyImageCannotBeRead.
    RemoveFileEvenIfReadOnly(ManifestPath());
    for (const ManifestImage& image : m_images) RemoveFileEvenIfReadOnly(PathOf(*image.name));
    return Refuse(texts::kFileCorrupted, mismatch);
  }

  static std::wstring Mismatch(int line, const std::wstring& what, const std::string& expected, std::uint32_t computed) {
    const std::string text = FormatCheckValue(computed);
    if (expected == text) return std::wstring();
    return L"manifest line " + std::to_wstring(line) + L" gives the check value " + Quoted(expected) + L", the " +
           what + L" gives " + WidenBytes(text);
  }

  bool ApplySignatureRule() {
    if (!m_signatureRule) return true;
    const signing::SignatureCheck signature = signing::CheckPackageSignature(m_trusted, m_directory, m_signedEntries);
    if (const wchar_t* refusal = signing::SignatureRefusalText(signature.verdict)) {
      return Refuse(refusal, signature.detail.empty() ? refusal : signature.detail);
    }
    // Accepted: the signed digests, in the order of the entries given (the manifest first).
    m_package.signedImages.accepted = true;
    m_package.signedImages.signer = signature.signer;
    for (std::size_t i = 0; i < m_images.size() && i + 1 < signature.signedDigests.size(); ++i) {
      *m_images[i].signedDigest = signature.signedDigests[i + 1].digest;
    }
    return true;
  }

  bool HandImagesOn() {
    m_package.packagePath = m_updateFile;
    m_package.deviceType = WidenBytes(m_manifest.deviceType);
    m_package.programFile = PathOf(m_manifest.programName);
    m_package.mediaFile = PathOf(m_manifest.mediaName);
    m_package.dataFile = PathOf(m_manifest.dataName);
    m_package.bootloaderFile = m_package.withBootloader ? PathOf(m_manifest.bootloaderName) : L"";
    return true;
  }

  MessageHost& m_host;
  const std::wstring& m_updateFile;
  const std::wstring& m_directory;
  const signing::TrustedKeys& m_trusted;
  const bool m_signatureRule;
  PreparedPackage& m_package;
  PackageRefusal* m_refusal;

  WrittenFiles m_written;
  UpdateManifest m_manifest;
  std::vector<ManifestImage> m_images;
  std::vector<signing::NamedEntry> m_signedEntries;
};

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
                          const signing::TrustedKeys& trusted, PreparedPackage& package, PackageRefusal* refusal) {
  return PackageCheck(host, updateFile, directory, trusted, package, refusal).Run();
}

bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          PreparedPackage& package) {
  return PrepareUpdatePackage(host, updateFile, directory, signing::TrustedKeys(), package);
}

std::wstring SystemTempDirectory() {
  wchar_t buffer[512] = {};
  const DWORD length = GetTempPathW(512, buffer);
  return length > 0 && length < 512 ? std::wstring(buffer, length) : std::wstring();
}
