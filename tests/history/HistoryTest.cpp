// The update history: its CSV lines, and its file written by updaters running at once.
#include "history/UpdateHistory.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestFiles.h"

namespace {

HistoryRecord Sample() {
  HistoryRecord record;
  record.startedUtc = L"2026-12-10T15:04:05Z";
  record.entry = L"Device 0: TW 3xx";
  record.package = L"C:\\packages\\update.kn";
  record.deviceType = L"TW 3xx";
  record.deviceTypeCheck = 367556721;
  record.programCheck = 1;
  record.mediaCheck = 22;
  record.dataCheck = 333;
  record.result = L"Updated successfully!";
  record.durationMs = 18250;
  return record;
}

TEST(HistoryRecordTest, OneLinePerUpdate) {
  EXPECT_EQ(HistoryHeaderLine(),
            "started_utc,device,package,device_type,device_type_check,program_check,media_check,data_check,"
            "bootloader_check,result,duration_s,signer,serial\r\n");
  EXPECT_EQ(FormatHistoryLine(Sample()), "2026-12-10T15:04:05Z,Device 0: TW 3xx,C:\\packages\\update.kn,TW 3xx,"
                                         "367556721,1,22,333,,Updated successfully!,18.250,,\r\n");
  HistoryRecord named = Sample();
  named.signer = L"Maker";
  named.serial = L"TW3-000123";
  EXPECT_EQ(FormatHistoryLine(named).substr(FormatHistoryLine(named).find(",18.250,")), ",18.250,Maker,TW3-000123\r\n");
  HistoryRecord withBootloader = Sample();
  withBootloader.withBootloader = true;
  withBootloader.bootloaderCheck = 0;
  withBootloader.durationMs = 7;
  EXPECT_EQ(FormatHistoryLine(withBootloader).substr(FormatHistoryLine(withBootloader).find(",333,")),
            ",333,0,Updated successfully!,0.007,,\r\n");
}

// A product text may hold commas and quotes, a result text a line feed: quoted as RFC 4180 has it.
TEST(HistoryRecordTest, FieldsAreQuotedWhereTheyMustBe) {
  HistoryRecord record = Sample();
  record.entry = L"Device 1: Logger \"Pro\", rev 2";
  record.result = L"Error Device disconnected (-12) reported during downloading media file!\n";
  const std::string line = FormatHistoryLine(record);
  EXPECT_NE(line.find(",\"Device 1: Logger \"\"Pro\"\", rev 2\","), std::string::npos) << line;
  EXPECT_NE(line.find(",\"Error Device disconnected (-12) reported during downloading media file!\n\","),
            std::string::npos)
      << line;

  const struct {
    const char* in;
    const char* out;
  } fields[] = {{"plain", "plain"}, {"", ""}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
                {"cr\rlf", "\"cr\rlf\""}, {"\"", "\"\"\"\""}};
  for (const auto& field : fields) EXPECT_EQ(CsvField(field.in), field.out) << field.in;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Two updaters appending at once: one header, every record whole on a line of its own.
TEST(HistoryFileTest, UpdatersWritingAtOnceNeverInterleave) {
  testing_support::ScratchDirectory scratch;
  const std::wstring path = scratch / L"QM_TWBootloader\\history.csv";
  constexpr int kRecords = 150;
  const auto writer = [&](const wchar_t* entry) {
    HistoryRecord record = Sample();
    record.entry = entry;
    record.result = std::wstring(500, L'r');  // long enough to be written in more than one piece if it could
    for (int i = 0; i < kRecords; ++i) EXPECT_TRUE(AppendHistoryRecord(path, record));
  };
  std::thread first(writer, L"Device 0: A"), second(writer, L"Device 1: B");
  first.join();
  second.join();

  std::string text;
  ASSERT_TRUE(ReadHistory(path, text));
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 1u + 2 * kRecords);
  EXPECT_EQ(lines[0] + "\n", HistoryHeaderLine());
  int a = 0, b = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    HistoryRecord record = Sample();
    record.result = std::wstring(500, L'r');
    record.entry = lines[i].find("Device 0: A") != std::string::npos ? L"Device 0: A" : L"Device 1: B";
    EXPECT_EQ(lines[i] + "\n", FormatHistoryLine(record)) << i;
    (record.entry == L"Device 0: A" ? a : b) += 1;
  }
  EXPECT_EQ(a, kRecords);
  EXPECT_EQ(b, kRecords);
}

// Another program holding the file locked must not hold up an update: the record is given up.
TEST(HistoryFileTest, ALockedHistoryIsGivenUpOn) {
  testing_support::ScratchDirectory scratch;
  const std::wstring path = scratch / L"history.csv";
  ASSERT_TRUE(AppendHistoryRecord(path, Sample()));
  HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  OVERLAPPED whole = {};
  ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
  EXPECT_FALSE(AppendHistoryRecord(path, Sample()));
  std::string text;
  EXPECT_FALSE(ReadHistory(path, text));
  UnlockFileEx(holder, 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(holder);
  ASSERT_TRUE(ReadHistory(path, text));
  EXPECT_EQ(text, HistoryHeaderLine() + FormatHistoryLine(Sample()));
}

// A new history begins with the UTF-8 byte-order mark, so a spreadsheet reads "Jürgen" right;
// readers leave it out, and it is written once, not with every record.
TEST(HistoryFileTest, ANewHistoryBeginsWithAByteOrderMarkThatReadersSkip) {
  testing_support::ScratchDirectory scratch;
  const std::wstring path = scratch / L"history.csv";
  HistoryRecord record = Sample();
  record.entry = L"Device 0: J\u00FCrgen's TW 3xx";
  ASSERT_TRUE(AppendHistoryRecord(path, record));
  ASSERT_TRUE(AppendHistoryRecord(path, record));
  const std::string bytes = testing_support::ReadFileBytes(path);
  const std::string body = HistoryHeaderLine() + FormatHistoryLine(record) + FormatHistoryLine(record);
  EXPECT_EQ(bytes, "\xEF\xBB\xBF" + body);
  std::string text;
  ASSERT_TRUE(ReadHistory(path, text));
  EXPECT_EQ(text, body);
}

// A field a spreadsheet would run as a formula gets an apostrophe in front; numbers and fields
// that merely hold such a character further in stay as they are.
TEST(HistoryRecordTest, FieldsThatLookLikeFormulasAreWrittenAsText) {
  const struct {
    const wchar_t* in;
    const char* out;
  } fields[] = {{L"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""}, {L"+1", "'+1"}, {L"-2", "'-2"},
                {L"@SUM(A1)", "'@SUM(A1)"}, {L"\tTW", "'\tTW"}, {L"\rTW", "\"'\rTW\""},
                {L"TW 3xx", "TW 3xx"}, {L"a=b", "a=b"}, {L"", ""}};
  for (const auto& field : fields) EXPECT_EQ(TextField(field.in), field.out) << field.out;

  HistoryRecord record = Sample();
  record.deviceType = L"=cmd|' /C calc'!A0";
  record.package = L"-update.kn";
  const std::string line = FormatHistoryLine(record);
  EXPECT_NE(line.find(",'-update.kn,'=cmd|' /C calc'!A0,367556721,"), std::string::npos) << line;
}

// A history an older updater began keeps its header (without serial, or without signer and
// serial) and every line in it; new records go below with their fuller lines, which a
// spreadsheet takes as extra cells of the same row.
TEST(HistoryFileTest, AHistoryAnOlderUpdaterBeganKeepsItsHeaderAndLines) {
  const std::string olderHeaders[] = {
      "started_utc,device,package,device_type,device_type_check,program_check,media_check,data_check,"
      "bootloader_check,result,duration_s,signer\r\n",
      "started_utc,device,package,device_type,device_type_check,program_check,media_check,data_check,"
      "bootloader_check,result,duration_s\r\n",
  };
  for (const std::string& header : olderHeaders) {
    testing_support::ScratchDirectory scratch;
    const std::wstring path = scratch / L"history.csv";
    const std::string older = header + "2026-01-02T03:04:05Z,Device 0: TW 3xx,C:\\p.kn,TW 3xx,1,2,3,4,,Updated successfully!,9.000\r\n";
    testing_support::WriteFileBytes(path, std::string(kUtf8ByteOrderMark) + older);
    HistoryRecord record = Sample();
    record.serial = L"TW3-000123";
    ASSERT_TRUE(AppendHistoryRecord(path, record));
    std::string text;
    ASSERT_TRUE(ReadHistory(path, text));
    EXPECT_EQ(text, older + FormatHistoryLine(record));
  }
}

// Half of it fits, then the disk is full.
BOOL WINAPI WriteHalfThenDiskFull(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, bytes, count / 2, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// A disk that fills up in the middle of a record: the file stays as it was, and the next record
// that can be written lands on a line of its own.
TEST(HistoryFileTest, ARecordThatCannotBeWrittenWholeLeavesTheFileAsItWas) {
  testing_support::ScratchDirectory scratch;
  const std::wstring path = scratch / L"history.csv";
  ASSERT_TRUE(AppendHistoryRecord(path, Sample()));
  const std::string before = testing_support::ReadFileBytes(path);

  SetHistoryWriteForTesting(&WriteHalfThenDiskFull);
  EXPECT_FALSE(AppendHistoryRecord(path, Sample()));
  SetHistoryWriteForTesting(nullptr);
  EXPECT_EQ(testing_support::ReadFileBytes(path), before);

  ASSERT_TRUE(AppendHistoryRecord(path, Sample()));
  EXPECT_EQ(testing_support::ReadFileBytes(path), before + FormatHistoryLine(Sample()));
}

TEST(HistoryFileTest, AHistoryThatCannotBeWrittenIsGivenUpOn) {
  testing_support::ScratchDirectory scratch;
  EXPECT_FALSE(AppendHistoryRecord(L"", Sample()));
  // A folder where the file should be.
  CreateDirectoryW((scratch / L"history.csv").c_str(), nullptr);
  EXPECT_FALSE(AppendHistoryRecord(scratch / L"history.csv", Sample()));
  EXPECT_NE(HistoryFilePath().find(L"\\QM_TWBootloader\\history.csv"), std::wstring::npos);
  EXPECT_EQ(UtcTimestamp().size(), 20u);
}

}  // namespace
