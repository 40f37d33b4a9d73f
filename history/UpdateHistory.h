// The update history file of this user: %LOCALAPPDATA%\QM_TWBootloader\history.csv. Each
// record goes in with one write under a lock on the file, so updaters running at once never
// interleave their records, and the first writer puts the byte-order mark and the header line
// in. A record is written whole or not at all. A history that cannot be written is given up on
// quietly: it never changes an update's outcome.
#pragma once

#include <windows.h>

#include <string>

#include "history/HistoryRecord.h"

// Empty when the user has no local application data folder.
std::wstring HistoryFilePath();
// Where HistoryFilePath points instead, for tests and the bench builds (KN_HISTORY); set
// before any update runs. Empty: the user's own history again.
void SetHistoryFileForTesting(const std::wstring& path);

// False when the record could not be written (the caller goes on all the same). Waits about
// two seconds at most for another updater's write.
bool AppendHistoryRecord(const std::wstring& path, const HistoryRecord& record);

// The whole history as written (UTF-8, CR LF), the byte-order mark of its start left out; false
// when there is none or it cannot be read.
bool ReadHistory(const std::wstring& path, std::string& text);

// How a record's bytes go into the file; tests put a full disk in its place (null: WriteFile).
typedef BOOL(WINAPI* HistoryWriteFunction)(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written,
                                          LPOVERLAPPED overlapped);
void SetHistoryWriteForTesting(HistoryWriteFunction write);

// The current time as the history writes it: ISO 8601, UTC, whole seconds.
std::wstring UtcTimestamp();
