// DeviceLink: the instruments' own framed command protocol, spoken while an instrument runs
// its application firmware. One process-wide link: a device object and two pipes (requests go
// out on the bulk OUT pipe, replies come back on the bulk IN pipe), the instrument's address
// and model, and shared request, reply and frame buffers. Not reentrant: one exchange at a
// time, all on the dialog's thread.
#pragma once

#include <cstdint>

#include "usbio/UsbIo.h"
#include "usbio/UsbIoPipe.h"

// Results of every link operation.
enum DeviceLinkResult : std::uint8_t {
  kLinkOk = 0,
  kLinkNotOpen = 1,      // nothing sent; from ExchangeFrame also: a reply without the '>' marker
  kLinkWriteFailed = 2,  // time-out included
  kLinkReadFailed = 3,   // time-out included
  kLinkBusy = 254,       // another exchange is running
  kLinkDamaged = 255,    // bad checksum, address, or segment layout
};

class DeviceLink {
 public:
  static constexpr std::size_t kBufferSize = 72;
  static constexpr std::size_t kFrameBufferSize = 256;
  static constexpr DWORD kFramedTimeoutMs = 500;
  static constexpr DWORD kFixedTimeoutMs = 4000;
  static constexpr DWORD kFramedReplyBytes = 15;  // marker and ten data bytes
  static constexpr std::size_t kReplyDataBytes = 10;
  static constexpr DWORD kIdentifyReplyBytes = 13;
  static constexpr DWORD kUpdateModeReplyBytes = 9;

  static CUsbIo Device;
  static CUsbIoPipe ReadPipe;
  static CUsbIoPipe WritePipe;

  static std::uint8_t DeviceAddress;  // 0 until the first identify: requests go unaddressed
  static std::uint32_t ModelNumber;
  static std::uint8_t RequestBuffer[kBufferSize];
  static std::uint8_t ReplyBuffer[kBufferSize];
  static std::uint8_t FrameBuffer[kFrameBufferSize];
  static std::uint8_t Busy;
  static std::uint32_t SegmentCount;
  static std::uint32_t ReplyBytes;  // what the last framed read delivered, failed reads included

  static bool IsOpen() { return Device.IsOpen(); }

  // Frames the n payload bytes at the start of RequestBuffer, sends them (none when n is 0),
  // and reads, checks and unpacks the reply into reply (kBufferSize bytes): on success the
  // ten data bytes after the marker are at reply[0..9].
  static std::uint8_t ExchangeFrame(std::uint8_t n, std::uint8_t* reply);
  // Plain read of up to count bytes, no framing; *received gets the count when given.
  static std::uint8_t ReadRaw(void* buffer, std::uint32_t count, std::uint32_t timeoutMs, DWORD* received = nullptr);

  // The commands.
  static std::uint8_t GetDeviceInfo();
  static std::uint8_t GetDeviceStatus(std::uint32_t& runState, std::uint32_t& readyState, std::uint16_t& auxState);
  static std::uint8_t EnterUpdateMode();

  // The set-configuration record for the link's interfaces.
  static void BuildConfigurationRecord(UsbIoConfigurationRecord& record);
  // Closes the device object and both pipes, in this order.
  static void CloseAll();

 private:
  // The frame's length; 0 for a payload one frame cannot carry.
  static std::size_t BuildFrame(std::uint8_t n);
  static std::uint8_t ReadReply(std::uint8_t* reply);
  static std::uint8_t JoinSegments(std::uint8_t* reply, std::size_t& payloadLength);
  static std::uint8_t WriteFixedFrame(const std::uint8_t* frame, DWORD length);
  static std::uint8_t ReadIdentifyReply(std::uint8_t (&reply)[kIdentifyReplyBytes]);
};

// The interfaces the link configures: enabled, interface, alternate setting, transfer size.
struct LinkConfigurationEntry {
  std::uint32_t enabled;
  std::uint32_t interfaceIndex;
  std::uint32_t alternateSetting;
  std::uint32_t maximumTransferSize;
};
constexpr std::size_t kLinkConfigurationEntries = 4;
extern LinkConfigurationEntry LinkConfiguration[kLinkConfigurationEntries];
