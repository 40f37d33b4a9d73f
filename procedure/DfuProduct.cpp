#include "procedure/DfuProduct.h"

#include "dfu/DfuLibrary.h"
#include "procedure/DeviceMatch.h"
#include "text/WidenBytes.h"

namespace {
constexpr std::uint32_t kProductBufferSize = 1024;
// More than a USB bus can carry: a library that keeps opening devices is not believed further.
constexpr int kMaxDfuDevices = 128;
}

std::wstring ReadDfuProductText(DfuHandle handle, const DfuDeviceInfo& info) {
  char buffer[kProductBufferSize] = {};
  std::uint32_t length = kProductBufferSize;
  if (DfuDeviceASCIIStringGet(handle, info.productStringIndex, buffer, &length) != 0) return kUnknownProduct;
  return WidenTerminated(buffer, kProductBufferSize);
}

std::wstring ReadDfuProductTextTwiceIfNeeded(DfuHandle handle, const DfuDeviceInfo& info) {
  const std::wstring product = ReadDfuProductText(handle, info);
  return product == kUnknownProduct ? ReadDfuProductText(handle, info) : product;
}

std::vector<std::wstring> ReadDfuProducts() {
  std::vector<std::wstring> products;
  for (int index = 0; index < kMaxDfuDevices; ++index) {
    DfuDeviceInfo info = {};
    DfuHandle handle = 0;
    if (DfuDeviceOpen(index, &info, &handle) != 0) {
      if (handle != 0) DfuDeviceClose(handle, 0);
      break;
    }
    // One failed read must not make an instrument of another type look like one of any.
    products.push_back(ReadDfuProductTextTwiceIfNeeded(handle, info));
    DfuDeviceClose(handle, 0);
  }
  return products;
}

bool MayBeOfTheType(const std::wstring& product, const std::wstring& deviceType) {
  return product == kUnknownProduct || MatchDeviceType(product, deviceType) == DeviceMatch::kMatch;
}
