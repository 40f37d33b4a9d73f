// The records of a console's updates: each is added to the history as it ends; the run reads
// the last one, and whether any could not be kept.
#pragma once

#include "history/HistoryRecord.h"
#include "procedure/UpdateHost.h"

class RunRecords {
 public:
  // Called where the update ends: the worker's thread, or the main thread when it ends before
  // the hand-over. False when the record could not be added to the history.
  bool Add(const HistoryRecord& record, UpdateOutcome outcome);
  // Main thread, before an update begins: nothing of it recorded yet.
  void BeginUpdate();

  // Read by the main thread once the update has ended.
  bool LastSucceeded() const { return m_lastOutcome == UpdateOutcome::kSucceeded; }
  const HistoryRecord& Last() const { return m_last; }
  bool HistoryLost() const { return m_historyLost; }  // of any update so far

 private:
  UpdateOutcome m_lastOutcome = UpdateOutcome::kFailed;
  HistoryRecord m_last;
  bool m_historyLost = false;
};
