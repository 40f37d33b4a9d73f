#include "update/Download.h"

#include "update/PrepareDevice.h"
#include "update/UpdatePackage.h"
#include "update/UpdateWorker.h"

namespace {

constexpr DWORD kDownloadStartPauseMs = 500;

void StorePackage(UpdateSession& session, const PreparedPackage& package) {
  session.m_strProgramFile = package.programFile;
  session.m_strMediaFile = package.mediaFile;
  session.m_strDataFile = package.dataFile;
  session.m_strBootloaderFile = package.bootloaderFile;
  session.m_bWithBootloader = package.withBootloader ? TRUE : FALSE;
  session.m_imageChecks = package.checks;
}

}  // namespace

void RunDownload(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                 const std::wstring& tempDirectory) {
  host.Pause(kDownloadStartPauseMs);
  PreparedPackage package;
  if (!PrepareUpdatePackage(host, updateFile, tempDirectory, package)) return;
  StorePackage(session, package);
  if (!PrepareDevice(host, session, package.deviceType)) return;
  HandOver(host, session);
}
