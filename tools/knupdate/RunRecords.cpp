#include "tools/knupdate/RunRecords.h"

#include "history/UpdateHistory.h"

bool RunRecords::Add(const HistoryRecord& record, UpdateOutcome outcome) {
  const bool recorded = AppendHistoryRecord(HistoryFilePath(), record);
  m_lastOutcome = outcome;
  m_last = record;
  if (!recorded) m_historyLost = true;
  return recorded;
}

void RunRecords::BeginUpdate() {
  m_lastOutcome = UpdateOutcome::kFailed;
  m_last = HistoryRecord();
}
