// The table firmware_updates in the department's database: one row per finished update, under
// the history's column names, keyed by the record's id. Created when missing, in the DBMS's
// own types (PostgreSQL, SQL Server, and plain SQL types for others). A record is stored in a
// transaction of its own; one whose id the table already holds counts as stored, also when
// another updater stores the same record at the same moment.
#pragma once

#include <string>

#include "records/OdbcConnection.h"
#include "records/OutboxRecord.h"

constexpr wchar_t kFirmwareUpdatesTable[] = L"firmware_updates";

enum class StoreResult {
  kStored,         // committed now
  kAlreadyStored,  // the table held its id already
  kFailed,         // the connection's Failure() says why
};

// The CREATE TABLE statement for the DBMS of this name (as SQLGetInfo's SQL_DBMS_NAME gives it).
std::wstring FirmwareUpdatesTableDefinition(const std::wstring& dbmsName);

// Creates the table when the database has none; false (with the reason) when it can neither
// find nor create it.
bool EnsureFirmwareUpdatesTable(OdbcConnection& connection);

StoreResult StoreFirmwareUpdate(OdbcConnection& connection, const OutboxRecord& record);
