#include "app/DeviceList.h"

#include <cwchar>

#include "dfu/DfuLibrary.h"
#include "update/DfuProduct.h"
#include "update/WidenBytes.h"
#include "usbio/StringDescriptor.h"
#include "usbio/UsbIo.h"

namespace {

constexpr std::size_t kProductBufferSize = 1024;

// Item data: the kind in bit 30, the number below it; fits a 32-bit LPARAM and is never LB_ERR.
constexpr LPARAM kDfuEntryBit = LPARAM{1} << 30;

LPARAM EncodeEntry(DeviceEntry entry) {
  return (entry.kind == DeviceKind::kDfu ? kDfuEntryBit : 0) | static_cast<LPARAM>(entry.number);
}

DeviceEntry DecodeEntry(LPARAM data) {
  return {(data & kDfuEntryBit) != 0 ? DeviceKind::kDfu : DeviceKind::kApplication,
          static_cast<int>(data & (kDfuEntryBit - 1))};
}

void AddEntry(HWND listBox, DeviceEntry entry, const std::wstring& product, int number) {
  std::wstring text(32 + product.size(), L'\0');
  const int length = std::swprintf(&text[0], text.size(), L"Device %d: %ls\n", number, product.c_str());
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  const LRESULT index = SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index >= 0) SendMessageW(listBox, LB_SETITEMDATA, static_cast<WPARAM>(index), EncodeEntry(entry));
}

// The product string of USBIO device number, or false when it cannot be read.
bool ReadApplicationProduct(CUsbIo& probe, std::wstring& product) {
  std::uint8_t descriptor[kUsbDeviceDescriptorSize] = {};
  if (probe.GetDeviceDescriptor(descriptor) != 0) return false;
  char buffer[kProductBufferSize] = {};
  DWORD length = kProductBufferSize;
  if (probe.GetStringDescriptor(buffer, &length, descriptor[kUsbDeviceDescriptorProductIndex],
                                kUsbLanguageEnglishUs) != 0) {
    return false;
  }
  if (length > kProductBufferSize) length = kProductBufferSize;
  StringDescriptorToText(length, buffer);
  product = WidenTerminated(buffer, length);
  return true;
}

void AddApplicationDevices(HWND listBox, DeviceListState& state) {
  CUsbIo probe;
  if (state.deviceList == nullptr || probe.FindDeviceInterface(0, state.deviceList, &kUsbIoInterfaceGuid) != 0) return;
  for (int number = 0;; ++number) {
    // A device that cannot be opened or read gets no entry, but uses up its number.
    if (probe.Open(number, state.deviceList, &kUsbIoInterfaceGuid, true) == 0) {
      std::wstring product;
      if (ReadApplicationProduct(probe, product)) {
        ++state.usbioCount;
        AddEntry(listBox, {DeviceKind::kApplication, number}, product, number);
      }
      probe.Close();
    }
    if (probe.FindDeviceInterface(number + 1, state.deviceList, &kUsbIoInterfaceGuid) != 0) return;
  }
}

void AddDfuDevices(HWND listBox, DeviceListState& state) {
  for (int index = 0;; ++index) {  // ends at the first index that does not open (or with no library)
    DfuDeviceInfo info = {};
    DfuHandle handle = 0;
    if (DfuDeviceOpen(index, &info, &handle) != 0) {
      if (handle != 0) DfuDeviceClose(handle, 0);
      return;
    }
    ++state.dfuCount;
    const std::wstring product = ReadDfuProductText(handle, info);
    state.dfuProducts.push_back(product);
    AddEntry(listBox, {DeviceKind::kDfu, index}, product, state.usbioCount + index);
    DfuDeviceClose(handle, 0);
  }
}

}  // namespace

void RebuildDeviceList(HWND listBox, DeviceListState state) {
  if (state.dfuReady == 0) {
    const int loaded = LoadDfuLibrary();
    if (loaded == kDfuDriverNotFound || loaded == kDfuWrongDriverVersion || loaded == kDfuLibraryOfOtherArchitecture) {
      return;
    }
    state.dfuReady = 1;
  }

  const LRESULT selection = SendMessageW(listBox, LB_GETCURSEL, 0, 0);
  SendMessageW(listBox, LB_RESETCONTENT, 0, 0);

  CUsbIo::CloseDeviceList(state.deviceList);
  state.deviceList = CUsbIo::OpenDeviceList(&kUsbIoInterfaceGuid);
  state.usbioCount = 0;
  AddApplicationDevices(listBox, state);

  state.dfuCount = 0;
  state.dfuProducts.clear();
  AddDfuDevices(listBox, state);

  // The selection follows the position, not the device.
  const LRESULT entries = state.usbioCount + state.dfuCount;
  SendMessageW(listBox, LB_SETCURSEL, selection >= 0 && selection < entries ? selection : 0, 0);
}

bool SelectedDevice(HWND listBox, DeviceEntry& entry, std::wstring& text) {
  const LRESULT selection = SendMessageW(listBox, LB_GETCURSEL, 0, 0);
  if (selection < 0) return false;
  const LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(selection), 0);
  if (length < 0) return false;
  text.assign(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(selection), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<std::size_t>(length));
  entry = DecodeEntry(SendMessageW(listBox, LB_GETITEMDATA, static_cast<WPARAM>(selection), 0));
  return true;
}
