// The result codes of our kndfu.dll and their texts, in one table. The program only tells
// 0, -14 and "anything else" apart and shows the text; -3 and -7 are what LMDFUInit reports
// about the driver.
#pragma once

#include <array>

namespace kndfu {

enum DfuResult : int {
  kOk = 0,
  kNotInitialised = -2,
  kDriverNotFound = -3,
  kNoDevice = -4,
  kParamsUnreadable = -5,
  kStringUnavailable = -6,
  kDriverVersion = -7,
  kInvalidHandle = -8,
  kInvalidArgument = -9,
  kOutOfRange = -10,
  kBufferTooSmall = -11,
  kDisconnected = -12,
  kTransferFailed = -13,
  kVerifyFailed = -14,
  kNotBlank = -15,
  kInvalidImage = -16,
};

// Every code the library returns by itself (fault switches may inject others).
constexpr std::array<int, 16> kAllResults = {kOk,           kNotInitialised, kDriverNotFound,  kNoDevice,
                                             kParamsUnreadable, kStringUnavailable, kDriverVersion, kInvalidHandle,
                                             kInvalidArgument,  kOutOfRange,    kBufferTooSmall, kDisconnected,
                                             kTransferFailed,   kVerifyFailed,  kNotBlank,       kInvalidImage};

// Zero-terminated text that lives as long as the library; a generic one for unknown codes.
const char* ResultText(int code);

}  // namespace kndfu
