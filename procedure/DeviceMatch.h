// Which instrument a package is for, and which DFU device is the instrument just switched
// into its loader. Plain logic over the texts the device list shows.
#pragma once

#include <string>
#include <vector>

enum class DeviceMatch {
  kMatch,         // the text names the package's device type (or its older family name)
  kNotForDevice,  // one of the aliased types, but not this device
  kUnknownType,   // neither found nor aliased: the preparation ends without a word
};

// Case-sensitive substring search for the manifest's device type in an instrument's product
// text (never in the rest of a list entry: a type such as "Device" or "0:" would match every
// instrument); "TW 3xx" also accepts "VX 3xx" and "QM 5xx" also accepts "VX 5xx". An empty
// type matches no instrument.
DeviceMatch MatchDeviceType(const std::wstring& product, const std::wstring& deviceType);

// The DFU devices seen so far in this pass (indexes 0..k, the last one the device at k) hold
// the last product text more often than the list's DFU entries held it at the last refresh:
// device k is one that arrived since.
bool ArrivedSinceRefresh(const std::vector<std::wstring>& seenSoFar, const std::vector<std::wstring>& keptProducts);
