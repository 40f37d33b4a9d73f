#include "sim/bench/Instrument.h"

namespace sim {

Mode VisibleMode(const Instrument& instrument, std::int64_t now_ms) {
  if (instrument.mode == Mode::kAbsent) return Mode::kAbsent;
  const std::int64_t since = now_ms - instrument.mode_changed_at;
  // Only the way out of the loader lingers; plugged in, an instrument has been long in its mode.
  const std::int64_t linger = instrument.mode == Mode::kApplication ? instrument.loader_linger_ms : 0;
  if (since < linger) return Mode::kDfu;
  if (since - linger < static_cast<std::int64_t>(instrument.reenumeration_ms)) return Mode::kAbsent;
  return instrument.mode;
}

std::uint32_t MemorySize(const Instrument& instrument, Memory memory) {
  switch (memory) {
    case Memory::kFlash: return instrument.flash_top;
    case Memory::kEeprom: return instrument.eeprom_size;
    case Memory::kNand: return instrument.nand_size;
  }
  return 0;
}

bool RangeInside(std::uint64_t address, std::uint64_t length, std::uint64_t size) {
  return address <= size && length <= size - address;
}

const wchar_t* ModeName(Mode mode) {
  switch (mode) {
    case Mode::kApplication: return L"application";
    case Mode::kDfu: return L"dfu";
    case Mode::kAbsent: return L"absent";
  }
  return L"absent";
}

bool ParseMode(const std::wstring& text, Mode* mode) {
  for (Mode candidate : {Mode::kApplication, Mode::kDfu, Mode::kAbsent}) {
    if (text == ModeName(candidate)) {
      *mode = candidate;
      return true;
    }
  }
  return false;
}

const wchar_t* MemoryName(Memory memory) {
  switch (memory) {
    case Memory::kFlash: return L"flash";
    case Memory::kEeprom: return L"eeprom";
    case Memory::kNand: return L"nand";
  }
  return L"flash";
}

const wchar_t* OperationName(Operation op) {
  switch (op) {
    case Operation::kFlashWrite: return L"flash";
    case Operation::kFlashErase: return L"erase";
    case Operation::kEepromWrite: return L"eeprom";
    case Operation::kNandWrite: return L"nand";
  }
  return L"flash";
}

}  // namespace sim
