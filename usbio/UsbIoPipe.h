// CUsbIoPipe: a CUsbIo whose own handle is bound to one endpoint, so reads and writes on it
// move data through that endpoint, with a time-out per transfer. A timed-out transfer is
// cancelled and has ended before the call returns.
#pragma once

#include "usbio/UsbIo.h"

// One overlapped transfer over the caller's buffer, with an event of its own.
struct CUsbIoRequest {
  CUsbIoRequest(void* buffer, DWORD bufferSize);
  ~CUsbIoRequest();
  CUsbIoRequest(const CUsbIoRequest&) = delete;
  CUsbIoRequest& operator=(const CUsbIoRequest&) = delete;

  DWORD BytesToTransfer;
  DWORD BytesTransferred;
  DWORD Status;  // 0 done, ERROR_IO_PENDING in progress, else the failure
  CUsbIoRequest* Next;
  DWORD Context1, Context2;
  void* Buffer;
  DWORD BufferSize;
  OVERLAPPED Overlapped;
  DWORD OwnsBuffer;  // always clear: the buffer stays the caller's
};

class CUsbIoPipe : public CUsbIo {
 public:
  CUsbIoPipe() = default;
  ~CUsbIoPipe() override = default;

  // Opens the device when the pipe is closed, then binds its handle to the endpoint.
  DWORD Bind(int number, std::uint8_t endpointAddress, HDEVINFO deviceList, const GUID* interfaceGuid,
             bool checkApiVersion);
  // *size: bytes wanted (to send) on entry, bytes moved on exit.
  DWORD ReadWithTimeout(void* buffer, DWORD* size, DWORD timeoutMs);
  DWORD WriteWithTimeout(const void* buffer, DWORD* size, DWORD timeoutMs);
  DWORD QueryPipeStatistics(void* statistics, DWORD queryFlags);
  DWORD ClearPipeCounters();

  bool SubmitRead(CUsbIoRequest& request);
  bool SubmitWrite(CUsbIoRequest& request);
  DWORD WaitRequest(CUsbIoRequest& request, DWORD timeoutMs);

 private:
  DWORD Transfer(CUsbIoRequest& request, bool isRead, DWORD timeoutMs);
};
