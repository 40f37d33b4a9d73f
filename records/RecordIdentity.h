// What tells a record apart across a department's workstations: an id of its own, and the
// workstation and user it was made on.
#pragma once

#include <string>

#include "records/OutboxRecord.h"

// A new GUID in lowercase canonical text ("3f2504e0-4f89-11d3-9a0c-0305e82c3301"); empty when
// the system gives none.
std::wstring NewRecordId();
// The computer's NetBIOS name, and the user's logon name; empty when they cannot be told.
std::wstring WorkstationName();
std::wstring WindowsUserName();

// The outbox record of a finished update's history record, with a new id, this workstation
// and this user.
OutboxRecord MakeOutboxRecord(const HistoryRecord& history);
