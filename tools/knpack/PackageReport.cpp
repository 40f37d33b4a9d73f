#include "tools/knpack/PackageReport.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/EntryMetadata.h"
#include "archive/EntryName.h"
#include "package/Crc32.h"
#include "package/FileCrc32.h"
#include "package/ManifestFile.h"
#include "package/PackageCheck.h"
#include "package/UpdateFolder.h"
#include "package/UpdateManifest.h"
#include "text/WidenBytes.h"
#include "tools/knpack/Console.h"
#include "tools/knpack/PackageSigning.h"
#include "platform/SystemPaths.h"

namespace knpack {
namespace {

std::wstring FormatTime(const FILETIME& time) {
  SYSTEMTIME utc = {};
  if (!FileTimeToSystemTime(&time, &utc)) return L"-";
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"%04u-%02u-%02u %02u:%02u:%02u", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                utc.wMinute, utc.wSecond);
  return buffer;
}

std::wstring FormatAttributes(DWORD attributes) {
  std::wstring flags;
  flags += (attributes & archive::kAttrDirectory) ? L'D' : L'-';
  flags += (attributes & archive::kAttrArchive) ? L'A' : L'-';
  flags += (attributes & archive::kAttrReadOnly) ? L'R' : L'-';
  flags += (attributes & archive::kAttrHidden) ? L'H' : L'-';
  flags += (attributes & archive::kAttrSystem) ? L'S' : L'-';
  return flags;
}

void ListEntries(archive::ArchiveReader& reader) {
  archive::ArchiveEntry summary;
  reader.GetEntry(-1, summary);
  PrintLine(L"entries: " + std::to_wstring(summary.index));
  for (int index = 0; index < summary.index; ++index) {
    archive::ArchiveEntry entry;
    const DWORD result = reader.GetEntry(index, entry);
    if (result != archive::kArchiveOk) {
      PrintLine(std::to_wstring(index) + L" unreadable (" + Hex(result) + L")");
      continue;
    }
    PrintLine(std::to_wstring(index) + L" " + entry.name + L"  size " + std::to_wstring(entry.uncompressedSize) +
              L" packed " + std::to_wstring(entry.compressedSize) + L"  " + FormatAttributes(entry.attributes) +
              L"  written " + FormatTime(entry.writeTime) + L" accessed " + FormatTime(entry.accessTime) +
              L" created " + FormatTime(entry.creationTime) + L" UTC");
  }
}

std::wstring Verdict(const std::string& expected, std::uint32_t computed) {
  const std::string text = FormatCheckValue(computed);
  return expected == text ? L"matches" : L"does not match, computed " + WidenBytes(text);
}

void ListImage(const std::wstring& directory, int line, const wchar_t* label,
               const std::string& name, const std::string& check) {
  PrintLine(L"line " + std::to_wstring(line) + L" " + label + L": " + WidenBytes(name));
  const std::wstring relative = WidenBytes(name);
  std::wstring verdict;
  if (!archive::IsSafeRelativeName(relative)) {
    verdict = L"name leaves the package's directory";
  } else if (GetFileAttributesW((directory + relative).c_str()) == INVALID_FILE_ATTRIBUTES) {
    verdict = L"image missing";
  } else {
    verdict = Verdict(check, FileCrc32(directory + relative));
  }
  PrintLine(L"line " + std::to_wstring(line + 1) + L" check value: " + WidenBytes(check) + L" (" + verdict + L")");
}

void ListManifest(const std::wstring& directory) {
  UpdateManifest manifest;
  const ManifestFileResult read = ReadManifestFile(directory + kManifestFileName, manifest);
  if (read == ManifestFileResult::kCannotOpen) {
    PrintLine(L"manifest: missing");
    return;
  }
  if (read == ManifestFileResult::kUnreadable) PrintLine(L"manifest: a line is longer than any valid value");

  PrintLine(L"line 1 device type: " + WidenBytes(manifest.deviceType));
  PrintLine(L"line 2 check value: " + WidenBytes(manifest.deviceTypeCheck) + L" (" +
            Verdict(manifest.deviceTypeCheck, DeviceTypeCheckValue(manifest.deviceType)) + L")");
  ListImage(directory, 3, L"program image", manifest.programName, manifest.programCheck);
  ListImage(directory, 5, L"media image", manifest.mediaName, manifest.mediaCheck);
  ListImage(directory, 7, L"data image", manifest.dataName, manifest.dataCheck);
  if (!manifest.hasLine9) {
    PrintLine(L"no bootloader section");
  } else if (!manifest.HasBootloaderMarker()) {
    PrintLine(L"line 9: " + WidenBytes(manifest.line9) + L" (not the bootloader marker)");
  } else {
    PrintLine(L"line 9: " + WidenBytes(manifest.line9));
    ListImage(directory, 10, L"bootloader image", manifest.bootloaderName, manifest.bootloaderCheck);
  }
}

// What the updater would say of the package (no key trusted), with the reason for a maker.
void ReportUpdatersCheck(const std::wstring& packagePath) {
  class Silent : public MessageHost {
    void ShowMessage(const std::wstring&) override {}
  } silent;
  UpdateFolder folder;
  PreparedPackage package;
  PackageRefusal refusal;
  if (!folder.Create(SystemTempDirectory())) return;
  if (PrepareUpdatePackage(silent, packagePath, folder.Path(), signing::TrustedKeys(), package, &refusal)) {
    PrintLine(L"updater's check: accepted");
  } else {
    PrintLine(L"updater's check: " + refusal.text + L" (" + refusal.reason + L")");
  }
}

}  // namespace

bool InspectPackage(const std::wstring& packagePath) {
  archive::ArchiveReader reader;
  if (reader.Open(packagePath) != archive::kArchiveOk) {
    PrintError(L"knpack: cannot open " + packagePath + L" as a ZIP archive");
    return false;
  }
  ListEntries(reader);
  reader.Close();

  // The images are checked where nothing else lives: a folder of our own, as the updater's.
  UpdateFolder scratch;
  if (!scratch.Create(SystemTempDirectory())) {
    PrintError(L"knpack: cannot make a folder to unpack into below " + SystemTempDirectory());
    return false;
  }
  ExtractPackage(packagePath, scratch.Path());
  ListManifest(scratch.Path());
  ListSignature(scratch.Path());
  ReportUpdatersCheck(packagePath);
  return true;
}

}  // namespace knpack
