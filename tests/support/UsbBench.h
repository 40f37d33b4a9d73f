// Benches for the tests of the USB layer and of the bench's USBIO driver simulation: a
// temporary bench whose driver simulation is installed as the USB layer's port, behind a
// recorder that notes the calls the layer makes through the port.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bench/TemporaryBench.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "usbio/UsbIoPipe.h"
#include "usbio/UsbSystemPort.h"

namespace usbtest {

// Forwards every call to another port and notes what the USB layer asked for.
class RecordingPort : public UsbSystemPort {
 public:
  explicit RecordingPort(UsbSystemPort& inner) : inner_(inner) {}

  std::vector<std::wstring> openedPaths;  // CreateFileW, in order
  std::vector<DWORD> requestCodes;        // DeviceIoControl, in order
  int closes = 0;
  int overlappedResults = 0;
  int libraryLoads = 0;
  int libraryFrees = 0;
  void Clear();

  HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flags, HANDLE templateFile) override;
  BOOL CloseHandle(HANDLE handle) override;
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                       LPDWORD returned, LPOVERLAPPED overlapped) override;
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) override;
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) override;
  BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) override;
  BOOL CancelIo(HANDLE file) override;
  HMODULE LoadLibraryW(LPCWSTR name) override;
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override;
  BOOL FreeLibrary(HMODULE module) override;

 private:
  UsbSystemPort& inner_;
};

// The protected handle of a device or pipe object, so tests can tell a reopen.
template <typename Base>
class Inspectable : public Base {
 public:
  HANDLE Handle() const { return this->m_hDevice; }
};
using TestDevice = Inspectable<CUsbIo>;
using TestPipe = Inspectable<CUsbIoPipe>;

// A device list closed at the end of its scope.
class ScopedDeviceList {
 public:
  ScopedDeviceList() : list_(CUsbIo::OpenDeviceList(&kUsbIoInterfaceGuid)) {}
  ~ScopedDeviceList() { CUsbIo::CloseDeviceList(list_); }
  ScopedDeviceList(const ScopedDeviceList&) = delete;
  ScopedDeviceList& operator=(const ScopedDeviceList&) = delete;
  HDEVINFO get() const { return list_; }

 private:
  HDEVINFO list_;
};

// Application-mode instrument on the bus since long ago, at bus address 1.
sim::Instrument ApplicationInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model);

// The test's bench with the simulation installed for the test's duration. The Setup API
// binding is process-wide, so it is released on both ends of every test.
class UsbBenchTest : public ::testing::Test {
 protected:
  UsbBenchTest();
  void SetUp() override;
  void TearDown() override;

  sim::Bench& bench() { return temp_.bench(); }
  void Add(const sim::Instrument& instrument) { ASSERT_TRUE(bench().Save(instrument)); }
  void SetInstrumentKey(const std::wstring& id, const std::wstring& key, const std::wstring& value);
  void SetRequestsPending(bool pending);
  void SetSetupApi(const wchar_t* state);

  // Binds the pipes of device number `number` (by device name) to 0x81 and 0x02.
  void BindPipes(int number, CUsbIoPipe& readPipe, CUsbIoPipe& writePipe);

  std::vector<std::string> TraceLines();

  sim::TemporaryBench temp_;
  sim::UsbDriverSimulation simulation_;
  RecordingPort port_;
};

constexpr std::uint8_t kInEndpoint = 0x81;
constexpr std::uint8_t kOutEndpoint = 0x02;


}  // namespace usbtest
