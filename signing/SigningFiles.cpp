#include "signing/SigningFiles.h"

#include <windows.h>

#include <share.h>

#include <cstdio>

namespace signing {

CappedRead ReadFileCapped(const std::wstring& path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CappedRead::kMissing : CappedRead::kUnreadable;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return CappedRead::kUnreadable;
  FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
  if (file == nullptr) return CappedRead::kUnreadable;
  // One byte past the bound tells a file of exactly the bound from a larger one.
  bytes.resize(limit + 1);
  const std::size_t read = std::fread(&bytes[0], 1, bytes.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  bytes.resize(read);
  if (failed) return CappedRead::kUnreadable;
  return read > limit ? CappedRead::kTooLarge : CappedRead::kRead;
}

}  // namespace signing
