// One line of the update history: which firmware went into which instrument, when, and how it
// ended, as a service lab hands it to an auditor. CSV after RFC 4180 in UTF-8: a field holding a
// comma, a quote or a line break is quoted, its quotes doubled; lines end in CR LF. Plain logic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/Utf8.h"

struct HistoryRecord {
  std::wstring startedUtc;  // ISO 8601, "2026-12-10T15:04:05Z"
  std::wstring entry;       // the device list's entry, without its line feed
  std::wstring package;     // the package's full path
  std::wstring deviceType;  // manifest line 1
  std::uint32_t deviceTypeCheck = 0, programCheck = 0, mediaCheck = 0, dataCheck = 0, bootloaderCheck = 0;
  bool withBootloader = false;  // without, the bootloader's check value stays empty
  std::wstring result;          // the text the update ended with; empty for the silent end
  std::uint64_t durationMs = 0;
  std::wstring signer;  // the trusted maker who signed the package; empty when unsigned
  std::wstring serial;  // the instrument's USB serial number; empty from a loader entry or when it names none
};

std::string HistoryHeaderLine();
std::string FormatHistoryLine(const HistoryRecord& record);

// The history's column names, in order, as its header gives them.
std::vector<std::string> HistoryColumns();
// A record's fields in that order, each text field written by textField: the history's own
// file defends against spreadsheet formulas (TextField); a copy bound elsewhere may keep the
// text as it is.
std::vector<std::string> HistoryFields(const HistoryRecord& record, std::string (*textField)(const std::wstring&));
// Fields joined into one CSV line, CR LF at its end.
std::string CsvLine(const std::vector<std::string>& fields);

// A field as RFC 4180 writes it.
std::string CsvField(const std::string& utf8);
// A text field of a record: UTF-8, quoted where it must be, and with an apostrophe in front when
// it begins like a spreadsheet formula (=, +, -, @, a tab or a carriage return), so a device
// type or a file name is never run as one.
std::string TextField(const std::wstring& text);

// Begins a new history file, so spreadsheet programs take its text as UTF-8.
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
