// Win32Port against a scripted device behind its Win32 function table: what Wine's serial
// emulation over a pty cannot show (modem lines, DTR/RTS, a port held elsewhere or twice here,
// line errors, the device refusing a call), the codes it refuses and the settings it gives the device.
#include "link/Win32Port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/LineControl.h"
#include "link/PortInUseTable.h"
#include "link/SerialPort.h"
#include "link/Win32CommApi.h"

namespace {

// One scripted device; the table's plain functions reach it through `device`.
struct ScriptedDevice {
  DWORD openError = 0, stateError = 0;  // CreateFileA, SetCommState fail with this when not 0
  DWORD statusError = 0;                // ClearCommError fails with this when not 0 (a device gone)
  std::string openedName;
  DCB state{};
  int writeBacks = 0;  // SetCommState calls
  COMMTIMEOUTS timeouts{};
  DWORD rxSize = 0, txSize = 0, modemStatus = 0, pendingErrors = 0;  // errors: until the next poll
  BOOL modemStatusWorks = TRUE, breakWorks = TRUE, closeWorks = TRUE;
  COMSTAT stat{};
  std::vector<uint8_t> input;
  DWORD readLimit = MAXDWORD;  // ReadFile hands over at most this; the rest via GetOverlappedResult
  DWORD pendingRead = 0, pendingTotal = 0;
  uint8_t* pendingBuffer = nullptr;
  bool writeFails = false, readFails = false;
  // Windows: a read of an empty queue returns at once (else it waits, as Wine's does); Wine's
  // WaitCommEvent on a pty, which ends at once without an event.
  bool readsReturnAtOnce = false, eventsEndAtOnce = false;
  DWORD writePendsWith = MAXDWORD;  // WriteFile pends, and the request ends with this count
  std::vector<uint8_t> arriving, atCancel;  // come during a wait on the device, with its cancel
  bool wakeSet = false;
  DWORD* eventMask = nullptr;  // of the WaitCommEvent pending
  DWORD mask = 0;              // the last SetCommMask
  std::vector<std::string> calls;  // escapes, purges, breaks, close, flushes, sleeps, waits
  int reads = 0;                   // ReadFile calls
  uint64_t nowUs = 1000000;
};
ScriptedDevice* device;

HANDLE WINAPI FakeCreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  device->openedName = name;
  SetLastError(device->openError);
  return device->openError ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(0x1234);
}
BOOL WINAPI FakeCloseHandle(HANDLE) { return device->calls.push_back("close"), device->closeWorks; }
BOOL WINAPI FakeSetupComm(HANDLE, DWORD rx, DWORD tx) {
  return device->rxSize = rx, device->txSize = tx, TRUE;
}
BOOL WINAPI FakeGetCommState(HANDLE, LPDCB dcb) { return *dcb = device->state, TRUE; }
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB dcb) {
  if (device->stateError) return SetLastError(device->stateError), FALSE;
  return device->state = *dcb, ++device->writeBacks, TRUE;
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS t) { return device->timeouts = *t, TRUE; }
BOOL WINAPI FakeGetCommMask(HANDLE, LPDWORD mask) { return *mask = 0, TRUE; }
BOOL WINAPI FakeSetCommMask(HANDLE, DWORD mask) { return device->mask = mask, TRUE; }
BOOL WINAPI FakeWaitCommEvent(HANDLE, LPDWORD mask, LPOVERLAPPED) {
  if (!device->input.empty()) return *mask = EV_RXCHAR, TRUE;
  return device->eventMask = mask, SetLastError(ERROR_IO_PENDING), FALSE;
}
BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
  if (device->statusError) return SetLastError(device->statusError), FALSE;
  *errors = device->pendingErrors;
  device->pendingErrors = 0;
  *stat = device->stat;
  stat->cbInQue = static_cast<DWORD>(device->input.size());
  return TRUE;
}
BOOL WINAPI FakeGetCommModemStatus(HANDLE, LPDWORD status) {
  return *status = device->modemStatus, device->modemStatusWorks;
}
BOOL WINAPI FakeEscapeCommFunction(HANDLE, DWORD f) {
  const char* names[] = {"?", "SETXOFF", "SETXON", "SETRTS", "CLRRTS", "SETDTR", "CLRDTR"};
  device->calls.push_back(f <= 6 ? names[f] : "?");
  return TRUE;
}
BOOL WINAPI FakeSetCommBreak(HANDLE) { return device->calls.push_back("break on"), device->breakWorks; }
BOOL WINAPI FakeClearCommBreak(HANDLE) { return device->calls.push_back("break off"), device->breakWorks; }
BOOL WINAPI FakeTransmitCommChar(HANDLE, char) { return TRUE; }
BOOL WINAPI FakePurgeComm(HANDLE, DWORD flags) {
  device->calls.push_back("purge " + std::to_string(flags));
  if (flags & PURGE_RXCLEAR) device->input.clear();
  return TRUE;
}
// Moves up to `n` scripted input bytes to `out`.
DWORD TakeInput(uint8_t* out, DWORD n) {
  std::copy(device->input.begin(), device->input.begin() + n, out);
  device->input.erase(device->input.begin(), device->input.begin() + n);
  return n;
}
BOOL WINAPI FakeReadFile(HANDLE, LPVOID buffer, DWORD n, LPDWORD count, LPOVERLAPPED) {
  ++device->reads;
  if (device->readFails) return SetLastError(ERROR_ACCESS_DENIED), *count = 0, FALSE;
  *count = TakeInput(static_cast<uint8_t*>(buffer), std::min<DWORD>({n, device->readLimit, DWORD(device->input.size())}));
  if (*count == n || (*count == 0 && device->readsReturnAtOnce)) return TRUE;
  device->pendingRead = n - *count;
  device->pendingTotal = n;
  device->pendingBuffer = static_cast<uint8_t*>(buffer) + *count;
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}
BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID, DWORD n, LPDWORD count, LPOVERLAPPED) {
  if (device->writePendsWith != MAXDWORD) return *count = 0, SetLastError(ERROR_IO_PENDING), FALSE;
  *count = device->writeFails ? n / 2 : n;  // a failing device still took some
  SetLastError(ERROR_GEN_FAILURE);
  return !device->writeFails;
}
BOOL WINAPI FakeGetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD count, BOOL wait) {
  device->calls.push_back(wait ? "overlapped wait" : "overlapped");
  if (device->writePendsWith != MAXDWORD) return *count = device->writePendsWith, TRUE;
  if (DWORD* events = device->eventMask) {  // with the input that came, else cancelled
    device->eventMask = nullptr;
    return *count = 0, *events = device->input.empty() ? 0 : EV_RXCHAR, *events != 0;
  }
  // A read ends with what was taken at once and what has come since (also when cancelled).
  const DWORD taken = device->pendingTotal - device->pendingRead;
  *count = taken + TakeInput(device->pendingBuffer, std::min<DWORD>(device->pendingRead, device->input.size()));
  device->pendingRead = 0;
  return TRUE;
}
BOOL WINAPI FakeFlushFileBuffers(HANDLE) { return device->calls.push_back("flush"), TRUE; }
const HANDLE kWake = reinterpret_cast<HANDLE>(0x5678);
void Arrive(std::vector<uint8_t>& bytes) {
  device->input.insert(device->input.end(), bytes.begin(), bytes.end());
  bytes.clear();
}
// Waits on the pending request (when one is given) and the wake event: input arriving meanwhile
// ends the request's wait, as does the end of a pty's event wait; a set wake ends any.
DWORD WINAPI FakeWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL, DWORD ms) {
  const bool wake = handles[count - 1] == kWake, request = count > (wake ? 1u : 0u);
  device->calls.push_back("wait " + std::to_string(ms) + (request ? " request" : "") + (wake ? " wake" : ""));
  if (request && (!device->arriving.empty() || (device->eventMask && device->eventsEndAtOnce)))
    return Arrive(device->arriving), WAIT_OBJECT_0;
  return wake && device->wakeSet ? WAIT_OBJECT_0 + count - 1 : WAIT_TIMEOUT;
}
BOOL WINAPI FakeCancelIo(HANDLE) { return Arrive(device->atCancel), device->calls.push_back("cancel"), TRUE; }
void WINAPI FakeSleep(DWORD ms) { device->calls.push_back("sleep " + std::to_string(ms)); }
uint64_t FakeNow() { return device->nowUs; }

const Win32CommApi kScripted = {
    FakeCreateFileA,   FakeCloseHandle,     FakeSetupComm,          FakeGetCommState,
    FakeSetCommState,  FakeSetCommTimeouts, FakeGetCommMask,        FakeSetCommMask,
    FakeWaitCommEvent, FakeClearCommError,  FakeGetCommModemStatus, FakeEscapeCommFunction,
    FakeSetCommBreak,  FakeClearCommBreak,  FakeTransmitCommChar,   FakePurgeComm,
    FakeReadFile,      FakeWriteFile,       FakeGetOverlappedResult, FakeFlushFileBuffers,
    FakeWaitForMultipleObjects, FakeCancelIo, FakeSleep, FakeNow};

constexpr int32_t kIndex = 6;  // COM7

class Win32PortScripted : public ::testing::Test {
 protected:
  void SetUp() override {
    device = &dev;
    // What the device had before: some settings the port must keep, some it must replace.
    dev.state.DCBlength = sizeof(DCB);
    dev.state.BaudRate = 2400;
    dev.state.fParity = 1;
    dev.state.fOutxCtsFlow = 1;
    dev.state.fNull = 1;
    dev.state.ErrorChar = '?';
  }
  void TearDown() override { device = nullptr; }
  ScriptedDevice dev;
};

TEST_F(Win32PortScripted, OpenGivesTheDeviceItsSettingsAndRaisesDtrAndRts) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  ASSERT_EQ(port.Status(), 0);
  EXPECT_EQ(dev.openedName, "\\\\.\\COM7");
  EXPECT_EQ(dev.rxSize, 4096u);
  EXPECT_EQ(dev.txSize, 2048u);
  EXPECT_EQ(dev.writeBacks, 1);
  const DCB& d = dev.state;  // fParity and ErrorChar are not the port's business
  EXPECT_EQ(std::vector<DWORD>({d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fOutxCtsFlow,
                                d.fDtrControl, d.fRtsControl, d.fBinary, d.fNull, DWORD(d.XonChar),
                                DWORD(d.XoffChar), d.XonLim, d.XoffLim, d.fParity, DWORD(d.ErrorChar)}),
            std::vector<DWORD>({19200, 8, NOPARITY, ONESTOPBIT, 0, DTR_CONTROL_ENABLE,
                                RTS_CONTROL_DISABLE, 1, 0, 0x11, 0x13, 1024, 128, 1, '?'}));
  const COMMTIMEOUTS& t = dev.timeouts;
  EXPECT_EQ(std::vector<DWORD>({t.ReadIntervalTimeout, t.ReadTotalTimeoutConstant,
                                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant}),
            std::vector<DWORD>({MAXDWORD, 0, 5, 10}));
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"SETDTR", "SETRTS"}));
  EXPECT_EQ(port.Signal(LineSignal::Dtr, -1), 1);
  EXPECT_EQ(port.Signal(LineSignal::Rts, -1), 1);

  // The event character is written over the device's own settings, re-read, not overwritten.
  dev.state.XoffLim = 77;
  EXPECT_NE(port.SetEventChar('\r'), 0);
  EXPECT_EQ(dev.state.EvtChar, '\r');
  EXPECT_EQ(dev.state.XoffLim, 77);
  uint32_t mask = 0;
  dev.input = {0x41};
  EXPECT_EQ(port.WaitEvent(mask), 0);
  EXPECT_EQ(mask, static_cast<uint32_t>(EV_RXCHAR));
}

// Another process holding the port fails the open; a second object of this process on a port it
// holds is stopped by the process table before the device is asked, and leaves the first one's
// device alone.
TEST_F(Win32PortScripted, APortHeldElsewhereOrHereIsNotOpened) {
  dev.openError = ERROR_ACCESS_DENIED;
  {
    Win32Port port(kIndex, 4096, 2048, &kScripted);
    EXPECT_EQ(port.Status(), LinkCode::Failure);
    EXPECT_EQ(PortInUseTable::Count(kIndex), 0);
    EXPECT_EQ(dev.writeBacks, 0);
    EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0);
    EXPECT_EQ(port.Status(), LinkCode::ShortWrite);
    EXPECT_EQ(port.GetByte(), LinkCode::Timeout);
  }
  dev.openError = 0;
  Win32Port first(kIndex, 4096, 2048, &kScripted);
  ASSERT_EQ(first.Status(), 0);
  dev.openedName.clear();
  dev.calls.clear();
  {
    Win32Port second(kIndex, 4096, 2048, &kScripted);
    EXPECT_EQ(second.Status(), LinkCode::PortInUse);
  }
  EXPECT_EQ(dev.openedName, "");
  EXPECT_TRUE(dev.calls.empty());  // nothing purged, dropped or closed under the first one
  EXPECT_EQ(PortInUseTable::Count(kIndex), 1);
}

TEST_F(Win32PortScripted, ModemLinesAndLineErrorsReachTheLineStatus) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  SerialPort serial(&port);
  dev.modemStatus = MS_CTS_ON | MS_RLSD_ON;
  EXPECT_EQ(port.ReadModemStatus(), 0x90);
  const int32_t lines[][2] = {{LineSignal::Cts, 1}, {LineSignal::Dsr, 0}, {LineSignal::Ri, 0},
                              {LineSignal::Cd, 1},  {20, 0},              {5, 2}};
  for (const auto& l : lines) EXPECT_EQ(port.Signal(l[0], -1), l[1]) << l[0];

  // Line errors are gathered by any poll of the device and kept until GetLineStatus.
  dev.pendingErrors = CE_FRAME | CE_OVERRUN;
  EXPECT_EQ(port.GetByte(), LinkCode::Timeout);
  dev.pendingErrors = CE_RXPARITY;
  port.GetByte();
  for (const int32_t error : {LineSignal::FramingError, LineSignal::OverrunError, LineSignal::ParityError})
    EXPECT_EQ(port.Signal(error, -1), 1) << error;
  EXPECT_EQ(port.Signal(LineSignal::BreakDetected, -1), 0);
  uint16_t word = 0;
  ASSERT_EQ(serial.LineErrors(word), 0);
  EXPECT_EQ(word, 1 | 2 | 8);  // parity, framing, overrun
  EXPECT_TRUE(serial.Lines()->CarrierDetect());
  EXPECT_EQ(port.LineErrorBits(), 0u);
  dev.pendingErrors = CE_RXOVER | CE_BREAK;
  ASSERT_EQ(serial.LineErrors(word), 0);
  EXPECT_EQ(word, 4 | 16);

  // A device without modem lines answers every line as down and fails nothing.
  dev.modemStatusWorks = FALSE;
  EXPECT_EQ(port.ReadModemStatus(), 0);
  EXPECT_EQ(port.Signal(LineSignal::Cd, -1), 0);
}

TEST_F(Win32PortScripted, DtrRtsAndBreakAreDrivenAndKept) {
  auto port = std::make_unique<Win32Port>(kIndex, 4096, 2048, &kScripted);
  dev.calls.clear();
  EXPECT_EQ(port->Signal(LineSignal::Dtr, 0), 0);
  EXPECT_EQ(port->Signal(LineSignal::Rts, 0), 0);
  EXPECT_EQ(port->Signal(LineSignal::Rts, 1), 1);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"CLRDTR", "CLRRTS", "SETRTS"}));
  // The settings follow only at the next write-back.
  EXPECT_EQ(dev.writeBacks, 1);
  ASSERT_EQ(port->SetHandshake(0, 0), 0);
  EXPECT_EQ(dev.state.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
  EXPECT_EQ(dev.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  LineStatus lines;
  port->GetLineStatus(lines);
  EXPECT_EQ(lines.Field(LineSignal::Dtr), 0);
  EXPECT_EQ(lines.Field(LineSignal::Rts), 1);

  // A break the device refuses is said and leaves the line as it was.
  EXPECT_EQ(port->SetBreak(1), 1);
  EXPECT_EQ(port->Signal(LineSignal::BreakState, -1), 1);
  dev.breakWorks = FALSE;
  EXPECT_EQ(port->SetBreak(0), LinkCode::BreakFailed);
  EXPECT_EQ(port->SetBreak(-1), 1);
  EXPECT_EQ(port->TakeStatus(), LinkCode::BreakFailed);

  // Closing drops both lines after purging both sides; a device that fails to close keeps the
  // port claimed until the object goes.
  dev.calls.clear();
  dev.closeWorks = FALSE;
  EXPECT_EQ(port->CloseDevice(), LinkCode::CloseFailed);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"purge 2", "purge 8", "purge 1", "purge 4",
                                                 "CLRDTR", "CLRRTS", "close"}));
  EXPECT_EQ(PortInUseTable::Count(kIndex), 1);
  port.reset();
  EXPECT_EQ(PortInUseTable::Count(kIndex), 0);
}

TEST_F(Win32PortScripted, CodesBecomeDeviceSettingsAndARefusalKeepsTheLastGoodOnes) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  const struct {
    int32_t input, output;
    DWORD rts, dtr, cts, dsr, inX, outX;
  } accepted[] = {
      {LineSignal::Rts, LineSignal::Cts, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE, 1, 0, 0, 0},
      {LineSignal::Dtr, LineSignal::Dsr, RTS_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE, 0, 1, 0, 0},
      {1, 1, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE, 0, 0, 1, 1},
  };
  for (const auto& r : accepted) {
    ASSERT_EQ(port.SetHandshake(r.input, r.output), 0);
    const DCB& d = dev.state;
    EXPECT_EQ(std::vector<DWORD>(
                  {d.fRtsControl, d.fDtrControl, d.fOutxCtsFlow, d.fOutxDsrFlow, d.fInX, d.fOutX}),
              std::vector<DWORD>({r.rts, r.dtr, r.cts, r.dsr, r.inX, r.outX}))
        << r.input << ' ' << r.output;
  }

  // A refused pair stops before the write-back and keeps the last good codes; what the input
  // code changed reaches the device with the next write-back.
  const struct {
    int32_t input, output, returned, left;
  } refused[] = {
      {2, 0, LinkCode::Failure, LinkCode::BadInputHandshake},
      {13, 0, LinkCode::NotSupported, LinkCode::NotSupported},
      {0, 15, LinkCode::NotSupported, LinkCode::NotSupported},
      {4, 14, LinkCode::BadOutputHandshake, LinkCode::BadOutputHandshake},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(port.SetHandshake(r.input, r.output), r.returned) << r.input << ' ' << r.output;
    EXPECT_EQ(port.TakeStatus(), r.left);
    EXPECT_EQ(dev.writeBacks, 4);
    int32_t in, out;
    port.GetHandshake(in, out);
    EXPECT_EQ(in * 100 + out, 101);
  }
  // A refused format, the same: parity and rate wait for the next write-back; the data and stop
  // bits stay those of the open (8, 1). The old driver's -12 is a rate the device refused.
  const struct { char parity; int32_t data, stop; DWORD deviceError; int32_t code; } refusedFormats[] = {
      {'O', 8, 1, DWORD(-12), LinkCode::BadBaudRate}, {'X', 8, 1, 0, LinkCode::BadParity},
      {'O', 3, 1, 0, LinkCode::BadDataBits}, {'O', 8, 3, 0, LinkCode::BadStopBits}};
  for (const auto& r : refusedFormats) {
    dev.stateError = r.deviceError;
    EXPECT_EQ(port.SetDataFormat(57600, r.parity, r.data, r.stop), r.code);
  }
  EXPECT_EQ(dev.writeBacks, 4);
  uint32_t baud;
  char parity;
  int32_t data, stop;
  port.GetDataFormat(baud, parity, data, stop);
  EXPECT_EQ(baud, 57600u);
  EXPECT_EQ(parity, 'O');
  EXPECT_EQ(data * 10 + stop, 81);
  ASSERT_EQ(port.SetDataFormat(1200, 'S', 5, 1), 0);  // five data bits take one and a half stop bits
  EXPECT_EQ(dev.state.StopBits, ONE5STOPBITS);
  EXPECT_EQ(dev.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  EXPECT_EQ(dev.state.fInX, 0u);

  // The queue sizes the device gets.
  SerialPort serial(&port);
  ASSERT_EQ(serial.SetTxQueueSize(4096), 0);
  EXPECT_EQ(dev.rxSize, 4096u);
  EXPECT_EQ(dev.txSize, 4096u);
}

TEST_F(Win32PortScripted, ReadsFinishPendingRequestsAndWritesStopAtTheQueue) {
  Win32Port port(kIndex, 4096, 100, &kScripted);
  dev.input = {1, 2, 3, 4, 5, 6};
  dev.readLimit = 2;
  uint8_t buffer[8] = {};
  EXPECT_EQ(port.Read(buffer, 8), 6);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(dev.calls.back(), "overlapped wait");

  // Bytes read ahead for GetByte still count as received, and a receive purge drops them.
  dev.readLimit = MAXDWORD;
  dev.input = {7, 8, 9, 10};
  dev.reads = 0;
  EXPECT_EQ(port.GetByte(), 7);
  EXPECT_EQ(port.GetByte(), 8);
  EXPECT_EQ(dev.reads, 1);
  SerialPort serial(&port);
  dev.input = {11};
  EXPECT_EQ(serial.RxCount(), 3);
  EXPECT_EQ(port.Read(buffer, 8), 2);
  EXPECT_EQ(buffer[1], 10);
  EXPECT_EQ(port.GetByte(), 11);
  dev.input = {12, 13};
  EXPECT_EQ(port.GetByte(), 12);
  EXPECT_EQ(serial.ClearInput(0), 0);
  EXPECT_EQ(serial.RxCount(), 0);
  EXPECT_EQ(port.GetByte(), LinkCode::Timeout);

  dev.stat.cbOutQue = 60;  // 40 bytes of room
  std::vector<uint8_t> data(50, 0x55);
  EXPECT_EQ(port.Write(data.data(), 50), 40);
  EXPECT_EQ(port.TakeStatus(), LinkCode::ShortWrite);
  EXPECT_EQ(dev.calls.back(), "flush");
  dev.stat.cbOutQue = 0;
  dev.writeFails = true;
  EXPECT_EQ(port.Write(data.data(), 50), 25);
  EXPECT_EQ(port.Status(), LinkCode::ShortWrite);
  // Wine's flush of a pty returns with the write still pending on our buffer: it is waited
  // for, and one cut short by the write time-out tells its count.
  dev.writePendsWith = 30;
  dev.calls.clear();
  EXPECT_EQ(port.Write(data.data(), 50), 30);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"flush", "overlapped wait"}));

  // A read the device refuses outright (an adapter pulled) never started: nothing was read,
  // whatever the last request's record says.
  dev.readFails = true;
  dev.input = {14};
  dev.calls.clear();
  EXPECT_EQ(port.Read(buffer, 8), 0);
  EXPECT_TRUE(dev.calls.empty());
}

// Idle waits on the device as long as the caller can afford: on a read of one byte where reads
// wait (Wine), on the device's events where a read returns at once (Windows), briefly where
// neither ends when a byte comes; and on the wake event, once.
TEST_F(Win32PortScripted, IdleWaitsOnTheDeviceForWhatTheCallerWaitsFor) {
  using Calls = std::vector<std::string>;
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  port.SetWakeEvent(kWake);
  dev.calls.clear();
  dev.arriving = {0x43, 0x44};
  port.Idle(1000);
  EXPECT_EQ(port.GetByte() * 256 + port.GetByte(), 0x4344);
  // Just after the line moved, a reply is caught by yielding (Wine wakes a read late). Then a
  // read that nothing ended is cancelled, and a byte that came with the cancel is kept.
  port.Idle(250);
  dev.nowUs += 2000;
  port.Idle(250);
  dev.atCancel = {0x45};
  port.Idle(250);
  EXPECT_EQ(port.GetByte(), 0x45);
  EXPECT_EQ(dev.calls, (Calls{"wait 1000 request wake", "overlapped wait", "sleep 0",
                              "wait 250 request wake", "cancel", "overlapped wait",
                              "wait 250 request wake", "cancel", "overlapped wait"}));
  // The job's cancel ends a wait at once, and only one: its event stays set. Input left unread
  // (a Pause) ends one wait; after that only the time counts.
  dev.nowUs += 2000;
  dev.wakeSet = true;
  port.Idle(800);
  dev.input = {0x46};
  port.Idle(800);
  port.Idle(800);
  EXPECT_EQ(dev.calls.end()[-4], "wait 800 request wake");
  EXPECT_EQ(dev.calls.back(), "sleep 800");
  EXPECT_EQ(port.GetByte(), 0x46);

  // Windows: the read comes back empty at once, and the events are waited on, for room too
  // after a write that did not fit.
  Win32Port windows(kIndex + 1, 4096, 2048, &kScripted);
  dev.readsReturnAtOnce = true;
  dev.stat.cbOutQue = 2048;
  EXPECT_EQ(windows.PutString("x"), 0);
  dev.calls.clear();
  dev.arriving = {0x47};
  windows.Idle(500);
  EXPECT_EQ(dev.mask, static_cast<DWORD>(EV_RXCHAR | EV_TXEMPTY));
  EXPECT_EQ(dev.calls, (Calls{"wait 500 request", "overlapped wait"}));
  EXPECT_EQ(windows.GetByte(), 0x47);
  // Wine's event waits on a pty end at once by themselves: short timed waits from then on.
  dev.eventsEndAtOnce = true;
  windows.Idle(500);
  windows.Idle(500);
  EXPECT_EQ(dev.calls.back(), "sleep 10");

  // The device went away (Wine answers a pty closed under it with ERROR_NOT_READY).
  dev.statusError = ERROR_NOT_READY;
  EXPECT_EQ(port.Idle(1), LinkCode::NoHardware);
}

}  // namespace
