// The wait of the preparation for the instrument's DFU loader: until the DFU library can
// open the expected DFU device, retrying for about two minutes.
#pragma once

#include <string>
#include <vector>

#include "dfu/DfuApi.h"
#include "procedure/UpdateHost.h"

// The DFU device the update is for.
struct DfuTarget {
  // An instrument that was just switched: it is told from the DFU devices that were there at
  // the last refresh by its product text (as the list shows it), and must not be of another
  // device type than the package's.
  static DfuTarget Switched(std::vector<std::wstring> keptProducts, std::wstring deviceType);
  // A DFU entry the user selected: the device at its index, as long as it still has the
  // entry's product text.
  static DfuTarget Listed(int index, std::wstring product);

  bool switched = false;
  std::vector<std::wstring> keptProducts;
  std::wstring deviceType;
  int index = 0;
  std::wstring product;
};

enum class DfuWait {
  kOpened,
  kNotFound,     // no attempt found it
  kWrongDevice,  // the listed index now holds another instrument
  kStopped,      // a stop was asked for meanwhile
};

// Shows the wait in the status box and the progress bar and hides both at the end. On
// kOpened the device is open in *device; every other device opened on the way is closed.
DfuWait WaitForDfuDevice(UpdateHost& host, const DfuTarget& target, DfuHandle* device);
