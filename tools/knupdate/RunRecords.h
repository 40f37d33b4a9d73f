// The records of a console's updates: each is kept as it ends (the history, and the outbox
// for the department's database); the run reads the last one, and whether any could not be
// kept. What waits for the database is sent in the background, at the run's start and after
// each update, so neither an update nor a station's next instrument waits for it.
#pragma once

#include "history/HistoryRecord.h"
#include "procedure/UpdateHost.h"
#include "records/BackgroundRecordsSender.h"
#include "tools/knupdate/ConsoleOutput.h"

class RunRecords {
 public:
  // Called where the update ends: the worker's thread, or the main thread when it ends before
  // the hand-over. False when the record could not be kept.
  bool Add(const HistoryRecord& record, UpdateOutcome outcome);
  // Main thread, before an update begins: nothing of it recorded yet.
  void BeginUpdate();

  // Read by the main thread once the update has ended.
  bool LastSucceeded() const { return m_lastOutcome == UpdateOutcome::kSucceeded; }
  const HistoryRecord& Last() const { return m_last; }
  bool HistoryLost() const { return m_historyLost; }  // of any update so far

  // Main thread. Starts a send of what waits, in the background.
  void SendWaiting() { m_sender.Send(); }
  // Says once per run, as a line, that a send has failed (never a failed update).
  void TellSendFailure(ConsoleOutput& out);
  // At the run's end: waits for the send under way (the database's time-outs bound it), so the
  // last update's record goes too, and tells a failure.
  void FinishSending(ConsoleOutput& out);

 private:
  UpdateOutcome m_lastOutcome = UpdateOutcome::kFailed;
  HistoryRecord m_last;
  bool m_historyLost = false;
  BackgroundRecordsSender m_sender;
  bool m_sendFailureTold = false;
};
