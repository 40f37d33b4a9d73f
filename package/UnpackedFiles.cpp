#include "package/UnpackedFiles.h"

#include <algorithm>
#include <mutex>

namespace {

// One spelling for one file: separators, "." steps and case as Windows resolves them.
std::wstring FullPath(const std::wstring& path) {
  const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
  full.resize(written < length ? written : 0);
  return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Every set of held files of this process, so a folder's owner can let go of those in it: the
// dialog's thread checks a package, the worker's removes the folder.
std::mutex& HoldersLock() {
  static std::mutex lock;
  return lock;
}
std::vector<UnpackedFiles*>& Holders() {
  static std::vector<UnpackedFiles*> holders;
  return holders;
}

}  // namespace

UnpackedFiles::UnpackedFiles(const std::wstring& folder) : m_folder(FullPath(folder)) {
  std::lock_guard<std::mutex> hold(HoldersLock());
  Holders().push_back(this);
}

UnpackedFiles::~UnpackedFiles() {
  std::lock_guard<std::mutex> hold(HoldersLock());
  LetGo();
  std::vector<UnpackedFiles*>& holders = Holders();
  holders.erase(std::remove(holders.begin(), holders.end(), this), holders.end());
}

void UnpackedFiles::Add(const UnpackedFile& file) {
  m_files.push_back(file);
  m_files.back().path = FullPath(file.path);
}

const UnpackedFile* UnpackedFiles::Find(const std::wstring& path) const {
  const std::wstring full = FullPath(path);
  for (const UnpackedFile& file : m_files) {
    if (SamePath(file.path, full)) return &file;
  }
  return nullptr;
}

void UnpackedFiles::LetGo() {
  for (UnpackedFile& file : m_files) {
    if (file.handle != INVALID_HANDLE_VALUE) CloseHandle(file.handle);
    file.handle = INVALID_HANDLE_VALUE;
  }
}

void LetGoOfFilesIn(const std::wstring& folder) {
  const std::wstring full = FullPath(folder);
  std::lock_guard<std::mutex> hold(HoldersLock());
  for (UnpackedFiles* files : Holders()) {
    if (SamePath(files->m_folder, full)) files->LetGo();
  }
}

bool ReadHeldFile(HANDLE file, std::uint64_t offset, void* bytes, DWORD count) {
  auto* at = static_cast<unsigned char*>(bytes);
  while (count > 0) {
    // A handle of synchronous I/O reads at the offset given here and leaves no position behind
    // that another reader would have to know.
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file, at, count, &read, &position) || read == 0) return false;
    at += read;
    offset += read;
    count -= read;
  }
  return true;
}

signing::CappedRead ReadHeldFileCapped(HANDLE file, std::size_t limit, std::string& bytes) {
  bytes.clear();
  LARGE_INTEGER size = {};
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    return signing::CappedRead::kUnreadable;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > limit) return signing::CappedRead::kTooLarge;
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  if (!bytes.empty() && !ReadHeldFile(file, 0, &bytes[0], static_cast<DWORD>(bytes.size()))) {
    bytes.clear();
    return signing::CappedRead::kUnreadable;
  }
  return signing::CappedRead::kRead;
}
