// Win32Port over the Win32 communications functions (through Win32CommApi). Reads take only
// what the device already holds; Idle waits on the device's requests between the polls.
#include "link/Win32Port.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "link/Win32CommApi.h"

struct Win32Port::Device {
  DCB settings;
  OVERLAPPED readRequest;
  OVERLAPPED writeRequest;
  // Idle's request (a one-byte read or a comm event wait), never left pending past Idle, with an
  // event to wait on beside the wake event. The other two have none: with an event each, an
  // XModem receive under Wine ran at half the speed (Wine signals a request's event through its
  // server even when the request ends at once).
  OVERLAPPED waitRequest;
  DWORD waitEvents = 0, eventMask = 0;
  uint8_t waitByte = 0;
  HANDLE handle = INVALID_HANDLE_VALUE;
  // Bytes taken from the device ahead of the caller: a byte-at-a-time reader (GetByte) would
  // otherwise cost two device calls per byte, each a trip through the system (or Wine's
  // server). They count as received and a receive purge drops them.
  uint8_t ahead[4096];
  uint32_t aheadPos = 0, aheadEnd = 0;
  uint32_t Ahead() const { return aheadEnd - aheadPos; }
};

namespace {
constexpr char kParities[] = "NOEMS";  // index = the DCB parity value
// The longest wait where the device has no request that ends when room or input comes: a
// transmit queue that is full where the device waits only for input (the pending read of Wine,
// where a pty's output count reads 0 and the queue is never found full), or a device whose
// event waits end by themselves (Wine's WaitCommEvent on a pty ends at once, cancelled, since a
// pty has no modem lines). A wake every 10 ms costs about 0.2% of a core under Wine (20 us of
// processor each).
constexpr uint32_t kTimedWaitMs = 10;
// Wine wakes a thread waiting on a pending read some 0.3 ms after its byte came (trips through
// its server), which cost a third of the XModem throughput between two ports under Wine; while
// the line moved within this window, a reply is caught sooner by only yielding.
constexpr uint64_t kBusyWindowUs = 2000;
constexpr uint32_t kLineErrorMask = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK;

int32_t Bit(uint32_t word, uint32_t bit) { return (word & bit) ? 1 : 0; }
}  // namespace

Win32Port::Win32Port(int32_t index, int32_t receiveQueueSize_, int32_t transmitQueueSize_,
                     const Win32CommApi* api_)
    : ComLink(index),
      api(api_ ? *api_ : Win32CommApi::System()),
      transmitQueueSize(static_cast<uint16_t>(transmitQueueSize_)),
      receiveQueueSize(static_cast<uint16_t>(receiveQueueSize_)) {
  device.reset(new (std::nothrow) Device);
  if (!device) {
    lastStatus = LinkCode::OutOfMemory;
    return;
  }
  std::memset(&device->settings, 0, sizeof device->settings);
  std::memset(&device->readRequest, 0, sizeof device->readRequest);
  std::memset(&device->writeRequest, 0, sizeof device->writeRequest);
  std::memset(&device->waitRequest, 0, sizeof device->waitRequest);
  device->waitRequest.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!device->waitRequest.hEvent) {
    lastStatus = LinkCode::OutOfMemory;
    return;
  }
  Initialize(index);
  Signal(LineSignal::Dtr, 1);
  Signal(LineSignal::Rts, 1);
}

Win32Port::~Win32Port() {
  if (opened) {
    CloseDevice();
    timeEndPeriod(1);
  }
  ReleasePort();
  if (device && device->waitRequest.hEvent) CloseHandle(device->waitRequest.hEvent);
}

bool Win32Port::IsOpen() const { return device && device->handle != INVALID_HANDLE_VALUE; }

void Win32Port::SetWakeEvent(void* event) { wakeEvent = event; }

int32_t Win32Port::Idle(int32_t maxWaitMs) {
  if (!IsOpen()) return Fail(LinkCode::NoHardware);
  // A device that went away (an adapter pulled out; under Wine, a pty whose other side closed)
  // refuses the status query: every wait would otherwise go on polling a dead handle.
  uint32_t in, out;
  if (!PollDevice(in, out)) return Fail(LinkCode::NoHardware);
  bool forRoom = false;
  if (outputFull) {
    outputFull = false;
    if (out < transmitQueueSize) return LinkCode::Ok;  // the writer goes on at once
    forRoom = true;
  }
  const bool inputWaits = in > 0 || device->Ahead() > 0;
  const bool leftUnread = inputWaits && idleSawInput && !readSinceIdle;
  idleSawInput = inputWaits;
  readSinceIdle = false;
  // Input that came since the caller last looked is taken at once; input the caller leaves
  // unread (a Pause, a paced write) must not end every wait, so then only the time counts.
  if (inputWaits && !leftUnread) return LinkCode::Ok;
  if (maxWaitMs <= 0) {
    api.Sleep(0);
    return LinkCode::Ok;
  }
  AwaitDevice(static_cast<uint32_t>(maxWaitMs), !inputWaits, forRoom);
  return LinkCode::Ok;
}

void Win32Port::AwaitDevice(uint32_t ms, bool forInput, bool forRoom) {
  Device& d = *device;
  if (forInput && waitKind == WaitKind::Reads && api.MicrosecondsNow() - lastMovedUs < kBusyWindowUs)
    return api.Sleep(0);
  const WaitStart start = forInput || forRoom ? StartWait(forInput, forRoom) : WaitStart::None;
  if (start == WaitStart::Ready) return;
  const bool pending = start == WaitStart::Pending;

  // Nothing on the device ends when what is waited for comes (or the read waits for input
  // only): then a short timed wait.
  if ((forInput && !pending) || (forRoom && (!pending || waitIsRead)))
    ms = ms < kTimedWaitMs ? ms : kTimedWaitMs;
  HANDLE handles[2];
  DWORD count = 0;
  if (pending) handles[count++] = d.waitRequest.hEvent;
  if (wakeEvent) handles[count++] = static_cast<HANDLE>(wakeEvent);
  if (count == 0) {
    api.Sleep(ms);
    return;
  }
  const DWORD r = api.WaitForMultipleObjects(count, handles, FALSE, ms);
  // A wake event that failed the wait (closed under us) would fail every later one at once.
  if (wakeEvent && (r == WAIT_OBJECT_0 + count - 1 || r == WAIT_FAILED)) wakeEvent = nullptr;
  if (!pending) return;
  const bool byItself = r == WAIT_OBJECT_0;
  // A cancelled request still has to finish: its record and byte are not free before.
  if (!byItself) api.CancelIo(d.handle);
  DWORD got = 0;
  const BOOL ok = api.GetOverlappedResult(d.handle, &d.waitRequest, &got, TRUE);
  if (waitIsRead) {
    if (ok && got == 1)
      KeepWaitByte();
    else if (byItself)
      waitKind = WaitKind::Events;  // the read came back empty: reads do not wait here
  } else if (byItself && (!ok || d.waitEvents == 0)) {
    waitKind = WaitKind::Timed;  // the device ends its event waits by itself
  }
}

Win32Port::WaitStart Win32Port::StartWait(bool forInput, bool forRoom) {
  Device& d = *device;
  if (forInput && (waitKind == WaitKind::Unknown || waitKind == WaitKind::Reads)) {
    // The read time-outs say a read returns at once with what is there (and so it does on
    // Windows); Wine's read of a pty stays pending until a byte comes, the wait wanted here.
    DWORD got = 0;
    if (api.ReadFile(d.handle, &d.waitByte, 1, &got, &d.waitRequest)) {
      if (got == 1) {
        KeepWaitByte();
        return WaitStart::Ready;
      }
      waitKind = WaitKind::Events;
    } else if (GetLastError() == ERROR_IO_PENDING) {
      waitKind = WaitKind::Reads;
      waitIsRead = true;
      return WaitStart::Pending;
    } else {
      return WaitStart::None;  // refused: the next status poll tells whether the device is gone
    }
  }
  if (waitKind != WaitKind::Events) return WaitStart::None;
  const DWORD mask = (forInput ? EV_RXCHAR : 0) | (forRoom ? EV_TXEMPTY : 0);
  if (mask != d.eventMask) {
    if (!api.SetCommMask(d.handle, mask)) {
      waitKind = WaitKind::Timed;
      return WaitStart::None;
    }
    d.eventMask = mask;
  }
  d.waitEvents = 0;
  waitIsRead = false;
  if (api.WaitCommEvent(d.handle, &d.waitEvents, &d.waitRequest)) {
    if (d.waitEvents != 0) return WaitStart::Ready;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    return WaitStart::Pending;
  }
  waitKind = WaitKind::Timed;
  return WaitStart::None;
}

void Win32Port::KeepWaitByte() {
  // Idle waits for input only when none is read ahead or queued: the byte starts the read-ahead.
  Device& d = *device;
  d.ahead[0] = d.waitByte;
  d.aheadPos = 0;
  d.aheadEnd = 1;
  idleSawInput = true;
  lastMovedUs = api.MicrosecondsNow();
}

bool Win32Port::PollDevice(uint32_t& inQueue, uint32_t& outQueue, uint16_t* flags) {
  DWORD errors = 0;
  COMSTAT stat;
  std::memset(&stat, 0, sizeof stat);
  inQueue = outQueue = 0;
  if (flags) *flags = 0;
  if (!IsOpen() || !api.ClearCommError(device->handle, &errors, &stat)) return false;
  lineErrors |= errors & kLineErrorMask;
  inQueue = stat.cbInQue;
  outQueue = stat.cbOutQue;
  if (flags) {
    if (stat.fXoffSent) *flags |= 1;
    if (stat.fCtsHold || stat.fDsrHold || stat.fXoffHold) *flags |= 2;
  }
  return true;
}

int32_t Win32Port::WriteBack() {
  if (!IsOpen() || !api.SetCommState(device->handle, &device->settings))
    return Fail(LastErrorStatus());
  return LinkCode::Ok;
}

int32_t Win32Port::ReadModemStatus() {
  uint32_t in, out;
  PollDevice(in, out);
  DWORD status = 0;
  // A device without modem lines (a pseudo-terminal under Wine) refuses the call: no lines up.
  if (!IsOpen() || !api.GetCommModemStatus(device->handle, &status)) status = 0;
  modemStatus = status & 0xFF;
  return static_cast<int32_t>(modemStatus);
}

void Win32Port::Initialize(int32_t index) {
  portIndex = index;
  if (!device) return;
  // Claimed before the open (the table's claim is atomic) and given back when the open fails,
  // so two jobs starting at once cannot both open the port.
  if (!ClaimPort()) {
    lastStatus = LinkCode::PortInUse;
    return;
  }
  if (OpenDevice() != LinkCode::Ok) {
    ReleasePort();
    return;
  }
  opened = true;
  // Idle's waits end on time to the millisecond only at the finest timer period (a Pause, the
  // pacing delay); ended when the port closes.
  timeBeginPeriod(1);
  HANDLE h = device->handle;
  api.SetupComm(h, receiveQueueSize, transmitQueueSize);
  api.SetCommMask(h, 0);
  DCB& dcb = device->settings;
  dcb.DCBlength = sizeof dcb;
  api.GetCommState(h, &dcb);
  dcb.BaudRate = 19200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fBinary = 1;
  dcb.fNull = 0;
  dcb.EofChar = 0;
  dcb.EvtChar = 0;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = static_cast<WORD>(receiveQueueSize / 4);
  dcb.XoffLim = 128;
  // Reads return at once with whatever has arrived; writes give up after 10 ms + 5 ms a byte.
  COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 5, 10};
  api.SetCommTimeouts(h, &timeouts);
  WriteBack();
}

int32_t Win32Port::OpenDevice() {
  const int32_t number = portIndex + 1;
  // Room for the prefix and four digits, as the port lists give them.
  if (number < 1 || number > 9999) return Fail(LinkCode::Failure);
  char name[16];
  std::snprintf(name, sizeof name, "\\\\.\\COM%d", static_cast<int>(number));
  HANDLE h = api.CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail(LastErrorStatus());
  device->handle = h;
  return LinkCode::Ok;
}

int32_t Win32Port::CloseDevice() {
  if (!IsOpen()) return LinkCode::Ok;
  ClearBuffer(0, 0);
  ClearBuffer(1, 0);
  HANDLE h = device->handle;
  api.EscapeCommFunction(h, CLRDTR);
  api.EscapeCommFunction(h, CLRRTS);
  device->handle = INVALID_HANDLE_VALUE;
  if (!api.CloseHandle(h)) return Fail(LinkCode::CloseFailed);
  return LinkCode::Ok;
}

void Win32Port::GetBufferStatus(BufferStatus& status, int32_t) {
  uint32_t in, out;
  uint16_t flags;
  PollDevice(in, out, &flags);
  status.receivePresent = 1;
  status.receiveCount = static_cast<int32_t>(in + (device ? device->Ahead() : 0));
  status.receiveSize = static_cast<int32_t>(receiveQueueSize);
  status.transmitPresent = 1;
  status.transmitCount = static_cast<int32_t>(out);
  status.transmitSize = static_cast<int32_t>(transmitQueueSize);
  status.flags = flags;
}

int32_t Win32Port::SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) {
  if (!IsOpen()) return Fail(LinkCode::NoHardware);
  // Input that waits stays (a receiver started first has asked already); the engines judge it.
  ClearBuffer(1, 0);
  if (receiveSize != 0) receiveQueueSize = static_cast<uint16_t>(receiveSize);
  if (transmitSize != 0) transmitQueueSize = static_cast<uint16_t>(transmitSize);
  DCB& dcb = device->settings;
  dcb.XonLim = static_cast<WORD>(receiveQueueSize / 4);
  if (xoffLimit != 0) dcb.XoffLim = static_cast<WORD>(xoffLimit);
  if (!api.SetupComm(device->handle, receiveQueueSize, transmitQueueSize))
    return Fail(LastErrorStatus());
  ClearBuffer(0, 0);
  ClearBuffer(1, 0);
  return WriteBack();
}

int32_t Win32Port::SetHandshake(int32_t inputCode, int32_t outputCode) {
  if (!device) return Fail(LinkCode::NoHardware);
  DCB& dcb = device->settings;
  dcb.fInX = 0;
  dcb.fOutX = 0;
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  switch (inputCode) {
    case 0: break;
    case LineSignal::XonXoff: dcb.fInX = 1; break;
    case LineSignal::Dtr: dcb.fDtrControl = DTR_CONTROL_HANDSHAKE; break;
    case LineSignal::Rts: dcb.fRtsControl = RTS_CONTROL_HANDSHAKE; break;
    case LineSignal::Dsr: return Fail(LinkCode::NotSupported);
    default: return RefuseHandshake(LinkCode::BadInputHandshake);
  }
  switch (outputCode) {
    case 0: break;
    case LineSignal::XonXoff: dcb.fOutX = 1; break;
    case LineSignal::Cts: dcb.fOutxCtsFlow = 1; break;
    case LineSignal::Dsr: dcb.fOutxDsrFlow = 1; break;
    case LineSignal::Cd: return Fail(LinkCode::NotSupported);
    default: return Fail(LinkCode::BadOutputHandshake);
  }
  const int32_t r = WriteBack();
  if (r != LinkCode::Ok) return r;
  inputHandshake = inputCode;
  outputHandshake = outputCode;
  return LinkCode::Ok;
}

int32_t Win32Port::GetHandshake(int32_t& inputCode, int32_t& outputCode) {
  inputCode = inputHandshake;
  outputCode = outputHandshake;
  return LinkCode::Ok;
}

int32_t Win32Port::SetBreak(int32_t state) {
  if (state < 0) return breakState;
  const BOOL done = IsOpen() && (state == 1 ? api.SetCommBreak(device->handle)
                                            : api.ClearCommBreak(device->handle));
  if (!done) return Fail(LinkCode::BreakFailed);
  breakState = static_cast<int16_t>(state);
  return breakState;
}

int32_t Win32Port::Signal(int32_t number, int32_t value) {
  if (number == LineSignal::BreakState) return SetBreak(value);
  if ((number == LineSignal::Dtr || number == LineSignal::Rts) && value != -1 && device) {
    const bool on = value != 0;
    const bool dtr = number == LineSignal::Dtr;
    // Kept here and carried to the device by the escape call; the settings record only
    // follows, to be written back with the next change. A device without modem lines (a
    // pseudo-terminal under Wine) refuses the escape, which changes nothing we keep.
    if (dtr) {
      dtrState = on;
      device->settings.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    } else {
      rtsState = on;
      device->settings.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    if (IsOpen())
      api.EscapeCommFunction(device->handle,
                             dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS));
  }
  switch (number) {
    case LineSignal::Dtr: return ModemSignal(1);
    case LineSignal::Rts: return ModemSignal(2);
    case LineSignal::Cts: return ModemSignal(MS_CTS_ON);
    case LineSignal::Dsr: return ModemSignal(MS_DSR_ON);
    case LineSignal::Ri: return ModemSignal(MS_RING_ON);
    case LineSignal::Cd: return ModemSignal(MS_RLSD_ON);
    case LineSignal::Extra17:
    case LineSignal::Extra18:
    case LineSignal::Extra19:
    case LineSignal::Extra20: return 0;
    case LineSignal::OverrunError: return Bit(lineErrors, CE_OVERRUN);
    case LineSignal::ParityError: return Bit(lineErrors, CE_RXPARITY);
    case LineSignal::FramingError: return Bit(lineErrors, CE_FRAME);
    case LineSignal::BreakDetected: return Bit(lineErrors, CE_BREAK);
    case LineSignal::ReceiveOverflow: return Bit(lineErrors, CE_RXOVER);
    default: return 2;
  }
}

int32_t Win32Port::SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) {
  if (!device) return Fail(LinkCode::NoHardware);
  const char* found = parity ? std::strchr(kParities, parity) : nullptr;
  if (!found) return Fail(LinkCode::BadParity);
  DCB& dcb = device->settings;
  dcb.Parity = static_cast<BYTE>(found - kParities);
  // Any rate is taken here; the device judges it at the write-back.
  dcb.BaudRate = baudRate;
  if (dataBits < 4 || dataBits > 8) return Fail(LinkCode::BadDataBits);
  dcb.ByteSize = static_cast<BYTE>(dataBits);
  if (stopBits < 1 || stopBits > 2) return Fail(LinkCode::BadStopBits);
  dcb.StopBits = stopBits == 1 ? ONESTOPBIT : TWOSTOPBITS;
  // A UART sends 1.5 stop bits with 5-bit characters whenever two are asked for or one.
  if (dataBits == 5) dcb.StopBits = ONE5STOPBITS;
  return WriteBack();
}

void Win32Port::GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) {
  if (!device) return;
  const DCB& dcb = device->settings;
  baudRate = dcb.BaudRate;
  parity = dcb.Parity < 5 ? kParities[dcb.Parity] : 'N';
  dataBits = dcb.ByteSize;
  stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
}

int32_t Win32Port::GetLineStatus(LineStatus& status) {
  ReadModemStatus();
  status = QuerySignals();
  lineErrors = 0;
  modemStatus = 0;
  return LinkCode::Ok;
}

int32_t Win32Port::PutByte(uint8_t byte) {
  return Write(&byte, 1) == 1 ? LinkCode::Ok : lastStatus;
}

int32_t Win32Port::PutString(const char* text) {
  if (!text) return 0;
  return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
}

int32_t Win32Port::Write(const uint8_t* buffer, int32_t length) {
  if (length < 0) length = 0;
  if (!IsOpen()) {
    if (length > 0) lastStatus = LinkCode::ShortWrite;
    return 0;
  }
  uint32_t in, out;
  PollDevice(in, out);
  const int64_t room = static_cast<int64_t>(transmitQueueSize) - out;
  const int32_t n = static_cast<int32_t>(room < length ? (room < 0 ? 0 : room) : length);
  int32_t count = n;
  if (n > 0) {
    DWORD written = 0;
    bool pending = false;
    if (!api.WriteFile(device->handle, buffer, static_cast<DWORD>(n), &written,
                       &device->writeRequest)) {
      pending = GetLastError() == ERROR_IO_PENDING;
      if (!pending) {
        PollDevice(in, out);
        count = static_cast<int32_t>(written);
      }
    }
    // Returns once the device has sent everything, which paces a sender by the line.
    api.FlushFileBuffers(device->handle);
    if (pending) {
      // Windows ends the request in the flush. Wine's flush of a pty returns with the request
      // still writing from the caller's buffer, which is not ours to give back before it ends
      // (the write time-out bounds that); a request cut short by the time-out tells its count.
      DWORD done = 0;
      api.GetOverlappedResult(device->handle, &device->writeRequest, &done, TRUE);
      count = static_cast<int32_t>(done);
    }
  }
  outputFull = count < length;
  if (count > 0) lastMovedUs = api.MicrosecondsNow();
  if (count < length) lastStatus = LinkCode::ShortWrite;
  return count;
}

int32_t Win32Port::TransmitImmediate(uint8_t byte) {
  if (!IsOpen() || !api.TransmitCommChar(device->handle, static_cast<char>(byte)))
    return Fail(LinkCode::Failure);
  return LinkCode::Ok;
}

int32_t Win32Port::GetByte() {
  uint8_t byte;
  return Read(&byte, 1) == 1 ? byte : LinkCode::Timeout;
}

int32_t Win32Port::ReadDevice(uint8_t* buffer, uint32_t length) {
  uint32_t in, out;
  // Only what is already queued is asked for: an overlapped read of an empty queue may stay
  // pending until a byte arrives, which a polled link must never wait for.
  if (!PollDevice(in, out) || in == 0 || length == 0) return 0;
  const DWORD n = in < length ? in : length;
  DWORD count = 0;
  if (!api.ReadFile(device->handle, buffer, n, &count, &device->readRequest)) {
    // A request that never started has no result to wait for, and the request record still
    // holds the last one's count: the device's error bits say what went wrong.
    if (GetLastError() != ERROR_IO_PENDING) {
      PollDevice(in, out);
      return 0;
    }
    if (!api.GetOverlappedResult(device->handle, &device->readRequest, &count, TRUE)) count = 0;
  }
  if (count > 0) lastMovedUs = api.MicrosecondsNow();
  return static_cast<int32_t>(count);
}

int32_t Win32Port::Read(uint8_t* buffer, int32_t length) {
  if (!device || length <= 0) return 0;
  readSinceIdle = true;
  Device& d = *device;
  const uint32_t wanted = static_cast<uint32_t>(length);
  if (d.Ahead() == 0) {
    // A large request goes straight to the caller's buffer; a small one fills the read-ahead.
    if (wanted >= sizeof d.ahead) return ReadDevice(buffer, wanted);
    d.aheadPos = 0;
    d.aheadEnd = static_cast<uint32_t>(ReadDevice(d.ahead, sizeof d.ahead));
  }
  const uint32_t n = d.Ahead() < wanted ? d.Ahead() : wanted;
  std::memcpy(buffer, d.ahead + d.aheadPos, n);
  d.aheadPos += n;
  return static_cast<int32_t>(n);
}

int32_t Win32Port::ClearBuffer(int32_t direction, int32_t count) {
  if (direction == 0 && count != 0) return DrainInput(count);
  if (!IsOpen()) return LinkCode::Ok;
  if (direction != 0) {
    api.PurgeComm(device->handle, PURGE_TXABORT);
    api.PurgeComm(device->handle, PURGE_TXCLEAR);
  } else {
    device->aheadPos = device->aheadEnd = 0;
    api.PurgeComm(device->handle, PURGE_RXABORT);
    api.PurgeComm(device->handle, PURGE_RXCLEAR);
  }
  return LinkCode::Ok;
}

void Win32Port::Dump(DumpCallback callback, void* context) {
  if (!callback || !device) return;
  const DCB& d = device->settings;
  BufferStatus b;
  GetBufferStatus(b, BufferSide::Both);
  // Characters go out as signed values, as the settings record holds them.
  auto ch = [](char c) { return static_cast<int>(static_cast<signed char>(c)); };
  char line[256];
  wsprintfA(line, "Port type: MS Win32  BaudRate: %-6u  ByteSize: %1d  Parity: %1d",
            static_cast<unsigned>(d.BaudRate), d.ByteSize, d.Parity);
  callback(context, line);
  wsprintfA(line, "StopBits: %1d  fBinary: %1d  fRtsControl: %1d", d.StopBits, d.fBinary,
            d.fRtsControl);
  callback(context, line);
  wsprintfA(line, "Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d",
            d.fParity, d.fOutxCtsFlow, d.fOutxDsrFlow, d.fDtrControl, d.fOutX, d.fInX);
  callback(context, line);
  wsprintfA(line, "Null: %1d  XonChar: %02x  XoffChar: %02x", d.fNull, ch(d.XonChar),
            ch(d.XoffChar));
  callback(context, line);
  wsprintfA(line, "XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x",
            static_cast<unsigned>(d.XonLim), static_cast<unsigned>(d.XoffLim), ch(d.EofChar),
            ch(d.EvtChar));
  callback(context, line);
  wsprintfA(line, "RX sz/ct: %5d/%-5d  TX sz/ct: %5d/%-5d  BLOCK SENT:%d  BLOCK RECEIVED:%d",
            b.receiveSize, b.receiveCount, b.transmitSize, b.transmitCount, b.flags & 1,
            (b.flags >> 1) & 1);
  callback(context, line);
}

int32_t Win32Port::SetEventChar(char character) {
  if (!IsOpen() || !api.GetCommState(device->handle, &device->settings)) return 0;
  device->settings.EvtChar = character;
  return api.SetCommState(device->handle, &device->settings) ? 1 : 0;
}

int32_t Win32Port::GetEventMask(uint32_t& mask) {
  DWORD m = 0;
  if (!IsOpen() || !api.GetCommMask(device->handle, &m)) return Fail(LastErrorStatus());
  mask = m;
  return LinkCode::Ok;
}

int32_t Win32Port::SetEventMask(uint32_t mask) {
  if (!IsOpen() || !api.SetCommMask(device->handle, mask)) return Fail(LastErrorStatus());
  device->eventMask = mask;  // what Idle's event wait finds set
  return LinkCode::Ok;
}

int32_t Win32Port::WaitEvent(uint32_t& mask) {
  DWORD m = 0, unused = 0;
  if (!IsOpen()) return Fail(LinkCode::NoHardware);
  // The handle is overlapped, so the wait is a request finished by GetOverlappedResult.
  if (!api.WaitCommEvent(device->handle, &m, &device->readRequest) &&
      (GetLastError() != ERROR_IO_PENDING ||
       !api.GetOverlappedResult(device->handle, &device->readRequest, &unused, TRUE)))
    return Fail(LastErrorStatus());
  mask = m;
  return LinkCode::Ok;
}

int32_t Win32Port::ModemSignal(int32_t mask) {
  if (mask == 1) return dtrState;
  if (mask == 2) return rtsState;
  DWORD status = 0;
  if (!IsOpen() || !api.GetCommModemStatus(device->handle, &status)) status = 0;
  return (status & static_cast<DWORD>(mask)) ? 1 : 0;
}

int32_t Win32Port::LastErrorStatus() {
  // The negative numbers are the old comm driver's open and setting failures.
  switch (static_cast<int32_t>(GetLastError())) {
    case -12: return LinkCode::BadBaudRate;
    case -11: return LinkCode::BadDataBits;
    case -10: return LinkCode::NoHardware;
    case -5: return LinkCode::BadOutputHandshake;
    case -4: return LinkCode::OutOfMemory;
    case -3: return LinkCode::NoHardware;
    case -2: return LinkCode::PortInUse;
    case -1: return LinkCode::NoHardware;
    default: return LinkCode::Failure;
  }
}
