#include "package/PackageCheck.h"


#include "archive/ArchiveReader.h"
#include "archive/EntryMetadata.h"
#include "archive/EntryName.h"
#include "package/ManifestFile.h"
#include "package/Crc32.h"
#include "package/PackageTexts.h"
#include "package/UpdateManifest.h"
#include "platform/FileTree.h"
#include "signing/PackageSignature.h"
#include "signing/Sha256.h"
#include "signing/SignatureEntry.h"
#include "text/WidenBytes.h"

namespace {

constexpr int kMaxEntries = 1000;
constexpr std::uint64_t kKeptFreeBytes = 256ull << 20;

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

// One image the manifest names: its lines, where the check puts its signed digest, and the
// file this package wrote for it.
struct ManifestImage {
  int nameLine;  // its check value is on the next line
  const std::string* name;
  const std::string* expected;
  signing::Sha256Digest* signedDigest;
  const UnpackedFile* file = nullptr;
};

// Writes the first entries of the archive (at most the limit) into root, the reader's, and
// reports each; with hold, every file created stays open there with its CRC-32 (and SHA-256
// when hash) taken in the same pass as its writing.
std::vector<ExtractedEntry> UnpackEntries(archive::ArchiveReader& reader, const std::wstring& root, int entries,
                                          UnpackedFiles* hold, bool hash) {
  std::vector<ExtractedEntry> results;
  for (int index = 0; index < entries && index < kMaxEntries; ++index) {
    archive::ArchiveEntry entry;
    const DWORD described = reader.GetEntry(index, entry);
    const bool refused = TakesTheManifestsPlace(entry);
    UnpackedFile file;
    std::uint32_t crc = 0xFFFFFFFFu;
    std::unique_ptr<signing::Sha256> sha(hash ? new signing::Sha256 : nullptr);
    const auto observe = [&](const unsigned char* bytes, std::size_t count) {
      crc = UpdateCrc32(crc, bytes, count);
      if (sha) sha->Update(bytes, count);
    };
    const DWORD extracted =
        refused ? archive::kArchiveNoFile
                : reader.ExtractEntry(index, entry.name, hold != nullptr ? observe : archive::ArchiveReader::DataObserver(),
                                      hold != nullptr ? &file.handle : nullptr);
    const bool created = !refused && reader.CreatedFile();
    results.push_back({index, described != archive::kArchiveOk ? described : extracted, entry.name, created});
    if (hold == nullptr || file.handle == INVALID_HANDLE_VALUE) continue;
    file.path = root + entry.name;
    file.result = results.back().result;
    file.crc = crc ^ 0xFFFFFFFFu;
    file.hashed = sha && sha->Final(file.digest);
    hold->Add(file);
  }
  return results;
}

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
    return HasPackageAndFolder() && ClearTheManifestsPlace() && Unpack() && ReadManifest() && ConfirmBootloader() &&
           FindImages() && CompareCheckValues() && ApplySignatureRule() && HandImagesOn();
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

  // One open of the package for its limits and its unpacking, so the entries counted and
  // measured are the entries written.
  bool Unpack() {
    archive::ArchiveReader reader;
    m_files = std::make_shared<UnpackedFiles>(m_directory);
    if (reader.Open(m_updateFile) != archive::kArchiveOk) return true;  // nothing to write: no manifest later
    reader.SetRootDirectory(m_directory);
    archive::ArchiveEntry summary;
    if (reader.GetEntry(-1, summary) != archive::kArchiveOk) {
      return Refuse(texts::kWrongUpdateFile, L"the archive's entries cannot be listed");
    }
    if (!FitsOnDisk(reader, summary.index)) return false;
    UnpackEntries(reader, m_directory, summary.index, m_files.get(), m_signatureRule);
    return true;
  }

  // A package that cannot fill the disk: at most 1000 entries, and together they declare no
  // more bytes than the volume has free, less a reserve for the system. An entry can never
  // write more than it declares (the reader refuses that), so this holds for what is written.
  bool FitsOnDisk(archive::ArchiveReader& reader, int entries) {
    if (entries > kMaxEntries) {
      return Refuse(texts::kWrongUpdateFile, L"the package has " + std::to_wstring(entries) + L" entries, more than " +
                                                 std::to_wstring(kMaxEntries));
    }
    std::uint64_t declared = 0;
    for (int index = 0; index < entries; ++index) {
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

  bool ReadManifest() {
    // A manifest that this package did not write (one that could not be removed) is never read;
    // this one is read through the handle that wrote it, and its digest is of the same bytes.
    m_manifestFile = m_files->Find(ManifestPath());
    const ManifestFileResult read = m_manifestFile != nullptr ? ReadManifestFile(m_manifestFile->handle, m_manifest)
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
    if (m_host.ConfirmBootloaderUpdate()) return true;
    if (m_refusal != nullptr) *m_refusal = {std::wstring(), L"the bootloader update was not confirmed"};
    return false;
  }

  // A manifest name must stay below the folder and name a file this package brought: the
  // check deletes these files on a mismatch. Their CRC-32 (and SHA-256) came with their writing.
  bool FindImages() {
    m_images = {{3, &m_manifest.programName, &m_manifest.programCheck, &m_package.signedImages.program},
                {5, &m_manifest.mediaName, &m_manifest.mediaCheck, &m_package.signedImages.media},
                {7, &m_manifest.dataName, &m_manifest.dataCheck, &m_package.signedImages.data}};
    if (m_package.withBootloader) {
      m_images.push_back({10, &m_manifest.bootloaderName, &m_manifest.bootloaderCheck, &m_package.signedImages.bootloader});
    }
    for (ManifestImage& image : m_images) {
      const std::wstring why = WhyImageCannotBeRead(*image.name, image.file);
      if (!why.empty()) {
        return Refuse(texts::kWrongUpdateFile, L"manifest line " + std::to_wstring(image.nameLine) + L" names " +
                                                   Quoted(*image.name) + L": " + why);
      }
    }
    ImageCheckValues& checks = m_package.checks;
    std::uint32_t* crcs[] = {&checks.program, &checks.media, &checks.data, &checks.bootloader};
    for (std::size_t i = 0; i < m_images.size(); ++i) *crcs[i] = m_images[i].file->crc;
    return true;
  }

  std::wstring WhyImageCannotBeRead(const std::string& name, const UnpackedFile*& file) const {
    const std::wstring relative = WidenBytes(name);
    if (!archive::IsSafeRelativeName(relative)) return L"a name that leaves the package's folder";
    if (m_directory.size() + relative.size() + 1 > archive::kMaxPathUnits) return L"a name too long for a path";
    file = m_files->Find(m_directory + relative);
    if (file == nullptr) return L"no file of this package";
    return std::wstring();
  }

  bool CompareCheckValues() {
    m_package.deviceTypeCheck = DeviceTypeCheckValue(m_manifest.deviceType);
    std::wstring mismatch = Mismatch(2, L"device type " + Quoted(m_manifest.deviceType), m_manifest.deviceTypeCheck,
                                     m_package.deviceTypeCheck);
    for (const ManifestImage& image : m_images) {
      if (!mismatch.empty()) break;
      mismatch = Mismatch(image.nameLine + 1, L"file " + Quoted(*image.name), *image.expected, image.file->crc);
    }
    if (mismatch.empty()) return true;
    // All of these are this package's own: the manifest was read only as one it wrote, and
    // every image passed WhyImageCannotBeRead. Held files cannot go.
    m_files->LetGo();
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
    // The manifest and the images as hashed while they were written, info.sig through its own
    // handle: nothing here reads a file by its name again.
    std::vector<signing::NamedEntry> entries = {Named(kManifestEntryName, *m_manifestFile)};
    for (const ManifestImage& image : m_images) entries.push_back(Named(*image.name, *image.file));
    signing::SignatureEntryText signatureEntry;
    if (const UnpackedFile* file = m_files->Find(m_directory + WidenBytes(signing::kSignatureEntryName))) {
      signatureEntry.read = ReadHeldFileCapped(file->handle, signing::kMaxSignatureEntrySize, signatureEntry.text);
    }
    const signing::SignatureCheck signature = signing::CheckPackageSignature(m_trusted, signatureEntry, entries);
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

  static signing::NamedEntry Named(const std::string& name, const UnpackedFile& file) {
    return {name, file.hashed, file.digest};
  }

  bool HandImagesOn() {
    m_package.files = m_files;
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

  std::shared_ptr<UnpackedFiles> m_files;
  const UnpackedFile* m_manifestFile = nullptr;
  UpdateManifest m_manifest;
  std::vector<ManifestImage> m_images;
};

}  // namespace

std::vector<ExtractedEntry> ExtractPackage(const std::wstring& packagePath, const std::wstring& directory) {
  archive::ArchiveReader reader;
  reader.Open(packagePath);
  reader.SetRootDirectory(directory);
  archive::ArchiveEntry summary;
  if (reader.GetEntry(-1, summary) != archive::kArchiveOk) return {};
  return UnpackEntries(reader, directory, summary.index, nullptr, false);
}

bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          const signing::TrustedKeys& trusted, PreparedPackage& package, PackageRefusal* refusal) {
  return PackageCheck(host, updateFile, directory, trusted, package, refusal).Run();
}

bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          PreparedPackage& package) {
  return PrepareUpdatePackage(host, updateFile, directory, signing::TrustedKeys(), package);
}

