// One instrument of the virtual bench, as both simulated sides see it: the USB driver
// simulation (application mode) and our kndfu.dll (DFU mode). Plain data and the pure rules
// over it; reading and writing the bench folder is Bench's job.
//
// The simulated USB side keeps its own keys in the same INI section (Bench::ReadInt and
// friends), so this record only grows by fields both sides need.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sim {

enum class Mode { kApplication, kDfu, kAbsent };

// The instrument's memories, one binary file each.
enum class Memory { kFlash, kEeprom, kNand };

// Operations that carry their own fault switches.
enum class Operation { kFlashWrite, kFlashErase, kEepromWrite, kNandWrite };
constexpr int kOperationCount = 4;

// How one kind of write goes wrong. Several switches may be on; the error code wins, then
// the unplug, then the damaged data.
struct WriteFault {
  bool verify_failure = false;     // the data lands damaged, so a read-back differs
  int error_code = 0;              // nonzero: the operation fails with this code at its start
  std::int64_t unplug_after = -1;  // bytes written before the instrument disappears; -1 never
  int skip = 0;                    // matching operations that still succeed before the fault

  bool Any() const { return verify_failure || error_code != 0 || unplug_after >= 0; }
};

struct Instrument {
  std::wstring id;  // INI section "instrument.<id>" and memory file stem
  std::wstring product = L"Instrument";
  // The USB serial number string of the application side; empty: the device names none.
  std::wstring serial;
  std::uint32_t model = 0;
  std::uint32_t bus_address = 1;
  Mode mode = Mode::kApplication;
  std::int64_t mode_changed_at = 0;  // bench clock (Bench::ClockMs) of the last mode change
  std::uint32_t reenumeration_ms = 0;
  // A slow restart: after it is told to leave its loader, the instrument is still seen there
  // this long before it goes off the bus.
  std::uint32_t loader_linger_ms = 0;
  std::uint16_t driver_api_version = 0x0240;  // USBIO driver interface 2.40

  std::uint16_t sector_size = 1024;
  std::uint32_t flash_top = 0x40000;
  std::uint32_t app_start_address = 0x4000;
  std::uint32_t eeprom_size = 0x1000;
  std::uint32_t nand_size = 0x100000;

  std::uint32_t bytes_per_second = 0;  // pacing of DFU transfers; 0 as fast as possible
  std::uint32_t transfer_size = 1024;  // bytes per DFU block, one progress unit

  int params_fault = 0;  // nonzero: LMDFUParamsGet fails with this code
  bool product_string_unreadable = false;
  std::array<WriteFault, kOperationCount> faults{};

  WriteFault& fault(Operation op) { return faults[static_cast<int>(op)]; }
  const WriteFault& fault(Operation op) const { return faults[static_cast<int>(op)]; }
};

// The mode the host sees at now_ms: after a mode change the instrument is off the bus until
// its re-enumeration delay has passed.
Mode VisibleMode(const Instrument& instrument, std::int64_t now_ms);

std::uint32_t MemorySize(const Instrument& instrument, Memory memory);

// True when [address, address + length) lies inside a memory of `size` bytes.
bool RangeInside(std::uint64_t address, std::uint64_t length, std::uint64_t size);

// INI spellings.
const wchar_t* ModeName(Mode mode);
bool ParseMode(const std::wstring& text, Mode* mode);
const wchar_t* MemoryName(Memory memory);
const wchar_t* OperationName(Operation op);

}  // namespace sim
