// The bench's stand-in for the USBIO kernel driver and its devices, installed as the USB
// layer's system port. It answers the Setup API for the USBIO interface class with the
// bench's application-mode instruments, opens them by interface path or by
// "\\.\USBIO_Device<n>", serves the driver requests with the driver's records, and moves
// frames over bound bulk pipes to the instruments' side (InstrumentProtocol). Overlapped
// transfers complete by setting the caller's real event; CancelIo ends a pending one.
// Every frame in both directions goes to the bench's trace as hex.
//
// Bench keys it reads (sim/README.md): [bench] setupApi = present | missing | incomplete;
// per instrument usbEndpoints, usbProductUnreadable, usbFault.<request>, and the protocol's.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/bench/Bench.h"
#include "usbio/UsbIo.h"
#include "usbio/UsbSystemPort.h"

namespace sim {

// The USBIO interface class (the USB layer's own).
extern const GUID& kUsbIoInterfaceGuid;

class UsbDriverSimulation : public UsbSystemPort {
 public:
  explicit UsbDriverSimulation(Bench bench);
  ~UsbDriverSimulation() override;

  // The platform's interface path of an instrument.
  static std::wstring DevicePathOf(const std::wstring& id);

  // For tests: the next read on instrument id's IN pipe delivers these bytes as they are
  // (ahead of anything its protocol queued).
  void ScriptReply(const std::wstring& id, std::vector<std::uint8_t> bytes, bool duringCancel = false);
  // For tests: writes come back as the next read's data instead of reaching the protocol.
  void SetEcho(const std::wstring& id, bool echo);

  Bench& bench() { return bench_; }

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

  // The Setup API over the bench (reached through GetProcAddress).
  HDEVINFO GetClassDevs(const GUID* guid);
  BOOL DestroyDeviceInfoList(HDEVINFO list);
  BOOL EnumDeviceInterfaces(HDEVINFO list, const GUID* guid, DWORD index, SP_DEVICE_INTERFACE_DATA* data);
  BOOL GetDeviceInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* data, SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                DWORD size, DWORD* required);

 private:
  struct PendingRead {
    OVERLAPPED* overlapped;
    std::uint8_t* buffer;
    DWORD size;
  };
  struct QueuedReply {
    std::vector<std::uint8_t> bytes;
    bool duringCancel;  // delivered only when the waiting read is cancelled
    bool thenSwitchToDfu = false;  // the instrument restarts into its loader once this is read
  };
  struct DeviceHandle {
    std::wstring id;
    int endpoint = -1;  // bound endpoint address, -1 while unbound
    std::vector<PendingRead> pendingReads;
    std::vector<OVERLAPPED*> pendingWrites;
  };
  struct InstrumentLink {
    std::deque<QueuedReply> replies;
    bool echo = false;
  };

  DeviceHandle* FindHandle(HANDLE handle);
  bool IsPresent(const std::wstring& id) const;
  std::vector<std::wstring> PresentInstruments() const;
  DWORD Request(DeviceHandle& device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                DWORD* returned);
  void Deliver(const std::wstring& id);
  // Ends an overlapped request: its event set, its result ready for GetOverlappedResult.
  void Complete(OVERLAPPED* overlapped, DWORD error, DWORD bytes);
  // Hands a queued reply to a read; an instrument whose last answer this was restarts.
  DWORD TakeReply(DeviceHandle& device, std::uint8_t* buffer, DWORD size);
  void Trace(const char* direction, const DeviceHandle& device, const std::uint8_t* bytes, std::size_t size);

  Bench bench_;
  std::recursive_mutex mutex_;
  std::map<HANDLE, std::unique_ptr<DeviceHandle>> handles_;
  std::map<std::wstring, InstrumentLink> links_;
  std::map<HDEVINFO, std::vector<std::wstring>> lists_;
  std::map<const OVERLAPPED*, DWORD> failures_;  // the error code of each failed completion
  std::uintptr_t nextHandle_ = 0x7E000010;
};

// Bytes as the trace writes them: "01 09 03 FF".
std::string HexBytes(const std::uint8_t* bytes, std::size_t size);

// Installs a simulation over the bench named by KN_BENCH as the USB layer's port, for the
// bench build of the program. Returns false (and installs nothing) without a bench.
bool InstallBenchUsbDriver();

}  // namespace sim
