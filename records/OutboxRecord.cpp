#include "records/OutboxRecord.h"

#include <cstdlib>
#include <map>
#include <vector>

#include "records/CsvRows.h"

namespace {

// The history's columns, then what tells one workstation's record from another's.
std::vector<std::string> OutboxColumns() {
  std::vector<std::string> columns = HistoryColumns();
  columns.insert(columns.end(), {"record_id", "workstation", "windows_user"});
  return columns;
}

// Bound for a database, not a spreadsheet: the text as it is.
std::string Text(const std::wstring& text) { return CsvField(ToUtf8(text)); }

bool IsDigits(const std::string& text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return false;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// A check value: decimal, 32 bits.
bool ParseCheck(const std::string& text, std::uint32_t& value) {
  if (text.empty() || text.size() > 10 || !IsDigits(text, 0, text.size())) return false;
  const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
  if (parsed > 0xFFFFFFFFull) return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

// "18.250": seconds with exactly three decimals.
bool ParseSeconds(const std::string& text, std::uint64_t& milliseconds) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot > 12 || text.size() != dot + 4 || !IsDigits(text, 0, dot) ||
      !IsDigits(text, dot + 1, 3)) {
    return false;
  }
  milliseconds = std::strtoull(text.substr(0, dot).c_str(), nullptr, 10) * 1000 +
                 std::strtoull(text.substr(dot + 1).c_str(), nullptr, 10);
  return true;
}

// "2026-12-10T15:04:05Z", as the history writes it.
bool IsTimestamp(const std::string& text) {
  return text.size() == 20 && IsDigits(text, 0, 4) && text[4] == '-' && IsDigits(text, 5, 2) && text[7] == '-' &&
         IsDigits(text, 8, 2) && text[10] == 'T' && IsDigits(text, 11, 2) && text[13] == ':' &&
         IsDigits(text, 14, 2) && text[16] == ':' && IsDigits(text, 17, 2) && text[19] == 'Z';
}

class NamedFields {
 public:
  NamedFields(const std::map<std::string, std::size_t>& columns, const std::vector<std::string>& fields)
      : m_columns(columns), m_fields(fields) {}
  // Empty for a column the outbox does not have.
  std::string operator[](const char* name) const {
    const auto found = m_columns.find(name);
    return found == m_columns.end() ? std::string() : m_fields[found->second];
  }
  bool Has(const char* name) const { return m_columns.count(name) != 0; }

 private:
  const std::map<std::string, std::size_t>& m_columns;
  const std::vector<std::string>& m_fields;
};

bool ReadRecord(const NamedFields& fields, OutboxRecord& record) {
  HistoryRecord& history = record.history;
  record.recordId = FromUtf8(fields["record_id"]);
  if (!IsCanonicalRecordId(record.recordId) || !IsTimestamp(fields["started_utc"])) return false;
  history.startedUtc = FromUtf8(fields["started_utc"]);
  history.entry = FromUtf8(fields["device"]);
  history.package = FromUtf8(fields["package"]);
  history.deviceType = FromUtf8(fields["device_type"]);
  const struct {
    const char* name;
    std::uint32_t* value;
  } checks[] = {{"device_type_check", &history.deviceTypeCheck},
                {"program_check", &history.programCheck},
                {"media_check", &history.mediaCheck},
                {"data_check", &history.dataCheck}};
  for (const auto& check : checks) {
    if (!ParseCheck(fields[check.name], *check.value)) return false;
  }
  history.withBootloader = !fields["bootloader_check"].empty();
  if (history.withBootloader && !ParseCheck(fields["bootloader_check"], history.bootloaderCheck)) return false;
  history.result = FromUtf8(fields["result"]);
  if (!ParseSeconds(fields["duration_s"], history.durationMs)) return false;
  history.signer = FromUtf8(fields["signer"]);
  history.serial = FromUtf8(fields["serial"]);
  record.workstation = FromUtf8(fields["workstation"]);
  record.windowsUser = FromUtf8(fields["windows_user"]);
  return true;
}

OutboxEntry Unreadable(const CsvRow& row) {
  OutboxEntry entry;
  entry.raw = row.raw;
  return entry;
}

}  // namespace

std::string OutboxHeaderLine() { return CsvLine(OutboxColumns()); }

std::string FormatOutboxLine(const OutboxRecord& record) {
  std::vector<std::string> fields = HistoryFields(record.history, &Text);
  fields.insert(fields.end(), {Text(record.recordId), Text(record.workstation), Text(record.windowsUser)});
  return CsvLine(fields);
}

std::vector<OutboxEntry> ParseOutbox(const std::string& text) {
  const std::vector<CsvRow> rows = ReadCsvRows(text);
  std::vector<OutboxEntry> entries;
  std::map<std::string, std::size_t> columns;
  std::size_t first = 0;
  if (!rows.empty() && rows[0].terminated && rows[0].wellFormed) {
    for (std::size_t i = 0; i < rows[0].fields.size(); ++i) columns.emplace(rows[0].fields[i], i);
    // A first row that names no record id is no header: every row is then unreadable.
    if (columns.count("record_id") != 0) first = 1;
    else columns.clear();
  }
  for (std::size_t i = first; i < rows.size(); ++i) {
    const CsvRow& row = rows[i];
    OutboxEntry entry = Unreadable(row);
    if (!columns.empty() && row.terminated && row.wellFormed && row.fields.size() == rows[0].fields.size() &&
        ReadRecord(NamedFields(columns, row.fields), entry.record)) {
      entry.readable = true;
      entry.raw.clear();
    }
    entries.push_back(entry);
  }
  return entries;
}

bool IsCanonicalRecordId(const std::wstring& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}
