#include "records/CentralRecordsFile.h"

#include <windows.h>

#include "platform/ProgramStart.h"

namespace {

constexpr DWORD kMaxFileSize = 64 * 1024;

CentralRecordsSetting Unreadable() {
  CentralRecordsSetting setting;
  setting.state = CentralRecordsState::kNoConnection;
  setting.problem = L"central-records.txt cannot be read.";
  return setting;
}

}  // namespace

std::wstring CentralRecordsFileBesideProgram() {
  // Never a name relative to the current folder, which anyone may have chosen.
  const std::wstring folder = ProgramFolder();
  return folder.empty() ? std::wstring() : folder + kCentralRecordsFileName;
}

CentralRecordsSetting ReadCentralRecordsFile(const std::wstring& path) {
  if (path.empty()) return CentralRecordsSetting();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Only a file that is not there switches the feature off; one that is there but cannot be
    // opened keeps the records waiting.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CentralRecordsSetting() : Unreadable();
  }
  std::string bytes(kMaxFileSize + 1, '\0');
  DWORD read = 0;
  const bool ok = ReadFile(file, &bytes[0], kMaxFileSize + 1, &read, nullptr) != FALSE && read <= kMaxFileSize;
  CloseHandle(file);
  if (!ok) return Unreadable();
  bytes.resize(read);
  return ParseCentralRecordsText(bytes);
}

std::wstring OutboxBesideHistory(const std::wstring& historyPath) {
  const std::size_t slash = historyPath.find_last_of(L"\\/");
  if (historyPath.empty()) return std::wstring();
  return (slash == std::wstring::npos ? std::wstring() : historyPath.substr(0, slash + 1)) + kOutboxFileName;
}
