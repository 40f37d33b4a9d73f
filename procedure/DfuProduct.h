// The product text of an open DFU device as the device list shows it.
#pragma once

#include <string>
#include <vector>

#include "dfu/DfuApi.h"

constexpr wchar_t kUnknownProduct[] = L"<<Unknown>>";

// The device's 8-bit product string widened byte by byte, or "<<Unknown>>" when it cannot be
// read.
std::wstring ReadDfuProductText(DfuHandle handle, const DfuDeviceInfo& info);

// The same, read a second time when the first read fails: "<<Unknown>>" only for a device
// whose text cannot be read at all.
std::wstring ReadDfuProductTextTwiceIfNeeded(DfuHandle handle, const DfuDeviceInfo& info);

// The product texts of the DFU devices attached now, in DFU index order (no more than a USB bus
// can carry); empty without the DFU library.
std::vector<std::wstring> ReadDfuProducts();

// A DFU device with this product text may be an instrument of deviceType: its text names the
// type, or it cannot be read.
bool MayBeOfTheType(const std::wstring& product, const std::wstring& deviceType);
