#include "tools/knupdate/ConsoleRun.h"

#include "dfu/DfuLibrary.h"
#include "platform/SystemPaths.h"
#include "procedure/ProcedureTexts.h"
#include "tools/knupdate/InstrumentListing.h"

ConsoleRun::ConsoleRun(ConsoleOutput& out) : m_out(out) {}

bool ConsoleRun::List() {
  if (ListInstruments(m_out, m_devices) == kDfuReady) return true;
  m_out.Error(texts::kInstallDfuDriver);
  return false;
}

bool ConsoleRun::Begin(const CommandArguments& arguments, RunControl::Form form) {
  m_run = std::make_unique<UpdateRun>(m_out, m_devices, form, arguments.Has(options::kYes));
  m_package = FullPath(arguments.Value(options::kPackage));
  return m_run->CheckPackage(m_package);
}
