// The driver kit as the driver installation expects it: "qmdriver" beside the running program
// with our stand-in installer under both DPInst names, and what the stand-ins recorded. The
// current directory is meanwhile a scratch folder holding a "qmdriver" of its own, planted
// there with the same stand-ins: the installation must never start those.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

struct InstallerRun {
  std::wstring installer, parameters, directory;
};

class DriverFolder {
 public:
  // withInstallers false leaves the kit beside the program out, as on a machine without it.
  explicit DriverFolder(bool withInstallers = true);
  ~DriverFolder();
  DriverFolder(const DriverFolder&) = delete;
  DriverFolder& operator=(const DriverFolder&) = delete;

  // The driver folder beside the program, without a trailing backslash.
  const std::wstring& Path() const { return m_kit; }
  // Runs of the installers beside the program so far, in order.
  std::vector<InstallerRun> Runs() const;
  // Runs of the installers planted below the current directory (there should be none).
  std::vector<InstallerRun> PlantedRuns() const;

 private:
  testing_support::ScratchDirectory m_current;
  std::wstring m_kit;
  std::wstring m_previousDirectory;
};

// The working directory DriverFolder expects an installer to get.
std::wstring InstallerDirectory(const DriverFolder& folder);
