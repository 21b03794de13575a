// Win32Port against a scripted device behind its Win32 function table: what Wine's serial
// emulation over a pty cannot show (modem lines, DTR/RTS, another process holding the port,
// line errors, the device refusing a call) and the settings the port gives the device.
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
  HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
  DWORD openError = 0;  // CreateFileA fails with this when not 0
  std::string openedName;
  DCB state{};
  std::vector<DCB> written;  // every SetCommState
  COMMTIMEOUTS timeouts{};
  DWORD rxSize = 0, txSize = 0;
  DWORD modemStatus = 0;
  BOOL modemStatusWorks = TRUE;
  DWORD pendingErrors = 0;  // handed out (and cleared) by the next ClearCommError
  COMSTAT stat{};
  std::vector<uint8_t> input;
  DWORD readLimit = MAXDWORD;  // ReadFile hands over at most this; the rest via GetOverlappedResult
  bool readFinishes = true;
  std::vector<uint8_t> output;
  bool writeFails = false;
  BOOL breakWorks = TRUE, closeWorks = TRUE;
  std::vector<std::string> calls;  // escapes, purges, breaks, close, sleeps
  int reads = 0;                   // ReadFile calls
  uint64_t nowUs = 1000000;
};
ScriptedDevice* device;

HANDLE WINAPI FakeCreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  device->openedName = name;
  if (device->openError) {
    SetLastError(device->openError);
    return INVALID_HANDLE_VALUE;
  }
  return device->handle;
}
BOOL WINAPI FakeCloseHandle(HANDLE) {
  device->calls.push_back("close");
  return device->closeWorks;
}
BOOL WINAPI FakeSetupComm(HANDLE, DWORD rx, DWORD tx) {
  device->rxSize = rx;
  device->txSize = tx;
  return TRUE;
}
BOOL WINAPI FakeGetCommState(HANDLE, LPDCB dcb) {
  *dcb = device->state;
  return TRUE;
}
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB dcb) {
  device->state = *dcb;
  device->written.push_back(*dcb);
  return TRUE;
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS t) {
  device->timeouts = *t;
  return TRUE;
}
BOOL WINAPI FakeGetCommMask(HANDLE, LPDWORD mask) {
  *mask = 0;
  return TRUE;
}
BOOL WINAPI FakeSetCommMask(HANDLE, DWORD) { return TRUE; }
BOOL WINAPI FakeWaitCommEvent(HANDLE, LPDWORD mask, LPOVERLAPPED) {
  *mask = EV_RXCHAR;
  return TRUE;
}
BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
  *errors = device->pendingErrors;
  device->pendingErrors = 0;
  *stat = device->stat;
  stat->cbInQue = static_cast<DWORD>(device->input.size());
  return TRUE;
}
BOOL WINAPI FakeGetCommModemStatus(HANDLE, LPDWORD status) {
  if (!device->modemStatusWorks) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *status = device->modemStatus;
  return TRUE;
}
BOOL WINAPI FakeEscapeCommFunction(HANDLE, DWORD f) {
  const char* names[] = {"?", "SETXOFF", "SETXON", "SETRTS", "CLRRTS", "SETDTR", "CLRDTR"};
  device->calls.push_back(f <= 6 ? names[f] : "?");
  return TRUE;
}
BOOL WINAPI FakeSetCommBreak(HANDLE) {
  device->calls.push_back("break on");
  return device->breakWorks;
}
BOOL WINAPI FakeClearCommBreak(HANDLE) {
  device->calls.push_back("break off");
  return device->breakWorks;
}
BOOL WINAPI FakeTransmitCommChar(HANDLE, char c) {
  device->output.push_back(static_cast<uint8_t>(c));
  return TRUE;
}
BOOL WINAPI FakePurgeComm(HANDLE, DWORD flags) {
  device->calls.push_back("purge " + std::to_string(flags));
  if (flags & PURGE_RXCLEAR) device->input.clear();
  return TRUE;
}
DWORD pendingRead = 0, pendingTotal = 0;
uint8_t* pendingBuffer = nullptr;
BOOL WINAPI FakeReadFile(HANDLE, LPVOID buffer, DWORD n, LPDWORD count, LPOVERLAPPED) {
  ++device->reads;
  DWORD now = n < device->readLimit ? n : device->readLimit;
  auto* out = static_cast<uint8_t*>(buffer);
  std::copy(device->input.begin(), device->input.begin() + now, out);
  device->input.erase(device->input.begin(), device->input.begin() + now);
  *count = now;
  if (now == n) return TRUE;
  pendingRead = n - now;
  pendingTotal = n;
  pendingBuffer = out + now;
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}
BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID buffer, DWORD n, LPDWORD count, LPOVERLAPPED) {
  if (device->writeFails) {
    *count = n / 2;  // what the device managed before it failed
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  auto* in = static_cast<const uint8_t*>(buffer);
  device->output.insert(device->output.end(), in, in + n);
  *count = n;
  return TRUE;
}
BOOL WINAPI FakeGetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD count, BOOL wait) {
  device->calls.push_back(wait ? "overlapped wait" : "overlapped");
  if (!device->readFinishes) return FALSE;
  std::copy(device->input.begin(), device->input.begin() + pendingRead, pendingBuffer);
  device->input.erase(device->input.begin(), device->input.begin() + pendingRead);
  *count = pendingTotal;  // the whole request, as the system reports it
  return TRUE;
}
BOOL WINAPI FakeFlushFileBuffers(HANDLE) {
  device->calls.push_back("flush");
  return TRUE;
}
void WINAPI FakeSleep(DWORD ms) {
  device->calls.push_back("sleep " + std::to_string(ms));
  device->nowUs += ms == 0 ? 100 : 1000;
}
uint64_t FakeNow() { return device->nowUs; }

const Win32CommApi kScripted = {
    FakeCreateFileA,   FakeCloseHandle,     FakeSetupComm,          FakeGetCommState,
    FakeSetCommState,  FakeSetCommTimeouts, FakeGetCommMask,        FakeSetCommMask,
    FakeWaitCommEvent, FakeClearCommError,  FakeGetCommModemStatus, FakeEscapeCommFunction,
    FakeSetCommBreak,  FakeClearCommBreak,  FakeTransmitCommChar,   FakePurgeComm,
    FakeReadFile,      FakeWriteFile,       FakeGetOverlappedResult, FakeFlushFileBuffers,
    FakeSleep,         FakeNow};

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
  ASSERT_EQ(dev.written.size(), 1u);
  const DCB& d = dev.written[0];
  EXPECT_EQ(d.BaudRate, 19200u);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, NOPARITY);
  EXPECT_EQ(d.StopBits, ONESTOPBIT);
  EXPECT_EQ(d.fOutxCtsFlow, 0u);
  EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  EXPECT_EQ(d.fBinary, 1u);
  EXPECT_EQ(d.fNull, 0u);
  EXPECT_EQ(d.XonChar, 0x11);
  EXPECT_EQ(d.XoffChar, 0x13);
  EXPECT_EQ(d.XonLim, 1024);
  EXPECT_EQ(d.XoffLim, 128);
  EXPECT_EQ(d.fParity, 1u);  // not the port's business
  EXPECT_EQ(d.ErrorChar, '?');
  EXPECT_EQ(dev.timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(dev.timeouts.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(dev.timeouts.WriteTotalTimeoutMultiplier, 5u);
  EXPECT_EQ(dev.timeouts.WriteTotalTimeoutConstant, 10u);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"SETDTR", "SETRTS"}));
  EXPECT_EQ(port.Signal(LineSignal::Dtr, -1), 1);
  EXPECT_EQ(port.Signal(LineSignal::Rts, -1), 1);
}

TEST_F(Win32PortScripted, PortHeldByAnotherProcessFailsAndIsNotClaimed) {
  dev.openError = ERROR_ACCESS_DENIED;
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  EXPECT_EQ(port.Status(), LinkCode::Failure);
  EXPECT_EQ(PortInUseTable::Count(kIndex), 0);
  EXPECT_TRUE(dev.written.empty());
  // The old driver's negative codes keep their meaning.
  const struct {
    int32_t system, status;
  } table[] = {{-12, -839}, {-11, -842}, {-10, -828}, {-5, -832}, {-4, -836},
               {-3, -828},  {-2, -838},  {-1, -828},  {5, -801},  {0, -801}};
  for (const auto& row : table) {
    SetLastError(static_cast<DWORD>(row.system));
    EXPECT_EQ(port.LastErrorStatus(), row.status) << row.system;
  }
}

TEST_F(Win32PortScripted, ModemLinesAndLineErrorsReachTheLineStatus) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  SerialPort serial(&port);
  dev.modemStatus = MS_CTS_ON | MS_RLSD_ON;
  EXPECT_EQ(port.ReadModemStatus(), 0x90);
  EXPECT_EQ(port.Signal(LineSignal::Cts, -1), 1);
  EXPECT_EQ(port.Signal(LineSignal::Dsr, -1), 0);
  EXPECT_EQ(port.Signal(LineSignal::Ri, -1), 0);
  EXPECT_EQ(port.Signal(LineSignal::Cd, -1), 1);
  EXPECT_EQ(port.Signal(20, -1), 0);
  EXPECT_EQ(port.Signal(5, -1), 2);
  EXPECT_EQ(port.ModemSignal(MS_DSR_ON | MS_CTS_ON), 1);

  // Line errors are gathered by any poll of the device and kept until GetLineStatus.
  dev.pendingErrors = CE_FRAME | CE_OVERRUN;
  EXPECT_EQ(port.GetByte(), LinkCode::Timeout);
  dev.pendingErrors = CE_RXPARITY;
  port.GetByte();
  EXPECT_EQ(port.Signal(LineSignal::FramingError, -1), 1);
  EXPECT_EQ(port.Signal(LineSignal::OverrunError, -1), 1);
  EXPECT_EQ(port.Signal(LineSignal::ParityError, -1), 1);
  EXPECT_EQ(port.Signal(LineSignal::BreakDetected, -1), 0);

  uint16_t word = 0;
  ASSERT_EQ(serial.LineErrors(word), 0);
  EXPECT_EQ(word, 1 | 2 | 8);  // parity, framing, overrun
  EXPECT_TRUE(serial.Lines()->CarrierDetect());
  EXPECT_EQ(port.Signal(LineSignal::FramingError, -1), 0);
  EXPECT_EQ(port.LineErrorBits(), 0u);

  dev.pendingErrors = CE_RXOVER | CE_BREAK;
  ASSERT_EQ(serial.LineErrors(word), 0);
  EXPECT_EQ(word, 4 | 16);

  // A device without modem lines answers every line as down and fails nothing.
  dev.modemStatusWorks = FALSE;
  EXPECT_EQ(port.ReadModemStatus(), 0);
  EXPECT_EQ(port.Signal(LineSignal::Cd, -1), 0);
}

TEST_F(Win32PortScripted, DtrAndRtsAreDrivenAndKept) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  dev.calls.clear();
  EXPECT_EQ(port.Signal(LineSignal::Dtr, 0), 0);
  EXPECT_EQ(port.Signal(LineSignal::Rts, 0), 0);
  EXPECT_EQ(port.Signal(LineSignal::Rts, 1), 1);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"CLRDTR", "CLRRTS", "SETRTS"}));
  EXPECT_EQ(port.Signal(LineSignal::Dtr, -1), 0);
  EXPECT_EQ(port.ModemSignal(2), 1);
  // The settings follow only at the next write-back.
  EXPECT_EQ(dev.written.size(), 1u);
  ASSERT_EQ(port.SetHandshake(0, 0), 0);
  EXPECT_EQ(dev.state.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
  EXPECT_EQ(dev.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

  LineStatus lines;
  port.GetLineStatus(lines);
  EXPECT_EQ(lines.Field(LineSignal::Dtr), 0);
  EXPECT_EQ(lines.Field(LineSignal::Rts), 1);

  // Closing drops both lines after purging both sides.
  dev.calls.clear();
  EXPECT_EQ(port.CloseDevice(), 0);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"purge 2", "purge 8", "purge 1", "purge 4",
                                                 "CLRDTR", "CLRRTS", "close"}));
}

TEST_F(Win32PortScripted, HandshakeCodesBecomeDeviceFlowControl) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  ASSERT_EQ(port.SetHandshake(LineSignal::Rts, LineSignal::Cts), 0);
  EXPECT_EQ(dev.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  EXPECT_EQ(dev.state.fOutxCtsFlow, 1u);
  ASSERT_EQ(port.SetHandshake(LineSignal::Dtr, LineSignal::Dsr), 0);
  EXPECT_EQ(dev.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_EQ(dev.state.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(dev.state.fOutxCtsFlow, 0u);
  EXPECT_EQ(dev.state.fOutxDsrFlow, 1u);
  ASSERT_EQ(port.SetHandshake(1, 1), 0);
  EXPECT_EQ(dev.state.fInX, 1u);
  EXPECT_EQ(dev.state.fOutX, 1u);
  EXPECT_EQ(dev.state.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));

  // A refused code stops before the write-back; what changed reaches the device later.
  const size_t writes = dev.written.size();
  EXPECT_EQ(port.SetHandshake(4, 14), LinkCode::BadOutputHandshake);
  EXPECT_EQ(dev.written.size(), writes);
  int32_t in, out;
  port.GetHandshake(in, out);
  EXPECT_EQ(in, 1);
  EXPECT_EQ(out, 1);
  ASSERT_EQ(port.SetDataFormat(9600, 'N', 8, 1), 0);
  EXPECT_EQ(dev.state.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  EXPECT_EQ(dev.state.fInX, 0u);
}

TEST_F(Win32PortScripted, DataFormatAndQueueSizes) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  ASSERT_EQ(port.SetDataFormat(1200, 'S', 5, 1), 0);
  EXPECT_EQ(dev.state.StopBits, ONE5STOPBITS);
  EXPECT_EQ(dev.state.Parity, SPACEPARITY);
  ASSERT_EQ(port.SetDataFormat(1200, 'M', 6, 2), 0);
  EXPECT_EQ(dev.state.StopBits, TWOSTOPBITS);
  // A refused data-bit count still leaves parity and rate for the next write-back.
  EXPECT_EQ(port.SetDataFormat(57600, 'O', 3, 1), LinkCode::BadDataBits);
  uint32_t baud;
  char parity;
  int32_t data, stop;
  port.GetDataFormat(baud, parity, data, stop);
  EXPECT_EQ(baud, 57600u);
  EXPECT_EQ(parity, 'O');
  EXPECT_EQ(data, 6);
  EXPECT_EQ(stop, 2);

  SerialPort serial(&port);
  ASSERT_EQ(serial.SetTxQueueSize(4096), 0);
  EXPECT_EQ(dev.rxSize, 4096u);
  EXPECT_EQ(dev.txSize, 4096u);
  EXPECT_EQ(dev.state.XonLim, 1024);
  ASSERT_EQ(port.SetBufferSizes(1024, 200, 0), 0);
  EXPECT_EQ(dev.state.XonLim, 256);
  EXPECT_EQ(dev.state.XoffLim, 200);
  BufferStatus b;
  port.GetBufferStatus(b, BufferSide::Receive);
  EXPECT_EQ(b.receiveSize, 1024);
  EXPECT_EQ(b.transmitSize, 4096);
  EXPECT_EQ(b.transmitPresent, 1);
  // Sizes are 16-bit values.
  Win32Port wide(kIndex + 1, 65536 + 100, 2048, &kScripted);
  EXPECT_EQ(dev.rxSize, 100u);
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
  EXPECT_EQ(serial.RxCount(), 2);
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
  dev.writeFails = false;
  EXPECT_EQ(port.TransmitImmediate(0x13), 0);
  EXPECT_EQ(dev.output.back(), 0x13);

  dev.stat.fXoffSent = 1;
  dev.stat.fCtsHold = 1;
  std::vector<std::string> lines;
  port.Dump([](void* ctx, const char* line) { static_cast<std::vector<std::string>*>(ctx)->push_back(line); },
            &lines);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[5], "RX sz/ct:  4096/0      TX sz/ct:   100/0      BLOCK SENT:1  BLOCK RECEIVED:1");
}

TEST_F(Win32PortScripted, BreakAndCloseFailuresHaveTheirCodes) {
  auto port = std::make_unique<Win32Port>(kIndex, 4096, 2048, &kScripted);
  EXPECT_EQ(port->SetBreak(1), 1);
  EXPECT_EQ(port->Signal(LineSignal::BreakState, -1), 1);
  dev.breakWorks = FALSE;
  EXPECT_EQ(port->SetBreak(0), LinkCode::BreakFailed);
  EXPECT_EQ(port->SetBreak(-1), 1);
  EXPECT_EQ(port->TakeStatus(), LinkCode::BreakFailed);
  dev.closeWorks = FALSE;
  EXPECT_EQ(port->CloseDevice(), LinkCode::CloseFailed);
  EXPECT_EQ(PortInUseTable::Count(kIndex), 1);
  port.reset();
  EXPECT_EQ(PortInUseTable::Count(kIndex), 0);
}

TEST_F(Win32PortScripted, EventOperationsReachTheDevice) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  dev.state.EvtChar = 0;
  dev.state.XoffLim = 77;  // changed behind the port's back: re-read, not overwritten
  EXPECT_NE(port.SetEventChar('\r'), 0);
  EXPECT_EQ(dev.state.EvtChar, '\r');
  EXPECT_EQ(dev.state.XoffLim, 77);
  uint32_t mask = 99;
  EXPECT_EQ(port.GetEventMask(mask), 0);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(port.WaitEvent(mask), 0);
  EXPECT_EQ(mask, static_cast<uint32_t>(EV_RXCHAR));
  EXPECT_EQ(port.HoldRemote(), LinkCode::NotSupported);
}

TEST_F(Win32PortScripted, IdleRestsOnlyWhenTheLineHasBeenQuiet) {
  Win32Port port(kIndex, 4096, 2048, &kScripted);
  dev.nowUs += 5000;
  dev.calls.clear();
  port.Idle();
  EXPECT_EQ(dev.calls.back(), "sleep 1");

  // A byte moved: the next polls only yield, until 2 ms have gone by without one.
  dev.input = {0x06};
  EXPECT_EQ(port.GetByte(), 0x06);
  dev.calls.clear();
  for (int i = 0; i < 40; ++i) port.Idle();
  int yields = 0;
  while (yields < 40 && dev.calls[yields] == "sleep 0") ++yields;
  EXPECT_EQ(yields, 20);  // 20 yields of 100 us each
  EXPECT_EQ(dev.calls.back(), "sleep 1");

  std::vector<uint8_t> data(3, 1);
  port.Write(data.data(), 3);
  dev.calls.clear();
  port.Idle();
  EXPECT_EQ(dev.calls.back(), "sleep 0");
  EXPECT_EQ(port.Idle(), 0);
}

}  // namespace
