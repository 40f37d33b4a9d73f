#include "package/FileCrc32.h"

#include <windows.h>

#include <cstdio>
#include <vector>

std::uint32_t FileCrc32(const std::wstring& path,
                        const std::function<void(const unsigned char*, std::size_t)>& alsoRead) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return 0;
  std::vector<unsigned char> chunk(kFileCrcChunk);
  std::uint32_t crc = 0xFFFFFFFFu;
  for (;;) {
    const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), file);
    crc = UpdateCrc32(crc, chunk.data(), read);
    if (alsoRead) alsoRead(chunk.data(), read);
    if (read < chunk.size()) break;
  }
  std::fclose(file);
  return crc ^ 0xFFFFFFFFu;
}
