#include "procedure/Download.h"

#include "package/PackageCheck.h"
#include "procedure/PrepareDevice.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateWorker.h"

namespace {

constexpr DWORD kDownloadStartPauseMs = 500;

}  // namespace

bool CheckUpdatePackage(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                        const std::wstring& tempDirectory, const std::wstring& trustedKeysFile) {
  session.SetPackage(PreparedPackage());
  host.Pause(kDownloadStartPauseMs);
  // A folder of this update's own, never the shared temporary directory itself.
  RemoveAbandonedUpdateFolders(tempDirectory);
  if (!session.CreatePackageFolder(tempDirectory)) {
    host.ShowMessage(texts::kWrongUpdateFile);
    return false;
  }
  // Read at every "Download": a key trusted or taken back meanwhile counts at once.
  signing::TrustedKeys trusted;
  trusted.Load(trustedKeysFile);
  PreparedPackage package;
  if (!PrepareUpdatePackage(host, updateFile, session.PackageFolder(), trusted, package)) {
    session.RemovePackageFolder();
    return false;
  }
  session.SetPackage(std::move(package));
  host.PackageAccepted(session.Package().signedImages.signer);
  return true;
}

void UpdateSelectedInstrument(UpdateHost& host, UpdateSession& session) {
  const Preparation preparation = PrepareDevice(host, session);
  if (!preparation.ready) {
    session.ReleasePackageFolder();
    const HistoryRecord record = preparation.endedAtMs != 0
                                     ? session.FinishedRecord(preparation.endedWith, preparation.endedAtMs)
                                     : session.FinishedRecord(preparation.endedWith);
    // The reason has been shown: a record that is lost is told after it.
    if (!host.RecordUpdate(record, UpdateOutcome::kFailed)) host.ShowMessage(texts::kHistoryNotWritten);
    session.ReleaseUpdateMark();
    return;
  }
  HandOver(host, session);  // the worker records how the update ended
}

void RunDownload(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                 const std::wstring& tempDirectory, const std::wstring& trustedKeysFile) {
  session.Begin();
  if (CheckUpdatePackage(host, session, updateFile, tempDirectory, trustedKeysFile)) {
    UpdateSelectedInstrument(host, session);
  }
}
