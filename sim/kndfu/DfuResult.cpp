#include "sim/kndfu/DfuResult.h"

namespace kndfu {

namespace {

struct ResultEntry {
  int code;
  const char* text;
};

constexpr ResultEntry kTexts[] = {
    {kOk, "Success"},
    {kNotInitialised, "DFU library not initialised"},
    {kDriverNotFound, "DFU driver not found"},
    {kNoDevice, "No DFU device with this index"},
    {kParamsUnreadable, "Cannot read the flash parameters of the device"},
    {kStringUnavailable, "String descriptor not available"},
    {kDriverVersion, "DFU driver version not supported"},
    {kInvalidHandle, "Invalid or closed device handle"},
    {kInvalidArgument, "Invalid argument"},
    {kOutOfRange, "Address range outside the device memory"},
    {kBufferTooSmall, "Buffer too small"},
    {kDisconnected, "Device disconnected"},
    {kTransferFailed, "Transfer to the device failed"},
    {kVerifyFailed, "Verification failed: the data read back differs"},
    {kNotBlank, "Memory region is not blank"},
    {kInvalidImage, "Not a valid DFU image"},
};

}  // namespace

const char* ResultText(int code) {
  for (const ResultEntry& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  return "Unknown DFU library error";
}

}  // namespace kndfu
