#include "tools/knupdate/ConsoleDeviceList.h"

#include "app/DeviceList.h"
#include "dfu/DfuLibrary.h"
#include "update/LineFeed.h"
#include "usbio/UsbIo.h"

ConsoleDeviceList::ConsoleDeviceList() {
  m_listBox = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | LBS_SORT | LBS_NOTIFY | LBS_HASSTRINGS, 0, 0, 200, 200,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

ConsoleDeviceList::~ConsoleDeviceList() {
  if (m_listBox != nullptr) DestroyWindow(m_listBox);
  CUsbIo::CloseDeviceList(m_deviceList);
}

int ConsoleDeviceList::Start() {
  const int loaded = LoadDfuLibrary();
  m_dfuReady = 1;
  Refresh();
  return loaded;
}

void ConsoleDeviceList::Refresh() {
  RebuildDeviceList(m_listBox, {m_deviceList, m_usbioCount, m_dfuCount, m_dfuReady, m_dfuProducts});
}

std::vector<ListedDevice> ConsoleDeviceList::Entries() const {
  std::vector<ListedDevice> entries;
  const int count = static_cast<int>(SendMessageW(m_listBox, LB_GETCOUNT, 0, 0));
  for (int position = 0; position < count; ++position) {
    SendMessageW(m_listBox, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
    ListedDevice listed{position, L"", {DeviceKind::kApplication, 0}};
    if (!SelectedDevice(m_listBox, listed.entry, listed.text)) continue;
    listed.text = WithoutFinalLineFeed(listed.text);
    entries.push_back(listed);
  }
  SendMessageW(m_listBox, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  return entries;
}

void ConsoleDeviceList::Select(int position) { SendMessageW(m_listBox, LB_SETCURSEL, static_cast<WPARAM>(position), 0); }

bool ConsoleDeviceList::GetSelection(DeviceSelection& selection) const {
  if (!SelectedDevice(m_listBox, selection.entry, selection.text)) return false;
  selection.deviceList = m_deviceList;
  selection.dfuProducts = m_dfuProducts;
  return true;
}
