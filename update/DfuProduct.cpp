#include "update/DfuProduct.h"

#include "dfu/DfuLibrary.h"
#include "update/WidenBytes.h"

namespace {
constexpr std::uint32_t kProductBufferSize = 1024;
}

std::wstring ReadDfuProductText(DfuHandle handle, const DfuDeviceInfo& info) {
  char buffer[kProductBufferSize] = {};
  std::uint32_t length = kProductBufferSize;
  if (DfuDeviceASCIIStringGet(handle, info.productStringIndex, buffer, &length) != 0) return kUnknownProduct;
  // Up to the terminator, and never past the buffer even if the library wrote no terminator.
  std::size_t end = 0;
  while (end < kProductBufferSize && buffer[end] != 0) ++end;
  return WidenBytes(std::string(buffer, end));
}
