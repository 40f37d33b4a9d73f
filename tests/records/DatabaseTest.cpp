// The records' way into a real PostgreSQL server over ODBC, as a department's database takes
// them: every field intact, none lost when the server is away or refuses, none stored twice.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "records/CentralRecords.h"
#include "records/FirmwareUpdatesTable.h"
#include "records/Outbox.h"
#include "records/RecordIdentity.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFiles.h"

namespace {

using Rows = std::vector<std::vector<std::wstring>>;

HistoryRecord History(const std::wstring& entry) {
  HistoryRecord record;
  record.startedUtc = L"2026-12-10T15:04:05Z";
  record.entry = entry;
  record.package = L"C:\\packages\\tw.kn";
  record.deviceType = L"TW 3xx";
  record.deviceTypeCheck = 11;
  record.programCheck = 22;
  record.mediaCheck = 33;
  record.dataCheck = 44;
  record.result = L"Updated successfully!";
  record.durationMs = 18250;
  record.serial = L"TW3-000123";
  return record;
}

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testdb::ClusterConnectionString().empty()) << "runs with the test database fixture only";
    ASSERT_TRUE(m_schema.Ready()) << m_schema.failure();
    UseConnection(m_schema.ConnectionString());
  }

  void UseConnection(const std::wstring& connectionString) {
    ASSERT_TRUE(testing_support::WriteFileBytes(m_setting, "# the test's database\r\n" + ToUtf8(connectionString) + "\r\n"));
  }

  OutboxRecord Keep(const HistoryRecord& history) {
    const OutboxRecord record = MakeOutboxRecord(history);
    EXPECT_TRUE(Outbox(m_outbox).Append(record));
    return record;
  }

  OutboxSendResult Send() { return SendWaitingRecords(m_setting, m_outbox); }

  int RowsOf(const std::wstring& recordId) {
    const Rows rows = m_schema.Rows(L"SELECT COUNT(*) FROM firmware_updates WHERE record_id = '" + recordId + L"'");
    return rows.size() == 1 ? std::stoi(rows[0][0]) : -1;
  }

  std::vector<std::wstring> WaitingIds() {
    std::vector<OutboxEntry> entries;
    EXPECT_TRUE(Outbox(m_outbox).Read(entries));
    std::vector<std::wstring> ids;
    for (const OutboxEntry& entry : entries) ids.push_back(entry.record.recordId);
    return ids;
  }

  testdb::TestSchema m_schema;
  testing_support::ScratchDirectory m_scratch;
  std::wstring m_setting = m_scratch / L"central-records.txt";
  std::wstring m_outbox = m_scratch / L"outbox.csv";
};

// The table is made when missing, under the history's column names, and a record lands in it
// with every field as it was: quotes, a semicolon and SQL in a text, letters beyond ASCII,
// the largest check value, no bootloader (null).
TEST_F(DatabaseTest, ARecordIsStoredWithEveryFieldIntact) {
  HistoryRecord history = History(L"Device 0: Ger\u00E4t \"A\"; DROP TABLE x");
  history.package = L"C:\\Pr\u00FCfung\\'tw'.kn";
  history.result = L"Error Device disconnected (-12) reported during downloading media file!";
  history.deviceTypeCheck = 4294967295u;
  history.signer = L"Maker \u03A9";
  history.durationMs = 7;
  const OutboxRecord kept = Keep(history);
  HistoryRecord withBootloader = History(L"Device 1: QM 5xx");
  withBootloader.withBootloader = true;
  withBootloader.bootloaderCheck = 0;
  withBootloader.serial.clear();
  const OutboxRecord second = Keep(withBootloader);

  const OutboxSendResult result = Send();
  EXPECT_EQ(result.failure, L"");
  EXPECT_EQ(result.sent, 2);
  EXPECT_EQ(result.waiting, 0);
  EXPECT_TRUE(WaitingIds().empty());

  const Rows columns = m_schema.Rows(
      L"SELECT column_name FROM information_schema.columns WHERE table_schema = '" + m_schema.Name() +
      L"' AND table_name = 'firmware_updates' ORDER BY ordinal_position");
  std::vector<std::wstring> names;
  for (const auto& row : columns) names.push_back(row[0]);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"started_utc", L"device", L"package", L"device_type",
                                              L"device_type_check", L"program_check", L"media_check", L"data_check",
                                              L"bootloader_check", L"result", L"duration_s", L"signer", L"serial",
                                              L"record_id", L"workstation", L"windows_user"}));

  const Rows rows = m_schema.Rows(
      L"SELECT started_utc, device, package, device_type, device_type_check, program_check, media_check, data_check, "
      L"bootloader_check, result, duration_s, signer, serial, record_id, workstation, windows_user "
      L"FROM firmware_updates ORDER BY device");
  ASSERT_EQ(rows.size(), 2u) << m_schema.failure();
  EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"2026-12-10 15:04:05", history.entry, history.package, L"TW 3xx",
                                                L"4294967295", L"22", L"33", L"44", L"<null>", history.result,
                                                L"0.007", L"Maker \u03A9", L"TW3-000123", kept.recordId,
                                                kept.workstation, kept.windowsUser}));
  EXPECT_EQ(rows[1][8], L"0");
  EXPECT_EQ(rows[1][10], L"18.250");
  EXPECT_EQ(rows[1][12], L"");
  EXPECT_EQ(rows[1][13], second.recordId);
}

// A record whose id the table already holds (a send whose commit was never heard of, another
// workstation's copy) counts as stored: it leaves the outbox, and there is still one row.
TEST_F(DatabaseTest, ARecordIdTheTableHoldsCountsAsStored) {
  const OutboxRecord record = Keep(History(L"Device 0: TW 3xx"));
  const std::string outbox = testing_support::ReadFileBytes(m_outbox);
  ASSERT_EQ(Send().sent, 1);
  ASSERT_TRUE(testing_support::WriteFileBytes(m_outbox, outbox));  // sent, and yet still there

  const OutboxSendResult again = Send();
  EXPECT_EQ(again.failure, L"");
  EXPECT_EQ(again.sent, 1);
  EXPECT_EQ(again.waiting, 0);
  EXPECT_EQ(RowsOf(record.recordId), 1);
}

// The server away: every record waits, with the driver's reason; back again, each is stored
// exactly once, and a further send has nothing to do.
TEST_F(DatabaseTest, RecordsWaitWhileTheServerIsAwayAndGoInOnceWhenItIsBack) {
  const OutboxRecord first = Keep(History(L"Device 0: TW 3xx"));
  const OutboxRecord second = Keep(History(L"Device 1: QM 5xx"));
  ASSERT_TRUE(testdb::StopCluster());
  const OutboxSendResult away = Send();
  ASSERT_TRUE(testdb::StartCluster());
  EXPECT_EQ(away.sent, 0);
  EXPECT_EQ(away.waiting, 2);
  EXPECT_NE(away.failure.find(L"127.0.0.1"), std::wstring::npos) << away.failure;
  EXPECT_EQ(WaitingIds(), (std::vector<std::wstring>{first.recordId, second.recordId}));

  const OutboxSendResult back = Send();
  EXPECT_EQ(back.failure, L"");
  EXPECT_EQ(back.sent, 2);
  EXPECT_EQ(back.waiting, 0);
  EXPECT_EQ(RowsOf(first.recordId), 1);
  EXPECT_EQ(RowsOf(second.recordId), 1);
  EXPECT_EQ(Send().sent, 0);
  EXPECT_EQ(RowsOf(first.recordId), 1);
}

// A connection that is refused (a wrong password, a driver that is not installed, a database
// that does not exist) is told in the driver's words, and nothing leaves the outbox.
TEST_F(DatabaseTest, ARefusedConnectionIsToldAndLosesNothing) {
  Keep(History(L"Device 0: TW 3xx"));
  const std::string before = testing_support::ReadFileBytes(m_outbox);
  std::wstring noDatabase = m_schema.ConnectionString();
  noDatabase.replace(noDatabase.find(L"Database=kn_records"), 19, L"Database=kn_nothing");
  const struct {
    const char* name;
    std::wstring connection;
    const wchar_t* reason;
  } cases[] = {
      {"WrongPassword", m_schema.ConnectionStringWithPassword(L"wrong"), L"password authentication failed"},
      {"NoSuchDriver", L"Driver={No Such Driver};Server=127.0.0.1;", L"No Such Driver"},
      {"NoSuchDatabase", noDatabase, L"kn_nothing"},
  };
  for (const auto& c : cases) {
    UseConnection(c.connection);
    const OutboxSendResult result = Send();
    EXPECT_EQ(result.sent, 0) << c.name;
    EXPECT_EQ(result.waiting, 1) << c.name;
    EXPECT_NE(result.failure.find(c.reason), std::wstring::npos) << c.name << ": " << ToUtf8(result.failure);
    EXPECT_EQ(testing_support::ReadFileBytes(m_outbox), before) << c.name;
  }
}

// A record the database refuses stops the send there: those before it are stored, it and
// those behind it wait, in their order.
TEST_F(DatabaseTest, ASendStopsAtTheFirstRecordTheDatabaseRefuses) {
  ASSERT_TRUE(m_schema.Run(FirmwareUpdatesTableDefinition(L"PostgreSQL")));
  ASSERT_TRUE(m_schema.Run(L"ALTER TABLE firmware_updates ADD CONSTRAINT no_c CHECK (device <> 'Device 1: C')"));
  const OutboxRecord a = Keep(History(L"Device 0: A"));
  const OutboxRecord c = Keep(History(L"Device 1: C"));
  const OutboxRecord d = Keep(History(L"Device 2: D"));
  const OutboxSendResult result = Send();
  EXPECT_EQ(result.sent, 1);
  EXPECT_EQ(result.waiting, 2);
  EXPECT_NE(result.failure.find(L"no_c"), std::wstring::npos) << ToUtf8(result.failure);
  EXPECT_EQ(WaitingIds(), (std::vector<std::wstring>{c.recordId, d.recordId}));
  EXPECT_EQ(RowsOf(a.recordId), 1);
  EXPECT_EQ(RowsOf(d.recordId), 0);
}

// Senders at once on one outbox (updaters ending together, a send at start-up): every record
// is stored once and leaves the outbox.
TEST_F(DatabaseTest, SendersAtOnceStoreEachRecordOnce) {
  std::vector<std::wstring> ids;
  for (int i = 0; i < 12; ++i) ids.push_back(Keep(History(L"Device " + std::to_wstring(i) + L": TW 3xx")).recordId);
  OutboxSendResult results[3];
  std::vector<std::thread> senders;
  for (auto& result : results) senders.emplace_back([&] { result = Send(); });
  for (auto& sender : senders) sender.join();
  for (const auto& result : results) EXPECT_EQ(result.failure, L"");
  EXPECT_GE(results[0].sent + results[1].sent + results[2].sent, 12);
  EXPECT_TRUE(WaitingIds().empty());
  for (const std::wstring& id : ids) EXPECT_EQ(RowsOf(id), 1) << ToUtf8(id);
  EXPECT_EQ(m_schema.Rows(L"SELECT COUNT(*) FROM firmware_updates")[0][0], L"12");
}

}  // namespace
