#include "records/OutboxLock.h"

namespace {

constexpr int kLockAttempts = 250;
constexpr DWORD kLockRetryMs = 20;

}  // namespace

OutboxLock::OutboxLock(const std::wstring& outboxPath) {
  if (outboxPath.empty()) return;
  const std::wstring folder = outboxPath.substr(0, outboxPath.find_last_of(L"\\/"));
  CreateDirectoryW(folder.c_str(), nullptr);  // already there most of the time
  m_file = CreateFileW((outboxPath + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (m_file == INVALID_HANDLE_VALUE) return;
  for (int attempt = 0; attempt < kLockAttempts && !m_held; ++attempt) {
    m_whole = OVERLAPPED();
    m_held = LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                        &m_whole) != FALSE;
    if (!m_held) Sleep(kLockRetryMs);
  }
}

OutboxLock::~OutboxLock() {
  if (m_held) UnlockFileEx(m_file, 0, MAXDWORD, MAXDWORD, &m_whole);
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}
