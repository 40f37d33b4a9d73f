// How every updating command starts (update --device, --all, a station): the instruments
// listed with the DFU library required, then a run over them with the package checked.
#pragma once

#include <memory>
#include <string>

#include "ui/DeviceList.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/RunControl.h"
#include "tools/knupdate/UpdateRun.h"

class ConsoleRun {
 public:
  explicit ConsoleRun(ConsoleOutput& out);
  ConsoleRun(const ConsoleRun&) = delete;
  ConsoleRun& operator=(const ConsoleRun&) = delete;

  // Lists the instruments. False (the reason printed) without the DFU library: an instrument
  // waiting in its loader would not be seen, and one switched would be stranded there.
  bool List();
  const DeviceList& Devices() const { return m_devices; }

  // The run over the list, and its package check; false when the package was refused (the
  // reason printed).
  bool Begin(const CommandArguments& arguments, RunControl::Form form);
  UpdateRun& Run() { return *m_run; }
  // The package as given, made full.
  const std::wstring& Package() const { return m_package; }

 private:
  ConsoleOutput& m_out;
  DeviceList m_devices;
  std::unique_ptr<UpdateRun> m_run;  // goes before the list it uses
  std::wstring m_package;
};
