#include "sim/kndfu/Transfer.h"

#include <algorithm>
#include <vector>

#include "dfu/DfuApi.h"
#include "sim/bench/MemoryFile.h"
#include "sim/kndfu/DfuResult.h"
#include "sim/kndfu/TransferPlan.h"

namespace kndfu {

namespace {

constexpr std::uint8_t kErased = 0xFF;

// Sent by default; a bench may ask for them posted ([bench] notifications=posted), as a
// library is free to do, so that the program's handling of queued notifications is tried.
class Notifier {
 public:
  Notifier(HWND window, bool posted) : window_(window), posted_(posted) {}
  void Send(UINT message, WPARAM position) const {
    if (window_ == nullptr) return;
    if (posted_) {
      PostMessageW(window_, message, position, 0);
    } else {
      SendMessageW(window_, message, position, 0);
    }
  }

 private:
  HWND window_;
  bool posted_;
};

// Holds the transfer back to the instrument's rate, so that a person sees the progress.
class Pacer {
 public:
  explicit Pacer(std::uint32_t bytes_per_second) : rate_(bytes_per_second), start_(GetTickCount64()) {}
  void Account(std::uint32_t bytes) {
    done_ += bytes;
    if (rate_ == 0) return;
    ULONGLONG due = start_ + done_ * 1000 / rate_;
    ULONGLONG now = GetTickCount64();
    if (due > now) Sleep(static_cast<DWORD>(due - now));
  }

 private:
  std::uint64_t rate_;
  ULONGLONG start_;
  std::uint64_t done_ = 0;
};

// What the range should hold after the operation.
void Expected(const TransferRequest& request, std::uint32_t offset, std::uint32_t length, std::uint8_t* out) {
  if (request.data == nullptr) {
    std::fill(out, out + length, kErased);
  } else {
    std::copy(request.data + offset, request.data + offset + length, out);
  }
}

struct Pass {
  const TransferRequest& request;
  const TransferPlan& plan;
  const Notifier& notifier;
  Pacer& pacer;
};

int WritePass(sim::Bench& bench, const sim::Instrument& instrument, const sim::WriteFault& fault,
              sim::MemoryFile& file, const Pass& pass) {
  const TransferRequest& request = pass.request;
  // A verify fault damages one byte in the middle, so the read-back finds it part-way.
  const std::uint32_t damaged = fault.verify_failure ? request.length / 2 : request.length;
  std::vector<std::uint8_t> block(pass.plan.unit_bytes);
  for (std::uint32_t unit = 0; unit < pass.plan.units; ++unit) {
    const std::uint32_t offset = unit * pass.plan.unit_bytes;
    const std::uint32_t part = UnitLength(pass.plan, request.length, unit);
    if (fault.unplug_after >= 0 && offset >= fault.unplug_after) {
      bench.SetMode(instrument.id, sim::Mode::kAbsent);
      return kDisconnected;
    }
    Expected(request, offset, part, block.data());
    if (damaged >= offset && damaged < offset + part) block[damaged - offset] ^= 0xA5;
    if (!file.Write(request.address + offset, block.data(), part)) return kTransferFailed;
    pass.pacer.Account(part);
    pass.notifier.Send(UM_DFU_PROGRESS, unit);
  }
  return kOk;
}

int VerifyPass(const sim::MemoryFile& file, const Pass& pass) {
  const TransferRequest& request = pass.request;
  std::vector<std::uint8_t> expected(pass.plan.unit_bytes);
  std::vector<std::uint8_t> actual(pass.plan.unit_bytes);
  for (std::uint32_t unit = 0; unit < pass.plan.units; ++unit) {
    const std::uint32_t offset = unit * pass.plan.unit_bytes;
    const std::uint32_t part = UnitLength(pass.plan, request.length, unit);
    Expected(request, offset, part, expected.data());
    if (!file.Read(request.address + offset, actual.data(), part)) return kTransferFailed;
    pass.pacer.Account(part);
    if (!std::equal(expected.begin(), expected.begin() + part, actual.begin())) return kVerifyFailed;
    pass.notifier.Send(UM_DFU_PROGRESS, unit);
  }
  return kOk;
}

}  // namespace

int RunTransfer(sim::Bench& bench, const sim::Instrument& instrument, const TransferRequest& request) {
  const bool erase = request.operation == sim::Operation::kFlashErase;
  if (request.data == nullptr && !erase && request.length != 0) return kInvalidArgument;
  if (!sim::RangeInside(request.address, request.length, sim::MemorySize(instrument, request.memory))) {
    return kOutOfRange;
  }
  if (request.length == 0) return kOk;

  const TransferPlan plan = PlanTransfer(request.length, instrument.transfer_size);
  const sim::WriteFault fault =
      bench.TakeFault(instrument.id, request.operation) ? instrument.fault(request.operation) : sim::WriteFault{};
  const Notifier notifier(request.notify,
                          bench.ReadString(sim::Bench::kBenchSection, L"notifications", L"sent") == L"posted");
  Pacer pacer(instrument.bytes_per_second);
  const Pass pass{request, plan, notifier, pacer};

  notifier.Send(UM_DFU_WRITE_BEGIN, plan.units);
  int rc = fault.error_code;
  sim::MemoryFile file;
  if (rc == kOk && !file.Open(bench.MemoryPath(instrument.id, request.memory),
                              sim::MemorySize(instrument, request.memory))) {
    rc = kTransferFailed;
  }
  if (rc == kOk) rc = WritePass(bench, instrument, fault, file, pass);
  if (rc == kOk && request.verify) {
    notifier.Send(UM_DFU_VERIFY_BEGIN, plan.units);
    rc = VerifyPass(file, pass);
  }
  notifier.Send(rc == kOk ? UM_DFU_DONE : UM_DFU_FAILED, 0);
  return rc;
}

int ReadBack(const sim::Bench& bench, const sim::Instrument& instrument, sim::Memory memory, std::uint32_t address,
             std::uint8_t* out, std::uint32_t length) {
  if (out == nullptr && length != 0) return kInvalidArgument;
  if (!sim::RangeInside(address, length, sim::MemorySize(instrument, memory))) return kOutOfRange;
  sim::MemoryFile file;
  if (!file.Open(bench.MemoryPath(instrument.id, memory), sim::MemorySize(instrument, memory))) return kTransferFailed;
  Pacer pacer(instrument.bytes_per_second);
  if (!file.Read(address, out, length)) return kTransferFailed;
  pacer.Account(length);
  return kOk;
}

}  // namespace kndfu
