// The update procedure on a virtual bench: the bench's USB driver simulation as the USB
// layer's port, our kndfu.dll beside the test, the device list built by the dialog's own
// refresh into a real (hidden) list box, and a recording host whose pauses advance the
// bench's manual clock, so re-enumeration delays and polls pass in counted time.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/DeviceList.h"
#include "procedure/Clock.h"
#include "procedure/UpdateSession.h"
#include "sim/bench/TemporaryBench.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "tests/procedure/RecordingUpdateHost.h"
#include "tests/support/BenchFixtures.h"
#include "tests/support/TestFiles.h"

namespace proceduretest {

// Bytes that differ from one image to the next and from one position to the next.
std::string Pattern(std::size_t length, std::uint32_t seed);

// The images of the package most tests update with: a program of 0x3C000 bytes, which fills
// the default flash layout to the last sector.
struct PackageImages : testing_support::PackageImages {
  PackageImages() {
    program = Pattern(0x3C000, 1);
    media = Pattern(0x3000, 2);
    data = Pattern(0x200, 3);
  }
};

// An instrument on the bus since long ago: S = 1024, T = 0x40000, A = 0x4000, unpaced,
// 1.5 s to re-enumerate after a mode change, its status ready at the first poll.
sim::Instrument BenchInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model,
                                sim::Mode mode);

// A clock that stands still but for what the test advances it by.
class PauseClock : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return m_ms; }
  std::wstring UtcTimestamp() const override { return L"2026-12-10T12:00:00Z"; }
  void Advance(DWORD milliseconds) { m_ms += milliseconds; }

 private:
  std::uint64_t m_ms = 5000000;
};

class ProcedureFixture : public ::testing::Test {
 public:  // the tables of cases arrange the bench through it
  void SetUp() override;
  void TearDown() override;

  sim::Bench& bench() { return m_bench.bench(); }
  void Add(const sim::Instrument& instrument);
  // The default bench: "TW 3xx" (4181) and "QM 5xx" (4100) in application mode, "VX 5xx" in
  // DFU mode, in this bus order.
  void AddDefaultInstruments();
  void SetKey(const std::wstring& id, const std::wstring& key, const std::wstring& value);

  // The device list as the dialog's refresh builds it; the first entry ends up selected.
  void Refresh();
  // Selects the entry whose text contains part; fails the test when there is none.
  void Select(const std::wstring& part);
  void SelectNothing();
  std::vector<std::wstring> Entries() const;

  std::wstring MakePackage(const PackageImages& images);
  // "Download" with the package, a temporary directory of the test's own in place of the user's.
  void Download(const std::wstring& package);
  std::wstring TemporaryDirectory() const { return m_scratch / L"temp\\"; }
  // The trusted makers' keys, as trusted-keys.txt beside the program (none until written).
  std::wstring TrustedKeysFile() const { return m_scratch / L"trusted-keys.txt"; }
  // The update's own folder below it, while the update runs.
  std::wstring PackageFolder() const { return m_session.PackageFolder(); }

  // Trace lines of the DFU library ("DFU ...") that mention id, without the list's string reads.
  std::vector<std::string> DfuCalls(const std::wstring& id) const;
  // Frames on the USB side ("OUT ..." and "IN ...").
  std::vector<std::string> UsbFrames() const;
  // Every line of the bench's trace, in order.
  std::vector<std::string> TraceLines() const;
  // Whether the workstation's update mark is free now (no ending kept it).
  static bool UpdateMarkFree();
  // DFU devices opened and not closed again, by the trace.
  int OpenDfuDevices() const;
  void ClearTrace();

  std::string Memory(const std::wstring& id, sim::Memory memory, std::uint32_t address, std::uint32_t length);
  // True when the memory holds nothing but erased bytes in that range.
  bool Erased(const std::wstring& id, sim::Memory memory, std::uint32_t address, std::uint32_t length);

  sim::TemporaryBench m_bench;
  std::unique_ptr<sim::UsbDriverSimulation> m_simulation;
  testing_support::ScratchDirectory m_scratch;
  DeviceList m_devices;
  // The procedure's clock: only the host's pauses advance it, as they do the bench's.
  PauseClock m_clock;
  RecordingUpdateHost m_host;
  UpdateSession m_session{m_clock};
  int m_packages = 0;
};

}  // namespace proceduretest
