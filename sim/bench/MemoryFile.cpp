#include "sim/bench/MemoryFile.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "sim/bench/Instrument.h"

namespace sim {

namespace {

constexpr std::uint8_t kErased = 0xFF;

std::uint64_t FileLength(HANDLE file) {
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file, &length)) return 0;
  return static_cast<std::uint64_t>(length.QuadPart);
}

bool Seek(HANDLE file, std::uint64_t offset) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::uint32_t length) {
  DWORD written = 0;
  return WriteFile(file, data, length, &written, nullptr) && written == length;
}

}  // namespace

MemoryFile::~MemoryFile() { Close(); }

bool MemoryFile::Open(const std::wstring& path, std::uint32_t size) {
  Close();
  // Shared so that a test or the other simulated side can look at the memory meanwhile.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = file;
  size_ = size;
  return true;
}

void MemoryFile::Close() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool MemoryFile::Read(std::uint32_t address, std::uint8_t* out, std::uint32_t length) const {
  if (handle_ == nullptr || (out == nullptr && length != 0) || !RangeInside(address, length, size_)) return false;
  HANDLE file = static_cast<HANDLE>(handle_);
  std::fill(out, out + length, kErased);
  std::uint64_t stored = FileLength(file);
  if (address >= stored) return true;
  DWORD wanted = static_cast<DWORD>(std::min<std::uint64_t>(length, stored - address));
  DWORD got = 0;
  return Seek(file, address) && ReadFile(file, out, wanted, &got, nullptr) && got == wanted;
}

bool MemoryFile::Write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
  if (handle_ == nullptr || (data == nullptr && length != 0) || !RangeInside(address, length, size_)) return false;
  HANDLE file = static_cast<HANDLE>(handle_);
  return ExtendTo(address) && Seek(file, address) && WriteAll(file, data, length);
}

bool MemoryFile::Fill(std::uint32_t address, std::uint32_t length, std::uint8_t value) {
  if (handle_ == nullptr || !RangeInside(address, length, size_)) return false;
  HANDLE file = static_cast<HANDLE>(handle_);
  // Filling erased space past the end of the file changes nothing.
  if (value == kErased) {
    std::uint64_t stored = FileLength(file);
    if (address >= stored) return true;
    length = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, stored - address));
  }
  std::vector<std::uint8_t> block(std::min<std::uint32_t>(length, 64 * 1024), value);
  if (!ExtendTo(address) || !Seek(file, address)) return false;
  while (length > 0) {
    std::uint32_t part = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(block.size()));
    if (!WriteAll(file, block.data(), part)) return false;
    length -= part;
  }
  return true;
}

// Grows the file up to `end` with erased bytes, so a write past its end leaves no zero gap.
bool MemoryFile::ExtendTo(std::uint64_t end) {
  HANDLE file = static_cast<HANDLE>(handle_);
  std::uint64_t stored = FileLength(file);
  if (stored >= end) return true;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(end - stored, 64 * 1024)), kErased);
  if (!Seek(file, stored)) return false;
  while (stored < end) {
    std::uint32_t part = static_cast<std::uint32_t>(std::min<std::uint64_t>(end - stored, block.size()));
    if (!WriteAll(file, block.data(), part)) return false;
    stored += part;
  }
  return true;
}

}  // namespace sim
