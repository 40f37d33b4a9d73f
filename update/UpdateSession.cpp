#include "update/UpdateSession.h"

HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result) {
  HistoryRecord record = session.m_history;
  record.result = result;
  record.durationMs = GetTickCount64() - session.m_startedTick;
  return record;
}
