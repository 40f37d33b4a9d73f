// knpack: builds, signs, inspects, verifies and extracts update packages, with the updater's
// own package code and signature rule, so what it accepts is exactly what the updater accepts.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "package/PackageCheck.h"
#include "package/UpdateFolder.h"
#include "platform/FileTree.h"
#include "platform/ProgramStart.h"
#include "tools/knpack/Console.h"
#include "tools/knpack/PackageReport.h"
#include "tools/knpack/PackageSigning.h"
#include "tools/knpack/PackageWriter.h"
#include "platform/SystemPaths.h"

namespace {

using knpack::PrintError;
using knpack::PrintLine;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const wchar_t kUsage[] =
    L"usage:\n"
    L"  knpack build --type TEXT --program FILE --media FILE --data FILE [--bootloader FILE] [--sign KEY] -o OUT.kn\n"
    L"  knpack keygen --name NAME -o PREFIX\n"
    L"  knpack sign PACKAGE --key KEY [-o OUT.kn]\n"
    L"  knpack inspect PACKAGE\n"
    L"  knpack verify PACKAGE [--dir DIR] [--trusted FILE]\n"
    L"  knpack extract PACKAGE DIR";

int Usage() {
  knpack::PrintErrors(kUsage);
  return kExitUsage;
}

// "--name value" pairs; false on an unknown option, a missing value or a repeated option.
bool ParseOptions(const std::vector<std::wstring>& args, std::size_t first, const std::vector<std::wstring>& known,
                  std::map<std::wstring, std::wstring>& options, std::vector<std::wstring>& positional) {
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg.size() > 1 && arg[0] == L'-') {
      bool isKnown = false;
      for (const std::wstring& name : known) isKnown = isKnown || name == arg;
      if (!isKnown || i + 1 >= args.size() || options.count(arg)) return false;
      options[arg] = args[++i];
    } else {
      positional.push_back(arg);
    }
  }
  return true;
}

std::wstring WithTrailingBackslash(std::wstring path) {
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path;
}

int Build(const std::vector<std::wstring>& args) {
  std::map<std::wstring, std::wstring> options;
  std::vector<std::wstring> positional;
  if (!ParseOptions(args, 2, {L"--type", L"--program", L"--media", L"--data", L"--bootloader", L"--sign", L"-o"},
                    options, positional) ||
      !positional.empty()) {
    return Usage();
  }
  for (const wchar_t* required : {L"--type", L"--program", L"--media", L"--data", L"-o"}) {
    if (!options.count(required)) return Usage();
  }
  knpack::PackageInputs inputs;
  if (!knpack::NarrowToBytes(options[L"--type"], inputs.deviceType)) {
    PrintError(L"knpack: the device type must be 8-bit text");
    return kExitFailed;
  }
  inputs.programFile = options[L"--program"];
  inputs.mediaFile = options[L"--media"];
  inputs.dataFile = options[L"--data"];
  if (options.count(L"--bootloader")) inputs.bootloaderFile = options[L"--bootloader"];
  std::string error;
  if (!knpack::BuildUpdatePackage(inputs, options[L"-o"], error)) {
    PrintError(L"knpack: " + std::wstring(error.begin(), error.end()));
    return kExitFailed;
  }
  if (options.count(L"--sign")) {
    std::wstring signer, signError;
    if (!knpack::SignPackage(options[L"-o"], options[L"--sign"], options[L"-o"], signer, signError)) {
      // No unsigned package where a signed one was asked for.
      DeleteFileW(options[L"-o"].c_str());
      PrintError(L"knpack: " + signError);
      return kExitFailed;
    }
    PrintLine(L"wrote " + options[L"-o"] + L", signed by " + signer);
    return kExitOk;
  }
  PrintLine(L"wrote " + options[L"-o"]);
  return kExitOk;
}

int Keygen(const std::vector<std::wstring>& args) {
  std::map<std::wstring, std::wstring> options;
  std::vector<std::wstring> positional;
  if (!ParseOptions(args, 2, {L"--name", L"-o"}, options, positional) || !positional.empty() || !options.count(L"--name") ||
      !options.count(L"-o")) {
    return Usage();
  }
  const std::wstring& prefix = options[L"-o"];
  std::wstring fingerprint, error;
  if (!knpack::WriteKeyPair(options[L"--name"], prefix, fingerprint, error)) {
    PrintError(L"knpack: " + error);
    return kExitFailed;
  }
  PrintLine(L"wrote " + prefix + L".key (the private key: keep it secret) and " + prefix + L".pub");
  PrintLine(L"key " + fingerprint + L" " + options[L"--name"]);
  return kExitOk;
}

int Sign(const std::vector<std::wstring>& args) {
  std::map<std::wstring, std::wstring> options;
  std::vector<std::wstring> positional;
  if (!ParseOptions(args, 2, {L"--key", L"-o"}, options, positional) || positional.size() != 1 || !options.count(L"--key")) {
    return Usage();
  }
  const std::wstring output = options.count(L"-o") ? options[L"-o"] : positional[0];
  std::wstring signer, error;
  if (!knpack::SignPackage(positional[0], options[L"--key"], output, signer, error)) {
    PrintError(L"knpack: " + error);
    return kExitFailed;
  }
  PrintLine(L"wrote " + output + L", signed by " + signer);
  return kExitOk;
}

// The package check's messages as lines.
class PrintingMessageHost : public MessageHost {
 public:
  void ShowMessage(const std::wstring& text) override {
    std::wstring line = text;
    for (std::size_t at; (at = line.find(L"\r\n")) != std::wstring::npos;) line.replace(at, 2, L" ");
    PrintLine(line);
  }
};

// The updater's check into directory, and what it hands on. The unpacked files are let go
// again when it returns.
bool CheckAndList(const std::wstring& packagePath, const std::wstring& directory) {
  PrintingMessageHost host;
  PreparedPackage package;
  PackageRefusal refusal;
  if (!PrepareUpdatePackage(host, packagePath, directory, signing::TrustedKeys(), package, &refusal)) {
    PrintLine(L"why: " + refusal.reason);
    return false;
  }
  PrintLine(L"device type: " + package.deviceType);
  PrintLine(L"program: " + package.programFile);
  PrintLine(L"media: " + package.mediaFile);
  PrintLine(L"data: " + package.dataFile);
  PrintLine(L"bootloader: " + package.bootloaderFile);
  PrintLine(std::wstring(L"with bootloader: ") + (package.withBootloader ? L"yes" : L"no"));
  return true;
}

int Verify(const std::vector<std::wstring>& args) {
  std::map<std::wstring, std::wstring> options;
  std::vector<std::wstring> positional;
  if (!ParseOptions(args, 2, {L"--dir", L"--trusted"}, options, positional) || positional.size() != 1) return Usage();
  // Without a folder named, as the updater does it: a folder of its own, gone afterwards.
  UpdateFolder own;
  if (!options.count(L"--dir") && !own.Create(SystemTempDirectory())) {
    PrintError(L"knpack: cannot make a folder to unpack into below " + SystemTempDirectory());
    return kExitFailed;
  }
  const std::wstring directory = options.count(L"--dir") ? WithTrailingBackslash(options[L"--dir"]) : own.Path();
  // A folder named that is not there yet is made, as extract makes it.
  archive::EnsureDirectory(nullptr, directory.substr(0, directory.size() - 1));
  const bool withTrust = options.count(L"--trusted") != 0;
  // The signature read must be this package's own, as the manifest is (the check removes a
  // stale manifest itself); a folder of its own holds none.
  const std::wstring oldSignature = directory + L"info.sig";
  if (withTrust) RemoveFileEvenIfReadOnly(oldSignature);
  if (withTrust && GetFileAttributesW(oldSignature.c_str()) != INVALID_FILE_ATTRIBUTES) {
    PrintError(L"knpack: " + oldSignature + L" is in the way and cannot be removed");
    return kExitFailed;
  }
  if (!CheckAndList(positional[0], directory)) return kExitFailed;
  if (withTrust && !knpack::VerifySignature(directory, options[L"--trusted"])) return kExitFailed;
  return kExitOk;
}

int Extract(const std::vector<std::wstring>& args) {
  if (args.size() != 4) return Usage();
  archive::ArchiveReader probe;
  if (probe.Open(args[2]) != archive::kArchiveOk) {
    PrintError(L"knpack: cannot open " + args[2] + L" as a ZIP archive");
    return kExitFailed;
  }
  probe.Close();
  bool allOk = true;
  for (const ExtractedEntry& entry : ExtractPackage(args[2], WithTrailingBackslash(args[3]))) {
    PrintLine(std::to_wstring(entry.index) + L" " + knpack::Hex(entry.result) + L" " + entry.name);
    allOk = allOk && entry.result == 0;
  }
  return allOk ? kExitOk : kExitFailed;
}

int Inspect(const std::vector<std::wstring>& args) {
  if (args.size() != 3) return Usage();
  return knpack::InspectPackage(args[2]) ? kExitOk : kExitFailed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ExcludeCurrentFolderFromDllSearch();
  std::vector<std::wstring> args(argv, argv + argc);
  if (args.size() < 2) return Usage();
  const std::wstring& command = args[1];
  if (command == L"build") return Build(args);
  if (command == L"keygen") return Keygen(args);
  if (command == L"sign") return Sign(args);
  if (command == L"inspect") return Inspect(args);
  if (command == L"verify") return Verify(args);
  if (command == L"extract") return Extract(args);
  return Usage();
}
