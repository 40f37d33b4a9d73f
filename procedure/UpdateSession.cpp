#include "procedure/UpdateSession.h"

#include "dfu/DfuLibrary.h"
#include "text/LineFeed.h"

void UpdateSession::Begin() {
  m_entry.clear();
  m_startedUtc = m_clock->UtcTimestamp();
  m_startedMs = m_clock->Milliseconds();
}

void UpdateSession::ReleasePackageFolder() {
  if (!m_keepPackageFolder) m_packageFolder.Remove();
}

void UpdateSession::CloseDfuDevice(bool restart) {
  if (m_hDfuDevice != 0) DfuDeviceClose(m_hDfuDevice, restart ? 1 : 0);
  m_hDfuDevice = 0;
}

void UpdateSession::ReleaseUpdateMark() {
  if (!m_keepUpdateMark) m_updateMark.Release();
}

HistoryRecord UpdateSession::FinishedRecord(const std::wstring& result) const {
  return FinishedRecord(result, m_clock->Milliseconds());
}

HistoryRecord UpdateSession::FinishedRecord(const std::wstring& result, std::uint64_t endedMs) const {
  HistoryRecord record;
  record.startedUtc = m_startedUtc;
  record.entry = m_entry;
  record.package = m_package.packagePath;
  record.deviceType = m_package.deviceType;
  record.deviceTypeCheck = m_package.deviceTypeCheck;
  record.programCheck = m_package.checks.program;
  record.mediaCheck = m_package.checks.media;
  record.dataCheck = m_package.checks.data;
  record.bootloaderCheck = m_package.checks.bootloader;
  record.withBootloader = m_package.withBootloader;
  record.signer = m_package.signedImages.signer;
  record.serial = m_serial;
  record.result = WithoutFinalLineFeed(result);  // one record, one line
  record.durationMs = endedMs >= m_startedMs ? endedMs - m_startedMs : 0;
  return record;
}
