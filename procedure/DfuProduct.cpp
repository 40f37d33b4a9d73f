#include "procedure/DfuProduct.h"

#include "dfu/DfuLibrary.h"
#include "procedure/DeviceMatch.h"
#include "text/WidenBytes.h"

namespace {
constexpr std::uint32_t kProductBufferSize = 1024;
}

std::wstring ReadDfuProductText(DfuHandle handle, const DfuDeviceInfo& info) {
  char buffer[kProductBufferSize] = {};
  std::uint32_t length = kProductBufferSize;
  if (DfuDeviceASCIIStringGet(handle, info.productStringIndex, buffer, &length) != 0) return kUnknownProduct;
  return WidenTerminated(buffer, kProductBufferSize);
}

bool MayBeOfTheType(const std::wstring& product, const std::wstring& deviceType) {
  return product == kUnknownProduct || MatchDeviceType(product, deviceType) == DeviceMatch::kMatch;
}
