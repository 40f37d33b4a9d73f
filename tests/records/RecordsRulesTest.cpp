// The plain rules of the central records: central-records.txt, CSV rows, and the outbox's
// lines written and read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/CentralRecordsText.h"
#include "records/CsvRows.h"
#include "records/OutboxRecord.h"

namespace {

TEST(CentralRecordsTextTest, OneConnectionStringBetweenCommentsAndBlanks) {
  const struct {
    const char* name;
    std::string text;
    CentralRecordsState state;
    std::wstring connection;
  } cases[] = {
      {"Plain", "Driver={PostgreSQL Unicode};Server=db;", CentralRecordsState::kConnection,
       L"Driver={PostgreSQL Unicode};Server=db;"},
      {"CommentsBlanksAndCrLf", "# department database\r\n\r\n  \t\r\n  DSN=records;Pwd=a#b  \r\n# old: DSN=x\r\n",
       CentralRecordsState::kConnection, L"DSN=records;Pwd=a#b"},
      {"ByteOrderMarkAndUtf8", "\xEF\xBB\xBF" "DSN=Ger\xC3\xA4te", CentralRecordsState::kConnection, L"DSN=Ger\u00E4te"},
      {"Empty", "", CentralRecordsState::kNoConnection, L""},
      {"CommentsOnly", "# DSN=records\n\n", CentralRecordsState::kNoConnection, L""},
      {"Two", "DSN=a\nDSN=b\n", CentralRecordsState::kNoConnection, L""},
  };
  for (const auto& c : cases) {
    const CentralRecordsSetting setting = ParseCentralRecordsText(c.text);
    EXPECT_EQ(setting.state, c.state) << c.name;
    EXPECT_EQ(setting.connectionString, c.connection) << c.name;
    EXPECT_EQ(setting.problem.empty(), c.state == CentralRecordsState::kConnection) << c.name;
  }
}

TEST(CsvRowsTest, QuotedFieldsLineEndsAndDamage) {
  const std::vector<CsvRow> rows =
      ReadCsvRows("a,\"b,\"\"c\"\"\r\nd\",\r\nx\ny,z\r\n\"open,\r\nnever closed,\r\n");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].fields, (std::vector<std::string>{"a", "b,\"c\"\r\nd", ""}));
  EXPECT_TRUE(rows[0].terminated && rows[0].wellFormed);
  EXPECT_EQ(rows[0].raw, "a,\"b,\"\"c\"\"\r\nd\",\r\n");
  EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"x"}));
  EXPECT_EQ(rows[2].fields, (std::vector<std::string>{"y", "z"}));
  // An open quote runs to the end of the text: the rest is one damaged, unended row.
  EXPECT_FALSE(rows[3].wellFormed);
  EXPECT_FALSE(rows[3].terminated);
  EXPECT_EQ(rows[3].raw, "\"open,\r\nnever closed,\r\n");

  const std::vector<CsvRow> stray = ReadCsvRows("a\"b,c\r\n\"d\"e\r\n");
  ASSERT_EQ(stray.size(), 2u);
  EXPECT_FALSE(stray[0].wellFormed);
  EXPECT_FALSE(stray[1].wellFormed);
}

OutboxRecord Sample() {
  OutboxRecord record;
  HistoryRecord& h = record.history;
  h.startedUtc = L"2026-12-10T15:04:05Z";
  h.entry = L"Device 0: Ger\u00E4t \"A\"; DROP TABLE x";
  h.package = L"C:\\packages\\=update,1.kn";
  h.deviceType = L"TW 3xx";
  h.deviceTypeCheck = 4294967295u;
  h.programCheck = 1;
  h.mediaCheck = 22;
  h.dataCheck = 333;
  h.withBootloader = true;
  h.bootloaderCheck = 0;
  h.result = L"Error Device disconnected (-12)\r\nreported";
  h.durationMs = 18250;
  h.signer = L"Maker \u03A9";
  h.serial = L"TW3-000123";
  record.recordId = L"3f2504e0-4f89-11d3-9a0c-0305e82c3301";
  record.workstation = L"BENCH-7";
  record.windowsUser = L"j\u00FCrgen";
  return record;
}

void ExpectSame(const OutboxRecord& a, const OutboxRecord& b) {
  EXPECT_EQ(FormatOutboxLine(a), FormatOutboxLine(b));
  EXPECT_EQ(a.history.entry, b.history.entry);
  EXPECT_EQ(a.history.withBootloader, b.history.withBootloader);
  EXPECT_EQ(a.recordId, b.recordId);
}

// Every field comes back exactly as it went in: quotes, commas, line breaks, letters beyond
// ASCII, a leading '=' (no apostrophe: the outbox is no spreadsheet), the largest check value,
// a bootloader check of 0 and none at all.
TEST(OutboxRecordTest, RecordsComeBackAsWritten) {
  OutboxRecord without = Sample();
  without.history.withBootloader = false;
  without.history.serial.clear();
  without.history.signer.clear();
  without.recordId = L"00000000-0000-0000-0000-000000000001";
  const std::string text = OutboxHeaderLine() + FormatOutboxLine(Sample()) + FormatOutboxLine(without);
  EXPECT_EQ(OutboxHeaderLine(),
            "started_utc,device,package,device_type,device_type_check,program_check,media_check,data_check,"
            "bootloader_check,result,duration_s,signer,serial,record_id,workstation,windows_user\r\n");
  const std::vector<OutboxEntry> entries = ParseOutbox(text);
  ASSERT_EQ(entries.size(), 2u);
  ASSERT_TRUE(entries[0].readable && entries[1].readable);
  ExpectSame(entries[0].record, Sample());
  ExpectSame(entries[1].record, without);
  EXPECT_EQ(entries[0].record.history.package, L"C:\\packages\\=update,1.kn");
  EXPECT_EQ(entries[1].record.history.bootloaderCheck, 0u);
}

// An outbox an older updater wrote is read by its header's names (columns it lacks are
// empty); rows that are no record are told apart, one by one, and kept as they stood.
TEST(OutboxRecordTest, OlderOutboxesAndRowsThatAreNoRecord) {
  const std::string olderHeader =
      "record_id,started_utc,device,package,device_type,device_type_check,program_check,media_check,data_check,"
      "bootloader_check,result,duration_s\r\n";
  const std::string older = "3f2504e0-4f89-11d3-9a0c-0305e82c3301,2026-12-10T15:04:05Z,Device 0: TW 3xx,p.kn,"
                            "TW 3xx,1,2,3,4,,Updated successfully!,9.000\r\n";
  std::vector<OutboxEntry> entries = ParseOutbox(olderHeader + older);
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_TRUE(entries[0].readable);
  EXPECT_EQ(entries[0].record.history.entry, L"Device 0: TW 3xx");
  EXPECT_EQ(entries[0].record.history.durationMs, 9000u);
  EXPECT_EQ(entries[0].record.history.serial, L"");
  EXPECT_EQ(entries[0].record.workstation, L"");

  const std::string good = FormatOutboxLine(Sample());
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string line = good;
    line.replace(line.find(from), from.size(), to);
    return line;
  };
  const struct {
    const char* name;
    std::string row;
  } bad[] = {
      {"UppercaseId", replaced("3f2504e0", "3F2504E0")},
      {"NoId", replaced("3f2504e0-4f89-11d3-9a0c-0305e82c3301", "")},
      {"Time", replaced("2026-12-10T15:04:05Z", "2026-12-10 15:04")},
      {"CheckTooLarge", replaced("4294967295", "4294967296")},
      {"CheckNotANumber", replaced(",22,", ",2x,")},
      {"Duration", replaced("18.250", "18.25")},
      {"FieldMissing", replaced(",BENCH-7", "")},
      {"Blank", "\r\n"},
      {"CutOff", good.substr(0, good.size() - 10)},
  };
  for (const auto& c : bad) {
    const std::string text = OutboxHeaderLine() + good + c.row + good;
    entries = ParseOutbox(text);
    ASSERT_EQ(entries.size(), std::string(c.name) == "CutOff" ? 2u : 3u) << c.name;
    EXPECT_TRUE(entries[0].readable) << c.name;
    EXPECT_FALSE(entries[1].readable) << c.name;
    EXPECT_EQ(entries[1].raw, std::string(c.name) == "CutOff" ? c.row + good : c.row) << c.name;
    if (entries.size() == 3) {
      EXPECT_TRUE(entries[2].readable) << c.name;
    }
  }
  // Without a header that names record_id nothing is a record.
  entries = ParseOutbox(good + good);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[0].readable || entries[1].readable);
}

TEST(OutboxRecordTest, RecordIdsInCanonicalFormOnly) {
  EXPECT_TRUE(IsCanonicalRecordId(L"3f2504e0-4f89-11d3-9a0c-0305e82c3301"));
  for (const wchar_t* id : {L"", L"3f2504e0-4f89-11d3-9a0c-0305e82c330", L"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}",
                            L"3f2504e04f89-11d3-9a0c-0305e82c3301-", L"3f2504e0-4f89-11d3-9a0c-0305e82c330g"}) {
    EXPECT_FALSE(IsCanonicalRecordId(id)) << id;
  }
}

}  // namespace
