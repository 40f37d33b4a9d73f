#include "tests/procedure/ProcedureFixture.h"

#include <fstream>
#include <sstream>

#include "devlink/DeviceLink.h"
#include "ui/DeviceList.h"
#include "procedure/Download.h"
#include "procedure/WorkstationUpdateMark.h"
#include "sim/operator/DialogDriver.h"
#include "usbio/DeviceSetupLibrary.h"
#include "usbio/UsbSystemPort.h"

namespace proceduretest {

namespace {

constexpr std::int64_t kClockStart = 1000000000;

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  const std::string text = testing_support::ReadFileBytes(path);
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace

std::string Pattern(std::size_t length, std::uint32_t seed) { return testing_support::PatternBytes(length, seed); }

sim::Instrument BenchInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model,
                                sim::Mode mode) {
  sim::Instrument instrument = sim::MakeInstrument(id, product, model, mode);
  instrument.reenumeration_ms = 1500;
  instrument.mode_changed_at = kClockStart - 60000;
  return instrument;
}

void ProcedureFixture::SetUp() {
  ASSERT_TRUE(m_bench.created());
  ASSERT_TRUE(m_bench.Activate());
  ASSERT_TRUE(bench().UseManualClock(kClockStart));
  // The bench is this test's workstation: a real updater in the prefix keeps no test waiting.
  SetWorkstationUpdateMarkName(bench().UpdateMarkName());
  m_simulation = std::make_unique<sim::UsbDriverSimulation>(bench());
  InstallUsbSystemPort(m_simulation.get());
  ASSERT_TRUE(m_devices.CreateHiddenListBox());
  CreateDirectoryW(TemporaryDirectory().c_str(), nullptr);

  m_host.session = &m_session;
  m_host.selection = [this](DeviceSelection& selection) { return m_devices.GetSelection(selection); };
  m_host.refresh = [this] { Refresh(); };
  m_host.onPause = [this](DWORD milliseconds) {
    bench().AdvanceClock(milliseconds);
    m_clock.Advance(milliseconds);
  };
}

void ProcedureFixture::TearDown() {
  DeviceLink::CloseAll();
  m_devices.Close();
  DeviceSetupLibrary().Release();
  InstallUsbSystemPort(nullptr);
  SetWorkstationUpdateMarkName(std::wstring());
}

void ProcedureFixture::Add(const sim::Instrument& instrument) { ASSERT_TRUE(bench().Save(instrument)); }

void ProcedureFixture::AddDefaultInstruments() {
  ASSERT_TRUE(testing_support::SaveDefaultInstruments(bench(), {kClockStart - 60000, 1500}));
}

void ProcedureFixture::SetKey(const std::wstring& id, const std::wstring& key, const std::wstring& value) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(id), key, value));
}

void ProcedureFixture::Refresh() { m_devices.Refresh(); }

void ProcedureFixture::Select(const std::wstring& part) {
  const std::vector<std::wstring> entries = Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].find(part) != std::wstring::npos) {
      m_devices.Select(static_cast<int>(i));
      return;
    }
  }
  ADD_FAILURE() << "no list entry with " << Ascii(part);
}

void ProcedureFixture::SelectNothing() { m_devices.Select(-1); }

std::vector<std::wstring> ProcedureFixture::Entries() const { return dialog_driver::ListEntries(m_devices.ListBox()); }

std::wstring ProcedureFixture::MakePackage(const PackageImages& images) {
  const std::wstring folder = m_scratch / (L"package" + std::to_wstring(++m_packages) + L"\\");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring package = testing_support::BuildPackage(folder, images);
  EXPECT_FALSE(package.empty());
  return package;
}

void ProcedureFixture::Download(const std::wstring& package) {
  RunDownload(m_host, m_session, package, TemporaryDirectory(), TrustedKeysFile());
}

std::vector<std::string> ProcedureFixture::DfuCalls(const std::wstring& id) const {
  std::vector<std::string> calls;
  const std::string subject = " id=" + Ascii(id) + " ";
  for (const std::string& line : ReadLines(sim::Bench(m_bench.folder()).TracePath())) {
    if (line.rfind("DFU ", 0) == 0 && line.find(subject) != std::string::npos && line.rfind("DFU string", 0) != 0) {
      calls.push_back(line);
    }
  }
  return calls;
}

std::vector<std::string> ProcedureFixture::TraceLines() const {
  return ReadLines(sim::Bench(m_bench.folder()).TracePath());
}

bool ProcedureFixture::UpdateMarkFree() {
  WorkstationUpdateMark other;
  return other.TryTake();
}

std::vector<std::string> ProcedureFixture::UsbFrames() const {
  std::vector<std::string> frames;
  for (const std::string& line : ReadLines(sim::Bench(m_bench.folder()).TracePath())) {
    if (line.rfind("OUT ", 0) == 0 || line.rfind("IN ", 0) == 0) frames.push_back(line);
  }
  return frames;
}

int ProcedureFixture::OpenDfuDevices() const {
  int open = 0;
  for (const std::string& line : ReadLines(sim::Bench(m_bench.folder()).TracePath())) {
    const bool ok = line.size() >= 5 && line.compare(line.size() - 5, 5, " rc=0") == 0;
    if (ok && line.rfind("DFU open id=", 0) == 0) ++open;
    if (ok && line.rfind("DFU close ", 0) == 0) --open;
  }
  return open;
}

void ProcedureFixture::ClearTrace() { DeleteFileW(bench().TracePath().c_str()); }

std::string ProcedureFixture::Memory(const std::wstring& id, sim::Memory memory, std::uint32_t address,
                                     std::uint32_t length) {
  std::string bytes(length, '\0');
  EXPECT_TRUE(bench().ReadMemory(id, memory, address, reinterpret_cast<std::uint8_t*>(&bytes[0]), length));
  return bytes;
}

bool ProcedureFixture::Erased(const std::wstring& id, sim::Memory memory, std::uint32_t address,
                              std::uint32_t length) {
  return Memory(id, memory, address, length) == std::string(length, '\xFF');
}

}  // namespace proceduretest
