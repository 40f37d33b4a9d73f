#include "history/HistoryRecord.h"

#include <cstdio>

#include "text/Utf8.h"

namespace {

std::string Number(std::uint32_t value) { return std::to_string(value); }

std::string Seconds(std::uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03u", static_cast<unsigned long long>(milliseconds / 1000),
                static_cast<unsigned>(milliseconds % 1000));
  return text;
}

}  // namespace

std::string CsvField(const std::string& utf8) {
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string TextField(const std::wstring& text) {
  // A spreadsheet runs a cell that starts with one of these as a formula; an apostrophe in
  // front makes it text again, and the spreadsheet does not show it.
  const bool formulaLike = !text.empty() && std::wstring(L"=+-@\t\r").find(text[0]) != std::wstring::npos;
  return CsvField((formulaLike ? "'" : "") + ToUtf8(text));
}

std::vector<std::string> HistoryColumns() {
  return {"started_utc", "device",     "package", "device_type", "device_type_check", "program_check", "media_check",
          "data_check",  "bootloader_check", "result", "duration_s", "signer", "serial"};
}

std::vector<std::string> HistoryFields(const HistoryRecord& record, std::string (*textField)(const std::wstring&)) {
  return {
      textField(record.startedUtc),
      textField(record.entry),
      textField(record.package),
      textField(record.deviceType),
      Number(record.deviceTypeCheck),
      Number(record.programCheck),
      Number(record.mediaCheck),
      Number(record.dataCheck),
      record.withBootloader ? Number(record.bootloaderCheck) : std::string(),
      textField(record.result),
      Seconds(record.durationMs),
      textField(record.signer),
      textField(record.serial),
  };
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : ",") + fields[i];
  return line + "\r\n";
}

std::string HistoryHeaderLine() { return CsvLine(HistoryColumns()); }

std::string FormatHistoryLine(const HistoryRecord& record) { return CsvLine(HistoryFields(record, &TextField)); }
