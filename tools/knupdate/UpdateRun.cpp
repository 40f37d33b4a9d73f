#include "tools/knupdate/UpdateRun.h"

#include <cstdio>

#include "host/MessagePump.h"
#include "package/PackageCheck.h"
#include "procedure/DeviceMatch.h"
#include "procedure/DfuProduct.h"
#include "procedure/Download.h"
#include "procedure/ProcedureTexts.h"
#include "signing/TrustedKeys.h"
#include "tools/knupdate/ListedDevices.h"

namespace {

// How long an updated instrument may take to leave its DFU loader once it is told to restart,
// and how often the list is looked at meanwhile.
constexpr ULONGLONG kLeaveLoaderMs = 30000;
constexpr DWORD kLeaveLoaderPollMs = 250;
constexpr DWORD kOtherProgramPollMs = 500;

constexpr wchar_t kAnotherProgramUpdates[] =
    L"Another program is updating an instrument on this workstation: waiting until it has ended.";

}  // namespace

UpdateRun::UpdateRun(ConsoleOutput& out, DeviceList& devices, bool confirmed)
    : m_out(out), m_devices(devices), m_host(new ConsoleUpdateHost(out, devices, confirmed)) {
  m_host->BeginRun();
  // Every update of the run uses the one package unpacked by the check; the mark is let go
  // once the updated instrument has left its loader.
  m_host->Session().m_keepPackageFolder = true;
  m_host->Session().m_keepUpdateMark = true;
}

UpdateRun::~UpdateRun() {
  m_host->Session().m_updateMark.Release();
  m_host->Session().m_keepPackageFolder = false;
  m_host->Session().m_packageFolder.Remove();
}

bool UpdateRun::CheckPackage(const std::wstring& package) {
  UpdateSession& session = m_host->Session();
  if (!m_host->BeginUpdate()) return false;
  BeginUpdate(session);
  const bool accepted =
      CheckUpdatePackage(*m_host, session, package, SystemTempDirectory(), signing::TrustedKeysBesideProgram());
  // A bootloader warning answered with no, or Ctrl+C during the check.
  const bool stopped = accepted && m_host->StopRequested();
  if (stopped) m_out.Line(texts::kStopped);
  m_host->EndUpdate();
  m_deviceType = session.m_package.deviceType;
  return accepted && !stopped;
}

std::vector<ListedDevice> UpdateRun::Candidates() {
  m_devices.Refresh();
  return ForThePackage();
}

bool UpdateRun::OneMayBeOfTheTypeInLoader() const {
  for (const ListedDevice& listed : m_devices.Entries()) {
    if (IsDfu(listed) && MayBeOfTheType(listed.product, m_deviceType)) return true;
  }
  return false;
}

std::vector<ListedDevice> UpdateRun::ForThePackage() const {
  std::vector<ListedDevice> candidates;
  for (const ListedDevice& listed : m_devices.Entries()) {
    if (MatchDeviceType(listed.product, m_deviceType) == DeviceMatch::kMatch) {
      candidates.push_back(listed);
    }
  }
  return candidates;
}

RunResult UpdateRun::Update(const ListedDevice& planned) {
  if (!m_host->BeginUpdate()) return {planned.text, std::wstring(), 0, false, false};
  UpdateSession& session = m_host->Session();
  if (!WaitForWorkstationMark(m_out, *m_host, session.m_updateMark)) {
    m_host->EndUpdate();
    return {planned.text, std::wstring(), 0, false, false};
  }
  const std::vector<ListedDevice> now = Candidates();
  const ListedDevice* listed = FindAgain(now, planned);
  if (listed == nullptr) {
    session.m_updateMark.Release();
    m_host->EndUpdate();
    return {planned.text, kNotListedAnyMore, 0, false, true, true};
  }
  const std::size_t inLoaderBefore = WaitingInLoader(m_devices, m_deviceType);
  m_devices.Select(listed->position);
  BeginUpdate(session);
  UpdateSelectedInstrument(*m_host, session);
  m_host->EndUpdate();
  const HistoryRecord& record = m_host->LastRecord();
  const RunResult result = {listed->text, record.result, record.durationMs, m_host->Succeeded()};
  if (result.succeeded) {
    // One switched from application mode went through the loader, where none of the type
    // waited (or it would not have been switched); one updated there leaves one fewer.
    const std::size_t settled = listed->entry.kind == DeviceKind::kDfu && inLoaderBefore > 0 ? inLoaderBefore - 1 : 0;
    WaitUntilLeftLoader(m_devices, m_deviceType, settled, [this] { return StopRequested(); });
  }
  // Until now another program would have taken the instrument still in its loader for one of
  // its type waiting there.
  session.m_updateMark.Release();
  return result;
}

bool UpdateRun::WaitWhileAnotherProgramUpdates(bool* waited) {
  bool said = false;
  while (!StopRequested() && WorkstationUpdateMark::HeldElsewhere()) {
    if (!said) m_out.Line(kAnotherProgramUpdates);
    said = true;
    Idle(kOtherProgramPollMs);
  }
  if (waited != nullptr) *waited = said;
  return !StopRequested();
}

std::size_t WaitingInLoader(const DeviceList& devices, const std::wstring& deviceType) {
  std::size_t waiting = 0;
  for (const ListedDevice& listed : devices.Entries()) {
    if (IsDfu(listed) && MatchDeviceType(listed.product, deviceType) == DeviceMatch::kMatch) ++waiting;
  }
  return waiting;
}

void WaitUntilLeftLoader(DeviceList& devices, const std::wstring& deviceType, std::size_t settled,
                         const std::function<bool()>& stopped) {
  const ULONGLONG end = GetTickCount64() + kLeaveLoaderMs;
  for (;;) {
    devices.Refresh();
    if (stopped() || WaitingInLoader(devices, deviceType) <= settled || GetTickCount64() >= end) return;
    WaitAnsweringMessages(kLeaveLoaderPollMs);
  }
}

const ListedDevice* FindAgain(const std::vector<ListedDevice>& entries, const ListedDevice& planned) {
  if (!IsDfu(planned)) return WithPath(entries, planned.devicePath);
  for (const ListedDevice& listed : entries) {
    if (IsDfu(listed) && listed.entry.number == planned.entry.number && listed.product == planned.product) {
      return &listed;
    }
  }
  return nullptr;
}

bool WaitForWorkstationMark(ConsoleOutput& out, ConsoleUpdateHost& host, WorkstationUpdateMark& mark, bool* waited) {
  bool said = false;
  bool taken = false;
  while (!host.StopRequested() && !host.RunStopRequested() && !(taken = mark.TryTake())) {
    if (!said) out.Line(kAnotherProgramUpdates);
    said = true;
    WaitAnsweringMessages(kOtherProgramPollMs);
  }
  if (waited != nullptr) *waited = said;
  return taken;
}

void UpdateRun::Idle(DWORD milliseconds) { WaitAnsweringMessages(milliseconds); }

std::wstring FormatSeconds(std::uint64_t milliseconds) {
  wchar_t text[32] = {};
  std::swprintf(text, 32, L"%llu.%03llu s", static_cast<unsigned long long>(milliseconds / 1000),
                static_cast<unsigned long long>(milliseconds % 1000));
  return text;
}
