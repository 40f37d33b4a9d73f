// knupdate and the department's database, end to end: the program runs from a copy of its
// folder with a central-records.txt beside it, against the tests' own PostgreSQL cluster, which
// the tests stop, kill and start again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "history/UpdateHistory.h"
#include "records/CentralRecordsFile.h"
#include "records/Outbox.h"
#include "records/RecordIdentity.h"
#include "records/UpdateRecordKeeping.h"
#include "tests/support/TestDatabase.h"
#include "tests/tools/KnupdateFixture.h"
#include "text/Utf8.h"

namespace knupdate_testing {
namespace {

using testing::HasSubstr;
using testing_support::ProgramRun;
using testing_support::RunningProgram;
using Rows = std::vector<std::vector<std::wstring>>;

const std::string kNotSent = ToUtf8(kRecordNotSent);

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class CentralRecordsTest : public KnupdateFixture {
 protected:
  void SetUp() override {
    KnupdateFixture::SetUp();
    ASSERT_FALSE(testdb::ClusterConnectionString().empty()) << "runs with the test database fixture only";
    ASSERT_TRUE(m_schema.Ready()) << m_schema.failure();
    m_setting = UseProgramCopy() + kCentralRecordsFileName;
    UseConnection(m_schema.ConnectionString());
  }

  void TearDown() override {
    testdb::StartCluster();  // for the next test, whatever this one left
    KnupdateFixture::TearDown();
  }

  void UseConnection(const std::wstring& connectionString) {
    ASSERT_TRUE(testing_support::WriteFileBytes(m_setting, "# the department's database\r\n" +
                                                               ToUtf8(connectionString) + "\r\n"));
  }

  std::wstring OutboxFile() const { return OutboxBesideHistory(HistoryFile()); }

  std::vector<std::wstring> WaitingIds() {
    std::vector<OutboxEntry> entries;
    EXPECT_TRUE(Outbox(OutboxFile()).Read(entries));
    std::vector<std::wstring> ids;
    for (const OutboxEntry& entry : entries) ids.push_back(entry.record.recordId);
    return ids;
  }

  // Every record id in the table, each as often as it is there.
  std::multiset<std::wstring> StoredIds() {
    std::multiset<std::wstring> ids;
    for (const auto& row : m_schema.Rows(L"SELECT record_id FROM firmware_updates")) ids.insert(row[0]);
    return ids;
  }

  testdb::TestSchema m_schema;
  std::wstring m_setting;
};

// One update: its record lands with every field as the history has it, the package's path
// with quotes and letters beyond ASCII intact, the instrument's serial number, this
// workstation and user; the outbox is empty again.
TEST_F(CentralRecordsTest, AnUpdateStoresItsRecordWithEveryField) {
  const std::wstring folder = m_scratch / L"Kunde O'Brien \u00D6lm\u00FChle \u00DF \u03A9\\";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring package = testing_support::BuildPackage(folder, m_images);
  ASSERT_FALSE(package.empty());

  const ProgramRun run = Knupdate(L"update --package \"" + package + L"\" --device 0 --yes");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(Count(run.output, kNotSent), 0u) << run.output;
  EXPECT_TRUE(WaitingIds().empty());

  const Rows rows = m_schema.Rows(
      L"SELECT device, package, device_type, result, signer, serial, workstation, windows_user, "
      L"to_char(started_utc, 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), program_check, bootloader_check "
      L"FROM firmware_updates");
  ASSERT_EQ(rows.size(), 1u) << m_schema.failure();
  const std::vector<std::string> history = HistoryLines();
  ASSERT_EQ(history.size(), 1u);
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  GetComputerNameW(computer, &size);
  EXPECT_EQ(rows[0][0], L"Device 0: TW 3xx");
  EXPECT_EQ(rows[0][1], package);
  EXPECT_EQ(rows[0][2], L"TW 3xx");
  EXPECT_EQ(rows[0][3], L"Updated successfully!");
  EXPECT_EQ(rows[0][4], L"");
  EXPECT_EQ(rows[0][5], L"tw");  // the test bench's serial number of the "TW 3xx"
  EXPECT_EQ(rows[0][6], computer);
  EXPECT_FALSE(rows[0][7].empty());
  EXPECT_EQ(ToUtf8(rows[0][8]), Field(history[0], 0));
  EXPECT_EQ(rows[0][10], L"<null>");  // no bootloader in the package
  EXPECT_EQ(Field(history[0], kSerialField), "tw");
}

// The server away: the update succeeds, the record waits and is told once; `knupdate records`
// says what waits and why; back, `records send` stores it exactly once.
TEST_F(CentralRecordsTest, ARecordWaitsWhileTheServerIsAwayAndIsStoredOnceWhenItIsBack) {
  ASSERT_TRUE(testdb::StopCluster());
  const ProgramRun run = Knupdate(L"update " + PackageArgument() + L" --device 0 --yes");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(Count(run.output, kNotSent), 1u) << run.output;
  const std::vector<std::wstring> waiting = WaitingIds();
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(HistoryResults(), std::vector<std::string>{"Updated successfully!"});

  const ProgramRun told = Knupdate(L"records");
  EXPECT_EQ(told.exitCode, 0u);
  EXPECT_THAT(told.output, HasSubstr("1 record waits for the central database.\n"));
  EXPECT_THAT(told.output, HasSubstr("The last attempt to send them failed ("));

  ASSERT_TRUE(testdb::StartCluster());
  const ProgramRun sent = Knupdate(L"records send");
  EXPECT_EQ(sent.exitCode, 0u) << sent.output;
  EXPECT_THAT(sent.output, HasSubstr("1 record sent to the central database.\n"));
  const ProgramRun again = Knupdate(L"records send");
  EXPECT_EQ(again.exitCode, 0u) << again.output;
  EXPECT_THAT(again.output, HasSubstr("0 records sent to the central database.\n"));
  EXPECT_EQ(StoredIds(), std::multiset<std::wstring>{waiting[0]});
  EXPECT_TRUE(WaitingIds().empty());
  const ProgramRun calm = Knupdate(L"records");
  EXPECT_THAT(calm.output, HasSubstr("0 records wait for the central database.\n"));
  EXPECT_THAT(calm.output, testing::Not(HasSubstr("The last attempt")));
}

// A wrong password: the clear line once, the update a success, the history intact, and
// `knupdate records` gives the server's reason.
TEST_F(CentralRecordsTest, AWrongPasswordIsToldAndTheHistoryStaysIntact) {
  UseConnection(m_schema.ConnectionStringWithPassword(L"not-the-password"));
  const ProgramRun run = Knupdate(L"update " + PackageArgument() + L" --device 0 --yes");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(Count(run.output, kNotSent), 1u) << run.output;
  EXPECT_EQ(HistoryResults(), std::vector<std::string>{"Updated successfully!"});
  EXPECT_EQ(WaitingIds().size(), 1u);
  const ProgramRun told = Knupdate(L"records");
  EXPECT_THAT(told.output, HasSubstr("password authentication failed")) << told.output;
  const ProgramRun send = Knupdate(L"records send");
  EXPECT_EQ(send.exitCode, 1u) << send.output;
  EXPECT_THAT(send.output, HasSubstr("1 record waits: ")) << send.output;
}

// Three knupdate processes on three benches of this workstation update five instruments each
// at once, all sending into one outbox: fifteen rows, fifteen ids, nothing left waiting.
TEST_F(CentralRecordsTest, ThreeProgramsUpdatingAtOnceStoreEveryRecordOnce) {
  constexpr int kPrograms = 3, kInstruments = 5;
  std::vector<std::unique_ptr<sim::TemporaryBench>> benches;
  std::vector<std::unique_ptr<RunningProgram>> programs;
  for (int p = 0; p < kPrograms; ++p) {
    benches.push_back(std::make_unique<sim::TemporaryBench>());
    ASSERT_TRUE(benches.back()->created());
    for (int i = 0; i < kInstruments; ++i) {
      sim::Instrument instrument = sim::MakeInstrument(L"p" + std::to_wstring(p) + L"i" + std::to_wstring(i), L"TW 3xx",
                                                       4181, sim::Mode::kApplication);
      instrument.bus_address = 0x10 + i;
      instrument.mode_changed_at = sim::Bench::NowMs() - 60000;
      instrument.reenumeration_ms = 300;
      ASSERT_TRUE(benches.back()->bench().Save(instrument));
    }
    ASSERT_TRUE(benches.back()->Activate());  // the program started now inherits it
    programs.push_back(std::make_unique<RunningProgram>(KnupdateCommand() + L"update " + PackageArgument() +
                                                        L" --all --yes"));
    ASSERT_TRUE(programs.back()->started());
  }
  ASSERT_TRUE(m_bench.Activate());
  for (auto& program : programs) EXPECT_EQ(program->WaitForExit(10 * kUpdateTimeoutMs), 0u) << program->Output();

  const std::multiset<std::wstring> stored = StoredIds();
  EXPECT_EQ(stored.size(), 15u);
  EXPECT_EQ(std::set<std::wstring>(stored.begin(), stored.end()).size(), 15u);
  EXPECT_TRUE(WaitingIds().empty());
  EXPECT_EQ(HistoryLines().size(), 15u);
}

// The server killed while `records send` stores a long outbox: what it committed has left the
// outbox, the rest waits; the next send stores the rest. Every record once, none lost.
TEST_F(CentralRecordsTest, AServerKilledDuringASendLosesNothingAndDoublesNothing) {
  constexpr int kRecords = 300;
  std::set<std::wstring> kept;
  for (int i = 0; i < kRecords; ++i) {
    HistoryRecord history;
    history.startedUtc = L"2026-12-10T15:04:05Z";
    history.entry = L"Device 0: TW 3xx";
    history.package = L"C:\\packages\\tw.kn";
    history.deviceType = L"TW 3xx";
    history.result = L"Updated successfully!";
    history.serial = L"TW3-" + std::to_wstring(i);
    const OutboxRecord record = MakeOutboxRecord(history);
    ASSERT_TRUE(Outbox(OutboxFile()).Append(record));
    kept.insert(record.recordId);
  }
  {
    RunningProgram send(KnupdateCommand() + L"records send");
    ASSERT_TRUE(send.started());
    // Killed once the first records are in.
    for (int i = 0; i < 2000 && StoredIds().empty(); ++i) Sleep(10);
    ASSERT_TRUE(testdb::StopCluster());
    send.WaitForExit(kUpdateTimeoutMs);
  }
  const std::vector<std::wstring> waiting = WaitingIds();
  ASSERT_TRUE(testdb::StartCluster());
  // A server back from a kill may take connections a moment before it answers queries.
  bool answering = false;
  for (int i = 0; i < 100 && !(answering = m_schema.Run(L"SELECT 1 FROM firmware_updates")); ++i) Sleep(100);
  ASSERT_TRUE(answering);
  const std::multiset<std::wstring> before = StoredIds();
  EXPECT_EQ(std::set<std::wstring>(before.begin(), before.end()).size(), before.size()) << "a record stored twice";
  std::set<std::wstring> storedOrWaiting(before.begin(), before.end());
  storedOrWaiting.insert(waiting.begin(), waiting.end());
  EXPECT_EQ(storedOrWaiting, kept) << "a record lost";
  // A kill between the server's commit and its answer leaves that one record stored and waiting:
  // the sender cannot know it went in, and the next send finds it there.
  EXPECT_LE(before.size() + waiting.size(), static_cast<std::size_t>(kRecords) + 1);

  const ProgramRun rest = Knupdate(L"records send");
  EXPECT_EQ(rest.exitCode, 0u) << rest.output;
  const std::multiset<std::wstring> stored = StoredIds();
  EXPECT_EQ(stored.size(), static_cast<std::size_t>(kRecords));
  EXPECT_EQ(std::set<std::wstring>(stored.begin(), stored.end()), kept);
  EXPECT_TRUE(WaitingIds().empty());
}

}  // namespace
}  // namespace knupdate_testing
