// A working directory laid out as the driver installation expects it: ".\qmdriver" with our
// stand-in installer under both DPInst names, and what the stand-ins recorded.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

struct InstallerRun {
  std::wstring installer, parameters, directory;
};

class DriverFolder {
 public:
  // withInstallers false leaves ".\qmdriver" out, as on a machine without the driver kit.
  explicit DriverFolder(bool withInstallers = true);
  ~DriverFolder();
  DriverFolder(const DriverFolder&) = delete;
  DriverFolder& operator=(const DriverFolder&) = delete;

  // The folder that becomes the current directory while this object lives, with a backslash.
  const std::wstring& Path() const { return m_scratch.Path(); }
  // Installer runs so far, in order.
  std::vector<InstallerRun> Runs() const;

 private:
  testing_support::ScratchDirectory m_scratch;
  std::wstring m_previousDirectory;
};

// The working directory DriverFolder expects an installer to get.
std::wstring InstallerDirectory(const DriverFolder& folder);
