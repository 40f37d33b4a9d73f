// One instrument memory as a binary file of the bench folder. The file holds the memory from
// address 0 up to the highest byte ever written; bytes beyond it read as erased (0xFF), so
// a fresh bench needs no large files.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class MemoryFile {
 public:
  MemoryFile() = default;
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Opens (creating when missing) the file of a memory of `size` bytes.
  bool Open(const std::wstring& path, std::uint32_t size);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // Both refuse ranges outside the memory.
  bool Read(std::uint32_t address, std::uint8_t* out, std::uint32_t length) const;
  bool Write(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
  bool Fill(std::uint32_t address, std::uint32_t length, std::uint8_t value);

 private:
  bool ExtendTo(std::uint64_t end);

  void* handle_ = nullptr;  // HANDLE, kept out of this header
  std::uint32_t size_ = 0;
};

}  // namespace sim
