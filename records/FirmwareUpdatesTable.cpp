#include "records/FirmwareUpdatesTable.h"

#include "records/OdbcStatement.h"

namespace {

struct ColumnTypes {
  const wchar_t* key;        // record_id
  const wchar_t* time;       // started_utc
  const wchar_t* text;       // every other text
  const wchar_t* check;      // check values: 32 bits without sign
  const wchar_t* seconds;    // duration_s
};

constexpr ColumnTypes kPostgreSql = {L"varchar(36)", L"timestamp(0)", L"text", L"bigint", L"numeric(15,3)"};
constexpr ColumnTypes kSqlServer = {L"varchar(36)", L"datetime2(0)", L"nvarchar(max)", L"bigint", L"decimal(15,3)"};
constexpr ColumnTypes kPlainSql = {L"varchar(36)", L"timestamp", L"varchar(4000)", L"bigint", L"decimal(15,3)"};

const ColumnTypes& TypesFor(const std::wstring& dbmsName) {
  if (dbmsName.find(L"PostgreSQL") != std::wstring::npos) return kPostgreSql;
  if (dbmsName.find(L"SQL Server") != std::wstring::npos) return kSqlServer;
  return kPlainSql;
}

// The table's columns in the order the statements name them.
constexpr wchar_t kInsert[] =
    L"INSERT INTO firmware_updates (started_utc, device, package, device_type, device_type_check, program_check, "
    L"media_check, data_check, bootloader_check, result, duration_s, signer, serial, record_id, workstation, "
    L"windows_user) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr wchar_t kCountId[] = L"SELECT COUNT(*) FROM firmware_updates WHERE record_id = ?";
constexpr wchar_t kProbe[] = L"SELECT record_id FROM firmware_updates WHERE 1 = 0";

// "2026-12-10T15:04:05Z" as ODBC's timestamp text "2026-12-10 15:04:05" (UTC, as the name says).
std::wstring TimestampText(const std::wstring& iso) {
  std::wstring text = iso.substr(0, 19);
  if (text.size() == 19) text[10] = L' ';
  return text;
}

std::wstring SecondsText(std::uint64_t milliseconds) {
  const std::wstring fraction = std::to_wstring(1000 + milliseconds % 1000).substr(1);
  return std::to_wstring(milliseconds / 1000) + L"." + fraction;
}

bool BindRecord(OdbcStatement& insert, const OutboxRecord& record) {
  const HistoryRecord& history = record.history;
  return insert.BindText(TimestampText(history.startedUtc), SQL_TYPE_TIMESTAMP, 19, 0) &&
         insert.BindText(history.entry) && insert.BindText(history.package) && insert.BindText(history.deviceType) &&
         insert.BindText(std::to_wstring(history.deviceTypeCheck), SQL_BIGINT) &&
         insert.BindText(std::to_wstring(history.programCheck), SQL_BIGINT) &&
         insert.BindText(std::to_wstring(history.mediaCheck), SQL_BIGINT) &&
         insert.BindText(std::to_wstring(history.dataCheck), SQL_BIGINT) &&
         (history.withBootloader ? insert.BindText(std::to_wstring(history.bootloaderCheck), SQL_BIGINT)
                                 : insert.BindNull(SQL_BIGINT)) &&
         insert.BindText(history.result) && insert.BindText(SecondsText(history.durationMs), SQL_DECIMAL, 15, 3) &&
         insert.BindText(history.signer) && insert.BindText(history.serial) && insert.BindText(record.recordId) &&
         insert.BindText(record.workstation) && insert.BindText(record.windowsUser);
}

// Whether the table holds the id; in a transaction of its own, ended here.
bool HoldsRecordId(OdbcConnection& connection, const std::wstring& recordId, bool& holds) {
  OdbcStatement count(connection);
  const bool ok = count.Prepare(kCountId) && count.BindText(recordId) && count.Execute() && count.Fetch();
  holds = ok && count.Text(1) != L"0";
  connection.Rollback();
  return ok;
}

bool TableIsThere(OdbcConnection& connection) {
  OdbcStatement probe(connection);
  const bool there = probe.Run(kProbe);
  connection.Rollback();
  return there;
}

}  // namespace

std::wstring FirmwareUpdatesTableDefinition(const std::wstring& dbmsName) {
  const ColumnTypes& t = TypesFor(dbmsName);
  const std::wstring text = t.text, check = t.check;
  return std::wstring(L"CREATE TABLE firmware_updates (") + L"started_utc " + t.time + L", device " + text +
         L", package " + text + L", device_type " + text + L", device_type_check " + check + L", program_check " +
         check + L", media_check " + check + L", data_check " + check + L", bootloader_check " + check +
         L", result " + text + L", duration_s " + t.seconds + L", signer " + text + L", serial " + text +
         L", record_id " + t.key + L" NOT NULL PRIMARY KEY, workstation " + text + L", windows_user " + text + L")";
}

bool EnsureFirmwareUpdatesTable(OdbcConnection& connection) {
  if (TableIsThere(connection)) return true;
  OdbcStatement create(connection);
  if (create.Run(FirmwareUpdatesTableDefinition(connection.DbmsName())) && connection.Commit()) return true;
  const std::wstring failure = connection.Failure();
  connection.Rollback();
  // Another updater may have created it meanwhile.
  if (TableIsThere(connection)) return true;
  connection.SetFailure(failure);
  return false;
}

StoreResult StoreFirmwareUpdate(OdbcConnection& connection, const OutboxRecord& record) {
  OdbcStatement insert(connection);
  if (insert.Prepare(kInsert) && BindRecord(insert, record) && insert.Execute()) {
    return connection.Commit() ? StoreResult::kStored : StoreResult::kFailed;
  }
  const std::wstring failure = insert.Failure();
  const bool duplicate = insert.FailureState().rfind(L"23", 0) == 0;  // integrity constraint violation
  connection.Rollback();
  if (duplicate) {
    // Another updater's send (or an earlier one of ours whose commit we never heard of) has
    // it: found, it is stored; the insert waited for that transaction to end, so it is final.
    bool holds = false;
    if (HoldsRecordId(connection, record.recordId, holds) && holds) return StoreResult::kAlreadyStored;
  }
  connection.SetFailure(failure);
  return StoreResult::kFailed;
}
