// One record waiting for the department's database: the history's record of a finished update
// and what tells it apart across workstations. Its line in outbox.csv has the history's
// columns under the history's names, then record_id, workstation and windows_user, as RFC 4180
// in UTF-8. Unlike the history, text is written exactly as it is (no apostrophe in front of
// what looks like a formula): the outbox is read back by the sender, not by a spreadsheet.
// Plain logic.
#pragma once

#include <string>
#include <vector>

#include "history/HistoryRecord.h"

struct OutboxRecord {
  HistoryRecord history;
  std::wstring recordId;     // a GUID in lowercase canonical text: the table's key
  std::wstring workstation;  // the computer's name
  std::wstring windowsUser;  // the user the updater ran as
};

std::string OutboxHeaderLine();
std::string FormatOutboxLine(const OutboxRecord& record);

// One row of an outbox as read: a record, or a row that is none (damaged, cut off, of no
// known form), which is never sent and is kept as it stood.
struct OutboxEntry {
  bool readable = false;
  OutboxRecord record;
  std::string raw;  // the row's bytes, for one that is no record
};

// The rows of an outbox's text (its byte-order mark left out), oldest first. The header row
// names the columns, so an outbox an older updater wrote (without serial, say) is read by name:
// a column it lacks is empty. A row is a record only when it has the header's number of fields,
// a record id in canonical form, a start time as the history writes it and numbers where the
// table takes numbers: a record the database would refuse must not hold up those behind it.
std::vector<OutboxEntry> ParseOutbox(const std::string& text);

// Whether text is a GUID in lowercase canonical form (8-4-4-4-12 hex digits).
bool IsCanonicalRecordId(const std::wstring& text);
