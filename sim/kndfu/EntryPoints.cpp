// The 18 exported entry points of our kndfu.dll: each checks its arguments, resolves the
// handle to a bench instrument that is still on the bus in DFU mode, and hands the work to
// Transfer or answers from the bench. Exported by name through kndfu.def.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "dfu/DfuApi.h"
#include "sim/bench/Bench.h"
#include "sim/kndfu/DeviceTable.h"
#include "sim/kndfu/DfuImage.h"
#include "sim/kndfu/DfuResult.h"
#include "sim/kndfu/Transfer.h"

using namespace kndfu;

namespace {

// What LMDFUDeviceOpen reports; the program reads only the string index at offset 12.
constexpr std::uint32_t kProductStringIndex = 2;
constexpr std::uint32_t kInfoModelOffset = 0;
constexpr std::uint32_t kInfoAddressOffset = 4;
constexpr std::uint32_t kInfoTransferSizeOffset = 8;

// A device in the table whose instrument is still attached in DFU mode.
struct Device {
  sim::Bench bench{L""};
  sim::Instrument instrument;
};

int Resolve(DfuHandle handle, Device* device) {
  OpenDevice open;
  if (!DeviceTable::Instance().Find(handle, &open)) return kInvalidHandle;
  device->bench = sim::Bench(open.bench_folder);
  if (!device->bench.Load(open.instrument_id, &device->instrument)) return kDisconnected;
  if (sim::VisibleMode(device->instrument, device->bench.ClockMs()) != sim::Mode::kDfu) return kDisconnected;
  return kOk;
}

void PutLe32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Every device call leaves one line in the bench's trace, so tests can check the order and
// the arguments of what the program asked the library to do, e.g.
//   DFU write flash id=tw3 address=0x4000 length=0x3BC00 verify=1 window=1 rc=0
class CallTrace {
 public:
  // Taken before the call: a close forgets the handle.
  explicit CallTrace(DfuHandle handle) {
    OpenDevice open;
    if (DeviceTable::Instance().Find(handle, &open)) {
      folder_ = open.bench_folder;
      subject_ = "id=" + Ascii(open.instrument_id);
    } else {
      folder_ = DeviceTable::Instance().BenchFolder();
      subject_ = "handle=" + Hex(handle);
    }
  }
  CallTrace(std::wstring folder, std::string subject) : folder_(std::move(folder)), subject_(std::move(subject)) {}

  int Record(const std::string& call, const std::string& details, int rc) const {
    if (!folder_.empty()) {
      sim::Bench(folder_).AppendTrace("DFU " + call + " " + subject_ + details + " rc=" + std::to_string(rc));
    }
    return rc;
  }

 private:
  std::wstring folder_;
  std::string subject_;
};

std::string WriteDetails(std::uint32_t address, std::uint32_t length, int verify, HWND notify) {
  return " address=" + Hex(address) + " length=" + Hex(length) + " verify=" + std::to_string(verify) +
         " window=" + (notify != nullptr ? "1" : "0");
}

// The product string as 8-bit text: units above 0xFF cannot be told in 8 bits.
std::string NarrowProduct(const std::wstring& product) {
  std::string text;
  for (wchar_t unit : product) text.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
  return text;
}

int ProductString(DfuHandle handle, std::uint32_t index, std::wstring* product) {
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  if (index != kProductStringIndex || device.instrument.product_string_unreadable) return kStringUnavailable;
  // A read that fails now and then, as on a busy bus: the next N reads fail.
  const std::wstring section = sim::Bench::InstrumentSection(device.instrument.id);
  const std::int64_t failures = device.bench.ReadInt(section, L"fault.productStringFailures", 0);
  if (failures > 0) {
    device.bench.WriteInt(section, L"fault.productStringFailures", failures - 1);
    return kStringUnavailable;
  }
  *product = device.instrument.product;
  return kOk;
}

// Copies text and its terminator; *length is the capacity in, the characters written out
// (without the terminator), or the capacity needed when it is too small.
template <typename Char>
int CopyString(const std::basic_string<Char>& text, Char* buffer, std::uint32_t* length) {
  if (*length < text.size() + 1) {
    *length = static_cast<std::uint32_t>(text.size() + 1);
    return kBufferTooSmall;
  }
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
  *length = static_cast<std::uint32_t>(text.size());
  return kOk;
}

int Write(DfuHandle handle, const TransferRequest& request) {
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  return RunTransfer(device.bench, device.instrument, request);
}

TransferRequest MakeWrite(sim::Operation op, sim::Memory memory, const std::uint8_t* data, std::uint32_t length,
                          std::uint32_t address, int verify, HWND notify) {
  TransferRequest request;
  request.operation = op;
  request.memory = memory;
  request.address = address;
  request.data = data;
  request.length = length;
  request.verify = verify != 0;
  request.notify = notify;
  return request;
}

// One traced write of `memory`: the trace line carries what the program asked for.
int TracedWrite(const char* call, sim::Operation op, sim::Memory memory, DfuHandle handle, const std::uint8_t* data,
                std::uint32_t length, std::uint32_t address, int verify, HWND notify) {
  const CallTrace trace(handle);
  return trace.Record(call, WriteDetails(address, length, verify, notify),
                      Write(handle, MakeWrite(op, memory, data, length, address, verify, notify)));
}

}  // namespace

extern "C" {

int WINAPI LMDFUInit(void) {
  DeviceTable& table = DeviceTable::Instance();
  sim::Bench bench(sim::Bench::FolderFromEnvironment());
  table.SetBenchFolder(L"");
  if (bench.folder().empty() || !bench.IsReadable()) return kDriverNotFound;
  switch (bench.GetDfuDriver()) {
    case sim::DfuDriver::kMissing: return kDriverNotFound;
    case sim::DfuDriver::kOutdated: return kDriverVersion;
    case sim::DfuDriver::kPresent: break;
  }
  table.SetBenchFolder(bench.folder());
  return kOk;
}

// The index-th instrument in DFU mode, in bench order, counting only those whose
// re-enumeration has finished.
int WINAPI LMDFUDeviceOpen(int index, DfuDeviceInfo* info, DfuHandle* handle) {
  if (info == nullptr || handle == nullptr) return kInvalidArgument;
  const std::wstring folder = DeviceTable::Instance().BenchFolder();
  if (folder.empty()) return kNotInitialised;
  const std::string details = " index=" + std::to_string(index);
  if (index < 0) return CallTrace(folder, "-").Record("open", details, kNoDevice);
  const sim::Bench bench(folder);
  const std::int64_t now = bench.ClockMs();
  int seen = 0;
  for (const sim::Instrument& instrument : bench.LoadAll()) {
    if (sim::VisibleMode(instrument, now) != sim::Mode::kDfu || seen++ != index) continue;
    std::memset(info, 0, sizeof *info);
    auto* bytes = reinterpret_cast<std::uint8_t*>(info);
    PutLe32(bytes + kInfoModelOffset, instrument.model);
    PutLe32(bytes + kInfoAddressOffset, instrument.bus_address);
    PutLe32(bytes + kInfoTransferSizeOffset, instrument.transfer_size);
    info->productStringIndex = kProductStringIndex;
    *handle = DeviceTable::Instance().Add(OpenDevice{folder, instrument.id});
    return CallTrace(folder, "id=" + Ascii(instrument.id)).Record("open", details, kOk);
  }
  return CallTrace(folder, "-").Record("open", details, kNoDevice);
}

// Flag nonzero: the loader starts the application, which comes back on the bus after the
// re-enumeration delay. A device that has gone meanwhile is released all the same.
int WINAPI LMDFUDeviceClose(DfuHandle handle, int restartApplication) {
  const CallTrace trace(handle);
  const std::string details = " flag=" + std::to_string(restartApplication);
  OpenDevice open;
  if (!DeviceTable::Instance().Find(handle, &open)) return trace.Record("close", details, kInvalidHandle);
  Device device;
  if (restartApplication != 0 && Resolve(handle, &device) == kOk) {
    device.bench.SetMode(device.instrument.id, sim::Mode::kApplication);
  }
  DeviceTable::Instance().Remove(handle);
  return trace.Record("close", details, kOk);
}

int WINAPI LMDFUDeviceStringGet(DfuHandle handle, std::uint32_t stringIndex, std::uint16_t, wchar_t* buffer,
                                std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return kInvalidArgument;
  const CallTrace trace(handle);
  std::wstring product;
  int rc = ProductString(handle, stringIndex, &product);
  if (rc == kOk) rc = CopyString(product, buffer, length);
  return trace.Record("string", " index=" + std::to_string(stringIndex), rc);
}

int WINAPI LMDFUDeviceASCIIStringGet(DfuHandle handle, std::uint32_t stringIndex, char* buffer,
                                     std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return kInvalidArgument;
  const CallTrace trace(handle);
  std::wstring product;
  int rc = ProductString(handle, stringIndex, &product);
  if (rc == kOk) rc = CopyString(NarrowProduct(product), buffer, length);
  return trace.Record("string", " index=" + std::to_string(stringIndex), rc);
}

namespace {

int ReadParams(DfuHandle handle, DfuFlashParams* params) {
  if (params == nullptr) return kInvalidArgument;
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  if (device.instrument.params_fault != 0) return device.instrument.params_fault;
  params->sectorSize = device.instrument.sector_size;
  params->reserved = 0;
  params->flashTop = device.instrument.flash_top;
  params->appStartAddress = device.instrument.app_start_address;
  return kOk;
}

}  // namespace

int WINAPI LMDFUParamsGet(DfuHandle handle, DfuFlashParams* params) {
  return CallTrace(handle).Record("params", "", ReadParams(handle, params));
}

int WINAPI LMDFUIsValidImage(const std::uint8_t* image, std::uint32_t length) {
  if (image == nullptr) return kInvalidArgument;
  return DfuImagePayload(image, length, nullptr) ? kOk : kInvalidImage;
}

// A suffixed image goes to the application start, like LMDFUDownloadBin there.
int WINAPI LMDFUDownload(DfuHandle handle, const std::uint8_t* image, std::uint32_t length, int verify,
                         HWND notify) {
  if (image == nullptr) return kInvalidArgument;
  std::uint32_t payload = 0;
  if (!DfuImagePayload(image, length, &payload)) return kInvalidImage;
  const CallTrace trace(handle);
  Device device;
  int rc = Resolve(handle, &device);
  if (rc == kOk) {
    rc = RunTransfer(device.bench, device.instrument,
                     MakeWrite(sim::Operation::kFlashWrite, sim::Memory::kFlash, image, payload,
                               device.instrument.app_start_address, verify, notify));
  }
  return trace.Record("write image", WriteDetails(device.instrument.app_start_address, payload, verify, notify), rc);
}

int WINAPI LMDFUDownloadBin(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address,
                            int verify, HWND notify) {
  return TracedWrite("write flash", sim::Operation::kFlashWrite, sim::Memory::kFlash, handle, data, length, address,
                     verify, notify);
}

int WINAPI LMDFUWriteNand(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address,
                          int verify, HWND notify) {
  return TracedWrite("write nand", sim::Operation::kNandWrite, sim::Memory::kNand, handle, data, length, address,
                     verify, notify);
}

int WINAPI LMDFUWriteEEP(DfuHandle handle, const std::uint8_t* data, std::uint32_t length, std::uint32_t address,
                         int verify, HWND notify) {
  return TracedWrite("write eeprom", sim::Operation::kEepromWrite, sim::Memory::kEeprom, handle, data, length,
                     address, verify, notify);
}

// With verify the erased range is read back and must be blank.
int WINAPI LMDFUErase(DfuHandle handle, std::uint32_t address, std::uint32_t length, int verify, HWND notify) {
  return TracedWrite("erase", sim::Operation::kFlashErase, sim::Memory::kFlash, handle, nullptr, length, address,
                     verify, notify);
}

int WINAPI LMDFUBlankCheck(DfuHandle handle, std::uint32_t address, std::uint32_t length) {
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  if (!sim::RangeInside(address, length, device.instrument.flash_top)) return kOutOfRange;
  std::vector<std::uint8_t> data(length);
  rc = ReadBack(device.bench, device.instrument, sim::Memory::kFlash, address, data.data(), length);
  if (rc != kOk) return rc;
  for (std::uint8_t byte : data) {
    if (byte != 0xFF) return kNotBlank;
  }
  return kOk;
}

// Reads flash back; the raw flag and the window do not matter for a plain memory read.
int WINAPI LMDFUUpload(DfuHandle handle, std::uint8_t* buffer, std::uint32_t address, std::uint32_t length, int,
                       HWND) {
  if (buffer == nullptr) return kInvalidArgument;
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  return ReadBack(device.bench, device.instrument, sim::Memory::kFlash, address, buffer, length);
}

// The loader's DFU status: 0 (no error) while the device is attached.
int WINAPI LMDFUStatusGet(DfuHandle handle, int* status) {
  if (status == nullptr) return kInvalidArgument;
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  *status = 0;
  return kOk;
}

const char* WINAPI LMDFUErrorStringGet(int code) { return ResultText(code); }

// Leaves the loader for the application without closing the handle; the handle then
// reports the device as gone.
int WINAPI LMDFUModeSwitch(DfuHandle handle) {
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  return device.bench.SetMode(device.instrument.id, sim::Mode::kApplication) ? kOk : kTransferFailed;
}

// The device type is the instrument's model number.
int WINAPI LMDFUDevTypeGet(DfuHandle handle, std::uint32_t* type) {
  if (type == nullptr) return kInvalidArgument;
  Device device;
  int rc = Resolve(handle, &device);
  if (rc != kOk) return rc;
  *type = device.instrument.model;
  return kOk;
}

}  // extern "C"

// Our definitions must have exactly the types the program binds.
static_assert(std::is_same<decltype(&LMDFUInit), tLMDFUInit>::value, "LMDFUInit");
static_assert(std::is_same<decltype(&LMDFUDeviceOpen), tLMDFUDeviceOpen>::value, "LMDFUDeviceOpen");
static_assert(std::is_same<decltype(&LMDFUDeviceClose), tLMDFUDeviceClose>::value, "LMDFUDeviceClose");
static_assert(std::is_same<decltype(&LMDFUDeviceStringGet), tLMDFUDeviceStringGet>::value, "LMDFUDeviceStringGet");
static_assert(std::is_same<decltype(&LMDFUDeviceASCIIStringGet), tLMDFUDeviceASCIIStringGet>::value,
              "LMDFUDeviceASCIIStringGet");
static_assert(std::is_same<decltype(&LMDFUParamsGet), tLMDFUParamsGet>::value, "LMDFUParamsGet");
static_assert(std::is_same<decltype(&LMDFUIsValidImage), tLMDFUIsValidImage>::value, "LMDFUIsValidImage");
static_assert(std::is_same<decltype(&LMDFUDownload), tLMDFUDownload>::value, "LMDFUDownload");
static_assert(std::is_same<decltype(&LMDFUDownloadBin), tLMDFUDownloadBin>::value, "LMDFUDownloadBin");
static_assert(std::is_same<decltype(&LMDFUWriteNand), tLMDFUWriteNand>::value, "LMDFUWriteNand");
static_assert(std::is_same<decltype(&LMDFUWriteEEP), tLMDFUWriteEEP>::value, "LMDFUWriteEEP");
static_assert(std::is_same<decltype(&LMDFUErase), tLMDFUErase>::value, "LMDFUErase");
static_assert(std::is_same<decltype(&LMDFUBlankCheck), tLMDFUBlankCheck>::value, "LMDFUBlankCheck");
static_assert(std::is_same<decltype(&LMDFUUpload), tLMDFUUpload>::value, "LMDFUUpload");
static_assert(std::is_same<decltype(&LMDFUStatusGet), tLMDFUStatusGet>::value, "LMDFUStatusGet");
static_assert(std::is_same<decltype(&LMDFUErrorStringGet), tLMDFUErrorStringGet>::value, "LMDFUErrorStringGet");
static_assert(std::is_same<decltype(&LMDFUModeSwitch), tLMDFUModeSwitch>::value, "LMDFUModeSwitch");
static_assert(std::is_same<decltype(&LMDFUDevTypeGet), tLMDFUDevTypeGet>::value, "LMDFUDevTypeGet");
