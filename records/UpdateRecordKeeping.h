// Where a finished update's record goes, for every program that updates: the user's history,
// and the outbox for the department's database when central-records.txt is there. The dialog
// and knupdate both keep their records here, from their RecordUpdate.
#pragma once

#include "history/HistoryRecord.h"

// Adds the record to the history and, with the department's database set up, to the outbox.
// False when it could not be kept in either (a full or locked disk): the procedure then tells
// the user, after the update's own final message.
bool KeepUpdateRecord(const HistoryRecord& record);

// The status box's line (the dialog) and the console's (knupdate) when a send to the
// department's database fails: once per start, never as a failed update.
constexpr wchar_t kRecordNotSent[] =
    L"The update record could not be sent to the central database; it is kept and sent later.";
