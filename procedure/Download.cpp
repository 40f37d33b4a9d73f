#include "procedure/Download.h"

#include "package/PackageCheck.h"
#include "procedure/PrepareDevice.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateWorker.h"

namespace {

constexpr DWORD kDownloadStartPauseMs = 500;

// Passes everything on, and keeps the last text the preparation showed and when: the text it
// ended with, for the history (a message box, or else the status box).
class OutcomeWatch : public UpdateHost {
 public:
  OutcomeWatch(UpdateHost& host, UpdateSession& session) : m_host(host), m_session(session) {}

  HistoryRecord Record() const {
    const std::wstring& text = m_message.empty() ? m_status : m_message;
    return m_shownAt != 0 ? FinishedRecord(m_session, text, m_shownAt) : FinishedRecord(m_session, text);
  }

  void ShowMessage(const std::wstring& text) override {
    Note(m_message, text);
    m_host.ShowMessage(text);
  }
  void SetStatusText(const std::wstring& text) override {
    Note(m_status, text);
    m_host.SetStatusText(text);
  }
  void ShowStatus(bool shown) override { m_host.ShowStatus(shown); }
  void ShowProgress(bool shown) override { m_host.ShowProgress(shown); }
  void SetProgressRange(int upper) override { m_host.SetProgressRange(upper); }
  void SetProgressPos(int position) override { m_host.SetProgressPos(position); }
  void Pause(DWORD milliseconds) override { m_host.Pause(milliseconds); }
  bool GetSelection(DeviceSelection& selection) override { return m_host.GetSelection(selection); }
  void RefreshDeviceList() override { m_host.RefreshDeviceList(); }
  void EnableInputs(bool enabled) override { m_host.EnableInputs(enabled); }
  void SetRefreshTimer(bool running) override { m_host.SetRefreshTimer(running); }
  void SetUpdateRunning(bool running) override { m_host.SetUpdateRunning(running); }
  HWND NotificationWindow() override { return m_host.NotificationWindow(); }
  void SetStage(const std::wstring& stage) override { m_host.SetStage(stage); }
  bool StartWorker() override { return m_host.StartWorker(); }
  bool StopRequested() override { return m_host.StopRequested(); }
  bool BeginWriting() override { return m_host.BeginWriting(); }
  void PackageAccepted(const std::wstring& signer) override { m_host.PackageAccepted(signer); }
  void DeviceTypeUnknown(const std::wstring& deviceType) override { m_host.DeviceTypeUnknown(deviceType); }
  bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) override {
    return m_host.RecordUpdate(record, outcome);
  }

 private:
  void Note(std::wstring& kept, const std::wstring& text) {
    kept = text;
    m_shownAt = m_session.m_clock->Milliseconds();
  }

  UpdateHost& m_host;
  UpdateSession& m_session;
  std::wstring m_message, m_status;
  std::uint64_t m_shownAt = 0;
};

}  // namespace

void BeginUpdate(UpdateSession& session) {
  session.m_entry.clear();
  session.m_startedUtc = session.m_clock->UtcTimestamp();
  session.m_startedMs = session.m_clock->Milliseconds();
}

bool CheckUpdatePackage(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                        const std::wstring& tempDirectory, const std::wstring& trustedKeysFile) {
  session.m_package = PreparedPackage();
  host.Pause(kDownloadStartPauseMs);
  // A folder of this update's own, never the shared temporary directory itself.
  RemoveAbandonedUpdateFolders(tempDirectory);
  if (!session.m_packageFolder.Create(tempDirectory)) {
    host.ShowMessage(texts::kWrongUpdateFile);
    return false;
  }
  // Read at every "Download": a key trusted or taken back meanwhile counts at once.
  signing::TrustedKeys trusted;
  trusted.Load(trustedKeysFile);
  if (!PrepareUpdatePackage(host, updateFile, session.m_packageFolder.Path(), trusted, session.m_package)) {
    session.m_packageFolder.Remove();
    return false;
  }
  host.PackageAccepted(session.m_package.signedImages.signer);
  return true;
}

void UpdateSelectedInstrument(UpdateHost& host, UpdateSession& session) {
  OutcomeWatch watch(host, session);
  if (!PrepareDevice(watch, session)) {
    ReleasePackageFolder(session);
    // The reason has been shown: a record that is lost is told after it.
    if (!host.RecordUpdate(watch.Record(), UpdateOutcome::kFailed)) host.ShowMessage(texts::kHistoryNotWritten);
    ReleaseUpdateMark(session);
    return;
  }
  HandOver(host, session);  // the worker records how the update ended
}

void RunDownload(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                 const std::wstring& tempDirectory, const std::wstring& trustedKeysFile) {
  BeginUpdate(session);
  if (CheckUpdatePackage(host, session, updateFile, tempDirectory, trustedKeysFile)) {
    UpdateSelectedInstrument(host, session);
  }
}
