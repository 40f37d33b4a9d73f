// The department's database as an updater uses it, on the workstation's own places:
// central-records.txt beside the program names it, outbox.csv beside the user's history holds
// what waits for it. Without central-records.txt nothing of this happens: the history stays
// the only record.
//
//   after every finished update:  KeepFinishedRecord(record), then SendWaitingRecords() off the
//                                 window's thread, after the update's final message
//   at start-up, on demand:       SendWaitingRecords()
//   to tell what waits:           WaitingRecords()
#pragma once

#include <string>

#include "history/HistoryRecord.h"
#include "records/CentralRecordsFile.h"
#include "records/OutboxSender.h"

enum class KeepResult {
  kOff,      // no central-records.txt: nothing to keep
  kKept,     // in the outbox, with an id of its own, this workstation and this user
  kNotKept,  // the outbox could not be written (a full or locked disk)
};

// Puts a finished update's record into the outbox when central-records.txt exists (even one
// that names no usable connection: the record waits until it is mended).
KeepResult KeepFinishedRecord(const HistoryRecord& record);
KeepResult KeepFinishedRecord(const HistoryRecord& record, const std::wstring& settingPath,
                              const std::wstring& outboxPath);

// Whether central-records.txt is there: without it nothing is kept for, or sent to, a database.
bool CentralRecordsSetUp();

// Sends what waits (see OutboxSender.h), and notes why it failed beside the outbox
// (LastSendFailure.h).
OutboxSendResult SendWaitingRecords();
OutboxSendResult SendWaitingRecords(const std::wstring& settingPath, const std::wstring& outboxPath);

// What waits, without sending: the counts of a send that sent nothing, and no failure.
OutboxSendResult WaitingRecords(const std::wstring& outboxPath);

// The workstation's places: beside the program, and beside HistoryFilePath() (which tests and
// the bench builds point elsewhere).
std::wstring CentralRecordsSettingPath();
std::wstring OutboxPath();
// Where CentralRecordsSettingPath points instead, for tests that run the dialog in their own
// process (empty: beside the program again). The programs never call it.
void SetCentralRecordsFileForTesting(const std::wstring& path);
