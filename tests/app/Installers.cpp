#include "tests/app/Installers.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/FileTree.h"
#include "platform/ProgramStart.h"

namespace {

void PlaceStandIns(const std::wstring& folder) {
  // The stand-in is built by sim/dpinst; CTest passes its path.
  const std::wstring standIn = testing_support::CommandLineOption(L"dpinst");
  EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_TRUE(CopyFileW(standIn.c_str(), (folder + L"\\DPInst_x64.exe").c_str(), FALSE))
      << "stand-in: " << std::string(standIn.begin(), standIn.end());
  EXPECT_TRUE(CopyFileW(standIn.c_str(), (folder + L"\\DPInst_x86.exe").c_str(), FALSE));
}

std::vector<InstallerRun> ReadRuns(const std::wstring& folder) {
  const std::string log = testing_support::ReadFileBytes(folder + L"\\dpinst.log");
  std::vector<InstallerRun> runs;
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = log.substr(start, end - start);
    const int size = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &wide[0], size);
    const std::size_t tab1 = wide.find(L'\t');
    const std::size_t tab2 = wide.find(L'\t', tab1 + 1);
    runs.push_back(InstallerRun{wide.substr(0, tab1), wide.substr(tab1 + 1, tab2 - tab1 - 1), wide.substr(tab2 + 1)});
  }
  return runs;
}

}  // namespace

DriverFolder::DriverFolder(bool withInstallers) : m_kit(ProgramFolder() + L"qmdriver") {
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  m_previousDirectory = previous;
  RemoveTree(m_kit + L"\\");  // a kit an earlier test left
  if (withInstallers) PlaceStandIns(m_kit);
  PlaceStandIns(m_current / L"qmdriver");
  SetCurrentDirectoryW(m_current.Path().c_str());
}

DriverFolder::~DriverFolder() {
  SetCurrentDirectoryW(m_previousDirectory.c_str());
  RemoveTree(m_kit + L"\\");
}

std::vector<InstallerRun> DriverFolder::Runs() const { return ReadRuns(m_kit); }

std::vector<InstallerRun> DriverFolder::PlantedRuns() const { return ReadRuns(m_current / L"qmdriver"); }

std::wstring InstallerDirectory(const DriverFolder& folder) { return folder.Path(); }
