// The ComLink over the standard input and output the process inherited (the port named "-"):
// a terminal program's open device, a login terminal, a pipe pair or a socket, used as it is.
// Nothing is reopened or locked; a terminal is put into raw 8-bit mode, and what the port
// changed (terminal settings, non-blocking flags) is put back as it was found. POSIX only.
#pragma once
#include <termios.h>

#include <cstdint>

#include "link/ComLink.h"

class StdioPort : public ComLink {
 public:
  // The port name that selects it.
  static constexpr const char* kName = "-";
  static constexpr int32_t kReadAheadSize = 16384;

  // Takes over inputFd and outputFd at once (Initialize); the outcome is in Status(): 0, or -828
  // when one of them is not open (SystemError() says why). A terminal's rate and flow control
  // stay as found unless applyRate / applyFlow: then SetDataFormat and SetHandshake reach it.
  explicit StdioPort(bool applyRate, bool applyFlow, int inputFd = 0, int outputFd = 1);
  // Gives the descriptors back as they were found (CloseDevice); they stay open.
  ~StdioPort() override;
  StdioPort(const StdioPort&) = delete;
  StdioPort& operator=(const StdioPort&) = delete;

  // Waits at most maxWaitMs for input, and for room after a short write; sleeps instead when
  // input waits unread (a pause). 0, or -828 (also left in the last status) once the peer is
  // gone: the end of the input with nothing left to read, a broken output, a hung-up terminal.
  int32_t Idle(int32_t maxWaitMs) override;
  // The modem lines of a terminal that has them (CTS 0x10, DSR 0x20, RI 0x40, CD 0x80), else 0.
  int32_t ReadModemStatus() override;
  // Takes over the descriptors (OpenDevice) and puts a terminal into raw 8-bit mode; input that
  // already waits stays.
  void Initialize(int32_t portIndex) override;
  // Remembers the flags and terminal settings found, then makes the descriptors non-blocking
  // (a socket keeps its flags: it is asked per call). 0, or -828.
  int32_t OpenDevice() override;
  // Drops a terminal's unread input (it would reach the shell as typed text) and puts back
  // the settings and flags found. 0.
  int32_t CloseDevice() override;
  // Receive count: the read-ahead and what the system holds. Transmit count: what the peer has
  // not read yet, where the system tells (a terminal's queue, a socket's, a pipe's), else 0.
  void GetBufferStatus(BufferStatus& status, int32_t side) override;
  // Keeps the sizes; only a terminal's writes are bounded by the transmit size (a pipe or a
  // socket takes what fits in it and says when it has room again). 0.
  int32_t SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) override;
  // The codes of PosixPort (-801 with -830 left, -832, -803). They reach a terminal only when
  // applyFlow; otherwise, and on a pipe or a socket (which hold the writer back by themselves),
  // the pair is kept and answered.
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  // A terminal's break (TIOCSBRK / TIOCCBRK); -827 elsewhere or when refused.
  int32_t SetBreak(int32_t state) override;
  // Queries only: the terminal program owns DTR and RTS, and a set just answers the state.
  // Modem lines, DTR, RTS and break are 2 (unknown) where the descriptor does not carry them;
  // line errors are 0 (none reported).
  int32_t Signal(int32_t number, int32_t value) override;
  // 8 data bits without parity (raw mode), else -803 (-840, -842, -841 for values no port has);
  // the stop bits stay as found. The rate reaches a terminal when applyRate (-839 for a rate
  // without a termios constant) and is only kept otherwise.
  int32_t SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) override;
  // A terminal's own rate; elsewhere the rate last set.
  void GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) override;
  int32_t GetLineStatus(LineStatus& status) override;
  int32_t PutByte(uint8_t byte) override;
  int32_t PutString(const char* text) override;
  // Never waits: what the descriptor takes now; fewer than length leaves -805 in the last status.
  int32_t Write(const uint8_t* buffer, int32_t length) override;
  int32_t TransmitImmediate(uint8_t byte) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  // Purging the transmit side reaches only a terminal's queue: what a pipe or a socket took is
  // gone. Purging the receive side drops the read-ahead and what waits.
  int32_t ClearBuffer(int32_t direction, int32_t count) override;
  void Dump(DumpCallback callback, void* context) override;
  // With XON/XOFF input flow control applied to a terminal: XOFF / XON (tcflow); -803 otherwise.
  int32_t HoldRemote() override;
  int32_t ReleaseRemote() override;

  // errno of the last failing system call, kept for the logs beside the status code.
  int SystemError() const { return systemError; }

 private:
  enum class Kind { Other, Pipe, Socket, Terminal };
  // A descriptor as found: its kind and what the port changed on it.
  struct End {
    int fd;
    Kind kind = Kind::Other;
    int flagsFound = -1;  // -1: flags not changed
    termios found{};      // a terminal's settings as found
    termios settings{};   // what the port keeps writing to it
  };

  int32_t SystemFail(int32_t code);
  // read/recv and write/send without waiting: the bytes moved, 0 when none can move now. An
  // input that is not a terminal reads 0 only at its end (inputEnded); an output that fails
  // is gone (outputGone).
  int32_t Receive(uint8_t* buffer, int32_t length);
  int32_t Send(const uint8_t* buffer, int32_t length);
  // What the peer has not read of our output yet, where the system tells; else 0.
  int32_t Queued();
  int32_t WriteTerminals();
  // The terminal that carries the lines and the rate: the input's, else the output's; null.
  End* Terminal();
  // Whether end is a terminal whose settings this port writes (one terminal on both ends is
  // written through the input).
  bool Writes(const End& end) const;
  int32_t Buffered() const { return readAheadEnd - readAheadStart; }

  End ends[2];  // input, output
  bool sameTerminal = false;  // both ends are one terminal
  bool applyRate, applyFlow;
  bool adopted = false;
  int systemError = 0;
  uint32_t rate = 9600;
  int32_t receiveQueueSize = 4096, transmitQueueSize = 2048;
  int32_t inputHandshake = 0, outputHandshake = 0;
  int32_t breakState = 0;
  bool holdingRemote = false;
  bool inputEnded = false, outputGone = false;
  bool outputFull = false;  // a Write came up short since the last Idle: Idle also waits for room
  uint8_t readAhead[kReadAheadSize];
  int32_t readAheadStart = 0, readAheadEnd = 0;
};
