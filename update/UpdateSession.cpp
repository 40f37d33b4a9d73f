#include "update/UpdateSession.h"

HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result) {
  HistoryRecord record = session.m_history;
  // The line feed some texts end in shapes the message box, not the text: one record, one line.
  record.result = !result.empty() && result.back() == L'\n' ? result.substr(0, result.size() - 1) : result;
  record.durationMs = GetTickCount64() - session.m_startedTick;
  return record;
}
