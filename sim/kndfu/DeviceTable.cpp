#include "sim/kndfu/DeviceTable.h"

namespace kndfu {

DeviceTable& DeviceTable::Instance() {
  static DeviceTable table;
  return table;
}

void DeviceTable::SetBenchFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  bench_folder_ = folder;
}

std::wstring DeviceTable::BenchFolder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bench_folder_;
}

std::uint32_t DeviceTable::Add(const OpenDevice& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  while (next_handle_ == 0 || devices_.count(next_handle_) != 0) ++next_handle_;
  std::uint32_t handle = next_handle_++;
  devices_[handle] = device;
  return handle;
}

bool DeviceTable::Find(std::uint32_t handle, OpenDevice* device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = devices_.find(handle);
  if (found == devices_.end()) return false;
  *device = found->second;
  return true;
}

bool DeviceTable::Remove(std::uint32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_.erase(handle) != 0;
}

}  // namespace kndfu
