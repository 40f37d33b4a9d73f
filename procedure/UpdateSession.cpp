#include "procedure/UpdateSession.h"

#include "text/LineFeed.h"

void ReleasePackageFolder(UpdateSession& session) {
  if (!session.m_keepPackageFolder) session.m_packageFolder.Remove();
}

void ReleaseUpdateMark(UpdateSession& session) {
  if (!session.m_keepUpdateMark) session.m_updateMark.Release();
}

HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result) {
  return FinishedRecord(session, result, session.m_clock->Milliseconds());
}

HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result, std::uint64_t endedMs) {
  const PreparedPackage& package = session.m_package;
  HistoryRecord record;
  record.startedUtc = session.m_startedUtc;
  record.entry = session.m_entry;
  record.package = package.packagePath;
  record.deviceType = package.deviceType;
  record.deviceTypeCheck = package.deviceTypeCheck;
  record.programCheck = package.checks.program;
  record.mediaCheck = package.checks.media;
  record.dataCheck = package.checks.data;
  record.bootloaderCheck = package.checks.bootloader;
  record.withBootloader = package.withBootloader;
  record.signer = package.signedImages.signer;
  record.serial = session.m_serial;
  record.result = WithoutFinalLineFeed(result);  // one record, one line
  record.durationMs = endedMs >= session.m_startedMs ? endedMs - session.m_startedMs : 0;
  return record;
}
