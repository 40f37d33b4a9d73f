// knupdate as its users run it: knupdate_bench.exe (given as --knupdate=PATH, with our
// kndfu.dll beside it) on a bench of the test's own, with a history of the test's own that the
// program inherits (KN_HISTORY), and a package for the bench's "TW 3xx".
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/bench/TemporaryBench.h"
#include "tests/support/BenchFixtures.h"
#include "tests/support/TestFiles.h"

namespace knupdate_testing {

constexpr DWORD kUpdateTimeoutMs = 60000;

// The lines of a program's output or a file, without their carriage returns.
std::vector<std::string> Lines(const std::string& text);
// The lines that are not progress ("  40%").
std::vector<std::string> TextLines(const std::string& output);
// A field of a history line (no field here holds a comma).
std::string Field(const std::string& line, std::size_t index);
constexpr std::size_t kEntryField = 1, kResultField = 9, kSignerField = 11, kSerialField = 12;

class KnupdateFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sim::Bench& bench() { return m_bench.bench(); }
  std::wstring HistoryFile() const { return m_scratch / L"history.csv"; }

  // knupdate with these arguments, to its end; input is what it reads.
  testing_support::ProgramRun Knupdate(const std::wstring& args, const std::string& input = std::string());
  // The program's command line up to its arguments, for one that runs while the test goes on.
  std::wstring KnupdateCommand() const;
  // From now on knupdate runs from a copy of its folder (the program and the DLLs beside it)
  // in the test's scratch folder, where the test may put files beside it; the folder.
  std::wstring UseProgramCopy();
  std::wstring PackageArgument() const { return L"--package \"" + m_package + L"\""; }
  // The package for the "TW 3xx" (m_images), or one that brings a bootloader too.
  std::wstring MakePackage(bool withBootloader);

  // An instrument of the package's type, in application mode, on the bus from now on, as
  // adjust leaves it: a running program sees it only whole.
  void Plug(const std::wstring& id, sim::Mode mode = sim::Mode::kApplication,
            const std::function<void(sim::Instrument&)>& adjust = nullptr);
  // The instrument restarts slowly: after its update it is still seen in its loader a while.
  static void SlowToLeaveItsLoader(sim::Instrument& instrument) { instrument.loader_linger_ms = 2000; }

  // The instrument holds the package's images, or nothing at all.
  bool Updated(const std::wstring& id);
  bool Untouched(const std::wstring& id);
  std::string Read(const std::wstring& id, sim::Memory memory, std::uint32_t address, std::uint32_t length);

  // The records of this test's history, without its header; their results.
  std::vector<std::string> HistoryLines();
  std::vector<std::string> HistoryResults();

  sim::TemporaryBench m_bench;
  testing_support::ScratchDirectory m_scratch;
  testing_support::PackageImages m_images;
  std::wstring m_package;
  int m_plugged = 0;
  std::wstring m_programCopy;  // the copy knupdate runs from; empty: the build's own
};

}  // namespace knupdate_testing
