#include "sim/usb/UsbDriverSimulation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "sim/usb/InstrumentProtocol.h"
#include "usbio/UsbIoRecords.h"

namespace sim {

const GUID& kUsbIoInterfaceGuid = ::kUsbIoInterfaceGuid;

namespace {

// OVERLAPPED.Internal as Windows keeps it: STATUS_PENDING while in progress, 0 when done, a
// failure status otherwise. The error code of a failure is kept apart (failures_): Internal
// is pointer-sized, so only 32 bits in a 32-bit program, and every code needs all of them.
constexpr ULONG_PTR kPending = 0x103;
constexpr ULONG_PTR kFailed = 0xC0000001;  // STATUS_UNSUCCESSFUL

// The cbSize the Setup API accepts in its records, as Windows checks it: the records are
// packed to 1 byte on 32-bit Windows and to 8 on 64-bit Windows.
#ifdef _WIN64
constexpr DWORD kInterfaceDataSize = 32, kInterfaceDetailDataSize = 8;
#else
constexpr DWORD kInterfaceDataSize = 28, kInterfaceDetailDataSize = 6;
#endif

const HMODULE kSetupApiModule = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x5E7A0000));
constexpr wchar_t kDeviceNamePrefix[] = L"\\\\.\\USBIO_Device";
constexpr std::uint16_t kVendorId = 0xF055;

UsbDriverSimulation* g_active = nullptr;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

struct Endpoint {
  std::uint32_t type;
  std::uint8_t address;
};

// "bulk:81,bulk:02,interrupt:83": pipe type and endpoint address (hex) of each pipe.
std::vector<Endpoint> ParseEndpoints(const std::wstring& text) {
  std::vector<Endpoint> endpoints;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L',', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring item = text.substr(start, end - start);
    const std::size_t colon = item.find(L':');
    if (colon != std::wstring::npos) {
      const std::wstring kind = item.substr(0, colon);
      const std::uint32_t type = kind == L"bulk" ? 2 : kind == L"interrupt" ? 3 : kind == L"isochronous" ? 1 : 0;
      endpoints.push_back({type, static_cast<std::uint8_t>(std::wcstoul(item.c_str() + colon + 1, nullptr, 16))});
    }
    start = end + 1;
  }
  return endpoints;
}

std::vector<std::uint8_t> StringDescriptor(const std::wstring& text) {
  const std::size_t units = std::min<std::size_t>(text.size(), 126);
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(2 + 2 * units), kUsbDescriptorString};
  for (std::size_t i = 0; i < units; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(text[i]));
    bytes.push_back(static_cast<std::uint8_t>(text[i] >> 8));
  }
  return bytes;
}

std::vector<std::uint8_t> DeviceDescriptor(const Instrument& instrument) {
  const auto model = static_cast<std::uint16_t>(instrument.model);
  return {18, kUsbDescriptorDevice, 0x00, 0x02, 0x00, 0x00, 0x00, 64,
          static_cast<std::uint8_t>(kVendorId), static_cast<std::uint8_t>(kVendorId >> 8),
          static_cast<std::uint8_t>(model), static_cast<std::uint8_t>(model >> 8), 0x00, 0x01,
          1, 2, static_cast<std::uint8_t>(instrument.serial.empty() ? 0 : 3),
          1};  // iManufacturer, iProduct, iSerialNumber (none without a serial), one configuration
}

// The Setup API's entry points, reached by the program through GetProcAddress.
// The process-wide Setup API binding may outlive the simulation it was bound through: with
// none alive the entry points fail instead of reaching a destroyed one.
HDEVINFO WINAPI SimGetClassDevs(const GUID* guid, PCWSTR, HWND, DWORD) {
  if (g_active == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  return g_active->GetClassDevs(guid);
}
BOOL WINAPI SimDestroyDeviceInfoList(HDEVINFO list) {
  return g_active != nullptr ? g_active->DestroyDeviceInfoList(list) : Fail(ERROR_INVALID_HANDLE);
}
BOOL WINAPI SimEnumDeviceInterfaces(HDEVINFO list, PSP_DEVINFO_DATA, const GUID* guid, DWORD index,
                                    PSP_DEVICE_INTERFACE_DATA data) {
  return g_active != nullptr ? g_active->EnumDeviceInterfaces(list, guid, index, data) : Fail(ERROR_INVALID_HANDLE);
}
BOOL WINAPI SimGetDeviceInterfaceDetail(HDEVINFO list, PSP_DEVICE_INTERFACE_DATA data,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD required,
                                        PSP_DEVINFO_DATA) {
  return g_active != nullptr ? g_active->GetDeviceInterfaceDetail(list, data, detail, size, required)
                             : Fail(ERROR_INVALID_HANDLE);
}

}  // namespace

UsbDriverSimulation::UsbDriverSimulation(Bench bench) : bench_(std::move(bench)) { g_active = this; }

UsbDriverSimulation::~UsbDriverSimulation() {
  if (g_active == this) g_active = nullptr;
}

std::wstring UsbDriverSimulation::DevicePathOf(const std::wstring& id) {
  return L"\\\\?\\usb#vid_f055&pid_0001#" + id + L"#{325ddf96-938c-11d3-9e34-0080c82727f4}";
}

void UsbDriverSimulation::ScriptReply(const std::wstring& id, std::vector<std::uint8_t> bytes, bool duringCancel) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  links_[id].replies.push_front({std::move(bytes), duringCancel});
  Deliver(id);
}

void UsbDriverSimulation::SetEcho(const std::wstring& id, bool echo) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  links_[id].echo = echo;
}

bool UsbDriverSimulation::IsPresent(const std::wstring& id) const {
  Instrument instrument;
  return bench_.Load(id, &instrument) && VisibleMode(instrument, bench_.ClockMs()) == Mode::kApplication;
}

std::vector<std::wstring> UsbDriverSimulation::PresentInstruments() const {
  std::vector<std::wstring> present;
  for (const std::wstring& id : bench_.InstrumentIds()) {
    if (IsPresent(id)) present.push_back(id);
  }
  return present;
}

UsbDriverSimulation::DeviceHandle* UsbDriverSimulation::FindHandle(HANDLE handle) {
  const auto found = handles_.find(handle);
  return found == handles_.end() ? nullptr : found->second.get();
}

void UsbDriverSimulation::Trace(const char* direction, const DeviceHandle& device, const std::uint8_t* bytes,
                                std::size_t size) {
  char endpoint[8];
  std::snprintf(endpoint, sizeof endpoint, "%02X", static_cast<unsigned>(device.endpoint & 0xFF));
  bench_.AppendTrace(std::string(direction) + " " + Narrow(device.id) + " ep" + endpoint + " " + HexBytes(bytes, size));
}

// --- files and driver requests ---------------------------------------------------------

HANDLE UsbDriverSimulation::CreateFileW(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::wstring name = path != nullptr ? path : L"";
  std::wstring id;
  const std::size_t prefix = std::wcslen(kDeviceNamePrefix);
  if (name.compare(0, prefix, kDeviceNamePrefix) == 0) {
    const std::vector<std::wstring> present = PresentInstruments();
    // Only the exact name of a number ("...Device1", not "...Device01" or "...Device1x").
    const unsigned long number = std::wcstoul(name.c_str() + prefix, nullptr, 10);
    if (name.compare(prefix, std::wstring::npos, std::to_wstring(number)) == 0 && number < present.size()) {
      id = present[number];
    }
  } else {
    for (const std::wstring& candidate : bench_.InstrumentIds()) {
      if (EqualsIgnoringCase(name, DevicePathOf(candidate)) && IsPresent(candidate)) id = candidate;
    }
  }
  if (id.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // A device that takes one handle at a time refuses the next while one is open.
  const DWORD secondOpenFault =
      static_cast<DWORD>(bench_.ReadInt(Bench::InstrumentSection(id), L"usbFault.secondOpen", 0));
  if (secondOpenFault != 0 && std::any_of(handles_.begin(), handles_.end(),
                                          [&](const auto& open) { return open.second->id == id; })) {
    SetLastError(secondOpenFault);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(nextHandle_);
  nextHandle_ += 4;
  auto device = std::make_unique<DeviceHandle>();
  device->id = id;
  handles_[handle] = std::move(device);
  return handle;
}

BOOL UsbDriverSimulation::CloseHandle(HANDLE handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (FindHandle(handle) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  CancelIo(handle);  // closing a handle ends what is pending on it
  handles_.erase(handle);
  return TRUE;
}

BOOL UsbDriverSimulation::DeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                          DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  DeviceHandle* device = FindHandle(handle);
  if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
  DWORD bytes = 0;
  const DWORD error = Request(*device, code, in, inSize, out, outSize, &bytes);
  if (returned != nullptr) *returned = bytes;
  if (overlapped != nullptr) Complete(overlapped, error, bytes);
  // A bench may ask for every request to report itself pending, as a busy driver does.
  if (overlapped != nullptr && bench_.ReadInt(Bench::kBenchSection, L"usbRequestsPending", 0) != 0) {
    return Fail(ERROR_IO_PENDING);
  }
  return error == 0 ? TRUE : Fail(error);
}

DWORD UsbDriverSimulation::Request(DeviceHandle& device, DWORD code, const void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) {
  Instrument instrument;
  if (!IsPresent(device.id) || !bench_.Load(device.id, &instrument)) return ERROR_DEVICE_NOT_CONNECTED;
  const std::wstring section = Bench::InstrumentSection(device.id);
  const std::vector<Endpoint> endpoints =
      ParseEndpoints(bench_.ReadString(section, L"usbEndpoints", L"bulk:81,bulk:02,interrupt:83"));

  switch (code) {
    case IOCTL_USBIO_GET_DRIVER_INFO: {
      if (out == nullptr || outSize < sizeof(UsbIoDriverInfo)) return ERROR_INSUFFICIENT_BUFFER;
      UsbIoDriverInfo info = {instrument.driver_api_version, 0x0100, 1, 0};
      std::memcpy(out, &info, sizeof info);
      *returned = sizeof info;
      return 0;
    }
    case IOCTL_USBIO_GET_DESCRIPTOR: {
      if (in == nullptr || inSize < sizeof(UsbIoDescriptorRequest) || out == nullptr) return ERROR_INVALID_PARAMETER;
      UsbIoDescriptorRequest request;
      std::memcpy(&request, in, sizeof request);
      std::vector<std::uint8_t> descriptor;
      if (request.descriptorType == kUsbDescriptorDevice) {
        descriptor = DeviceDescriptor(instrument);
      } else if (request.descriptorType == kUsbDescriptorString && request.descriptorIndex == 0) {
        descriptor = {4, kUsbDescriptorString, 0x09, 0x04};
      } else if (request.descriptorType == kUsbDescriptorString && request.descriptorIndex == 2 &&
                 bench_.ReadInt(section, L"usbProductUnreadable", 0) == 0) {
        descriptor = StringDescriptor(instrument.product);
      } else if (request.descriptorType == kUsbDescriptorString && request.descriptorIndex == 3 &&
                 !instrument.serial.empty() && bench_.ReadInt(section, L"usbSerialUnreadable", 0) == 0) {
        descriptor = StringDescriptor(instrument.serial);
      } else {
        return ERROR_GEN_FAILURE;  // the device stalls the request
      }
      const DWORD size = std::min<DWORD>(outSize, static_cast<DWORD>(descriptor.size()));
      std::memcpy(out, descriptor.data(), size);
      *returned = size;
      return 0;
    }
    case IOCTL_USBIO_SET_CONFIGURATION: {
      if (in == nullptr || inSize < sizeof(UsbIoConfigurationRecord)) return ERROR_INVALID_PARAMETER;
      UsbIoConfigurationRecord record;
      std::memcpy(&record, in, sizeof record);
      if (record.configurationIndex != 0 || record.numberOfInterfaces > kUsbIoMaxInterfaces) {
        return ERROR_INVALID_PARAMETER;
      }
      bench_.WriteInt(section, L"usbConfiguredInterfaces", record.numberOfInterfaces);
      return static_cast<DWORD>(bench_.ReadInt(section, L"usbFault.setConfiguration", 0));
    }
    case IOCTL_USBIO_GET_CONFIGURATION_INFO: {
      if (out == nullptr || outSize < sizeof(UsbIoConfigurationInfo)) return ERROR_INSUFFICIENT_BUFFER;
      const DWORD fault = static_cast<DWORD>(bench_.ReadInt(section, L"usbFault.configurationInfo", 0));
      if (fault != 0) return fault;
      UsbIoConfigurationInfo info;
      std::memset(&info, 0, sizeof info);
      info.numberOfInterfaces = 2;
      for (const Endpoint& endpoint : endpoints) {
        if (info.numberOfPipes == kUsbIoMaxPipes) break;
        UsbIoPipeInfo& pipe = info.pipeInfo[info.numberOfPipes++];
        pipe.pipeType = endpoint.type;
        pipe.endpointAddress = endpoint.address;
        pipe.maximumPacketSize = 64;
        pipe.maximumTransferSize = 0x10000;
      }
      std::memcpy(out, &info, sizeof info);
      *returned = sizeof info;
      return 0;
    }
    case IOCTL_USBIO_BIND_PIPE: {
      if (in == nullptr || inSize < sizeof(UsbIoBindRequest)) return ERROR_INVALID_PARAMETER;
      const std::uint8_t address = static_cast<const std::uint8_t*>(in)[0];
      const bool known = std::any_of(endpoints.begin(), endpoints.end(),
                                     [address](const Endpoint& e) { return e.address == address; });
      if (!known) return ERROR_INVALID_PARAMETER;
      const DWORD fault = static_cast<DWORD>(bench_.ReadInt(section, L"usbFault.bind", 0));
      if (fault != 0) return fault;
      device.endpoint = address;
      return 0;
    }
    case IOCTL_USBIO_QUERY_PIPE_STATISTICS: {
      if (in == nullptr || inSize < 4 || out == nullptr || outSize < kUsbIoPipeStatisticsSize) {
        return ERROR_INVALID_PARAMETER;
      }
      if (device.endpoint < 0) return ERROR_BAD_COMMAND;
      std::memset(out, 0, kUsbIoPipeStatisticsSize);
      *returned = kUsbIoPipeStatisticsSize;
      return 0;
    }
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

// --- transfers ---------------------------------------------------------------------------

BOOL UsbDriverSimulation::WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written,
                                    LPOVERLAPPED overlapped) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  DeviceHandle* device = FindHandle(handle);
  if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (device->endpoint < 0 || (device->endpoint & 0x80) != 0) return Fail(ERROR_BAD_COMMAND);
  if (!IsPresent(device->id)) return Fail(ERROR_DEVICE_NOT_CONNECTED);

  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  const std::vector<std::uint8_t> request(bytes, bytes + size);
  Trace("OUT", *device, request.data(), request.size());

  InstrumentLink& link = links_[device->id];
  if (link.echo) {
    link.replies.push_back({request, false});
  } else {
    Instrument instrument;
    bench_.Load(device->id, &instrument);
    const ProtocolOutcome outcome = AnswerRequest(bench_, instrument, request);
    if (outcome.unplug) bench_.SetMode(device->id, Mode::kAbsent);
    if (outcome.hasReply && outcome.reply.timing != ReplyTiming::kNever) {
      link.replies.push_back(
          {outcome.reply.bytes, outcome.reply.timing == ReplyTiming::kDuringCancel, outcome.switchToDfu});
    }
  }

  if (written != nullptr) *written = size;
  if (overlapped != nullptr) Complete(overlapped, 0, size);
  Deliver(device->id);
  return TRUE;
}

BOOL UsbDriverSimulation::ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  DeviceHandle* device = FindHandle(handle);
  if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (device->endpoint < 0 || (device->endpoint & 0x80) == 0) return Fail(ERROR_BAD_COMMAND);
  InstrumentLink& link = links_[device->id];
  const bool replyReady = !link.replies.empty() && !link.replies.front().duringCancel;
  if (!replyReady && link.replies.empty() && !IsPresent(device->id)) return Fail(ERROR_DEVICE_NOT_CONNECTED);
  if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);  // the pipes are opened for overlapped I/O

  overlapped->Internal = kPending;
  overlapped->InternalHigh = 0;
  device->pendingReads.push_back({overlapped, static_cast<std::uint8_t*>(buffer), size});
  Deliver(device->id);
  if (overlapped->Internal == kPending) return Fail(ERROR_IO_PENDING);
  if (read != nullptr) *read = static_cast<DWORD>(overlapped->InternalHigh);
  return TRUE;
}

void UsbDriverSimulation::Deliver(const std::wstring& id) {
  InstrumentLink& link = links_[id];
  for (auto& [handle, device] : handles_) {
    if (device->id != id) continue;
    while (!device->pendingReads.empty() && !link.replies.empty() && !link.replies.front().duringCancel) {
      const PendingRead read = device->pendingReads.front();
      device->pendingReads.erase(device->pendingReads.begin());
      Complete(read.overlapped, 0, TakeReply(*device, read.buffer, read.size));
    }
  }
}

DWORD UsbDriverSimulation::TakeReply(DeviceHandle& device, std::uint8_t* buffer, DWORD size) {
  InstrumentLink& link = links_[device.id];
  const QueuedReply reply = link.replies.front();
  link.replies.pop_front();
  const DWORD count = std::min<DWORD>(size, static_cast<DWORD>(reply.bytes.size()));
  std::memcpy(buffer, reply.bytes.data(), count);
  Trace("IN", device, reply.bytes.data(), count);
  if (reply.thenSwitchToDfu) {
    // The restart ends the application's run: its status is polled afresh after the next one.
    bench_.WriteInt(Bench::InstrumentSection(device.id), L"statusPolls", 0);
    bench_.SetMode(device.id, Mode::kDfu);
  }
  return count;
}

BOOL UsbDriverSimulation::CancelIo(HANDLE handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  DeviceHandle* device = FindHandle(handle);
  if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
  InstrumentLink& link = links_[device->id];
  for (const PendingRead& read : device->pendingReads) {
    // A reply that arrives just as the read is given up still lands in its buffer.
    const bool lands = !link.replies.empty() && link.replies.front().duringCancel;
    Complete(read.overlapped, ERROR_OPERATION_ABORTED, lands ? TakeReply(*device, read.buffer, read.size) : 0);
  }
  device->pendingReads.clear();
  for (OVERLAPPED* write : device->pendingWrites) Complete(write, ERROR_OPERATION_ABORTED, 0);
  device->pendingWrites.clear();
  return TRUE;
}

void UsbDriverSimulation::Complete(OVERLAPPED* overlapped, DWORD error, DWORD bytes) {
  overlapped->Internal = error == 0 ? 0 : kFailed;
  overlapped->InternalHigh = bytes;
  if (error == 0) {
    failures_.erase(overlapped);
  } else {
    failures_[overlapped] = error;
  }
  if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
}

BOOL UsbDriverSimulation::GetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
  if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (wait && overlapped->Internal == kPending && overlapped->hEvent != nullptr) {
    WaitForSingleObject(overlapped->hEvent, INFINITE);
  }
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (overlapped->Internal == kPending) return Fail(ERROR_IO_INCOMPLETE);
  if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal != 0) {
    const auto failure = failures_.find(overlapped);
    return Fail(failure != failures_.end() ? failure->second : ERROR_GEN_FAILURE);
  }
  return TRUE;
}

// --- the Setup API ------------------------------------------------------------------------

HMODULE UsbDriverSimulation::LoadLibraryW(LPCWSTR name) {
  if (name == nullptr || !EqualsIgnoringCase(name, L"setupapi.dll")) return ::LoadLibraryW(name);
  if (bench_.ReadString(Bench::kBenchSection, L"setupApi", L"present") == L"missing") {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return kSetupApiModule;
}

FARPROC UsbDriverSimulation::GetProcAddress(HMODULE module, LPCSTR name) {
  if (module != kSetupApiModule) return ::GetProcAddress(module, name);
  const std::string entry = name != nullptr ? name : "";
  const bool incomplete = bench_.ReadString(Bench::kBenchSection, L"setupApi", L"present") == L"incomplete";
  void* function = nullptr;
  if (entry == "SetupDiGetClassDevsW") function = reinterpret_cast<void*>(&SimGetClassDevs);
  if (entry == "SetupDiDestroyDeviceInfoList") function = reinterpret_cast<void*>(&SimDestroyDeviceInfoList);
  if (entry == "SetupDiEnumDeviceInterfaces") function = reinterpret_cast<void*>(&SimEnumDeviceInterfaces);
  if (entry == "SetupDiGetDeviceInterfaceDetailW" && !incomplete) {
    function = reinterpret_cast<void*>(&SimGetDeviceInterfaceDetail);
  }
  if (function == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<FARPROC>(function);
}

BOOL UsbDriverSimulation::FreeLibrary(HMODULE module) {
  return module == kSetupApiModule ? TRUE : ::FreeLibrary(module);
}

HDEVINFO UsbDriverSimulation::GetClassDevs(const GUID* guid) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  HDEVINFO list = reinterpret_cast<HDEVINFO>(nextHandle_);
  nextHandle_ += 4;
  const bool usbio = guid != nullptr && std::memcmp(guid, &kUsbIoInterfaceGuid, sizeof(GUID)) == 0;
  lists_[list] = usbio ? PresentInstruments() : std::vector<std::wstring>();
  return list;
}

BOOL UsbDriverSimulation::DestroyDeviceInfoList(HDEVINFO list) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return lists_.erase(list) != 0 ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL UsbDriverSimulation::EnumDeviceInterfaces(HDEVINFO list, const GUID* guid, DWORD index,
                                               SP_DEVICE_INTERFACE_DATA* data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto found = lists_.find(list);
  if (found == lists_.end()) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->cbSize != kInterfaceDataSize || guid == nullptr) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (index >= found->second.size()) return Fail(ERROR_NO_MORE_ITEMS);
  data->InterfaceClassGuid = *guid;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = index + 1;
  return TRUE;
}

BOOL UsbDriverSimulation::GetDeviceInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* data,
                                                   SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                                   DWORD* required) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto found = lists_.find(list);
  if (found == lists_.end()) return Fail(ERROR_INVALID_HANDLE);
  if (data != nullptr && data->cbSize != kInterfaceDataSize) return Fail(ERROR_INVALID_USER_BUFFER);
  if (data == nullptr || data->Reserved == 0 || data->Reserved > found->second.size()) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::wstring path = DevicePathOf(found->second[data->Reserved - 1]);
  const DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(wchar_t));
  if (required != nullptr) *required = needed;
  if (detail == nullptr) return Fail(size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
  if (detail->cbSize != kInterfaceDetailDataSize) return Fail(ERROR_INVALID_USER_BUFFER);
  if (size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
  return TRUE;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t size) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (i != 0) text += ' ';
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
  }
  return text;
}

bool InstallBenchUsbDriver() {
  const std::wstring folder = Bench::FolderFromEnvironment();
  if (folder.empty()) return false;
  static UsbDriverSimulation simulation{Bench(folder)};
  InstallUsbSystemPort(&simulation);
  return true;
}

}  // namespace sim
