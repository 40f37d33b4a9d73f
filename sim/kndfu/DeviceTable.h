// The library's open devices: 32-bit handles mapped to the bench instrument they name, and
// the bench found by the last successful LMDFUInit. Called from any thread (the program
// lists devices on its dialog thread while its worker writes), so guarded by one mutex.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace kndfu {

struct OpenDevice {
  std::wstring bench_folder;
  std::wstring instrument_id;
};

class DeviceTable {
 public:
  static DeviceTable& Instance();

  // Empty folder: not initialised. Open handles keep the bench they were opened on.
  void SetBenchFolder(const std::wstring& folder);
  std::wstring BenchFolder() const;

  std::uint32_t Add(const OpenDevice& device);
  bool Find(std::uint32_t handle, OpenDevice* device) const;
  bool Remove(std::uint32_t handle);

 private:
  mutable std::mutex mutex_;
  std::wstring bench_folder_;
  std::map<std::uint32_t, OpenDevice> devices_;
  std::uint32_t next_handle_ = 0x00010001;  // never 0, and not reused soon after a close
};

}  // namespace kndfu
