#include "records/RecordIdentity.h"

#include <windows.h>
#include <objbase.h>
#include <lmcons.h>

#include <cwchar>

std::wstring NewRecordId() {
  GUID guid = {};
  if (FAILED(CoCreateGuid(&guid))) return std::wstring();
  wchar_t text[40];
  std::swprintf(text, 40, L"%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned long>(guid.Data1),
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::wstring WorkstationName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::wstring WindowsUserName() {
  wchar_t name[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;  // in: the capacity; out: the characters with the terminator
  return GetUserNameW(name, &size) && size > 0 ? std::wstring(name, size - 1) : std::wstring();
}

OutboxRecord MakeOutboxRecord(const HistoryRecord& history) {
  OutboxRecord record;
  record.history = history;
  record.recordId = NewRecordId();
  record.workstation = WorkstationName();
  record.windowsUser = WindowsUserName();
  return record;
}
