#include "records/UpdateRecordKeeping.h"

#include "history/UpdateHistory.h"
#include "records/CentralRecords.h"

bool KeepUpdateRecord(const HistoryRecord& record) {
  const bool inHistory = AppendHistoryRecord(HistoryFilePath(), record);
  // Into the outbox even when the history failed: the department's copy must not depend on it.
  const bool inOutbox = KeepFinishedRecord(record) != KeepResult::kNotKept;
  return inHistory && inOutbox;
}
