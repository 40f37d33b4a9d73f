#include "usbio/UsbIoPipe.h"

#include <cstring>

#include "usbio/UsbSystemPort.h"

CUsbIoRequest::CUsbIoRequest(void* buffer, DWORD bufferSize)
    : BytesToTransfer(0),
      BytesTransferred(0),
      Status(0),
      Next(nullptr),
      Context1(0),
      Context2(0),
      Buffer(buffer),
      BufferSize(bufferSize),
      OwnsBuffer(0) {
  std::memset(&Overlapped, 0, sizeof Overlapped);
  Overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CUsbIoRequest::~CUsbIoRequest() {
  if (Overlapped.hEvent != nullptr) CloseHandle(Overlapped.hEvent);
}

DWORD CUsbIoPipe::Bind(int number, std::uint8_t endpointAddress, HDEVINFO deviceList, const GUID* interfaceGuid,
                       bool checkApiVersion) {
  if (!IsOpen()) {
    const DWORD status = Open(number, deviceList, interfaceGuid, checkApiVersion);
    if (status != 0) return status;
  }
  UsbIoBindRequest request;
  request.endpointAddress = endpointAddress;
  return IoControl(IOCTL_USBIO_BIND_PIPE, &request, sizeof request, nullptr, 0, nullptr);
}

// Records how a transfer's start went: done at once, pending, or failed to start.
static bool NoteSubmission(CUsbIoRequest& request, BOOL completed) {
  request.Status = completed ? 0 : GetLastError();
  return request.Status == 0 || request.Status == ERROR_IO_PENDING;
}

bool CUsbIoPipe::SubmitRead(CUsbIoRequest& request) {
  return NoteSubmission(request, UsbSystem().ReadFile(m_hDevice, request.Buffer, request.BytesToTransfer,
                                                      &request.BytesTransferred, &request.Overlapped));
}

bool CUsbIoPipe::SubmitWrite(CUsbIoRequest& request) {
  return NoteSubmission(request, UsbSystem().WriteFile(m_hDevice, request.Buffer, request.BytesToTransfer,
                                                       &request.BytesTransferred, &request.Overlapped));
}

DWORD CUsbIoPipe::WaitRequest(CUsbIoRequest& request, DWORD timeoutMs) {
  if (request.Status != ERROR_IO_PENDING) return request.Status;
  const DWORD waited = WaitForMultipleObjects(1, &request.Overlapped.hEvent, FALSE, timeoutMs);
  if (waited == WAIT_OBJECT_0) {
    request.Status = UsbSystem().GetOverlappedResult(m_hDevice, &request.Overlapped, &request.BytesTransferred, FALSE)
                         ? 0
                         : GetLastError();
    return request.Status;
  }
  if (waited == WAIT_TIMEOUT) return USBIO_ERR_TIMEOUT;
  return waited;
}

DWORD CUsbIoPipe::Transfer(CUsbIoRequest& request, bool isRead, DWORD timeoutMs) {
  // Without its event a transfer could never be waited for: it is not started at all.
  if (request.Overlapped.hEvent == nullptr) return USBIO_ERR_NO_MEMORY;
  if (isRead) {
    SubmitRead(request);
  } else {
    SubmitWrite(request);
  }
  const DWORD status = WaitRequest(request, timeoutMs);
  if (status == USBIO_ERR_TIMEOUT) {
    CancelIo();
    WaitRequest(request, INFINITE);  // the cancelled transfer must end before its buffer goes
  }
  return status;
}

DWORD CUsbIoPipe::ReadWithTimeout(void* buffer, DWORD* size, DWORD timeoutMs) {
  CUsbIoRequest request(buffer, *size);
  request.BytesToTransfer = *size;
  const DWORD status = Transfer(request, true, timeoutMs);
  *size = request.BytesTransferred;
  return status;
}

DWORD CUsbIoPipe::WriteWithTimeout(const void* buffer, DWORD* size, DWORD timeoutMs) {
  CUsbIoRequest request(const_cast<void*>(buffer), *size);
  request.BytesToTransfer = *size;
  const DWORD status = Transfer(request, false, timeoutMs);
  *size = request.BytesTransferred;
  return status;
}

DWORD CUsbIoPipe::QueryPipeStatistics(void* statistics, DWORD queryFlags) {
  return IoControl(IOCTL_USBIO_QUERY_PIPE_STATISTICS, &queryFlags, sizeof queryFlags, statistics,
                   kUsbIoPipeStatisticsSize, nullptr);
}

DWORD CUsbIoPipe::ClearPipeCounters() {
  std::uint8_t scratch[kUsbIoPipeStatisticsSize];
  return QueryPipeStatistics(scratch, kUsbIoClearPipeCounters);
}
