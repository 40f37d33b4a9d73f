// The device list: the instruments attached now, application-mode ones (through the USBIO
// driver) first, DFU-mode ones (through the DFU library) after them, one list-box entry
// "Device %d: %s\n" each. The list box sorts its entries, so every entry carries as item data
// which device it names; the selection's device is taken from there, never from its position.
//
// One object owns the list: the list box it fills, the USBIO device list the application-mode
// numbers refer to, the counts and the DFU entries' product texts. It is used on the thread
// that owns the list box only.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <string>
#include <vector>

#include "procedure/SelectedDevice.h"

// One entry as listed.
struct ListedDevice {
  int position = -1;
  std::wstring text;  // without the entry's line feed
  DeviceEntry entry{DeviceKind::kApplication, 0};
  // An application-mode instrument's device path, which stays while it is plugged in (the
  // numbers of the list move when others come and go); empty for a DFU-mode one.
  std::wstring devicePath;
  std::wstring product;  // as the entry shows it ("<<Unknown>>" for an unreadable DFU one)
  int listedNumber = 0;  // the N of "Device N"
};

class DeviceList {
 public:
  DeviceList() = default;
  ~DeviceList();
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  // The list box the entries go into: the dialog's own control.
  void Attach(HWND listBox) { m_listBox = listBox; }
  // Or a list box of this process that is never shown (a console's), destroyed with the list.
  bool CreateHiddenListBox();
  HWND ListBox() const { return m_listBox; }

  // Whether the DFU library is ready; set by the start-up check. While it is not, every
  // refresh tries to load it and, failing that, leaves the list as it was.
  void SetDfuReady(bool ready) { m_dfuReady = ready; }
  bool DfuReady() const { return m_dfuReady; }

  // Rebuilds the list box from what is attached, keeping the selected position.
  void Refresh();
  // Empties the list and lets go of the USBIO device list (before the USB layer goes).
  void Close();

  // The selected entry's device and text, with what the preparation reads of the list;
  // false when nothing is selected.
  bool GetSelection(DeviceSelection& selection) const;
  void Select(int position);
  // Every entry in list order; the selection is left as it was.
  std::vector<ListedDevice> Entries() const;

  int ApplicationCount() const { return m_usbioCount; }
  int DfuCount() const { return m_dfuCount; }
  // The DFU entries' product texts in DFU index order: the preparation tells the instrument
  // it switched into its loader from the DFU devices that were there before.
  const std::vector<std::wstring>& DfuProducts() const { return m_dfuProducts; }

 private:
  void AddEntry(DeviceEntry entry, const std::wstring& product, int number);
  void AddApplicationDevices();
  void AddDfuDevices();
  // The entry at this position as a value; false when there is none.
  bool ListedAt(int position, ListedDevice& listed) const;

  HWND m_listBox = nullptr;
  bool m_ownsListBox = false;
  HDEVINFO m_deviceList = nullptr;
  int m_usbioCount = 0;  // application-mode entries at the head of the list
  int m_dfuCount = 0;    // DFU-mode entries after them
  bool m_dfuReady = false;
  std::vector<std::wstring> m_dfuProducts;
  std::vector<std::wstring> m_applicationPaths;  // by USBIO device number; empty: not listed
  std::vector<std::wstring> m_applicationProducts;  // likewise
};
