// The package check, first stage of "Download": unpack the update package into the
// temporary directory, read its manifest, compare every check value, and hand the image paths
// on. Every failure is shown through the host and ends the check.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "signing/TrustedKeys.h"
#include "update/MessageHost.h"
#include "update/UpdateSession.h"

struct PreparedPackage {
  std::wstring deviceType;  // manifest line 1, widened
  std::wstring programFile, mediaFile, dataFile, bootloaderFile;
  bool withBootloader = false;
  ImageCheckValues checks;  // each image's CRC-32, equal to the manifest's value
  std::uint32_t deviceTypeCheck = 0;  // line 1's check value, equal to line 2
  SignedImages signedImages;          // accepted only with a trusted key and a good signature
};

struct ExtractedEntry {
  int index;
  DWORD result;
  std::wstring name;
  bool createdFile;  // this extraction created the file (whatever its result)
};

// Unpacks every entry of the package into directory, as the check does, and reports each
// entry's result. An archive that cannot be opened gives no entries.
std::vector<ExtractedEntry> ExtractPackage(const std::wstring& packagePath, const std::wstring& directory);

// directory, the folder the package is unpacked into, ends in a backslash: the update's own
// folder (UpdateFolder), or one the package tool's user names.
bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          PreparedPackage& package);
// The same, and with at least one trusted key a package is taken only with a signature of a
// trusted maker that matches every file the manifest names; otherwise one of the signature
// texts is shown and the check fails. Without a trusted key the signature is not looked at.
bool PrepareUpdatePackage(MessageHost& host, const std::wstring& updateFile, const std::wstring& directory,
                          const signing::TrustedKeys& trusted, PreparedPackage& package);

// The user's temporary directory as the system reports it (ends in a backslash).
std::wstring SystemTempDirectory();
