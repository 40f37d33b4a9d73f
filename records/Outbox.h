// The outbox: records kept for the department's database until it has committed them, in
// outbox.csv beside the history (UTF-8 with a byte-order mark, a header line, one row per
// record, oldest first). Several updaters may append and send at once: every read and change
// holds the outbox's lock (OutboxLock). A change writes the whole outbox to a file beside it,
// flushes that to the disk and then puts it in the outbox's place in one step, so a crash or a
// full disk at any moment leaves either the old outbox or the new one, never a record in part.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "records/OutboxRecord.h"

class Outbox {
 public:
  explicit Outbox(const std::wstring& path) : m_path(path) {}

  const std::wstring& Path() const { return m_path; }

  // Adds a record after the others; false when it could not be kept (the outbox unchanged).
  bool Append(const OutboxRecord& record);
  // Every row, oldest first; no file is an empty outbox. False when it cannot be read.
  bool Read(std::vector<OutboxEntry>& entries) const;
  // Takes out the record of this id (the database has it); rows that are no record stay.
  // True when it is gone (or never was there).
  bool Remove(const std::wstring& recordId);

 private:
  bool ReadLocked(std::vector<OutboxEntry>& entries) const;
  bool WriteLocked(const std::vector<OutboxEntry>& entries);

  std::wstring m_path;
};

// How the outbox's bytes go into its new file; tests put a full disk in its place (null:
// WriteFile).
typedef BOOL(WINAPI* OutboxWriteFunction)(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written,
                                         LPOVERLAPPED overlapped);
void SetOutboxWriteForTesting(OutboxWriteFunction write);
