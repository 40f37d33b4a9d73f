#include "tools/knupdate/UpdateRun.h"

#include <cstdio>

#include "ui/MessagePump.h"
#include "package/PackageCheck.h"
#include "platform/SystemPaths.h"
#include "procedure/DeviceMatch.h"
#include "procedure/DfuProduct.h"
#include "procedure/Download.h"
#include "procedure/ProcedureTexts.h"
#include "signing/TrustedKeys.h"
#include "tools/knupdate/ListedDevices.h"
#include "usbio/SerialNumber.h"

namespace {

// How long an updated instrument may take to leave its DFU loader once it is told to restart,
// and how often the list is looked at meanwhile.
constexpr ULONGLONG kLeaveLoaderMs = 30000;
constexpr DWORD kLeaveLoaderPollMs = 250;
constexpr DWORD kOtherProgramPollMs = 500;
// How long an updated instrument may take to come back in application mode.
constexpr ULONGLONG kBackInApplicationModeMs = 30000;
constexpr DWORD kBackPollMs = 250;

constexpr wchar_t kAnotherProgramUpdates[] =
    L"Another program is updating an instrument on this workstation: waiting until it has ended.";

// The instruments of deviceType waiting in their DFU loader, as the list shows them now.
std::size_t WaitingInLoader(const std::vector<ListedDevice>& entries, const std::wstring& deviceType) {
  std::size_t waiting = 0;
  for (const ListedDevice& listed : entries) {
    if (IsDfu(listed) && MatchDeviceType(listed.product, deviceType) == DeviceMatch::kMatch) ++waiting;
  }
  return waiting;
}

// The entry that names the planned instrument in entries listed since: an application-mode one
// by its device path, one in its loader by its DFU index and product text; null when none.
const ListedDevice* FindAgain(const std::vector<ListedDevice>& entries, const ListedDevice& planned) {
  if (!IsDfu(planned)) return WithPath(entries, planned.devicePath);
  for (const ListedDevice& listed : entries) {
    if (IsDfu(listed) && listed.entry.number == planned.entry.number && listed.product == planned.product) {
      return &listed;
    }
  }
  return nullptr;
}

}  // namespace

UpdateRun::UpdateRun(ConsoleOutput& out, DeviceList& devices, RunControl::Form form, bool confirmed)
    : m_out(out),
      m_devices(devices),
      m_control(out, form),
      m_host(out, devices, m_session, m_control, m_records, confirmed),
      m_route(m_control) {
  // Every update of the run uses the one package unpacked by the check; the mark is let go
  // once the updated instrument has left its loader.
  m_session.KeepPackageFolder(true);
  m_session.KeepUpdateMark(true);
  // What earlier runs left waiting for the department's database.
  m_records.SendWaiting();
}

UpdateRun::~UpdateRun() {
  m_records.FinishSending(m_out);
  m_control.RunEnded();
  m_session.LetGoOfUpdateMark();
  m_session.RemovePackageFolder();
}

bool UpdateRun::CheckPackage(const std::wstring& package) {
  if (!m_control.BeginUpdate()) return false;
  m_host.BeginUpdate();
  m_session.Begin();
  const bool accepted =
      CheckUpdatePackage(m_host, m_session, package, SystemTempDirectory(), signing::TrustedKeysBesideProgram());
  // Ctrl+C during the check.
  const bool stopped = accepted && m_control.StopRequested();
  if (stopped) m_out.Line(texts::kStopped);
  m_control.UpdateEnded();
  m_deviceType = m_session.Package().deviceType;
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
    if (MatchDeviceType(listed.product, m_deviceType) == DeviceMatch::kMatch) candidates.push_back(listed);
  }
  return candidates;
}

RunResult UpdateRun::Update(const ListedDevice& planned) {
  RunResult result;
  result.entry = planned.text;
  if (!m_control.BeginUpdate()) {
    result.begun = false;
    return result;
  }
  m_host.BeginUpdate();
  if (!TakeWorkstationMark()) {
    m_control.UpdateEnded();
    result.begun = false;
    return result;
  }
  // Among every entry, not only the package's: the preparation says why one is not for it.
  m_devices.Refresh();
  const std::vector<ListedDevice> now = m_devices.Entries();
  const ListedDevice* listed = FindAgain(now, planned);
  if (listed == nullptr) {
    m_session.LetGoOfUpdateMark();
    m_control.UpdateEnded();
    result.result = kNotListedAnyMore;
    result.gone = true;
    return result;
  }
  const std::size_t inLoaderBefore = WaitingInLoader(now, m_deviceType);
  m_devices.Select(listed->position);
  m_session.Begin();
  UpdateSelectedInstrument(m_host, m_session);
  m_control.UpdateEnded();
  // The final message has been printed: the record goes to the department's database meanwhile.
  m_records.SendWaiting();
  const HistoryRecord& record = m_records.Last();
  result = {listed->text, record.result, record.durationMs, m_records.LastSucceeded()};
  result.serial = record.serial;
  const bool switched = !IsDfu(*listed);
  const std::wstring path = listed->devicePath;
  if (result.succeeded) {
    // One switched from application mode went through the loader, where none of the type
    // waited (or it would not have been switched); one updated there leaves one fewer.
    WaitUntilLeftLoader(switched || inLoaderBefore == 0 ? 0 : inLoaderBefore - 1);
  }
  m_session.LetGoOfUpdateMark();
  if (result.succeeded && switched) WaitUntilBack(path, result);
  m_records.TellSendFailure(m_out);
  return result;
}

void UpdateRun::WaitUntilBack(const std::wstring& path, RunResult& result) {
  const ULONGLONG end = GetTickCount64() + kBackInApplicationModeMs;
  for (;;) {
    m_devices.Refresh();
    if (WithPath(m_devices.Entries(), path) != nullptr) break;
    if (StopRequested() || GetTickCount64() >= end) return;
    WaitAnsweringMessages(kBackPollMs);
  }
  result.cameBack = true;
  const std::wstring back = ReadSerialNumber(path.c_str());
  // Another unit in the port, or one whose serial number the update changed: a record that
  // names the wrong unit is what an audit must hear of.
  if (!back.empty() && back != result.serial) result.result += L" The instrument came back with another serial number (" + back + L").";
}

bool UpdateRun::TakeWorkstationMark() {
  bool said = false;
  while (!m_control.StopRequested() && !m_control.RunStopRequested()) {
    if (m_session.TakeUpdateMark()) return true;
    if (!said) m_out.Line(kAnotherProgramUpdates);
    said = true;
    WaitAnsweringMessages(kOtherProgramPollMs);
  }
  return false;
}

void UpdateRun::WaitUntilLeftLoader(std::size_t settled) {
  const ULONGLONG end = GetTickCount64() + kLeaveLoaderMs;
  for (;;) {
    m_devices.Refresh();
    if (StopRequested() || WaitingInLoader(m_devices.Entries(), m_deviceType) <= settled || GetTickCount64() >= end) {
      return;
    }
    WaitAnsweringMessages(kLeaveLoaderPollMs);
  }
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

void UpdateRun::Idle(DWORD milliseconds) {
  m_records.TellSendFailure(m_out);
  WaitAnsweringMessages(milliseconds);
}

std::wstring FormatSeconds(std::uint64_t milliseconds) {
  wchar_t text[32] = {};
  std::swprintf(text, 32, L"%llu.%03llu s", static_cast<unsigned long long>(milliseconds / 1000),
                static_cast<unsigned long long>(milliseconds % 1000));
  return text;
}
