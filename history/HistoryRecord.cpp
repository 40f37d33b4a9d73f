#include "history/HistoryRecord.h"

#include <cstdio>

namespace {

void AppendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Number(std::uint32_t value) { return std::to_string(value); }

std::string Seconds(std::uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03u", static_cast<unsigned long long>(milliseconds / 1000),
                static_cast<unsigned>(milliseconds % 1000));
  return text;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t unit = static_cast<std::uint32_t>(text[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    AppendCodePoint(out, unit);
  }
  return out;
}

std::wstring FromUtf8(const std::string& bytes) {
  std::wstring text;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    std::uint32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length > 0 && i + length <= bytes.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      text.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      text.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      text.push_back(static_cast<wchar_t>(cp));
    }
    i += static_cast<std::size_t>(length);
  }
  return text;
}

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

std::string HistoryHeaderLine() {
  return "started_utc,device,package,device_type,device_type_check,program_check,media_check,data_check,"
         "bootloader_check,result,duration_s,signer,serial\r\n";
}

std::string FormatHistoryLine(const HistoryRecord& record) {
  const std::string fields[] = {
      TextField(record.startedUtc),
      TextField(record.entry),
      TextField(record.package),
      TextField(record.deviceType),
      Number(record.deviceTypeCheck),
      Number(record.programCheck),
      Number(record.mediaCheck),
      Number(record.dataCheck),
      record.withBootloader ? Number(record.bootloaderCheck) : std::string(),
      TextField(record.result),
      Seconds(record.durationMs),
      TextField(record.signer),
      TextField(record.serial),
  };
  std::string line = fields[0];
  for (std::size_t i = 1; i < sizeof fields / sizeof fields[0]; ++i) line += "," + fields[i];
  return line + "\r\n";
}
