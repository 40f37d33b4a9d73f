#include "tools/knpack/PackageSigning.h"

#include <windows.h>

#include "package/ManifestFile.h"
#include "package/PackageCheck.h"
#include "package/UpdateFolder.h"
#include "signing/EcdsaP256.h"
#include "signing/KeyText.h"
#include "signing/Sha256.h"
#include "signing/SignatureEntry.h"
#include "signing/SigningFiles.h"
#include "signing/TextEncoding.h"
#include "signing/TrustedKeys.h"
#include "text/WidenBytes.h"
#include "tools/knpack/ArchiveCopy.h"
#include "tools/knpack/Console.h"
#include "platform/SystemPaths.h"
#include "text/Utf8.h"

namespace knpack {
namespace {

using signing::KeyFingerprint;
using signing::PrivateKey;

const std::wstring kSignatureName = WidenBytes(signing::kSignatureEntryName);

std::wstring HexText(const std::uint8_t* bytes, std::size_t count) { return WidenBytes(signing::ToHex(bytes, count)); }

// The private key wiped when it is no longer needed.
struct SigningKey {
  ~SigningKey() { SecureZeroMemory(key.privateKey.data(), key.privateKey.size()); }
  signing::KeyLine key;
};

// Creates path with bytes; never replaces an existing file.
bool WriteNewFile(const std::wstring& path, const std::string& bytes, std::wstring& error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
                ? path + L" exists already: a key file is never replaced"
                : L"cannot create " + path + L" (error " + std::to_wstring(code) + L")";
    return false;
  }
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  if (!ok) {
    DeleteFileW(path.c_str());
    error = L"cannot write " + path;
  }
  return ok;
}

bool ReadPrivateKey(const std::wstring& path, SigningKey& key, std::wstring& error) {
  std::string text;
  if (signing::ReadFileCapped(path, signing::kMaxKeyFileSize, text) != signing::CappedRead::kRead) {
    error = L"cannot read the key file " + path;
    return false;
  }
  std::vector<signing::KeyFileLine> keys;
  std::vector<signing::KeyFileProblem> problems;
  signing::ParseKeyFile(text, keys, problems);
  SecureZeroMemory(&text[0], text.size());
  if (!problems.empty()) {
    const signing::KeyFileProblem& problem = problems.front();
    error = path + (problem.lineNumber > 0 ? L" line " + std::to_wstring(problem.lineNumber) : std::wstring()) + L": " +
            FromUtf8(problem.why);
  } else if (keys.size() != 1) {
    error = path + L": " + std::to_wstring(keys.size()) + L" keys, a key file holds one";
  } else if (!keys.front().key.isPrivate) {
    error = path + L" line " + std::to_wstring(keys.front().lineNumber) +
            L": a public key; sign with the private key file (PREFIX.key)";
  } else {
    key.key = keys.front().key;
  }
  for (signing::KeyFileLine& line : keys) SecureZeroMemory(line.key.privateKey.data(), line.key.privateKey.size());
  return error.empty();
}

// The package check's messages, kept instead of shown.
class MessageList : public MessageHost {
 public:
  void ShowMessage(const std::wstring& text) override { m_last = text; }
  const std::wstring& Last() const { return m_last; }

 private:
  std::wstring m_last;
};

bool ReadManifestIn(const std::wstring& directory, UpdateManifest& manifest) {
  return ReadManifestFile(directory + kManifestFileName, manifest) == ManifestFileResult::kRead;
}

// Unpacks package into a scratch folder of its own with the updater's check and hashes what
// the signature covers. The folder is removed before returning.
bool DigestPackage(const std::wstring& package, std::vector<signing::SignedDigest>& digests, std::wstring& error) {
  UpdateFolder folder;  // where the updater would unpack it: a folder of its own, removed on return
  if (!folder.Create(SystemTempDirectory())) {
    error = L"cannot make a folder to unpack into below " + SystemTempDirectory();
    return false;
  }
  const std::wstring& scratch = folder.Path();
  MessageList messages;
  UpdateManifest manifest;
  bool ok = false;
  {
    PreparedPackage prepared;  // holds what it unpacked until it goes
    ok = PrepareUpdatePackage(messages, package, scratch, prepared);
  }
  ok = ok && ReadManifestIn(scratch, manifest);
  if (!ok) error = package + L": the updater's package check refuses it: " + messages.Last();
  for (const signing::NamedEntry& entry : ok ? SignedEntryNames(manifest) : std::vector<signing::NamedEntry>()) {
    const std::wstring name = WidenBytes(entry.name);
    signing::SignedDigest digest;
    digest.name = entry.name;
    if (CompareStringOrdinal(name.c_str(), -1, kSignatureName.c_str(), -1, TRUE) == CSTR_EQUAL) {
      error = package + L": the manifest names " + name + L" as an image, the name of the signature entry";
      ok = false;
    } else if (!signing::FileSha256(scratch + name, digest.digest)) {
      error = package + L": the unpacked " + name + L" cannot be read";
      ok = false;
    }
    if (!ok) break;
    digests.push_back(digest);
  }
  return ok;
}

// What each digest of the entry says about the unpacked files of directory.
std::wstring DigestVerdict(const std::wstring& directory, const signing::SignedDigest& signedDigest,
                           const std::vector<signing::NamedEntry>& named) {
  bool isNamed = false;
  for (const signing::NamedEntry& entry : named) isNamed = isNamed || entry.name == signedDigest.name;
  signing::Sha256Digest actual;
  if (!signing::FileSha256(directory + WidenBytes(signedDigest.name), actual)) {
    return isNamed ? L"file missing" : L"file missing; not named by the manifest";
  }
  std::wstring verdict = actual == signedDigest.digest
                             ? std::wstring(L"matches")
                             : L"does not match, computed " + HexText(actual.data(), actual.size());
  return isNamed ? verdict : verdict + L"; not named by the manifest";
}

}  // namespace

std::vector<signing::NamedEntry> SignedEntryNames(const UpdateManifest& manifest) {
  std::vector<std::string> names = {kManifestEntryName, manifest.programName, manifest.mediaName, manifest.dataName};
  if (manifest.HasBootloaderMarker()) names.push_back(manifest.bootloaderName);
  std::vector<signing::NamedEntry> entries(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) entries[i].name = names[i];
  return entries;
}

bool WriteKeyPair(const std::wstring& name, const std::wstring& prefix, std::wstring& fingerprint, std::wstring& error) {
  std::string utf8;
  const std::string problem =
      ToUtf8Exactly(name, utf8) ? signing::SignerNameProblem(utf8) : "the name is not Unicode text";
  if (!problem.empty()) {
    error = L"the signer name cannot be used: " + FromUtf8(problem);
    return false;
  }
  for (const wchar_t* ending : {L".key", L".pub"}) {
    if (GetFileAttributesW((prefix + ending).c_str()) != INVALID_FILE_ATTRIBUTES) {
      error = prefix + ending + L" exists already: a key file is never replaced";
      return false;
    }
  }
  SigningKey key;
  const NTSTATUS status = signing::GenerateSigningKey(key.key.privateKey);
  KeyFingerprint print;
  std::copy(key.key.privateKey.begin(), key.key.privateKey.begin() + signing::kPublicKeySize, key.key.publicKey.begin());
  if (!BCRYPT_SUCCESS(status) || !signing::FingerprintOf(key.key.publicKey, print)) {
    error = L"Windows' cryptography cannot make a P-256 key here (status " + Hex(static_cast<unsigned long>(status)) + L")";
    return false;
  }
  std::string privateLine = signing::FormatPrivateKeyLine(key.key.privateKey, utf8) + "\n";
  const bool wrote = WriteNewFile(prefix + L".key", privateLine, error);
  SecureZeroMemory(&privateLine[0], privateLine.size());
  if (!wrote) return false;
  if (!WriteNewFile(prefix + L".pub", signing::FormatPublicKeyLine(key.key.publicKey, utf8) + "\n", error)) {
    DeleteFileW((prefix + L".key").c_str());
    return false;
  }
  fingerprint = HexText(print.data(), print.size());
  return true;
}

bool SignPackage(const std::wstring& package, const std::wstring& keyFile, const std::wstring& output,
                 std::wstring& signer, std::wstring& error) {
  SigningKey key;
  if (!ReadPrivateKey(keyFile, key, error)) return false;
  KeyFingerprint print;
  if (!signing::FingerprintOf(key.key.publicKey, print)) {
    error = L"SHA-256 cannot be computed here";
    return false;
  }
  std::vector<signing::SignedDigest> digests;
  if (!DigestPackage(package, digests, error)) return false;

  const std::string signedPart = signing::ComposeSignedPart(key.key.name, print, digests);
  signing::Sha256Digest digest;
  signing::Signature signature;
  if (!signing::BufferSha256(signedPart.data(), signedPart.size(), digest)) {
    error = L"SHA-256 cannot be computed here";
    return false;
  }
  const NTSTATUS status = signing::SignDigest(key.key.privateKey, digest, signature);
  if (!BCRYPT_SUCCESS(status)) {
    error = keyFile + L": Windows' cryptography cannot sign with this key (status " +
            Hex(static_cast<unsigned long>(status)) + L")";
    return false;
  }
  // A private key whose X || Y is not its own public key would sign what nobody can verify.
  if (!signing::VerifyDigest(key.key.publicKey, digest, signature)) {
    error = keyFile + L": the signature made does not verify with the key's own public part: the key file is damaged";
    return false;
  }
  if (!CopyArchiveAddingEntry(package, output, kSignatureName, signing::ComposeSignatureEntry(signedPart, signature),
                              error)) {
    return false;
  }
  signer = FromUtf8(key.key.name) + L" (key " + HexText(print.data(), print.size()) + L")";
  return true;
}

void ListSignature(const std::wstring& directory) {
  std::string text;
  const signing::CappedRead read =
      signing::ReadFileCapped(directory + kSignatureName, signing::kMaxSignatureEntrySize, text);
  if (read == signing::CappedRead::kMissing) {
    PrintLine(L"signature: unsigned");
    return;
  }
  signing::SignatureEntry entry;
  std::string why = read == signing::CappedRead::kTooLarge ? "larger than any signature entry" : "cannot be read";
  if (read != signing::CappedRead::kRead || !signing::ParseSignatureEntry(text, entry, why)) {
    PrintLine(L"signature: " + kSignatureName + L" " + FromUtf8(why));
    return;
  }
  PrintLine(L"signer: " + FromUtf8(entry.signer));
  PrintLine(L"key: " + HexText(entry.key.data(), entry.key.size()));
  UpdateManifest manifest;
  const std::vector<signing::NamedEntry> named =
      ReadManifestIn(directory, manifest) ? SignedEntryNames(manifest) : std::vector<signing::NamedEntry>();
  for (const signing::SignedDigest& digest : entry.digests) {
    PrintLine(L"sha256 " + WidenBytes(digest.name) + L": " + DigestVerdict(directory, digest, named));
  }
  for (const signing::NamedEntry& name : named) {
    if (signing::FindSignedDigest(entry.digests, name.name) == nullptr) {
      PrintLine(L"sha256 " + WidenBytes(name.name) + L": not covered by the signature");
    }
  }
  PrintLine(L"signature: checked only against trusted keys (knpack verify --trusted FILE)");
}

bool VerifySignature(const std::wstring& directory, const std::wstring& trustedFile) {
  signing::TrustedKeys trusted;
  trusted.Load(trustedFile);
  for (const signing::KeyFileProblem& problem : trusted.Problems()) {
    PrintLine(trustedFile + (problem.lineNumber > 0 ? L" line " + std::to_wstring(problem.lineNumber) : std::wstring()) +
              L": " + FromUtf8(problem.why));
  }
  UpdateManifest manifest;
  const std::vector<signing::NamedEntry> named =
      ReadManifestIn(directory, manifest) ? SignedEntryNames(manifest) : std::vector<signing::NamedEntry>();
  const signing::SignatureCheck check = signing::CheckPackageSignature(trusted, directory, named);
  switch (check.verdict) {
    case signing::SignatureVerdict::kNotChecked:
      PrintLine(L"signature: not checked, " + trustedFile + L" does not exist: signatures are not in use");
      return true;
    case signing::SignatureVerdict::kAccepted:
      PrintLine(L"signature: " + check.detail);
      PrintLine(L"signed by " + check.signer);
      return true;
    default:
      PrintLine(L"signature: " + check.detail);
      PrintLine(signing::SignatureRefusalText(check.verdict));
      return false;
  }
}

}  // namespace knpack
