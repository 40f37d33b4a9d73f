#include "records/LastSendFailure.h"

#include <windows.h>

#include <cwchar>

#include "text/Utf8.h"

namespace {

constexpr DWORD kMaxNoteSize = 64 * 1024;

std::wstring NowUtc() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  wchar_t text[32] = {};
  std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
  return text;
}

// Into a file beside it first, then into its place in one step: a reader sees a whole note.
bool WriteWhole(const std::wstring& path, const std::string& bytes) {
  const std::wstring fresh = path + L".new";
  HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
                  written == bytes.size();
  CloseHandle(file);
  if (ok && MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileW(fresh.c_str());
  return false;
}

}  // namespace

std::wstring LastSendFailurePath(const std::wstring& outboxPath) {
  const std::size_t slash = outboxPath.find_last_of(L"\\/");
  if (outboxPath.empty()) return std::wstring();
  return (slash == std::wstring::npos ? std::wstring() : outboxPath.substr(0, slash + 1)) + kLastSendFailureFileName;
}

void NoteSendFailure(const std::wstring& outboxPath, const std::wstring& failure) {
  const std::wstring path = LastSendFailurePath(outboxPath);
  if (path.empty()) return;
  if (failure.empty()) {
    DeleteFileW(path.c_str());
    return;
  }
  // The reason on one line: a driver's diagnostics may span several.
  std::wstring reason = failure;
  for (wchar_t& c : reason) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  WriteWhole(path, ToUtf8(NowUtc() + L"\r\n" + reason + L"\r\n"));
}

LastSendFailure ReadLastSendFailure(const std::wstring& outboxPath) {
  LastSendFailure note;
  const std::wstring path = LastSendFailurePath(outboxPath);
  HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                             : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return note;
  std::string bytes(kMaxNoteSize, '\0');
  DWORD read = 0;
  const bool ok = ReadFile(file, &bytes[0], kMaxNoteSize, &read, nullptr) != FALSE;
  CloseHandle(file);
  if (!ok) return note;
  bytes.resize(read);
  const std::size_t firstEnd = bytes.find("\r\n");
  if (firstEnd == std::string::npos) return note;
  const std::size_t secondEnd = bytes.find("\r\n", firstEnd + 2);
  note.whenUtc = FromUtf8(bytes.substr(0, firstEnd));
  note.reason = FromUtf8(bytes.substr(firstEnd + 2, secondEnd == std::string::npos ? std::string::npos
                                                                                    : secondEnd - firstEnd - 2));
  return note;
}
