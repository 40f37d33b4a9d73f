// One write, erase or read-back of an instrument memory as the DFU loader performs it: block
// by block, paced by the instrument's transfer rate, with the fault switches of the bench,
// reporting to the notification window.
//
// Notifications are sent (SendMessageW), not posted: the window's thread handles each one
// before the transfer goes on, so the progress never runs ahead of what the dialog shows and
// no message is left queued after the call returns. The window must therefore belong to a
// thread that keeps handling messages (the program's dialog thread does).
//
// Sequence: UM_DFU_WRITE_BEGIN(n), UM_DFU_PROGRESS 0..n-1, with verify UM_DFU_VERIFY_BEGIN(n)
// and UM_DFU_PROGRESS 0..n-1, then UM_DFU_DONE; a failure after the begin message ends with
// UM_DFU_FAILED instead. Refused arguments and empty transfers send nothing.
#pragma once

#include <windows.h>

#include <cstdint>

#include "sim/bench/Bench.h"

namespace kndfu {

struct TransferRequest {
  sim::Operation operation = sim::Operation::kFlashWrite;
  sim::Memory memory = sim::Memory::kFlash;
  std::uint32_t address = 0;
  const std::uint8_t* data = nullptr;  // null for an erase: the range becomes 0xFF
  std::uint32_t length = 0;
  bool verify = false;
  HWND notify = nullptr;
};

int RunTransfer(sim::Bench& bench, const sim::Instrument& instrument, const TransferRequest& request);

// Reads a memory range back, paced like a transfer; no notifications.
int ReadBack(const sim::Bench& bench, const sim::Instrument& instrument, sim::Memory memory, std::uint32_t address,
             std::uint8_t* out, std::uint32_t length);

}  // namespace kndfu
