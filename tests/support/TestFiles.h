// Files and directories for tests: a fresh directory per test under the temporary
// directory, removed again with everything in it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace testing_support {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Ends in a backslash.
  const std::wstring& Path() const { return m_path; }
  std::wstring operator/(const std::wstring& name) const { return m_path + name; }

 private:
  std::wstring m_path;
};

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);     // a file, not a directory
bool DirectoryExists(const std::wstring& path);
DWORD FileAttributes(const std::wstring& path);  // INVALID_FILE_ATTRIBUTES when missing

// Bytes that differ from one seed to the next and from one position to the next: images
// whose every byte counts when they are compared.
std::string PatternBytes(std::size_t length, std::uint32_t seed);

// A console program run to its end: its exit code and what it wrote to its standard output
// and standard error (in one stream, in order), CR LF folded to LF.
struct ProgramRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};
// commandLine names the program and its arguments; input is what it reads from its standard
// input (then the end of it).
ProgramRun RunProgram(const std::wstring& commandLine, const std::string& input = std::string());

// A console program that runs while the test goes on: its output is read as it comes, and
// what it reads is typed as the test goes.
class RunningProgram {
 public:
  explicit RunningProgram(const std::wstring& commandLine);
  ~RunningProgram();  // ends the program if it still runs
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool started() const { return m_process != nullptr; }
  // The output so far, CR LF folded to LF.
  std::string Output();
  // Waits until the output holds text `count` times; false after timeoutMs.
  bool WaitForOutput(const std::string& text, DWORD timeoutMs, std::size_t count = 1);
  // Text for its standard input, and its end.
  bool Type(const std::string& text);
  void CloseInput();
  // Waits for its end: its exit code, or 0xFFFFFFFF after timeoutMs.
  DWORD WaitForExit(DWORD timeoutMs);

 private:
  void Drain();
  HANDLE m_process = nullptr;
  HANDLE m_outRead = nullptr, m_inWrite = nullptr;
  std::string m_output;
};

// The value of a "--name=value" command-line argument of the test binary, or empty.
std::wstring CommandLineOption(const std::wstring& name);

}  // namespace testing_support
