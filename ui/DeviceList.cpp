#include "ui/DeviceList.h"

#include <cwchar>

#include "dfu/DfuLibrary.h"
#include "procedure/DfuProduct.h"
#include "text/LineFeed.h"
#include "text/WidenBytes.h"
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

}  // namespace

DeviceList::~DeviceList() {
  Close();
  if (m_ownsListBox && m_listBox != nullptr) DestroyWindow(m_listBox);
}

bool DeviceList::CreateHiddenListBox() {
  m_listBox = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | LBS_SORT | LBS_NOTIFY | LBS_HASSTRINGS, 0, 0, 200, 200,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  m_ownsListBox = m_listBox != nullptr;
  return m_ownsListBox;
}

void DeviceList::AddEntry(DeviceEntry entry, const std::wstring& product, int number) {
  std::wstring text(32 + product.size(), L'\0');
  const int length = std::swprintf(&text[0], text.size(), L"Device %d: %ls\n", number, product.c_str());
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  const LRESULT index = SendMessageW(m_listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index >= 0) SendMessageW(m_listBox, LB_SETITEMDATA, static_cast<WPARAM>(index), EncodeEntry(entry));
}

void DeviceList::AddApplicationDevices() {
  CUsbIo probe;
  if (m_deviceList == nullptr || probe.FindDeviceInterface(0, m_deviceList, &kUsbIoInterfaceGuid) != 0) return;
  for (int number = 0;; ++number) {
    // A device that cannot be opened or read gets no entry, but uses up its number.
    if (probe.Open(number, m_deviceList, &kUsbIoInterfaceGuid, true) == 0) {
      std::wstring product;
      if (ReadApplicationProduct(probe, product)) {
        ++m_usbioCount;
        m_applicationPaths.resize(static_cast<std::size_t>(number) + 1);
        m_applicationProducts.resize(static_cast<std::size_t>(number) + 1);
        const wchar_t* path = probe.GetDevicePath();
        m_applicationPaths[static_cast<std::size_t>(number)] = path != nullptr ? path : L"";
        m_applicationProducts[static_cast<std::size_t>(number)] = product;
        AddEntry({DeviceKind::kApplication, number}, product, number);
      }
      probe.Close();
    }
    if (probe.FindDeviceInterface(number + 1, m_deviceList, &kUsbIoInterfaceGuid) != 0) return;
  }
}

void DeviceList::AddDfuDevices() {
  // Up to the first index that does not open (or none, with no library).
  m_dfuProducts = ReadDfuProducts();
  m_dfuCount = static_cast<int>(m_dfuProducts.size());
  for (int index = 0; index < m_dfuCount; ++index) {
    AddEntry({DeviceKind::kDfu, index}, m_dfuProducts[static_cast<std::size_t>(index)], m_usbioCount + index);
  }
}

void DeviceList::Refresh() {
  if (!m_dfuReady) {
    const int loaded = LoadDfuLibrary();
    if (loaded == kDfuDriverNotFound || loaded == kDfuWrongDriverVersion || loaded == kDfuLibraryOfOtherArchitecture) {
      return;
    }
    m_dfuReady = true;
  }

  const LRESULT selection = SendMessageW(m_listBox, LB_GETCURSEL, 0, 0);
  SendMessageW(m_listBox, LB_RESETCONTENT, 0, 0);

  CUsbIo::CloseDeviceList(m_deviceList);
  m_deviceList = CUsbIo::OpenDeviceList(&kUsbIoInterfaceGuid);
  m_usbioCount = 0;
  m_applicationPaths.clear();
  m_applicationProducts.clear();
  AddApplicationDevices();

  m_dfuCount = 0;
  m_dfuProducts.clear();
  AddDfuDevices();

  // The selection follows the position, not the device.
  const LRESULT entries = m_usbioCount + m_dfuCount;
  SendMessageW(m_listBox, LB_SETCURSEL, selection >= 0 && selection < entries ? selection : 0, 0);
}

void DeviceList::Close() {
  if (m_listBox != nullptr) SendMessageW(m_listBox, LB_RESETCONTENT, 0, 0);
  // Only a list there is to close: closing loads the system's device set-up library.
  if (m_deviceList != nullptr) CUsbIo::CloseDeviceList(m_deviceList);
  m_deviceList = nullptr;
  m_usbioCount = 0;
  m_dfuCount = 0;
  m_dfuProducts.clear();
  m_applicationPaths.clear();
  m_applicationProducts.clear();
}

bool DeviceList::ListedAt(int position, ListedDevice& listed) const {
  if (position < 0) return false;
  const LRESULT length = SendMessageW(m_listBox, LB_GETTEXTLEN, static_cast<WPARAM>(position), 0);
  if (length < 0) return false;
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(m_listBox, LB_GETTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<std::size_t>(length));
  listed = ListedDevice{position, WithoutFinalLineFeed(text), DecodeEntry(SendMessageW(m_listBox, LB_GETITEMDATA,
                                                                                        static_cast<WPARAM>(position), 0)),
                        L"", L"", 0};
  const auto number = static_cast<std::size_t>(listed.entry.number);
  if (listed.entry.kind == DeviceKind::kApplication && number < m_applicationPaths.size()) {
    listed.devicePath = m_applicationPaths[number];
    listed.product = m_applicationProducts[number];
    listed.listedNumber = listed.entry.number;
  } else if (listed.entry.kind == DeviceKind::kDfu && number < m_dfuProducts.size()) {
    listed.product = m_dfuProducts[number];
    listed.listedNumber = m_usbioCount + listed.entry.number;
  }
  return true;
}

bool DeviceList::GetSelection(DeviceSelection& selection) const {
  ListedDevice listed;
  if (!ListedAt(static_cast<int>(SendMessageW(m_listBox, LB_GETCURSEL, 0, 0)), listed)) return false;
  selection.entry = listed.entry;
  selection.text = listed.text + L"\n";
  selection.product = listed.product;
  selection.deviceList = m_deviceList;
  selection.dfuProducts = m_dfuProducts;
  return true;
}

void DeviceList::Select(int position) { SendMessageW(m_listBox, LB_SETCURSEL, static_cast<WPARAM>(position), 0); }

std::vector<ListedDevice> DeviceList::Entries() const {
  std::vector<ListedDevice> entries;
  const int count = static_cast<int>(SendMessageW(m_listBox, LB_GETCOUNT, 0, 0));
  for (int position = 0; position < count; ++position) {
    ListedDevice listed;
    if (ListedAt(position, listed)) entries.push_back(listed);
  }
  return entries;
}
