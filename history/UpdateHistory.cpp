#include "history/UpdateHistory.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

namespace {

constexpr wchar_t kFolder[] = L"QM_TWBootloader";
constexpr wchar_t kFile[] = L"history.csv";

constexpr int kLockAttempts = 100;
constexpr DWORD kLockRetryMs = 20;

// The whole file locked, waiting a little for another updater but never for good: a history
// must never hold up an update.
bool LockWhole(HANDLE file, DWORD flags, OVERLAPPED& whole) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    whole = OVERLAPPED();
    if (LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) return true;
    Sleep(kLockRetryMs);
  }
  return false;
}

HistoryWriteFunction g_write = &WriteFile;

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return g_write(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// What goes into the file for this record: a new file begins with the byte-order mark and the
// header line.
std::string RecordBytes(bool newFile, const HistoryRecord& record) {
  return (newFile ? std::string(kUtf8ByteOrderMark) + HistoryHeaderLine() : std::string()) + FormatHistoryLine(record);
}

// Set by tests and the bench builds; empty: the user's own history. A function's own static,
// as the bench builds set it while the program's globals are still being made.
std::wstring& HistoryFileForTesting() {
  static std::wstring path;
  return path;
}

}  // namespace

void SetHistoryFileForTesting(const std::wstring& path) { HistoryFileForTesting() = path; }

std::wstring HistoryFilePath() {
  if (!HistoryFileForTesting().empty()) return HistoryFileForTesting();
  PWSTR folder = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &folder))) return std::wstring();
  const std::wstring path = std::wstring(folder) + L"\\" + kFolder + L"\\" + kFile;
  CoTaskMemFree(folder);
  return path;
}

bool AppendHistoryRecord(const std::wstring& path, const HistoryRecord& record) {
  if (path.empty()) return false;
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  CreateDirectoryW(folder.c_str(), nullptr);  // already there most of the time
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The whole file, locked for the one write: another updater waits for it.
  OVERLAPPED whole = {};
  if (!LockWhole(file, LOCKFILE_EXCLUSIVE_LOCK, whole)) {
    CloseHandle(file);
    return false;
  }
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(file, &size) && SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
  if (ok && !WriteAll(file, RecordBytes(size.QuadPart == 0, record))) {
    // A record written in part (a full disk) would leave a line that is no record and run into
    // the next one: the file goes back to what it was, still under the lock.
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    ok = false;
  }
  UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(file);
  return ok;
}

bool ReadHistory(const std::wstring& path, std::string& text) {
  text.clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Shared: no record is read half written.
  OVERLAPPED whole = {};
  bool ok = LockWhole(file, 0, whole);
  if (ok) {
    char chunk[65536];
    DWORD read = 0;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &read, nullptr) != FALSE) && read > 0) text.append(chunk, read);
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
  }
  CloseHandle(file);
  if (text.rfind(kUtf8ByteOrderMark, 0) == 0) text.erase(0, sizeof kUtf8ByteOrderMark - 1);
  return ok;
}

void SetHistoryWriteForTesting(HistoryWriteFunction write) { g_write = write != nullptr ? write : &WriteFile; }

std::wstring UtcTimestamp() {
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
  return text;
}
