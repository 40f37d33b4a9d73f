// The virtual instrument bench: a folder named by KN_BENCH holding "bench.ini" (read and
// written with the platform's private-profile functions, so every process sees the same
// state) and one binary file per instrument memory. Shared by kndfu.dll, the USB driver
// simulation and the tests that build benches.
//
// Nothing is cached: every call reads or writes the INI, because the two simulated sides may
// change an instrument's mode behind each other's back (even from another process).
// The INI format is described in sim/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bench/Instrument.h"

namespace sim {

// State of the DFU driver on the simulated machine, as kndfu.dll's LMDFUInit reports it.
enum class DfuDriver { kPresent, kMissing, kOutdated };

class Bench {
 public:
  static constexpr const wchar_t* kEnvironmentVariable = L"KN_BENCH";
  static constexpr const wchar_t* kBenchSection = L"bench";

  explicit Bench(std::wstring folder);

  // The folder named by KN_BENCH; empty when the variable is unset or empty.
  static std::wstring FolderFromEnvironment();
  // The name of the one mark of an update under way for the workstation this bench stands for:
  // programs on two benches are two workstations, and never keep each other waiting.
  std::wstring UpdateMarkName() const;
  // Milliseconds of the system time, the same in every process, so a mode change stamped by
  // one process times the re-enumeration seen by another.
  static std::int64_t NowMs();

  // Makes the folder and an empty bench (UTF-16 INI, so product strings keep any character).
  bool Create();
  // True when the folder holds a bench INI.
  bool IsReadable() const;

  const std::wstring& folder() const { return folder_; }
  std::wstring IniPath() const;
  std::wstring MemoryPath(const std::wstring& id, Memory memory) const;
  std::wstring TracePath() const;

  // The bench clock, which times every mode change: the system time (NowMs), or on a bench
  // whose [bench] clock is "manual" a count that only AdvanceClock moves, so that tests which
  // count their pauses instead of sleeping can count the re-enumeration delays too.
  std::int64_t ClockMs() const;
  bool UseManualClock(std::int64_t startMs);
  // Moves a manual clock on; a system clock moves by itself.
  bool AdvanceClock(std::int64_t milliseconds);

  DfuDriver GetDfuDriver() const;
  bool SetDfuDriver(DfuDriver driver);

  // Instruments in bench order, which is also the order in which both sides enumerate them.
  std::vector<std::wstring> InstrumentIds() const;
  bool Load(const std::wstring& id, Instrument* instrument) const;
  std::vector<Instrument> LoadAll() const;
  // Writes every field; a new id is appended to the bench order.
  bool Save(const Instrument& instrument);
  // Changes the mode and stamps the moment, which starts the re-enumeration delay.
  bool SetMode(const std::wstring& id, Mode mode);

  // The memory as a plain byte range (0xFF where nothing was written); false outside it.
  bool ReadMemory(const std::wstring& id, Memory memory, std::uint32_t address, std::uint8_t* out,
                  std::uint32_t length) const;
  bool WriteMemory(const std::wstring& id, Memory memory, std::uint32_t address, const std::uint8_t* data,
                   std::uint32_t length);

  // A fault switch that still has operations to let through lets this one through and
  // counts down; true when the fault applies to this operation.
  bool TakeFault(const std::wstring& id, Operation op);

  // Raw keys, for the settings and live state of later simulated parts.
  static std::wstring InstrumentSection(const std::wstring& id);
  std::wstring ReadString(const std::wstring& section, const std::wstring& key, const std::wstring& fallback) const;
  std::int64_t ReadInt(const std::wstring& section, const std::wstring& key, std::int64_t fallback) const;
  bool WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  bool WriteInt(const std::wstring& section, const std::wstring& key, std::int64_t value);
  bool WriteHex(const std::wstring& section, const std::wstring& key, std::uint32_t value);

  // Appends one line to the trace file "trace.txt" of the bench folder.
  bool AppendTrace(const std::string& line);

 private:
  std::wstring folder_;
};

}  // namespace sim
