#include "records/CentralRecordsText.h"

#include <vector>

#include "history/HistoryRecord.h"

namespace {

std::string Trimmed(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

CentralRecordsSetting NoConnection(const wchar_t* problem) {
  CentralRecordsSetting setting;
  setting.state = CentralRecordsState::kNoConnection;
  setting.problem = problem;
  return setting;
}

}  // namespace

CentralRecordsSetting ParseCentralRecordsText(const std::string& bytes) {
  std::string text = bytes;
  if (text.rfind(kUtf8ByteOrderMark, 0) == 0) text.erase(0, sizeof kUtf8ByteOrderMark - 1);
  std::vector<std::string> values;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trimmed(text.substr(start, end - start));
    if (!line.empty() && line[0] != '#') values.push_back(line);
    start = end + 1;
  }
  if (values.empty()) return NoConnection(L"central-records.txt names no ODBC connection string.");
  if (values.size() > 1) return NoConnection(L"central-records.txt names more than one ODBC connection string.");
  CentralRecordsSetting setting;
  setting.state = CentralRecordsState::kConnection;
  setting.connectionString = FromUtf8(values[0]);
  return setting;
}
