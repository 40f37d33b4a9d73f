#include "update/UpdateSession.h"

#include "update/LineFeed.h"

HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result) {
  HistoryRecord record = session.m_history;
  record.result = WithoutFinalLineFeed(result);  // one record, one line
  record.durationMs = GetTickCount64() - session.m_startedTick;
  return record;
}
