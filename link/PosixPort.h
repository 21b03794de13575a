// The ComLink over a POSIX terminal device named by path (a serial port, a USB adapter, a pty):
// termios for the data format and flow control, modem-control ioctls for the lines, polled
// non-blocking reads through a read-ahead buffer, writes limited to the transmit queue size.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "link/ComLink.h"

struct termios;

class PosixPort : public ComLink {
 public:
  static constexpr int32_t kReadAheadSize = 4096;

  // Opens and configures the device at once (Initialize); the outcome is in Status(): 0, -801
  // when the path does not exist or is not a terminal, -838 when another opener (in this or
  // another process) holds it. Then raises DTR and RTS. Queue sizes are in bytes; the transmit
  // size bounds what one Write hands to the device.
  explicit PosixPort(const std::string& path, int32_t receiveQueueSize = 4096,
                     int32_t transmitQueueSize = 2048);
  // Closes the device (CloseDevice) when this object opened it.
  ~PosixPort() override;
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;

  // Waits at most maxWaitMs for input (and for room in the queue after a short write), or sleeps
  // maxWaitMs when input waits unread (a pause), so wait loops neither spin nor wake for
  // nothing. A signal ends the wait early. 0, or -828 (also left in the last status) once the
  // device is gone: it reports a hang-up with no data left (the far side of a pty closed, a USB
  // adapter pulled out).
  int32_t Idle(int32_t maxWaitMs) override;
  // CTS 0x10, DSR 0x20, RI 0x40, CD 0x80 from TIOCMGET (0 where the device has no modem lines,
  // as on a pty); also collects the device's line error counters into the accumulated errors.
  int32_t ReadModemStatus() override;
  // Opens (when not open) and sets 19200 baud, 8N1, raw, no flow control, non-blocking reads,
  // keeping input that already arrived. The port index is not used: the device is the path.
  void Initialize(int32_t portIndex) override;
  // Opens the path exclusively: 0, -801 (missing or not a terminal), -838 (held elsewhere).
  int32_t OpenDevice() override;
  // Purges both sides, drops DTR and RTS, restores the terminal settings found at open, closes.
  // 0, or -829 when close failed.
  int32_t CloseDevice() override;
  // Receive count includes the read-ahead buffer. The flags stay 0 but for bit 0 while
  // HoldRemote holds the far end: POSIX does not tell whether output is held.
  void GetBufferStatus(BufferStatus& status, int32_t side) override;
  // Purges the transmit side and keeps the new sizes (0 keeps a size); input that waits stays.
  // The kernel's own queues are fixed, so the sizes only bound Write and show in counts. 0, or
  // -828 when not open.
  int32_t SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) override;
  // Input codes 0, 1 (IXOFF), 4 (CRTSCTS); 3 (DTR) and 13 give -803. Output codes 0, 1 (IXON),
  // 12 (CRTSCTS); 13 and 15 give -803. Other input codes return -801 with -830 left in the last
  // status, other output codes -832. CRTSCTS covers both directions at once on POSIX. -801 when
  // the device refuses the settings.
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  // The last pair SetHandshake set; 0.
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  // TIOCSBRK / TIOCCBRK. The kept state, or -827 when the device refused.
  int32_t SetBreak(int32_t state) override;
  // DTR and RTS are set with TIOCMBIS/TIOCMBIC and answered from the kept state, so a device
  // without modem lines (a pty) keeps what was asked; CTS, DSR, RI, CD are 0 there.
  int32_t Signal(int32_t number, int32_t value) override;
  // Standard termios rates only (-839 otherwise); parity N O E, M and S through CMSPAR where
  // the system has it (else -803), others -840; data bits 5..8, 4 gives -803, others -842; stop
  // bits 1 or 2 (-841), with 5 data bits always one and a half as a UART does it. -801 when the
  // device refuses the settings.
  int32_t SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) override;
  void GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) override;
  int32_t GetLineStatus(LineStatus& status) override;
  // 0, or the last status (-805 when the byte did not fit, -828 when not open).
  int32_t PutByte(uint8_t byte) override;
  int32_t PutString(const char* text) override;
  // Hands the device at most what fits in the transmit queue (its size less what the kernel
  // still holds) and never waits; fewer than length leaves -805 in the last status.
  int32_t Write(const uint8_t* buffer, int32_t length) override;
  // Writes the byte at once, whatever the transmit queue holds. 0 or -801.
  int32_t TransmitImmediate(uint8_t byte) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  // Purges include the read-ahead buffer; drains read through it.
  int32_t ClearBuffer(int32_t direction, int32_t count) override;
  // Six lines in the layout of the Win32 port, the first naming "POSIX termios".
  void Dump(DumpCallback callback, void* context) override;
  // With XON/XOFF input flow control: sends XOFF / XON (tcflow). -803 otherwise.
  int32_t HoldRemote() override;
  int32_t ReleaseRemote() override;

  // termios shared with the other POSIX port (StdioPort): a standard rate into both speeds of t
  // (false for a rate without a termios constant); the rate of t's output speed (0 when not
  // standard); a handshake pair into IXOFF, IXON and CRTSCTS: 0, or the code a refused one
  // leaves (-830, -832, -803), with t then changed in part.
  static bool RateInto(termios& t, uint32_t rate);
  static uint32_t RateOf(const termios& t);
  static int32_t FlowInto(termios& t, int32_t inputCode, int32_t outputCode);

  const std::string& Path() const { return path; }
  bool IsOpen() const { return fd >= 0; }
  // errno of the last failing system call, kept for the logs beside the status code.
  int SystemError() const { return systemError; }

 private:
  int32_t SystemFail(int32_t code);
  int32_t WriteSettings();
  int32_t ModemLines();
  void CollectLineErrors();
  void DropReadAhead() { readAheadStart = readAheadEnd = 0; }

  std::string path;
  int fd = -1;
  int systemError = 0;
  std::unique_ptr<termios> savedSettings;  // as found at open, put back at close
  std::unique_ptr<termios> settings;       // what this port keeps writing
  int32_t receiveQueueSize, transmitQueueSize;
  int32_t xoffLimit = 128;
  int32_t inputHandshake = 0, outputHandshake = 0;
  int32_t dtrState = 1, rtsState = 1;
  int32_t breakState = 0;
  bool holdingRemote = false;
  uint32_t lineErrors = 0;       // the Win32 CE_ bits: RXOVER 1, OVERRUN 2, RXPARITY 4, FRAME 8, BREAK 0x10
  int32_t modemStatus = 0;
  bool countersKnown = false;
  int32_t counters[5] = {};      // the device's frame, overrun, parity, break, buffer-overrun counts
  bool idleSawInput = false;     // the last Idle found input waiting
  bool readSinceIdle = false;
  bool outputFull = false;       // a Write came up short since the last Idle: Idle also waits for room
  // Queue room learnt at the last count, less what was written since. The queue only drains
  // between writes, so while a write fits in it the count need not be asked again.
  int32_t roomAtLeast = 0;
  uint8_t readAhead[kReadAheadSize];
  int32_t readAheadStart = 0, readAheadEnd = 0;
};
