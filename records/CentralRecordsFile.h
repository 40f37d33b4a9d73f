// Where the department's database is named and where records wait for it, on a workstation:
// central-records.txt beside the program, outbox.csv beside the user's history.
#pragma once

#include <string>

#include "records/CentralRecordsText.h"

constexpr wchar_t kCentralRecordsFileName[] = L"central-records.txt";
constexpr wchar_t kOutboxFileName[] = L"outbox.csv";

// The file beside the running program (empty without the program's folder).
std::wstring CentralRecordsFileBesideProgram();
// The setting of the file at path: kOff when there is none. At most 64 KiB is read; a larger
// one, or one that cannot be read, names no connection.
CentralRecordsSetting ReadCentralRecordsFile(const std::wstring& path);

// The outbox beside a history file (empty for an empty path).
std::wstring OutboxBesideHistory(const std::wstring& historyPath);
