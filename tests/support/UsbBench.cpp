#include "tests/support/UsbBench.h"

#include <sstream>

#include "usbio/DeviceSetupLibrary.h"

namespace usbtest {

HANDLE RecordingPort::CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
  openedPaths.push_back(path != nullptr ? path : L"");
  return inner_.CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

BOOL RecordingPort::CloseHandle(HANDLE handle) {
  ++closes;
  return inner_.CloseHandle(handle);
}

BOOL RecordingPort::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                    LPDWORD returned, LPOVERLAPPED overlapped) {
  requestCodes.push_back(code);
  return inner_.DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL RecordingPort::ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  return inner_.ReadFile(file, buffer, size, read, overlapped);
}

BOOL RecordingPort::WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  return inner_.WriteFile(file, buffer, size, written, overlapped);
}

BOOL RecordingPort::GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
  ++overlappedResults;
  return inner_.GetOverlappedResult(file, overlapped, transferred, wait);
}

BOOL RecordingPort::CancelIo(HANDLE file) { return inner_.CancelIo(file); }

void RecordingPort::Clear() {
  openedPaths.clear();
  requestCodes.clear();
  closes = overlappedResults = libraryLoads = libraryFrees = 0;
}

HMODULE RecordingPort::LoadLibraryW(LPCWSTR name) {
  ++libraryLoads;
  return inner_.LoadLibraryW(name);
}

FARPROC RecordingPort::GetProcAddress(HMODULE module, LPCSTR name) { return inner_.GetProcAddress(module, name); }

BOOL RecordingPort::FreeLibrary(HMODULE module) {
  ++libraryFrees;
  return inner_.FreeLibrary(module);
}

sim::Instrument ApplicationInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model) {
  sim::Instrument instrument = sim::MakeInstrument(id, product, model, sim::Mode::kApplication);
  instrument.mode_changed_at = 0;
  instrument.reenumeration_ms = 1500;
  instrument.bus_address = 1;
  return instrument;
}

UsbBenchTest::UsbBenchTest() : simulation_(temp_.bench()), port_(simulation_) {}

void UsbBenchTest::SetUp() {
  ASSERT_TRUE(temp_.created());
  InstallUsbSystemPort(&port_);
  DeviceSetupLibrary().Release();
  port_.Clear();
}

void UsbBenchTest::TearDown() {
  DeviceSetupLibrary().Release();
  InstallUsbSystemPort(nullptr);
}

void UsbBenchTest::SetInstrumentKey(const std::wstring& id, const std::wstring& key, const std::wstring& value) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::InstrumentSection(id), key, value));
}

void UsbBenchTest::SetRequestsPending(bool pending) {
  ASSERT_TRUE(bench().WriteInt(sim::Bench::kBenchSection, L"usbRequestsPending", pending ? 1 : 0));
}

void UsbBenchTest::SetSetupApi(const wchar_t* state) {
  ASSERT_TRUE(bench().WriteString(sim::Bench::kBenchSection, L"setupApi", state));
}

void UsbBenchTest::BindPipes(int number, CUsbIoPipe& readPipe, CUsbIoPipe& writePipe) {
  ASSERT_EQ(0u, readPipe.Bind(number, kInEndpoint, nullptr, &kUsbIoInterfaceGuid, true));
  ASSERT_EQ(0u, writePipe.Bind(number, kOutEndpoint, nullptr, &kUsbIoInterfaceGuid, true));
}

std::vector<std::string> UsbBenchTest::TraceLines() {
  std::vector<std::string> lines;
  HANDLE file = ::CreateFileW(bench().TracePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
  ::CloseHandle(file);
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}


}  // namespace usbtest
