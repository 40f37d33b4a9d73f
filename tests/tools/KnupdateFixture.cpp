#include "tests/tools/KnupdateFixture.h"

#include <sstream>

#include "history/UpdateHistory.h"
#include "procedure/WorkstationUpdateMark.h"

namespace knupdate_testing {

using testing_support::PatternBytes;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> TextLines(const std::string& output) {
  std::vector<std::string> lines;
  for (const std::string& line : Lines(output)) {
    if (line.rfind("  ", 0) != 0 || line.back() != '%') lines.push_back(line);
  }
  return lines;
}

std::string Field(const std::string& line, std::size_t index) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < index; ++i) start = line.find(',', start) + 1;
  return line.substr(start, line.find(',', start) - start);
}

void KnupdateFixture::SetUp() {
  ASSERT_TRUE(m_bench.created());
  ASSERT_TRUE(m_bench.Activate());  // the child inherits KN_BENCH
  ASSERT_TRUE(testing_support::SaveDefaultInstruments(bench(), {sim::Bench::NowMs() - 60000, 300}));
  // A history of this test's own, for knupdate (the child inherits KN_HISTORY) and for us.
  SetEnvironmentVariableW(L"KN_HISTORY", HistoryFile().c_str());
  SetHistoryFileForTesting(HistoryFile());
  SetWorkstationUpdateMarkName(bench().UpdateMarkName());  // the one the programs on the bench take
  m_images.program = PatternBytes(0x8000, 1);
  m_images.media = PatternBytes(0x2000, 2);
  m_images.data = PatternBytes(0x100, 3);
  m_package = testing_support::BuildPackage(m_scratch.Path(), m_images);
  ASSERT_FALSE(m_package.empty());
}

void KnupdateFixture::TearDown() {
  SetEnvironmentVariableW(L"KN_HISTORY", nullptr);
  SetHistoryFileForTesting(std::wstring());
  SetWorkstationUpdateMarkName(std::wstring());
}

testing_support::ProgramRun KnupdateFixture::Knupdate(const std::wstring& args, const std::string& input) {
  return testing_support::RunProgram(KnupdateCommand() + args, input);
}

std::wstring KnupdateFixture::KnupdateCommand() const {
  const std::wstring program = m_programCopy.empty() ? testing_support::CommandLineOption(L"knupdate") : m_programCopy;
  return L"\"" + program + L"\" ";
}

std::wstring KnupdateFixture::UseProgramCopy() {
  const std::wstring original = testing_support::CommandLineOption(L"knupdate");
  const std::wstring from = original.substr(0, original.find_last_of(L"\\/") + 1);
  const std::wstring to = m_scratch / L"program\\";
  CreateDirectoryW(to.c_str(), nullptr);
  for (const wchar_t* pattern : {L"*.exe", L"*.dll"}) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((from + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      EXPECT_TRUE(CopyFileW((from + found.cFileName).c_str(), (to + found.cFileName).c_str(), FALSE));
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  m_programCopy = to + original.substr(original.find_last_of(L"\\/") + 1);
  return to;
}

std::wstring KnupdateFixture::MakePackage(bool withBootloader) {
  if (!withBootloader) return m_package;
  const std::wstring folder = m_scratch / L"with-bootloader\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  testing_support::PackageImages images = m_images;
  images.bootloader = PatternBytes(0x800, 4);
  const std::wstring package = testing_support::BuildPackage(folder, images);
  EXPECT_FALSE(package.empty());
  return package;
}

void KnupdateFixture::Plug(const std::wstring& id, sim::Mode mode, const std::function<void(sim::Instrument&)>& adjust) {
  sim::Instrument instrument = sim::MakeInstrument(id, L"TW 3xx", 4181, mode);
  instrument.bus_address = 0x10 + m_plugged++;
  instrument.mode_changed_at = sim::Bench::NowMs() - 60000;
  instrument.reenumeration_ms = 300;
  if (adjust) adjust(instrument);
  ASSERT_TRUE(bench().Save(instrument));
}

bool KnupdateFixture::Updated(const std::wstring& id) {
  return Read(id, sim::Memory::kFlash, 0x4000, 0x7C00) == m_images.program.substr(0, 0x7C00) &&
         Read(id, sim::Memory::kEeprom, 0, 0x100) == m_images.data &&
         Read(id, sim::Memory::kNand, 0, 0x2000) == m_images.media;
}

bool KnupdateFixture::Untouched(const std::wstring& id) {
  return Read(id, sim::Memory::kFlash, 0, 0x40000) == std::string(0x40000, '\xFF') &&
         Read(id, sim::Memory::kNand, 0, 0x2000) == std::string(0x2000, '\xFF');
}

std::string KnupdateFixture::Read(const std::wstring& id, sim::Memory memory, std::uint32_t address,
                                  std::uint32_t length) {
  std::string bytes(length, '\0');
  EXPECT_TRUE(bench().ReadMemory(id, memory, address, reinterpret_cast<std::uint8_t*>(&bytes[0]), length));
  return bytes;
}

std::vector<std::string> KnupdateFixture::HistoryLines() {
  std::string text;
  ReadHistory(HistoryFile(), text);
  std::vector<std::string> lines;
  for (const std::string& line : Lines(text)) {
    if (line + "\r\n" != HistoryHeaderLine()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> KnupdateFixture::HistoryResults() {
  std::vector<std::string> results;
  for (const std::string& line : HistoryLines()) results.push_back(Field(line, kResultField));
  return results;
}

}  // namespace knupdate_testing
