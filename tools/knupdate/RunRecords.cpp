#include "tools/knupdate/RunRecords.h"

#include "records/UpdateRecordKeeping.h"

namespace {

// Longer than a send's login and request time-outs together.
constexpr DWORD kLastSendWaitMs = 60000;

}  // namespace

bool RunRecords::Add(const HistoryRecord& record, UpdateOutcome outcome) {
  const bool recorded = KeepUpdateRecord(record);
  m_lastOutcome = outcome;
  m_last = record;
  if (!recorded) m_historyLost = true;
  return recorded;
}

void RunRecords::BeginUpdate() {
  m_lastOutcome = UpdateOutcome::kFailed;
  m_last = HistoryRecord();
}

void RunRecords::TellSendFailure(ConsoleOutput& out) {
  for (const OutboxSendResult& result : m_sender.TakeResults()) {
    if (result.failure.empty() || m_sendFailureTold) continue;
    m_sendFailureTold = true;
    out.Line(kRecordNotSent);
  }
}

void RunRecords::FinishSending(ConsoleOutput& out) {
  m_sender.WaitUntilIdle(kLastSendWaitMs);
  TellSendFailure(out);
}
