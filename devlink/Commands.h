// The three requests the program sends, with labelled fields. Plain declarations.
#pragma once

#include <cstdint>

namespace commands {

// Identify: 'A', always unaddressed. Reply read raw: byte 0 address, bytes 4-5 model (LE).
constexpr std::uint8_t kIdentifyCommand = 0x41;
constexpr std::size_t kIdentifyAddressOffset = 0;
constexpr std::size_t kIdentifyModelOffset = 4;
constexpr std::size_t kIdentifyMinimumReply = 6;  // address through model

// Status query payload: command 03, selector FF 01, two zero bytes. Reply data: RunState
// (LE32), ReadyState (LE32), AuxState (LE16).
constexpr std::uint8_t kStatusQuery[] = {0x03, 0xFF, 0x01, 0x00, 0x00};
constexpr std::size_t kRunStateOffset = 0, kReadyStateOffset = 4, kAuxStateOffset = 8;
constexpr std::uint32_t kReadyStateReadyBit = 0x200000;  // bit 21
constexpr std::uint32_t kRunStateLoggerBits = 0x3;       // bit 0 or 1: a recording runs

// Update-mode request payload: command 09, data 01 04. Its 9-byte answer is not examined.
constexpr std::uint8_t kUpdateModeRequest[] = {0x09, 0x01, 0x04};

}  // namespace commands
