// The package check, first stage of "Download": unpack the update package into the update's
// own folder, read its manifest, compare every check value (and, with a trusted maker's key,
// the signature), and hand the images on as one value. Every failure is shown through the
// host and ends the check.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/MessageHost.h"
#include "package/UnpackedFiles.h"
#include "signing/SigningTypes.h"
#include "signing/TrustedKeys.h"

// The images' CRC-32 as the check found them equal to the manifest's values.
struct ImageCheckValues {
  std::uint32_t program = 0, media = 0, data = 0, bootloader = 0;
};

// The images' SHA-256 as a trusted maker signed them; only when the package's signature was
// checked and accepted (with no trusted key nothing is signed, and nothing compared).
struct SignedImages {
  bool accepted = false;
  std::wstring signer;  // the name trusted-keys.txt gives the key
  signing::Sha256Digest program = {}, media = {}, data = {}, bootloader = {};
};

// What a package that passed the check gives the update.
struct PreparedPackage {
  std::wstring packagePath;  // the package as chosen
  std::wstring deviceType;   // manifest line 1, widened
  std::wstring programFile, mediaFile, dataFile, bootloaderFile;  // full paths; no bootloader: empty
  bool withBootloader = false;
  ImageCheckValues checks;            // each image's CRC-32, equal to the manifest's value
  std::uint32_t deviceTypeCheck = 0;  // line 1's check value, equal to line 2
  SignedImages signedImages;          // accepted only with a trusted key and a good signature
  // Every file the check unpacked, held until the last copy of this value goes or the folder
  // is removed; the images are read through these handles.
  std::shared_ptr<UnpackedFiles> files;
};

// Why a package was refused, for the package tool's user: the updater shows only the text, as
// it always has; the reason says which line, which file, which value and why.
struct PackageRefusal {
  std::wstring text;
  std::wstring reason;
};

struct ExtractedEntry {
  int index;
  DWORD result;
  std::wstring name;
  bool createdFile;  // this extraction created the file (whatever its result)
};

// Unpacks the entries of the package into directory, as the check does (at most the first
// 1000), and reports each entry's result. An archive that cannot be opened gives no entries.
std::vector<ExtractedEntry> ExtractPackage(const std::wstring& packagePath, const std::wstring& directory);

// directory, the folder the package is unpacked into, ends in a backslash: the update's own
// folder (UpdateFolder), or one the package tool's user names. Every file unpacked is held
// open in package.files (see UnpackedFiles), and let go again when the check fails. With a
// trusted-keys.txt (trusted not in TrustState::kNoKeys) a
// package is taken only with a signature of a trusted maker that matches every file the
// manifest names; otherwise one of the signature texts is shown and the check fails. Without
// the file the signature is not looked at. refusal, when given, says why a package failed.
bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          const signing::TrustedKeys& trusted, PreparedPackage& package,
                          PackageRefusal* refusal = nullptr);
// The same with no trusted key.
bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          PreparedPackage& package);
