// central-records.txt: the one ODBC connection string that names the department's database.
// Lines starting with '#' (after blanks) are comments, blank lines are skipped, spaces and
// tabs around a line are dropped, CR LF line ends and a UTF-8 byte-order mark are fine. Plain
// logic.
#pragma once

#include <string>

enum class CentralRecordsState {
  kOff,            // no file: the history is the only record, as always
  kConnection,     // one connection string
  kNoConnection,   // a file that names none, several, or cannot be read: records are kept and
                   // wait, and the reason is told; a slip in the file never drops them
};

struct CentralRecordsSetting {
  CentralRecordsState state = CentralRecordsState::kOff;
  std::wstring connectionString;  // for kConnection
  std::wstring problem;           // for kNoConnection: what is wrong with the file
};

// The setting a file's bytes give (the file exists).
CentralRecordsSetting ParseCentralRecordsText(const std::string& bytes);
