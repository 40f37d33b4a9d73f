// How a transfer is cut into progress units. One unit is one block of the instrument's
// transfer size, except that a long transfer gets larger units: the dialog's progress range
// is 16 bits wide.
#pragma once

#include <cstdint>

namespace kndfu {

constexpr std::uint32_t kMaxProgressUnits = 0xFFFF;

struct TransferPlan {
  std::uint32_t units = 0;       // n of the begin messages; 0 for an empty transfer
  std::uint32_t unit_bytes = 0;  // a multiple of the block size
};

TransferPlan PlanTransfer(std::uint32_t length, std::uint32_t block_size);

// Bytes of unit `index` (the last one may be short).
std::uint32_t UnitLength(const TransferPlan& plan, std::uint32_t length, std::uint32_t index);

}  // namespace kndfu
