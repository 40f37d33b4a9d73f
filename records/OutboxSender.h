// Sends the outbox to the department's database: oldest record first, each in a transaction of
// its own, and a record leaves the outbox only once the database has committed it (or is found
// to hold it already). The first failure ends the send and keeps that record and all behind
// it. Blocks for as long as the database takes (a login gives up after a few seconds): a
// dialog runs it on a thread of its own. Several senders, in one process or several, may send
// the same outbox at once: none stores a record twice.
#pragma once

#include <string>

#include "records/CentralRecordsText.h"

struct OutboxSendResult {
  int sent = 0;        // records the database has now (stored by this send or found stored)
  int waiting = 0;     // records left in the outbox when the send ended
  int unreadable = 0;  // rows of the outbox that are no record: never sent, kept as they are
  // Why the send stopped before the outbox was empty (the ODBC driver's diagnostics, or what
  // is wrong with central-records.txt or the outbox); empty when nothing failed.
  std::wstring failure;
};

// With the feature off (kOff) nothing is sent and nothing counted.
OutboxSendResult SendOutbox(const std::wstring& outboxPath, const CentralRecordsSetting& setting);
