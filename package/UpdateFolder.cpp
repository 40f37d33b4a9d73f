#include "package/UpdateFolder.h"

#include <atomic>
#include <cstdint>
#include <cwchar>

#include "package/UnpackedFiles.h"
#include "platform/FileTree.h"

namespace {

constexpr wchar_t kNamePrefix[] = L"QM_TWBootloader-update-";
constexpr int kNameAttempts = 100;
// A folder made or changed this recently may be one whose update has not held it yet.
constexpr std::uint64_t kYoungFolder100ns = 60ull * 10000000ull;

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A folder opened this way cannot be deleted or renamed by anyone until the handle is closed,
// and nobody can open it for deletion meanwhile.
HANDLE HoldFolder(const std::wstring& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

std::wstring NewName() {
  static std::atomic<unsigned> counter{0};
  wchar_t name[96];
  std::swprintf(name, 96, L"%ls%lx-%llx-%x", kNamePrefix, static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long long>(GetTickCount64()), counter++);
  return name;
}

}  // namespace

bool UpdateFolder::Create(const std::wstring& tempDirectory) {
  Remove();
  if (tempDirectory.empty()) return false;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring path = tempDirectory + NewName();
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;  // someone else's: never ours
      return false;
    }
    // Another run's clean-up may take a folder in the moment before it is held: then it is
    // gone or held by that run, and a new name is tried.
    m_hold = HoldFolder(path, GENERIC_READ);
    if (m_hold == INVALID_HANDLE_VALUE) continue;
    m_path = path + L"\\";
    return true;
  }
  return false;
}

void UpdateFolder::Remove() {
  if (m_path.empty()) return;
  // The package's files are held open from their unpacking; a held file cannot be deleted.
  LetGoOfFilesIn(m_path);
  RemoveTreeContents(m_path);
  // Held without delete sharing: the folder itself can go only once it is let go.
  CloseHandle(m_hold);
  m_hold = INVALID_HANDLE_VALUE;
  RemoveDirectoryW(m_path.c_str());
  m_path.clear();
}

void RemoveAbandonedUpdateFolders(const std::wstring& tempDirectory) {
  if (tempDirectory.empty()) return;
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((tempDirectory + kNamePrefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    if (Ticks(now) - Ticks(found.ftLastWriteTime) < kYoungFolder100ns) continue;
    const std::wstring path = tempDirectory + found.cFileName;
    // Opening it for deletion fails while a running update holds it. One that nobody holds is
    // never taken up again (every update makes a new folder), so it can go at leisure.
    HANDLE probe = HoldFolder(path, DELETE);
    if (probe == INVALID_HANDLE_VALUE) continue;
    CloseHandle(probe);
    RemoveTree(path + L"\\");
  } while (FindNextFileW(search, &found));
  FindClose(search);
}
