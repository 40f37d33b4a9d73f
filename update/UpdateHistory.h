// The update history file of this user: %LOCALAPPDATA%\QM_TWBootloader\history.csv. Each
// record goes in with one write under a lock on the file, so updaters running at once never
// interleave their records, and the first writer puts the header line in. A history that
// cannot be written is given up on quietly: it never changes an update's outcome.
#pragma once

#include <string>

#include "update/HistoryRecord.h"

// Empty when the user has no local application data folder.
std::wstring HistoryFilePath();

// False when the record could not be written (the caller goes on all the same). Waits about
// two seconds at most for another updater's write.
bool AppendHistoryRecord(const std::wstring& path, const HistoryRecord& record);

// The whole history as written (UTF-8, CR LF); false when there is none or it cannot be read.
bool ReadHistory(const std::wstring& path, std::string& text);

// The current time as the history writes it: ISO 8601, UTC, whole seconds.
std::wstring UtcTimestamp();
