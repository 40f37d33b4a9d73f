#include "tools/knupdate/ConsoleOutput.h"

#include <cstdio>

#include "history/HistoryRecord.h"
#include "text/PrintableText.h"
#include "text/WidenBytes.h"

namespace {

constexpr int kBarWidth = 40;

bool IsConsole(HANDLE stream) {
  DWORD mode = 0;
  return GetConsoleMode(stream, &mode) != FALSE;
}

}  // namespace

ConsoleOutput::ConsoleOutput()
    : m_out(GetStdHandle(STD_OUTPUT_HANDLE)),
      m_err(GetStdHandle(STD_ERROR_HANDLE)),
      m_outIsConsole(IsConsole(m_out)),
      m_errIsConsole(IsConsole(m_err)) {}

void ConsoleOutput::Write(HANDLE stream, bool console, const std::wstring& text) {
  DWORD written = 0;
  if (console) {
    // The console shows UTF-16 as it is, whatever its code page.
    WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    const std::string bytes = ToUtf8(text);
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

void ConsoleOutput::FinishBar() {
  if (!m_barOpen) return;
  Write(m_out, m_outIsConsole, L"\r\n");
  m_barOpen = false;
}

void ConsoleOutput::Line(const std::wstring& text) { Row({text}); }

void ConsoleOutput::Error(const std::wstring& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  FinishBar();
  Write(m_err, m_errIsConsole, EscapeControlCharacters(text) + L"\r\n");
}

void ConsoleOutput::Row(const std::vector<std::wstring>& fields) {
  std::wstring row;
  for (std::size_t i = 0; i < fields.size(); ++i) row += (i == 0 ? L"" : L"\t") + EscapeControlCharacters(fields[i]);
  std::lock_guard<std::mutex> lock(m_mutex);
  FinishBar();
  Write(m_out, m_outIsConsole, row + L"\r\n");
}

void ConsoleOutput::Lines(const std::wstring& text) {
  for (const std::wstring& line : OwnTextLines(text)) Line(line);
}

void ConsoleOutput::Errors(const std::wstring& text) {
  for (const std::wstring& line : OwnTextLines(text)) Error(line);
}

std::wstring ConsoleOutput::ReadLine() {
  std::wstring line;
  ReadLine(line);
  return line;
}

bool ConsoleOutput::ReadLine(std::wstring& line) { return ReadInputLine(line, false); }

bool ConsoleOutput::ReadLineThroughInterrupts(std::wstring& line) { return ReadInputLine(line, true); }

bool ConsoleOutput::ReadInputLine(std::wstring& line, bool throughInterrupts) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const bool console = IsConsole(input);
  std::string bytes;
  bool ended = false;
  for (;;) {
    char c = 0;
    DWORD read = 0;
    const bool ok = ReadFile(input, &c, 1, &read, nullptr) != FALSE;
    // Windows ends a console read that Ctrl+C interrupts with nothing read, or with
    // ERROR_OPERATION_ABORTED; a pipe or a file reads nothing only at its end.
    if (throughInterrupts && console && (ok ? read == 0 : GetLastError() == ERROR_OPERATION_ABORTED)) continue;
    if (!ok || read == 0) {
      ended = true;
      break;
    }
    if (c == '\n') break;
    if (c != '\r') bytes.push_back(c);
  }
  line = WidenBytes(bytes);
  return !ended || !bytes.empty();
}

void ConsoleOutput::BeginProgress(unsigned units) {
  std::lock_guard<std::mutex> lock(m_mutex);
  FinishBar();
  m_units = units == 0 ? 65536 : units;  // the library's 16-bit count: 0 stands for 65536
  m_shownPercent = -1;
}

void ConsoleOutput::Progress(unsigned position) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_units == 0) return;
  const int percent = static_cast<int>((static_cast<unsigned long long>(position) + 1) * 100 / m_units);
  if (m_outIsConsole) {
    if (percent == m_shownPercent) return;
    m_shownPercent = percent;
    const int filled = percent * kBarWidth / 100;
    wchar_t bar[80];
    std::swprintf(bar, 80, L"\r  [%-*.*ls] %3d%%", kBarWidth, filled,
                  L"########################################", percent);
    Write(m_out, true, bar);
    m_barOpen = true;
    return;
  }
  // A file or a pipe gets a line for each tenth done.
  const int tenth = percent / 10 * 10;
  if (tenth <= m_shownPercent || tenth == 0) return;
  m_shownPercent = tenth;
  wchar_t line[16];
  std::swprintf(line, 16, L"  %d%%\r\n", tenth);
  Write(m_out, false, line);
}

void ConsoleOutput::EndProgress() {
  std::lock_guard<std::mutex> lock(m_mutex);
  FinishBar();
  m_units = 0;
}
