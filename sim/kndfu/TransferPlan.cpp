#include "sim/kndfu/TransferPlan.h"

namespace kndfu {

namespace {

std::uint64_t DivideRoundingUp(std::uint64_t value, std::uint64_t divisor) { return (value + divisor - 1) / divisor; }

}  // namespace

TransferPlan PlanTransfer(std::uint32_t length, std::uint32_t block_size) {
  TransferPlan plan;
  if (block_size == 0) block_size = 1;
  if (length == 0) return plan;
  std::uint64_t blocks_per_unit = DivideRoundingUp(DivideRoundingUp(length, block_size), kMaxProgressUnits);
  std::uint64_t unit_bytes = blocks_per_unit * block_size;
  plan.unit_bytes = static_cast<std::uint32_t>(unit_bytes < length ? unit_bytes : length);
  plan.units = static_cast<std::uint32_t>(DivideRoundingUp(length, plan.unit_bytes));
  return plan;
}

std::uint32_t UnitLength(const TransferPlan& plan, std::uint32_t length, std::uint32_t index) {
  std::uint64_t offset = static_cast<std::uint64_t>(index) * plan.unit_bytes;
  if (offset >= length) return 0;
  std::uint64_t rest = length - offset;
  return static_cast<std::uint32_t>(rest < plan.unit_bytes ? rest : plan.unit_bytes);
}

}  // namespace kndfu
