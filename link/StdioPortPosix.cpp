// StdioPort: the descriptors the process inherited, shared with whoever gave them (a terminal
// program waiting for us, a shell, socat). What they share is the open file: its flags and a
// terminal's settings change for everyone holding it, so each change is remembered and undone.
#include "link/StdioPort.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "link/PosixPort.h"

#if defined(__linux__)
#include <linux/sockios.h>
#endif

namespace {

// A socket is written with send, which can refuse SIGPIPE per call; a pipe cannot, and the host
// ignores the signal instead.
#if defined(MSG_NOSIGNAL)
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;
#endif

// A signal (Ctrl-C) ends the sleep early, as it ends a poll.
void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, &ts);
}

}  // namespace

StdioPort::StdioPort(bool rateApplied, bool flowApplied, int inputFd, int outputFd)
    : ComLink(-1), applyRate(rateApplied), applyFlow(flowApplied) {
  ends[0].fd = inputFd;
  ends[1].fd = outputFd;
  Initialize(-1);
}

StdioPort::~StdioPort() { CloseDevice(); }

int32_t StdioPort::SystemFail(int32_t code) {
  systemError = errno;
  return Fail(code);
}

bool StdioPort::Writes(const End& end) const {
  return end.kind == Kind::Terminal && !(&end == &ends[1] && sameTerminal);
}

StdioPort::End* StdioPort::Terminal() {
  for (End& e : ends)
    if (e.kind == Kind::Terminal) return &e;
  return nullptr;
}

int32_t StdioPort::OpenDevice() {
  if (adopted) return 0;
  struct stat info[2];
  // Everything is read before anything changes: both ends may be one open file.
  for (int i = 0; i < 2; ++i) {
    End& e = ends[i];
    if (fstat(e.fd, &info[i]) != 0) return SystemFail(LinkCode::NoHardware);
    e.flagsFound = fcntl(e.fd, F_GETFL);
    if (e.flagsFound < 0) return SystemFail(LinkCode::NoHardware);
    e.kind = S_ISSOCK(info[i].st_mode)        ? Kind::Socket
             : tcgetattr(e.fd, &e.found) == 0 ? Kind::Terminal
             : S_ISFIFO(info[i].st_mode)      ? Kind::Pipe
                                              : Kind::Other;
    e.settings = e.found;
  }
  sameTerminal = ends[0].kind == Kind::Terminal && ends[1].kind == Kind::Terminal &&
                 info[0].st_rdev == info[1].st_rdev;
  for (End& e : ends) {
    // A socket is asked per call (MSG_DONTWAIT) and keeps its flags.
    if (e.kind == Kind::Socket || (e.flagsFound & O_NONBLOCK) != 0)
      e.flagsFound = -1;
    else
      fcntl(e.fd, F_SETFL, e.flagsFound | O_NONBLOCK);
  }
  adopted = true;
  inputEnded = outputGone = outputFull = false;
  readAheadStart = readAheadEnd = 0;
  return 0;
}

void StdioPort::Initialize(int32_t) {
  if (OpenDevice() != 0) return;
  for (End& e : ends) {
    if (e.kind != Kind::Terminal) continue;
    // Raw 8-bit: no echo, no line editing, no signals or translation from the bytes. IXON goes
    // with it (the terminal would take XON and XOFF out of an XModem block); IXOFF, CRTSCTS and
    // the rate stay as found. Reads return at once, so input needs no non-blocking flag.
    cfmakeraw(&e.settings);
    e.settings.c_cc[VMIN] = 0;
    e.settings.c_cc[VTIME] = 0;
  }
  WriteTerminals();
}

int32_t StdioPort::WriteTerminals() {
  for (End& e : ends)
    if (adopted && Writes(e) && tcsetattr(e.fd, TCSANOW, &e.settings) != 0) return SystemFail(LinkCode::Failure);
  return 0;
}

int32_t StdioPort::CloseDevice() {
  if (!adopted) return 0;
  // Left unread on a login terminal, the peer's last bytes would reach the shell as typed text.
  if (ends[0].kind == Kind::Terminal) tcflush(ends[0].fd, TCIFLUSH);
  for (End& e : ends) {
    if (Writes(e)) tcsetattr(e.fd, TCSANOW, &e.found);
    if (e.flagsFound >= 0) fcntl(e.fd, F_SETFL, e.flagsFound);
  }
  adopted = false;
  readAheadStart = readAheadEnd = 0;
  return 0;
}

int32_t StdioPort::Receive(uint8_t* buffer, int32_t length) {
  const End& e = ends[0];
  if (!adopted || inputEnded || length <= 0) return 0;
  ssize_t r;
  do r = e.kind == Kind::Socket ? recv(e.fd, buffer, static_cast<size_t>(length), MSG_DONTWAIT)
                                : read(e.fd, buffer, static_cast<size_t>(length));
  while (r < 0 && errno == EINTR);
  if (r > 0) return static_cast<int32_t>(r);
  if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  // A raw terminal reads 0 when nothing waits; its hang-up shows in Idle's poll.
  if (r == 0 && e.kind == Kind::Terminal) return 0;
  if (r < 0) systemError = errno;
  inputEnded = true;
  return 0;
}

int32_t StdioPort::Send(const uint8_t* buffer, int32_t length) {
  const End& e = ends[1];
  if (!adopted || outputGone || length <= 0) return 0;
  ssize_t w;
  do w = e.kind == Kind::Socket ? send(e.fd, buffer, static_cast<size_t>(length), MSG_DONTWAIT | kNoSignal)
                                : write(e.fd, buffer, static_cast<size_t>(length));
  while (w < 0 && errno == EINTR);
  if (w > 0) return static_cast<int32_t>(w);
  if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
    systemError = errno;  // EPIPE, ECONNRESET: the reader has gone
    outputGone = true;
  }
  return 0;
}

int32_t StdioPort::Idle(int32_t maxWaitMs) {
  if (!adopted) return Fail(LinkCode::NoHardware);
  const bool wantRoom = outputFull;
  outputFull = false;
  // A peer that has gone ends the wait once nothing it sent is left to read, and at once for a
  // writer that the broken output stopped.
  if ((inputEnded || outputGone) && (Buffered() == 0 || (outputGone && wantRoom)))
    return Fail(LinkCode::NoHardware);
  const int wait = maxWaitMs > 0 ? maxWaitMs : 0;
  if (Buffered() > 0 && !wantRoom) {
    // Input waits but the caller is not reading it (a Pause): poll would return at once.
    SleepMs(wait);
    return 0;
  }
  const bool wantInput = Buffered() == 0 && !inputEnded;
  pollfd p[2] = {{ends[0].fd, static_cast<short>(wantInput ? POLLIN : 0), 0},
                 {ends[1].fd, static_cast<short>(wantRoom ? POLLOUT : 0), 0}};
  const int r = poll(p, 2, wait);
  if (r < 0) return errno == EINTR ? 0 : SystemFail(LinkCode::NoHardware);
  if (((p[0].revents | p[1].revents) & POLLNVAL) != 0) return Fail(LinkCode::NoHardware);
  if (wantInput && (p[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    // Reading now is how the end of a pipe or a socket shows (a read of 0), whatever poll said.
    readAheadStart = 0;
    readAheadEnd = Receive(readAhead, kReadAheadSize);
    // A hung-up terminal polls readable and reads nothing.
    if (ends[0].kind == Kind::Terminal && readAheadEnd == 0 && (p[0].revents & (POLLHUP | POLLERR)) != 0)
      inputEnded = true;
  }
  // A pipe whose reader left polls POLLERR, a closed socket POLLHUP; one terminal on both ends
  // is judged by its input, which may still hold the peer's last bytes.
  if ((p[1].revents & POLLERR) != 0 || ((p[1].revents & POLLHUP) != 0 && !sameTerminal)) outputGone = true;
  if ((inputEnded || outputGone) && Buffered() == 0) return Fail(LinkCode::NoHardware);
  return 0;
}

int32_t StdioPort::ReadModemStatus() {
  int lines = 0;
  End* t = Terminal();
  if (!adopted || !t || ioctl(t->fd, TIOCMGET, &lines) != 0) return 0;
  return ((lines & TIOCM_CTS) ? 0x10 : 0) | ((lines & TIOCM_DSR) ? 0x20 : 0) | ((lines & TIOCM_RI) ? 0x40 : 0) |
         ((lines & TIOCM_CD) ? 0x80 : 0);
}

int32_t StdioPort::Queued() {
  const End& e = ends[1];
  int queued = 0;
  unsigned long request = 0;
  if (!adopted || outputGone) return 0;  // nobody will read it
  switch (e.kind) {
    case Kind::Terminal: request = TIOCOUTQ; break;
    case Kind::Pipe: request = FIONREAD; break;  // a pipe counts its unread bytes at either end
#if defined(SIOCOUTQ)
    case Kind::Socket: request = SIOCOUTQ; break;
#endif
    default: return 0;
  }
  return ioctl(e.fd, request, &queued) == 0 ? queued : 0;
}

void StdioPort::GetBufferStatus(BufferStatus& status, int32_t) {
  int waiting = 0;
  if (!adopted || inputEnded || ioctl(ends[0].fd, FIONREAD, &waiting) != 0) waiting = 0;
  status.receivePresent = 1;
  status.receiveCount = waiting + Buffered();
  status.receiveSize = receiveQueueSize;
  status.transmitPresent = 1;
  status.transmitCount = Queued();
  status.transmitSize = transmitQueueSize;
  status.flags = holdingRemote ? 1 : 0;
}

int32_t StdioPort::SetBufferSizes(int32_t receiveSize, int32_t, int32_t transmitSize) {
  if (receiveSize != 0) receiveQueueSize = receiveSize;
  if (transmitSize != 0) transmitQueueSize = transmitSize;
  return 0;
}

int32_t StdioPort::SetHandshake(int32_t inputCode, int32_t outputCode) {
  termios check{};
  const int32_t refused = PosixPort::FlowInto(check, inputCode, outputCode);
  if (refused != 0) return RefuseHandshake(refused);
  if (applyFlow) {
    for (End& e : ends)
      if (e.kind == Kind::Terminal) PosixPort::FlowInto(e.settings, inputCode, outputCode);
    const int32_t r = WriteTerminals();
    if (r != 0) return r;
  }
  inputHandshake = inputCode;
  outputHandshake = outputCode;
  return 0;
}

int32_t StdioPort::GetHandshake(int32_t& inputCode, int32_t& outputCode) {
  inputCode = inputHandshake;
  outputCode = outputHandshake;
  return 0;
}

int32_t StdioPort::SetBreak(int32_t state) {
  if (state < 0) return breakState;
  End* t = Terminal();
  if (!adopted || !t || ioctl(t->fd, state == 1 ? TIOCSBRK : TIOCCBRK) != 0) return SystemFail(LinkCode::BreakFailed);
  breakState = state == 1 ? 1 : 0;
  return breakState;
}

int32_t StdioPort::Signal(int32_t number, int32_t value) {
  End* t = Terminal();
  if (number == LineSignal::BreakState) return t ? SetBreak(value) : 2;
  int lines = 0;
  const bool known = adopted && t && ioctl(t->fd, TIOCMGET, &lines) == 0;
  int bit = 0;
  switch (number) {
    case LineSignal::Dtr: bit = TIOCM_DTR; break;
    case LineSignal::Rts: bit = TIOCM_RTS; break;
    case LineSignal::Cts: bit = TIOCM_CTS; break;
    case LineSignal::Dsr: bit = TIOCM_DSR; break;
    case LineSignal::Ri: bit = TIOCM_RI; break;
    case LineSignal::Cd: bit = TIOCM_CD; break;
    case LineSignal::OverrunError:
    case LineSignal::ParityError:
    case LineSignal::FramingError:
    case LineSignal::BreakDetected:
    case LineSignal::ReceiveOverflow: return 0;
    default: return 2;
  }
  return known ? ((lines & bit) ? 1 : 0) : 2;
}

int32_t StdioPort::SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) {
  if (parity == '\0' || strchr("NOEMS", parity) == nullptr) return Fail(LinkCode::BadParity);
  if (dataBits < 4 || dataBits > 8) return Fail(LinkCode::BadDataBits);
  if (stopBits < 1 || stopBits > 2) return Fail(LinkCode::BadStopBits);
  if (parity != 'N' || dataBits != 8) return Fail(LinkCode::NotSupported);
  if (applyRate && Terminal()) {
    for (End& e : ends)
      if (e.kind == Kind::Terminal && !PosixPort::RateInto(e.settings, baudRate)) return Fail(LinkCode::BadBaudRate);
    const int32_t r = WriteTerminals();
    if (r != 0) return r;
  }
  rate = baudRate;
  return 0;
}

void StdioPort::GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) {
  const End* t = Terminal();
  const uint32_t terminalRate = t ? PosixPort::RateOf(t->settings) : 0;
  baudRate = terminalRate != 0 ? terminalRate : rate;
  parity = 'N';
  dataBits = 8;
  stopBits = t && (t->settings.c_cflag & CSTOPB) ? 2 : 1;
}

int32_t StdioPort::GetLineStatus(LineStatus& status) {
  status = QuerySignals();
  return 0;
}

int32_t StdioPort::PutByte(uint8_t byte) { return Write(&byte, 1) == 1 ? 0 : lastStatus; }

int32_t StdioPort::PutString(const char* text) {
  return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(strlen(text)));
}

int32_t StdioPort::Write(const uint8_t* buffer, int32_t length) {
  if (!adopted) {
    Fail(LinkCode::NoHardware);
    return 0;
  }
  if (length <= 0) return 0;
  int32_t n = length;
  if (ends[1].kind == Kind::Terminal) {
    // A terminal drains at the line's rate: a short queue keeps a cancel or a repositioning
    // from waiting behind seconds of data, as on a device the job opens.
    int queued = 0;
    if (ioctl(ends[1].fd, TIOCOUTQ, &queued) != 0) queued = 0;
    n = std::min(length, std::max(0, transmitQueueSize - queued));
  }
  const int32_t count = Send(buffer, n);
  if (count < length) {
    // Kept until Idle: a later write that fits (a gathering link flushing before it waits) does
    // not mean the caller has nothing left to write, and Idle must then return at once.
    outputFull = true;
    lastStatus = LinkCode::ShortWrite;
  }
  return count;
}

int32_t StdioPort::TransmitImmediate(uint8_t byte) {
  return Send(&byte, 1) == 1 ? 0 : Fail(LinkCode::Failure);
}

int32_t StdioPort::GetByte() {
  uint8_t byte;
  return Read(&byte, 1) == 1 ? byte : LinkCode::Timeout;
}

int32_t StdioPort::Read(uint8_t* buffer, int32_t length) {
  if (length <= 0) return 0;
  const int32_t count = std::min(Buffered(), length);
  memcpy(buffer, readAhead + readAheadStart, static_cast<size_t>(count));
  readAheadStart += count;
  if (count == length) return count;
  // Large reads go straight to the caller; small ones refill the read-ahead.
  if (length - count >= kReadAheadSize) return count + Receive(buffer + count, length - count);
  readAheadStart = 0;
  readAheadEnd = Receive(readAhead, kReadAheadSize);
  const int32_t more = std::min(readAheadEnd, length - count);
  memcpy(buffer + count, readAhead, static_cast<size_t>(more));
  readAheadStart = more;
  return count + more;
}

int32_t StdioPort::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0) {
    if (adopted && ends[1].kind == Kind::Terminal) tcflush(ends[1].fd, TCOFLUSH);
    return 0;
  }
  if (count != 0) return DrainInput(count);
  readAheadStart = readAheadEnd = 0;
  if (!adopted) return 0;
  if (ends[0].kind == Kind::Terminal) {
    tcflush(ends[0].fd, TCIFLUSH);
    return 0;
  }
  // What waits now goes; what comes after the purge is new.
  int waiting = 0;
  if (ioctl(ends[0].fd, FIONREAD, &waiting) != 0) waiting = 0;
  for (int32_t n = 1; waiting > 0 && n > 0; waiting -= n) n = Receive(readAhead, std::min(waiting, kReadAheadSize));
  readAheadStart = readAheadEnd = 0;
  return 0;
}

void StdioPort::Dump(DumpCallback callback, void* context) {
  BufferStatus b;
  GetBufferStatus(b, BufferSide::Both);
  uint32_t baud;
  char parity;
  int32_t dataBits, stopBits;
  GetDataFormat(baud, parity, dataBits, stopBits);
  static const char* const kKinds[] = {"file", "pipe", "socket", "terminal"};
  char line[160];
  snprintf(line, sizeof line, "Port type: standard input (%s) and output (%s)  BaudRate: %-6u  ByteSize: %1d  Parity: 0",
           kKinds[static_cast<int>(ends[0].kind)], kKinds[static_cast<int>(ends[1].kind)], static_cast<unsigned>(baud),
           dataBits);
  callback(context, line);
  snprintf(line, sizeof line, "StopBits: %1d  fBinary: 1  fRtsControl: %1d", stopBits == 2 ? 2 : 0,
           outputHandshake == 12 ? 2 : 0);
  callback(context, line);
  snprintf(line, sizeof line, "Parity: 0  OutCtsFlow: %1d  OutDsrFlow: 0  DtrControl: 0  OutX: %1d  InX: %1d",
           outputHandshake == 12 ? 1 : 0, outputHandshake == 1 ? 1 : 0, inputHandshake == 1 ? 1 : 0);
  callback(context, line);
  callback(context, "Null: 0  XonChar: 11  XoffChar: 13");
  snprintf(line, sizeof line, "XonLim: %-5u XoffLim: %-5u EofChr: 00  EvtChr: 00",
           static_cast<unsigned>(receiveQueueSize / 4), 128u);
  callback(context, line);
  snprintf(line, sizeof line, "RX sz/ct: %5d/%-5d  TX sz/ct: %5d/%-5d  BLOCK SENT:%d  BLOCK RECEIVED:0",
           b.receiveSize, b.receiveCount, b.transmitSize, b.transmitCount, b.flags & 1);
  callback(context, line);
}

int32_t StdioPort::HoldRemote() {
  End* t = Terminal();
  if (inputHandshake != 1 || !applyFlow || !t) return Fail(LinkCode::NotSupported);
  if (!adopted || tcflow(t->fd, TCIOFF) != 0) return SystemFail(LinkCode::Failure);
  holdingRemote = true;
  return 0;
}

int32_t StdioPort::ReleaseRemote() {
  End* t = Terminal();
  if (inputHandshake != 1 || !applyFlow || !t) return Fail(LinkCode::NotSupported);
  if (!adopted || tcflow(t->fd, TCION) != 0) return SystemFail(LinkCode::Failure);
  holdingRemote = false;
  return 0;
}
