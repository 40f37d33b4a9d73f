#include "tests/support/TestFiles.h"

#include "platform/FileTree.h"

#include <shellapi.h>

#include <atomic>
#include <cstdio>

namespace testing_support {

ScratchDirectory::ScratchDirectory() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + L"kn-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L"\\";
  RemoveTree(m_path);
  CreateDirectoryW(m_path.c_str(), nullptr);
}

ScratchDirectory::~ScratchDirectory() { RemoveTree(m_path); }

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  char chunk[65536];
  std::size_t read;
  while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, read);
  std::fclose(file);
  return bytes;
}

DWORD FileAttributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool FileExists(const std::wstring& path) {
  const DWORD attributes = FileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = FileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CommandLineOption(const std::wstring& name) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring value;
  const std::wstring prefix = L"--" + name + L"=";
  for (int i = 1; arguments != nullptr && i < count; ++i) {
    const std::wstring argument = arguments[i];
    if (argument.compare(0, prefix.size(), prefix) == 0) value = argument.substr(prefix.size());
  }
  LocalFree(arguments);
  return value;
}

std::string PatternBytes(std::size_t length, std::uint32_t seed) {
  std::string bytes(length, '\0');
  std::uint32_t state = seed * 2654435761u + 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345;
    byte = static_cast<char>(state >> 23);
  }
  return bytes;
}

RunningProgram::RunningProgram(const std::wstring& commandLine) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outWrite = nullptr, inRead = nullptr;
  if (!CreatePipe(&m_outRead, &outWrite, &inherit, 0)) return;
  if (!CreatePipe(&inRead, &m_inWrite, &inherit, 0)) {
    CloseHandle(outWrite);
    return;
  }
  SetHandleInformation(m_outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(m_inWrite, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = outWrite;
  startup.hStdError = outWrite;
  startup.hStdInput = inRead;
  std::wstring line = commandLine;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    m_process = process.hProcess;
    CloseHandle(process.hThread);
  }
  CloseHandle(outWrite);
  CloseHandle(inRead);
}

RunningProgram::~RunningProgram() {
  if (m_process != nullptr) {
    if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) TerminateProcess(m_process, 1);
    CloseHandle(m_process);
  }
  if (m_outRead != nullptr) CloseHandle(m_outRead);
  if (m_inWrite != nullptr) CloseHandle(m_inWrite);
}

// Reads what the program has written so far. Until the program has ended, not until the pipe's
// end: a process the program started (Wine's own services, when the program was the first of a
// new Wine session) may hold its output open for much longer.
void RunningProgram::Drain() {
  char chunk[4096];
  DWORD available = 0, read = 0;
  while (PeekNamedPipe(m_outRead, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
         ReadFile(m_outRead, chunk, available < sizeof chunk ? available : sizeof chunk, &read, nullptr) && read > 0) {
    m_output.append(chunk, read);
  }
  for (std::size_t at; (at = m_output.find("\r\n")) != std::string::npos;) m_output.erase(at, 1);
}

std::string RunningProgram::Output() {
  Drain();
  return m_output;
}

bool RunningProgram::WaitForOutput(const std::string& text, DWORD timeoutMs, std::size_t count) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    Drain();
    std::size_t found = 0;
    for (std::size_t at = m_output.find(text); at != std::string::npos; at = m_output.find(text, at + 1)) ++found;
    if (found >= count) return true;
    if (GetTickCount64() >= end || m_process == nullptr || WaitForSingleObject(m_process, 20) == WAIT_OBJECT_0) {
      Drain();
      return false;
    }
  }
}

bool RunningProgram::Type(const std::string& text) {
  DWORD written = 0;
  return m_inWrite != nullptr && WriteFile(m_inWrite, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

DWORD RunningProgram::WaitForExit(DWORD timeoutMs) {
  if (m_process == nullptr) return 0xFFFFFFFF;
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (WaitForSingleObject(m_process, 20) == WAIT_TIMEOUT) {
    Drain();
    if (GetTickCount64() >= end) return 0xFFFFFFFF;
  }
  Drain();
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(m_process, &code);
  return code;
}

void RunningProgram::CloseInput() {
  if (m_inWrite != nullptr) CloseHandle(m_inWrite);
  m_inWrite = nullptr;
}

ProgramRun RunProgram(const std::wstring& commandLine, const std::string& input) {
  ProgramRun run;
  RunningProgram program(commandLine);
  if (!program.started()) return run;
  // The input is small: it fits the pipe.
  if (!input.empty()) program.Type(input);
  program.CloseInput();
  run.exitCode = program.WaitForExit(INFINITE);
  run.output = program.Output();
  return run;
}

}  // namespace testing_support
