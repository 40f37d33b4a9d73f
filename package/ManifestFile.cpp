#include "package/ManifestFile.h"

#include <windows.h>

#include "package/UnpackedFiles.h"

namespace {

// The manifest's bytes through one handle, from its start, a block at a time.
class HeldFileLines : public ManifestLineReader {
 public:
  explicit HeldFileLines(HANDLE file) : m_file(file) {}

 protected:
  int NextByte() override {
    if (m_next == m_filled) {
      LARGE_INTEGER size = {};
      if (m_ended || !GetFileSizeEx(m_file, &size) || static_cast<std::uint64_t>(size.QuadPart) <= m_offset) return -1;
      const std::uint64_t left = static_cast<std::uint64_t>(size.QuadPart) - m_offset;
      m_filled = left < sizeof m_block ? static_cast<std::size_t>(left) : sizeof m_block;
      m_next = 0;
      if (!ReadHeldFile(m_file, m_offset, m_block, static_cast<DWORD>(m_filled))) {
        m_ended = true;
        m_filled = 0;
        return -1;
      }
      m_offset += m_filled;
    }
    return m_block[m_next++];
  }

 private:
  HANDLE m_file;
  unsigned char m_block[4096];
  std::size_t m_next = 0, m_filled = 0;
  std::uint64_t m_offset = 0;
  bool m_ended = false;
};

}  // namespace

ManifestFileResult ReadManifestFile(HANDLE file, UpdateManifest& manifest) {
  if (file == INVALID_HANDLE_VALUE) return ManifestFileResult::kCannotOpen;
  HeldFileLines lines(file);
  return ReadUpdateManifest(lines, manifest) ? ManifestFileResult::kRead : ManifestFileResult::kUnreadable;
}

ManifestFileResult ReadManifestFile(const std::wstring& path, UpdateManifest& manifest) {
  // Other writers kept out while it is read.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ManifestFileResult::kCannotOpen;
  const ManifestFileResult result = ReadManifestFile(file, manifest);
  CloseHandle(file);
  return result;
}
