#include "records/Outbox.h"

#include "history/HistoryRecord.h"
#include "records/OutboxLock.h"

namespace {

OutboxWriteFunction g_write = &WriteFile;

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return g_write(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string OutboxBytes(const std::vector<OutboxEntry>& entries) {
  std::string bytes = std::string(kUtf8ByteOrderMark) + OutboxHeaderLine();
  for (const OutboxEntry& entry : entries) {
    if (entry.readable) {
      bytes += FormatOutboxLine(entry.record);
    } else {
      // Kept as it stood, on a line of its own.
      bytes += entry.raw;
      if (entry.raw.empty() || entry.raw.back() != '\n') bytes += "\r\n";
    }
  }
  return bytes;
}

}  // namespace

void SetOutboxWriteForTesting(OutboxWriteFunction write) { g_write = write != nullptr ? write : &WriteFile; }

bool Outbox::ReadLocked(std::vector<OutboxEntry>& entries) const {
  entries.clear();
  HANDLE file = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;  // nothing kept yet
  }
  std::string text;
  char chunk[65536];
  DWORD read = 0;
  bool ok;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &read, nullptr) != FALSE) && read > 0) text.append(chunk, read);
  CloseHandle(file);
  if (!ok) return false;
  if (text.rfind(kUtf8ByteOrderMark, 0) == 0) text.erase(0, sizeof kUtf8ByteOrderMark - 1);
  entries = ParseOutbox(text);
  return true;
}

bool Outbox::WriteLocked(const std::vector<OutboxEntry>& entries) {
  const std::wstring fresh = m_path + L".new";
  HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // On the disk before it takes the outbox's place: a crash right after the move must not
  // leave an outbox whose bytes never got there.
  const bool written = WriteAll(file, OutboxBytes(entries)) && FlushFileBuffers(file);
  CloseHandle(file);
  if (written && MoveFileExW(fresh.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(fresh.c_str());
  return false;
}

bool Outbox::Append(const OutboxRecord& record) {
  const OutboxLock lock(m_path);
  std::vector<OutboxEntry> entries;
  if (!lock.Held() || !ReadLocked(entries)) return false;
  OutboxEntry entry;
  entry.readable = true;
  entry.record = record;
  entries.push_back(entry);
  return WriteLocked(entries);
}

bool Outbox::Read(std::vector<OutboxEntry>& entries) const {
  const OutboxLock lock(m_path);
  entries.clear();
  return lock.Held() && ReadLocked(entries);
}

bool Outbox::Remove(const std::wstring& recordId) {
  const OutboxLock lock(m_path);
  std::vector<OutboxEntry> entries;
  if (!lock.Held() || !ReadLocked(entries)) return false;
  std::vector<OutboxEntry> kept;
  for (const OutboxEntry& entry : entries) {
    if (!entry.readable || entry.record.recordId != recordId) kept.push_back(entry);
  }
  return kept.size() == entries.size() || WriteLocked(kept);
}
