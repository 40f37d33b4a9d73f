#include "devlink/DeviceLink.h"

#include <cstring>

#include "devlink/Commands.h"
#include "devlink/Frame.h"

CUsbIo DeviceLink::Device;
CUsbIoPipe DeviceLink::ReadPipe;
CUsbIoPipe DeviceLink::WritePipe;
std::uint8_t DeviceLink::DeviceAddress = 0;
std::uint32_t DeviceLink::ModelNumber = 0;
std::uint8_t DeviceLink::RequestBuffer[kBufferSize];
std::uint8_t DeviceLink::ReplyBuffer[kBufferSize];
std::uint8_t DeviceLink::FrameBuffer[kFrameBufferSize];
std::uint8_t DeviceLink::Busy = 0;
std::uint32_t DeviceLink::SegmentCount = 0;
std::uint32_t DeviceLink::ReplyBytes = 0;

LinkConfigurationEntry LinkConfiguration[kLinkConfigurationEntries];

namespace {

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t ReadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

std::size_t DeviceLink::BuildFrame(std::uint8_t n) { return frame::Build(DeviceAddress, FrameBuffer, n, FrameBuffer); }

std::uint8_t DeviceLink::ExchangeFrame(std::uint8_t n, std::uint8_t* reply) {
  if (Busy) return kLinkBusy;
  Busy = 1;

  if (n != 0) {
    std::uint8_t result = kLinkOk;
    if (n > kBufferSize) {
      result = kLinkWriteFailed;  // a payload the request buffer cannot hold is never sent
    } else if (!IsOpen()) {
      result = kLinkNotOpen;
    } else {
      std::memcpy(FrameBuffer, RequestBuffer, n);
      DWORD size = static_cast<DWORD>(BuildFrame(n));
      if (size == 0 || WritePipe.WriteWithTimeout(FrameBuffer, &size, kFramedTimeoutMs) != 0) result = kLinkWriteFailed;
    }
    if (result != kLinkOk) {
      Busy = 0;
      return result;
    }
  }

  reply[frame::kPayloadOffset] = 0xFF;  // an empty read is never taken for a marker
  const std::uint8_t read = ReadReply(reply);
  Busy = 0;

  if (read != kLinkOk) {
    if (reply[frame::kPayloadOffset] == frame::kNegativeMarker) {
      std::memmove(reply, reply + 3, 4);
      return read;
    }
    if (reply[frame::kPayloadOffset] != frame::kPositiveMarker) return read;
    // A positive reply lies in the buffer although the read reported a failure: check it.
  }

  if (DeviceAddress == 0) {
    // Unaddressed: the frame stays as read, only its sum is tested.
    const std::size_t length = reply[frame::kLengthOffset];
    if (length == 0) return kLinkOk;
    if (length > ReplyBytes || length > kBufferSize) return kLinkDamaged;
    return frame::Sum(reply, length) == 0 ? kLinkOk : kLinkDamaged;
  }

  std::size_t payloadLength = 0;
  if (JoinSegments(reply, payloadLength) != kLinkOk) return kLinkDamaged;
  const std::uint8_t marker = reply[0];
  // A positive reply too short to carry its ten data bytes would hand on stale buffer bytes
  // as the instrument's state.
  if (marker == frame::kPositiveMarker && payloadLength < 1 + kReplyDataBytes) return kLinkDamaged;
  std::memmove(reply, reply + 1, kReplyDataBytes);
  return marker == frame::kPositiveMarker ? kLinkOk : kLinkNotOpen;
}

std::uint8_t DeviceLink::ReadReply(std::uint8_t* reply) {
  ReplyBytes = 0;
  std::uint8_t result = kLinkOk;
  DWORD size = kFramedReplyBytes;
  if (!IsOpen()) {
    result = kLinkNotOpen;
  } else if (ReadPipe.ClearPipeCounters() != 0) {
    result = kLinkReadFailed;
  } else {
    const DWORD status = ReadPipe.ReadWithTimeout(reply, &size, kFramedTimeoutMs);
    ReplyBytes = size;
    if (status != 0) result = kLinkReadFailed;
  }
  SegmentCount = frame::SegmentCount(result == kLinkOk ? ReplyBytes : 0);
  return result;
}

std::uint8_t DeviceLink::JoinSegments(std::uint8_t* reply, std::size_t& payloadLength) {
  payloadLength = 0;
  if (!frame::JoinSegments(reply, kBufferSize, ReplyBytes, SegmentCount, DeviceAddress, payloadLength)) {
    return kLinkDamaged;
  }
  // A reply without even its marker is as damaged as one with a bad sum.
  return payloadLength == 0 ? kLinkDamaged : kLinkOk;
}

std::uint8_t DeviceLink::ReadRaw(void* buffer, std::uint32_t count, std::uint32_t timeoutMs, DWORD* received) {
  if (received != nullptr) *received = 0;
  if (!IsOpen()) return kLinkNotOpen;
  if (ReadPipe.ClearPipeCounters() != 0) return kLinkReadFailed;
  DWORD size = count;
  const DWORD status = ReadPipe.ReadWithTimeout(buffer, &size, timeoutMs);
  if (received != nullptr) *received = size;
  return status == 0 ? kLinkOk : kLinkReadFailed;
}

std::uint8_t DeviceLink::WriteFixedFrame(const std::uint8_t* frameBytes, DWORD length) {
  if (!IsOpen()) return kLinkNotOpen;
  DWORD size = length;
  return WritePipe.WriteWithTimeout(frameBytes, &size, kFixedTimeoutMs) == 0 ? kLinkOk : kLinkWriteFailed;
}

// Sends the unaddressed identify query and reads its raw reply. The reply is not validated,
// but one too short to hold the address and the model is a failed read.
std::uint8_t DeviceLink::ReadIdentifyReply(std::uint8_t (&reply)[kIdentifyReplyBytes]) {
  std::uint8_t query[frame::kOverhead + 1];
  const std::uint8_t command = commands::kIdentifyCommand;
  const std::size_t length = frame::Build(0x00, &command, 1, query);
  std::uint8_t result = WriteFixedFrame(query, static_cast<DWORD>(length));
  if (result != kLinkOk) return result;
  DWORD received = 0;
  result = ReadRaw(reply, kIdentifyReplyBytes, kFixedTimeoutMs, &received);
  if (result != kLinkOk) return result;
  return received < commands::kIdentifyMinimumReply ? kLinkReadFailed : kLinkOk;
}

std::uint8_t DeviceLink::GetDeviceInfo() {
  std::uint8_t reply[kIdentifyReplyBytes] = {};
  const std::uint8_t result = ReadIdentifyReply(reply);
  if (result != kLinkOk) return result;
  ModelNumber = ReadLe16(reply + commands::kIdentifyModelOffset);
  DeviceAddress = reply[commands::kIdentifyAddressOffset];
  return kLinkOk;
}

std::uint8_t DeviceLink::GetDeviceStatus(std::uint32_t& runState, std::uint32_t& readyState, std::uint16_t& auxState) {
  std::memcpy(RequestBuffer, commands::kStatusQuery, sizeof commands::kStatusQuery);
  const std::uint8_t result = ExchangeFrame(sizeof commands::kStatusQuery, ReplyBuffer);
  if (result != kLinkOk) return result;
  runState = ReadLe32(ReplyBuffer + commands::kRunStateOffset);
  readyState = ReadLe32(ReplyBuffer + commands::kReadyStateOffset);
  auxState = ReadLe16(ReplyBuffer + commands::kAuxStateOffset);
  return kLinkOk;
}

std::uint8_t DeviceLink::EnterUpdateMode() {
  std::uint8_t identify[kIdentifyReplyBytes] = {};
  std::uint8_t result = ReadIdentifyReply(identify);
  if (result != kLinkOk) return result;
  // The address is taken for this request only; DeviceAddress stays as it was.
  std::uint8_t request[frame::kOverhead + sizeof commands::kUpdateModeRequest];
  const std::size_t length = frame::Build(identify[commands::kIdentifyAddressOffset], commands::kUpdateModeRequest,
                                          sizeof commands::kUpdateModeRequest, request);
  result = WriteFixedFrame(request, static_cast<DWORD>(length));
  if (result != kLinkOk) return result;
  std::uint8_t answer[kUpdateModeReplyBytes];
  return ReadRaw(answer, kUpdateModeReplyBytes, kFixedTimeoutMs);
}

void DeviceLink::BuildConfigurationRecord(UsbIoConfigurationRecord& record) {
  std::memset(LinkConfiguration, 0, sizeof LinkConfiguration);
  for (std::uint32_t entry = 0; entry < kLinkConfigurationEntries; ++entry) {
    LinkConfiguration[entry] = {entry < 2 ? 1u : 0u, entry, 0, 0x10000};
  }
  std::memset(&record, 0, sizeof record);
  record.configurationIndex = 0;
  for (const LinkConfigurationEntry& entry : LinkConfiguration) {
    if (!entry.enabled) continue;
    UsbIoInterfaceSetting& setting = record.interfaces[record.numberOfInterfaces++];
    setting.interfaceIndex = static_cast<std::uint16_t>(entry.interfaceIndex);
    setting.alternateSettingIndex = static_cast<std::uint16_t>(entry.alternateSetting);
    setting.maximumTransferSize = entry.maximumTransferSize;
  }
}

void DeviceLink::CloseAll() {
  Device.Close();
  ReadPipe.Close();
  WritePipe.Close();
}
