// The outbox file beside the history: records kept in order, taken out one by one, never
// damaged by a write that fails, and shared by updaters that write at once.
#include "records/Outbox.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "history/UpdateHistory.h"
#include "records/CentralRecords.h"
#include "records/RecordIdentity.h"
#include "tests/support/TestFiles.h"

namespace {

HistoryRecord History(const std::wstring& entry) {
  HistoryRecord record;
  record.startedUtc = L"2026-12-10T15:04:05Z";
  record.entry = entry;
  record.package = L"C:\\packages\\tw.kn";
  record.deviceType = L"TW 3xx";
  record.result = L"Updated successfully!";
  record.durationMs = 18250;
  record.serial = L"TW3-000123";
  return record;
}

std::vector<std::wstring> Entries(const Outbox& outbox) {
  std::vector<OutboxEntry> entries;
  EXPECT_TRUE(outbox.Read(entries));
  std::vector<std::wstring> texts;
  for (const OutboxEntry& entry : entries) texts.push_back(entry.readable ? entry.record.history.entry : L"<unreadable>");
  return texts;
}

class OutboxTest : public ::testing::Test {
 protected:
  testing_support::ScratchDirectory m_scratch;
  Outbox m_outbox{m_scratch / L"QM_TWBootloader\\outbox.csv"};
};

TEST_F(OutboxTest, KeepsRecordsInOrderAndTakesThemOutById) {
  EXPECT_TRUE(Entries(m_outbox).empty()) << "no file is an empty outbox";
  std::vector<OutboxRecord> records;
  for (const wchar_t* entry : {L"Device 0: A", L"Device 1: B", L"Device 2: C"}) {
    records.push_back(MakeOutboxRecord(History(entry)));
    ASSERT_TRUE(m_outbox.Append(records.back()));
  }
  EXPECT_EQ(Entries(m_outbox), (std::vector<std::wstring>{L"Device 0: A", L"Device 1: B", L"Device 2: C"}));
  const std::string bytes = testing_support::ReadFileBytes(m_outbox.Path());
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(bytes.substr(3, OutboxHeaderLine().size()), OutboxHeaderLine());

  ASSERT_TRUE(m_outbox.Remove(records[1].recordId));
  ASSERT_TRUE(m_outbox.Remove(records[1].recordId)) << "gone already is gone";
  EXPECT_EQ(Entries(m_outbox), (std::vector<std::wstring>{L"Device 0: A", L"Device 2: C"}));
  EXPECT_FALSE(testing_support::FileExists(m_outbox.Path() + L".new"));
}

// A row that is no record (a hand's slip, a damaged disk) stays where it stood, through
// appends and removals; the records around it go on as ever.
TEST_F(OutboxTest, RowsThatAreNoRecordAreKeptAsTheyStood) {
  const OutboxRecord first = MakeOutboxRecord(History(L"Device 0: A"));
  ASSERT_TRUE(m_outbox.Append(first));
  const std::string damaged = "not,a,record\r\n";
  ASSERT_TRUE(testing_support::WriteFileBytes(m_outbox.Path(), testing_support::ReadFileBytes(m_outbox.Path()) + damaged));
  ASSERT_TRUE(m_outbox.Append(MakeOutboxRecord(History(L"Device 1: B"))));
  ASSERT_TRUE(m_outbox.Remove(first.recordId));
  EXPECT_EQ(Entries(m_outbox), (std::vector<std::wstring>{L"<unreadable>", L"Device 1: B"}));
  EXPECT_NE(testing_support::ReadFileBytes(m_outbox.Path()).find(damaged), std::string::npos);
}

// Half of it fits, then the disk is full.
BOOL WINAPI WriteHalfThenDiskFull(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, bytes, count / 2, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// A change that cannot be written whole leaves the outbox as it was, byte for byte.
TEST_F(OutboxTest, AWriteThatFailsLeavesTheOutboxAsItWas) {
  const OutboxRecord first = MakeOutboxRecord(History(L"Device 0: A"));
  ASSERT_TRUE(m_outbox.Append(first));
  const std::string before = testing_support::ReadFileBytes(m_outbox.Path());
  SetOutboxWriteForTesting(&WriteHalfThenDiskFull);
  EXPECT_FALSE(m_outbox.Append(MakeOutboxRecord(History(L"Device 1: B"))));
  EXPECT_FALSE(m_outbox.Remove(first.recordId));
  SetOutboxWriteForTesting(nullptr);
  EXPECT_EQ(testing_support::ReadFileBytes(m_outbox.Path()), before);
  EXPECT_FALSE(testing_support::FileExists(m_outbox.Path() + L".new"));
}

// Writers at once, each appending and taking out: every record kept is there once, whole.
TEST_F(OutboxTest, WritersAtOnceLoseNothing) {
  constexpr int kRecords = 40;
  std::vector<std::wstring> kept[3];
  const auto writer = [&](int n) {
    for (int i = 0; i < kRecords; ++i) {
      const OutboxRecord record = MakeOutboxRecord(History(L"Device " + std::to_wstring(n) + L": " + std::to_wstring(i)));
      EXPECT_TRUE(m_outbox.Append(record));
      if (i % 2 == 0) EXPECT_TRUE(m_outbox.Remove(record.recordId));
      else kept[n].push_back(record.recordId);
    }
  };
  std::thread a(writer, 0), b(writer, 1), c(writer, 2);
  a.join();
  b.join();
  c.join();
  std::vector<OutboxEntry> entries;
  ASSERT_TRUE(m_outbox.Read(entries));
  std::set<std::wstring> ids;
  for (const OutboxEntry& entry : entries) {
    EXPECT_TRUE(entry.readable);
    ids.insert(entry.record.recordId);
  }
  EXPECT_EQ(entries.size(), 3u * kRecords / 2);
  for (const auto& ofWriter : kept) {
    for (const std::wstring& id : ofWriter) EXPECT_EQ(ids.count(id), 1u) << "lost";
  }
}

// Only a workstation with central-records.txt keeps records for the database; one whose file
// names no usable connection keeps them too, so that mending the file sends them.
TEST(KeepFinishedRecordTest, OnlyWithCentralRecordsTxt) {
  testing_support::ScratchDirectory scratch;
  const std::wstring setting = scratch / L"central-records.txt";
  const std::wstring outbox = scratch / L"outbox.csv";
  EXPECT_EQ(KeepFinishedRecord(History(L"Device 0: A"), setting, outbox), KeepResult::kOff);
  EXPECT_FALSE(testing_support::FileExists(outbox));
  EXPECT_EQ(SendWaitingRecords(setting, outbox).waiting, 0);

  ASSERT_TRUE(testing_support::WriteFileBytes(setting, "# not yet\r\n"));
  EXPECT_EQ(KeepFinishedRecord(History(L"Device 0: A"), setting, outbox), KeepResult::kKept);
  const OutboxSendResult result = SendWaitingRecords(setting, outbox);
  EXPECT_EQ(result.sent, 0);
  EXPECT_EQ(result.waiting, 1);
  EXPECT_EQ(result.failure, L"central-records.txt names no ODBC connection string.");

  std::vector<OutboxEntry> entries;
  ASSERT_TRUE(Outbox(outbox).Read(entries));
  ASSERT_EQ(entries.size(), 1u);
  const OutboxRecord& kept = entries[0].record;
  EXPECT_TRUE(IsCanonicalRecordId(kept.recordId)) << kept.recordId;
  EXPECT_EQ(kept.workstation, WorkstationName());
  EXPECT_FALSE(kept.workstation.empty());
  EXPECT_EQ(kept.windowsUser, WindowsUserName());
  EXPECT_FALSE(kept.windowsUser.empty());
  EXPECT_EQ(kept.history.serial, L"TW3-000123");
  EXPECT_NE(NewRecordId(), NewRecordId());

  // The workstation's own places: the outbox beside the history, wherever that is.
  SetHistoryFileForTesting(scratch / L"elsewhere\\history.csv");
  EXPECT_EQ(OutboxPath(), scratch / L"elsewhere\\outbox.csv");
  SetHistoryFileForTesting(L"");
  EXPECT_NE(CentralRecordsSettingPath().find(L"\\central-records.txt"), std::wstring::npos);
}

}  // namespace
