#include "records/CentralRecords.h"

#include <vector>

#include "history/UpdateHistory.h"
#include "records/LastSendFailure.h"
#include "records/Outbox.h"
#include "records/RecordIdentity.h"

namespace {

std::wstring& SettingPathForTesting() {
  static std::wstring path;
  return path;
}

}  // namespace

void SetCentralRecordsFileForTesting(const std::wstring& path) { SettingPathForTesting() = path; }

std::wstring CentralRecordsSettingPath() {
  return SettingPathForTesting().empty() ? CentralRecordsFileBesideProgram() : SettingPathForTesting();
}

std::wstring OutboxPath() { return OutboxBesideHistory(HistoryFilePath()); }

KeepResult KeepFinishedRecord(const HistoryRecord& record, const std::wstring& settingPath,
                              const std::wstring& outboxPath) {
  if (ReadCentralRecordsFile(settingPath).state == CentralRecordsState::kOff) return KeepResult::kOff;
  const OutboxRecord kept = MakeOutboxRecord(record);
  if (kept.recordId.empty() || outboxPath.empty()) return KeepResult::kNotKept;
  return Outbox(outboxPath).Append(kept) ? KeepResult::kKept : KeepResult::kNotKept;
}

KeepResult KeepFinishedRecord(const HistoryRecord& record) {
  return KeepFinishedRecord(record, CentralRecordsSettingPath(), OutboxPath());
}

OutboxSendResult SendWaitingRecords(const std::wstring& settingPath, const std::wstring& outboxPath) {
  const CentralRecordsSetting setting = ReadCentralRecordsFile(settingPath);
  const OutboxSendResult result = SendOutbox(outboxPath, setting);
  if (setting.state != CentralRecordsState::kOff) NoteSendFailure(outboxPath, result.failure);
  return result;
}

bool CentralRecordsSetUp() {
  return ReadCentralRecordsFile(CentralRecordsSettingPath()).state != CentralRecordsState::kOff;
}

OutboxSendResult SendWaitingRecords() { return SendWaitingRecords(CentralRecordsSettingPath(), OutboxPath()); }

OutboxSendResult WaitingRecords(const std::wstring& outboxPath) {
  OutboxSendResult result;
  std::vector<OutboxEntry> entries;
  if (!Outbox(outboxPath).Read(entries)) {
    result.failure = L"The outbox cannot be read.";
    return result;
  }
  for (const OutboxEntry& entry : entries) ++(entry.readable ? result.waiting : result.unreadable);
  return result;
}
