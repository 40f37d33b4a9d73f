#include "records/OutboxSender.h"

#include <vector>

#include "records/FirmwareUpdatesTable.h"
#include "records/OdbcConnection.h"
#include "records/Outbox.h"

namespace {

constexpr wchar_t kOutboxUnreadable[] = L"The outbox cannot be read.";
constexpr wchar_t kOutboxUnwritable[] = L"A record the database has stored could not be taken out of the outbox.";

// Counts what the outbox holds now (other updaters may have added to it meanwhile).
void CountOutbox(const Outbox& outbox, OutboxSendResult& result) {
  std::vector<OutboxEntry> entries;
  if (!outbox.Read(entries)) {
    if (result.failure.empty()) result.failure = kOutboxUnreadable;
    return;
  }
  result.waiting = result.unreadable = 0;
  for (const OutboxEntry& entry : entries) ++(entry.readable ? result.waiting : result.unreadable);
}

// Sends the records in order until one fails.
void SendRecords(Outbox& outbox, const std::vector<OutboxEntry>& entries, const std::wstring& connectionString,
                 OutboxSendResult& result) {
  OdbcConnection connection;
  if (!connection.Connect(connectionString) || !EnsureFirmwareUpdatesTable(connection)) {
    result.failure = connection.Failure();
    return;
  }
  for (const OutboxEntry& entry : entries) {
    if (!entry.readable) continue;
    if (StoreFirmwareUpdate(connection, entry.record) == StoreResult::kFailed) {
      result.failure = connection.Failure();
      return;
    }
    ++result.sent;
    // The database has it; should it stay in the outbox all the same, the next send finds it
    // stored and takes it out then.
    if (!outbox.Remove(entry.record.recordId)) {
      result.failure = kOutboxUnwritable;
      return;
    }
  }
}

}  // namespace

OutboxSendResult SendOutbox(const std::wstring& outboxPath, const CentralRecordsSetting& setting) {
  OutboxSendResult result;
  if (setting.state == CentralRecordsState::kOff) return result;
  Outbox outbox(outboxPath);
  std::vector<OutboxEntry> entries;
  if (!outbox.Read(entries)) {
    result.failure = kOutboxUnreadable;
  } else if (setting.state == CentralRecordsState::kNoConnection) {
    result.failure = setting.problem;
  } else {
    bool anyRecord = false;
    for (const OutboxEntry& entry : entries) anyRecord = anyRecord || entry.readable;
    // Nothing to send: the database is not even asked.
    if (anyRecord) SendRecords(outbox, entries, setting.connectionString, result);
  }
  CountOutbox(outbox, result);
  return result;
}
