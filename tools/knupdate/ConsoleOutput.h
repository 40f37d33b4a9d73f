// What the console updater prints: whole lines of UTF-16 text, and the progress of a write or
// verify pass, as a bar redrawn in place on a terminal or as plain percentage lines when the
// output goes to a file or a pipe. Lines may come from the Ctrl+C handler's thread too.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class ConsoleOutput {
 public:
  ConsoleOutput();

  // One line: control characters in it are printed escaped (a device's or a package's text
  // never breaks a line or steers a terminal).
  void Line(const std::wstring& text);
  void Error(const std::wstring& text);
  // One line of fields separated by tabs, each field escaped as Line does.
  void Row(const std::vector<std::wstring>& fields);
  // One of the program's own texts that spans several lines, each printed as Line does.
  void Lines(const std::wstring& text);
  void Errors(const std::wstring& text);
  // Reads one line typed by the user; empty at the end of input.
  std::wstring ReadLine();
  // The same; false at the end of input.
  bool ReadLine(std::wstring& line);
  // The same, for a reader that waits all along: a Ctrl+C on a console cuts the read short
  // with nothing read, which is not the end of its input.
  bool ReadLineThroughInterrupts(std::wstring& line);

  // A pass of units progress steps (positions 0 .. units - 1) begins, goes on, ends.
  void BeginProgress(unsigned units);
  void Progress(unsigned position);
  void EndProgress();

 private:
  void Write(HANDLE stream, bool console, const std::wstring& text);
  void FinishBar();  // the bar's line ends before any other line is printed
  bool ReadInputLine(std::wstring& line, bool throughInterrupts);

  std::mutex m_mutex;
  HANDLE m_out, m_err;
  bool m_outIsConsole, m_errIsConsole;
  unsigned m_units = 0;
  int m_shownPercent = -1;
  bool m_barOpen = false;
};
