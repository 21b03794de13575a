// PosixPort: the Win32 port's behaviour put on termios. Where POSIX has no counterpart (output
// held flags, DTR/DSR flow control, a byte sent ahead of the queue) the nearest honest answer is
// given; devices without modem lines (ptys) keep working with the lines answered from kept state.
#include "link/PosixPort.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace {

// Win32 line error bits, kept so that Signal answers the same numbers on both ports.
constexpr uint32_t kRxOver = 0x1, kOverrun = 0x2, kRxParity = 0x4, kFrame = 0x8, kBreak = 0x10;

// Mark and space parity need the stick-parity flag, which not every system has.
#if defined(CMSPAR)
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif

struct BaudEntry {
  uint32_t rate;
  speed_t speed;
};

const BaudEntry kBaudTable[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},
#if defined(B57600)
    {57600, B57600},
#endif
#if defined(B115200)
    {115200, B115200},
#endif
#if defined(B230400)
    {230400, B230400},
#endif
#if defined(B460800)
    {460800, B460800},
#endif
#if defined(B500000)
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

// The parity value of the Win32 table (N 0, O 1, E 2, M 3, S 4) for Dump and GetDataFormat.
int ParityValue(const termios& t) {
  if (!(t.c_cflag & PARENB)) return 0;
  bool odd = (t.c_cflag & PARODD) != 0;
  if (kStickParity != 0 && (t.c_cflag & kStickParity)) return odd ? 3 : 4;
  return odd ? 1 : 2;
}

int DataBitsOf(const termios& t) {
  switch (t.c_cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

// Win32 stop-bit values: 0 one, 1 one and a half (two with a 5-bit word), 2 two.
int StopBitsValue(const termios& t) {
  if (!(t.c_cflag & CSTOPB)) return 0;
  return DataBitsOf(t) == 5 ? 1 : 2;
}

// The device's line error counters (frame, overrun, parity, break, buffer overrun), where the
// driver keeps them. False on devices and systems without them.
#if defined(__linux__) && defined(TIOCGICOUNT)
bool ReadErrorCounters(int fd, int32_t out[5]) {
  serial_icounter_struct c{};
  if (ioctl(fd, TIOCGICOUNT, &c) != 0) return false;
  out[0] = c.frame;
  out[1] = c.overrun;
  out[2] = c.parity;
  out[3] = c.brk;
  out[4] = c.buf_overrun;
  return true;
}
#else
bool ReadErrorCounters(int, int32_t[5]) { return false; }
#endif

// A signal (Ctrl-C) ends the sleep early, as it ends a poll.
void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, &ts);
}

}  // namespace

bool PosixPort::RateInto(termios& t, uint32_t rate) {
  for (const BaudEntry& e : kBaudTable)
    if (e.rate == rate) {
      cfsetispeed(&t, e.speed);
      cfsetospeed(&t, e.speed);
      return true;
    }
  return false;
}

uint32_t PosixPort::RateOf(const termios& t) {
  const speed_t speed = cfgetospeed(&t);
  for (const BaudEntry& e : kBaudTable)
    if (e.speed == speed) return e.rate;
  return 0;
}

PosixPort::PosixPort(const std::string& devicePath, int32_t receiveSize, int32_t transmitSize)
    : ComLink(-1),
      path(devicePath),
      savedSettings(std::make_unique<termios>()),
      settings(std::make_unique<termios>()),
      receiveQueueSize(receiveSize),
      transmitQueueSize(transmitSize) {
  Initialize(-1);
  Signal(LineSignal::Dtr, 1);
  Signal(LineSignal::Rts, 1);
}

PosixPort::~PosixPort() {
  if (fd >= 0) CloseDevice();
}

int32_t PosixPort::SystemFail(int32_t code) {
  systemError = errno;
  return Fail(code);
}

int32_t PosixPort::OpenDevice() {
  if (fd >= 0) return 0;
  int f = open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (f < 0) return SystemFail(errno == EBUSY ? LinkCode::PortInUse : LinkCode::Failure);
  // flock refuses a second opener in this process too (it is per open file), and holds for
  // privileged openers, which TIOCEXCL lets through.
  if (flock(f, LOCK_EX | LOCK_NB) != 0) {
    int32_t code = errno == EWOULDBLOCK ? LinkCode::PortInUse : LinkCode::Failure;
    systemError = errno;
    close(f);
    return Fail(code);
  }
  if (tcgetattr(f, savedSettings.get()) != 0) {  // not a terminal
    systemError = errno;
    close(f);
    return Fail(LinkCode::Failure);
  }
  ioctl(f, TIOCEXCL);  // best effort: keeps out openers that do not use flock
  fd = f;
  *settings = *savedSettings;
  DropReadAhead();
  return 0;
}

void PosixPort::Initialize(int32_t) {
  if (OpenDevice() != 0) return;
  termios& t = *settings;
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | kStickParity);
  t.c_cflag |= CS8 | CREAD | CLOCAL;  // CLOCAL: a dropped carrier must not hang the port up
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = 0x11;
  t.c_cc[VSTOP] = 0x13;
  cfsetispeed(&t, B19200);
  cfsetospeed(&t, B19200);
  inputHandshake = outputHandshake = 0;
  // What already arrived stays: a receiver started before us has asked for the transfer, and
  // asks again only seconds later. The engines decide what of it is stale.
  WriteSettings();
}

int32_t PosixPort::WriteSettings() {
  if (fd < 0) return Fail(LinkCode::NoHardware);
  if (tcsetattr(fd, TCSANOW, settings.get()) != 0) return SystemFail(LinkCode::Failure);
  return 0;
}

int32_t PosixPort::CloseDevice() {
  if (fd < 0) return 0;
  ClearBuffer(0, 0);
  ClearBuffer(1, 0);
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);  // as the Win32 port: hang a modem up on the way out
  tcsetattr(fd, TCSANOW, savedSettings.get());
  ioctl(fd, TIOCNXCL);
  int r = close(fd);
  fd = -1;
  roomAtLeast = 0;
  DropReadAhead();
  if (r != 0) return SystemFail(LinkCode::CloseFailed);
  return 0;
}

int32_t PosixPort::Idle(int32_t maxWaitMs) {
  if (fd < 0) return Fail(LinkCode::NoHardware);
  const int wait = maxWaitMs > 0 ? maxWaitMs : 0;
  // Input the caller leaves unread (it pauses, or it waits to write more) would end a poll for
  // input at once, again and again: then only room for a waiting writer, or the time, ends it.
  const bool inputPending = readAheadEnd > readAheadStart || (idleSawInput && !readSinceIdle);
  readSinceIdle = false;
  short events = inputPending ? 0 : POLLIN;
  // A sender stopped by a full queue wakes as soon as the peer makes room; only then, so a
  // reader's poll is not woken by an idle output.
  if (outputFull) events |= POLLOUT;
  outputFull = false;
  if (events == 0) {
    SleepMs(wait);
    return 0;
  }
  pollfd p{fd, events, 0};
  int r = poll(&p, 1, wait);
  if (r < 0) {
    if (errno == EINTR) return 0;
    return SystemFail(LinkCode::NoHardware);
  }
  idleSawInput = inputPending || (r > 0 && (p.revents & POLLIN) != 0);
  if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    // A hung-up terminal also polls readable; it is dead once nothing is left to read (its
    // FIONREAD then fails).
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0 || waiting == 0) {
      idleSawInput = false;
      return SystemFail(LinkCode::NoHardware);
    }
  }
  return 0;
}

int32_t PosixPort::ModemLines() {
  int lines = 0;
  if (fd < 0 || ioctl(fd, TIOCMGET, &lines) != 0) return 0;
  int32_t status = 0;
  if (lines & TIOCM_CTS) status |= 0x10;
  if (lines & TIOCM_DSR) status |= 0x20;
  if (lines & TIOCM_RI) status |= 0x40;
  if (lines & TIOCM_CD) status |= 0x80;
  return status;
}

void PosixPort::CollectLineErrors() {
  int32_t now[5];
  if (fd < 0 || !ReadErrorCounters(fd, now)) return;
  if (countersKnown) {
    if (now[0] != counters[0]) lineErrors |= kFrame;
    if (now[1] != counters[1]) lineErrors |= kOverrun;
    if (now[2] != counters[2]) lineErrors |= kRxParity;
    if (now[3] != counters[3]) lineErrors |= kBreak;
    if (now[4] != counters[4]) lineErrors |= kRxOver;
  }
  memcpy(counters, now, sizeof counters);
  countersKnown = true;
}

int32_t PosixPort::ReadModemStatus() {
  CollectLineErrors();
  modemStatus = ModemLines();
  return modemStatus;
}

void PosixPort::GetBufferStatus(BufferStatus& status, int32_t) {
  CollectLineErrors();
  int waiting = 0, queued = 0;
  if (fd >= 0 && ioctl(fd, FIONREAD, &waiting) != 0) waiting = 0;
  if (fd >= 0 && ioctl(fd, TIOCOUTQ, &queued) != 0) queued = 0;
  status.receivePresent = 1;
  status.receiveCount = waiting + (readAheadEnd - readAheadStart);
  status.receiveSize = receiveQueueSize;
  status.transmitPresent = 1;
  status.transmitCount = queued;
  status.transmitSize = transmitQueueSize;
  status.flags = holdingRemote ? 1 : 0;
}

int32_t PosixPort::SetBufferSizes(int32_t receiveSize, int32_t newXoffLimit, int32_t transmitSize) {
  if (fd < 0) return Fail(LinkCode::NoHardware);
  ClearBuffer(1, 0);  // input that waits is the engines' to judge, as at open
  if (receiveSize != 0) receiveQueueSize = receiveSize;
  if (transmitSize != 0) transmitQueueSize = transmitSize;
  roomAtLeast = 0;
  if (newXoffLimit != 0) xoffLimit = newXoffLimit;
  return 0;
}

int32_t PosixPort::FlowInto(termios& t, int32_t inputCode, int32_t outputCode) {
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  switch (inputCode) {
    case 0: break;
    case 1: t.c_iflag |= IXOFF; break;
    case 4: t.c_cflag |= CRTSCTS; break;
    case 3:   // DTR flow control: termios has none
    case 13: return LinkCode::NotSupported;
    default: return LinkCode::BadInputHandshake;
  }
  switch (outputCode) {
    case 0: break;
    case 1: t.c_iflag |= IXON; break;
    case 12: t.c_cflag |= CRTSCTS; break;
    case 13:  // DSR flow control: termios has none
    case 15: return LinkCode::NotSupported;
    default: return LinkCode::BadOutputHandshake;
  }
  return 0;
}

int32_t PosixPort::SetHandshake(int32_t inputCode, int32_t outputCode) {
  // As on the Win32 port, a refused code returns before the write-back and what was already
  // changed waits in the settings for the next one.
  const int32_t refused = FlowInto(*settings, inputCode, outputCode);
  if (refused != 0) return RefuseHandshake(refused);
  int32_t r = WriteSettings();
  if (r != 0) return r;
  inputHandshake = inputCode;
  outputHandshake = outputCode;
  return 0;
}

int32_t PosixPort::GetHandshake(int32_t& inputCode, int32_t& outputCode) {
  inputCode = inputHandshake;
  outputCode = outputHandshake;
  return 0;
}

int32_t PosixPort::SetBreak(int32_t state) {
  if (state < 0) return breakState;
  if (fd < 0 || ioctl(fd, state == 1 ? TIOCSBRK : TIOCCBRK) != 0)
    return SystemFail(LinkCode::BreakFailed);
  breakState = static_cast<int16_t>(state);
  return breakState;
}

int32_t PosixPort::Signal(int32_t number, int32_t value) {
  if (number == LineSignal::BreakState) return SetBreak(value);
  if ((number == LineSignal::Dtr || number == LineSignal::Rts) && value != -1) {
    int line = number == LineSignal::Dtr ? TIOCM_DTR : TIOCM_RTS;
    (number == LineSignal::Dtr ? dtrState : rtsState) = value != 0 ? 1 : 0;
    // A pty has no modem lines and refuses; the kept state still answers queries.
    if (fd >= 0) ioctl(fd, value != 0 ? TIOCMBIS : TIOCMBIC, &line);
  }
  switch (number) {
    case LineSignal::Dtr: return dtrState;
    case LineSignal::Rts: return rtsState;
    case LineSignal::Cts: return (ModemLines() & 0x10) ? 1 : 0;
    case LineSignal::Dsr: return (ModemLines() & 0x20) ? 1 : 0;
    case LineSignal::Ri: return (ModemLines() & 0x40) ? 1 : 0;
    case LineSignal::Cd: return (ModemLines() & 0x80) ? 1 : 0;
    case LineSignal::Extra17:
    case LineSignal::Extra18:
    case LineSignal::Extra19:
    case LineSignal::Extra20: return 0;
    case LineSignal::OverrunError: return (lineErrors & kOverrun) ? 1 : 0;
    case LineSignal::ParityError: return (lineErrors & kRxParity) ? 1 : 0;
    case LineSignal::FramingError: return (lineErrors & kFrame) ? 1 : 0;
    case LineSignal::BreakDetected: return (lineErrors & kBreak) ? 1 : 0;
    case LineSignal::ReceiveOverflow: return (lineErrors & kRxOver) ? 1 : 0;
    default: return 2;
  }
}

int32_t PosixPort::SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits,
                                 int32_t stopBits) {
  termios& t = *settings;
  tcflag_t parityFlags;
  switch (parity) {
    case 'N': parityFlags = 0; break;
    case 'O': parityFlags = PARENB | PARODD; break;
    case 'E': parityFlags = PARENB; break;
    case 'M': parityFlags = PARENB | PARODD | kStickParity; break;
    case 'S': parityFlags = PARENB | kStickParity; break;
    default: return Fail(LinkCode::BadParity);
  }
  if ((parity == 'M' || parity == 'S') && kStickParity == 0) return Fail(LinkCode::NotSupported);
  if (!RateInto(t, baudRate)) return Fail(LinkCode::BadBaudRate);
  t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | kStickParity);
  t.c_cflag |= parityFlags;
  if (dataBits < 4 || dataBits > 8) return Fail(LinkCode::BadDataBits);
  if (dataBits == 4) return Fail(LinkCode::NotSupported);  // no termios size for it
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | kSizes[dataBits - 5];
  if (stopBits < 1 || stopBits > 2) return Fail(LinkCode::BadStopBits);
  // A UART sends one and a half stop bits for CSTOPB with a 5-bit word, which is what the
  // Win32 port always gives 5 data bits.
  if (stopBits == 2 || dataBits == 5)
    t.c_cflag |= CSTOPB;
  else
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  return WriteSettings();
}

void PosixPort::GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits,
                              int32_t& stopBits) {
  const termios& t = *settings;
  baudRate = RateOf(t);
  parity = "NOEMS"[ParityValue(t)];
  dataBits = DataBitsOf(t);
  stopBits = StopBitsValue(t) == 2 ? 2 : 1;
}

int32_t PosixPort::GetLineStatus(LineStatus& status) {
  ReadModemStatus();
  status = QuerySignals();
  lineErrors = 0;
  modemStatus = 0;
  return 0;
}

int32_t PosixPort::PutByte(uint8_t byte) { return Write(&byte, 1) == 1 ? 0 : lastStatus; }

int32_t PosixPort::PutString(const char* text) {
  return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(strlen(text)));
}

int32_t PosixPort::Write(const uint8_t* buffer, int32_t length) {
  if (fd < 0) {
    Fail(LinkCode::NoHardware);
    return 0;
  }
  if (length <= 0) return 0;
  int32_t room = roomAtLeast;
  if (length > room) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) queued = 0;
    room = transmitQueueSize - queued;
  }
  int32_t n = length < room ? length : room;
  int32_t count = 0;
  if (n > 0) {
    ssize_t w;
    do w = ::write(fd, buffer, static_cast<size_t>(n));
    while (w < 0 && errno == EINTR);
    if (w > 0)
      count = static_cast<int32_t>(w);
    else if (w < 0 && errno != EAGAIN)
      systemError = errno;
  }
  roomAtLeast = count < n || room <= count ? 0 : room - count;
  if (count < length) {
    // Kept until Idle: a later write that fits (a gathering link flushing before it waits) does
    // not mean the caller has nothing left to write, and Idle must then return at once.
    outputFull = true;
    lastStatus = LinkCode::ShortWrite;
  }
  return count;
}

int32_t PosixPort::TransmitImmediate(uint8_t byte) {
  // POSIX cannot put a byte ahead of the kernel's queue; writing it now is the nearest.
  if (fd < 0) return Fail(LinkCode::NoHardware);
  ssize_t w;
  do w = ::write(fd, &byte, 1);
  while (w < 0 && errno == EINTR);
  if (w == 1 && roomAtLeast > 0) --roomAtLeast;
  return w == 1 ? 0 : SystemFail(LinkCode::Failure);
}

int32_t PosixPort::GetByte() {
  uint8_t byte;
  return Read(&byte, 1) == 1 ? byte : LinkCode::Timeout;
}

int32_t PosixPort::Read(uint8_t* buffer, int32_t length) {
  readSinceIdle = true;
  if (length <= 0) return 0;
  int32_t count = 0;
  int32_t buffered = readAheadEnd - readAheadStart;
  if (buffered > 0) {
    count = buffered < length ? buffered : length;
    memcpy(buffer, readAhead + readAheadStart, static_cast<size_t>(count));
    readAheadStart += count;
    if (count == length) return count;
  }
  if (fd < 0) return count;
  // Large reads go straight to the caller; small ones fill the read-ahead, so a byte-at-a-time
  // reader costs one system call per buffer, not per byte.
  const bool direct = length - count >= kReadAheadSize;
  uint8_t* target = direct ? buffer + count : readAhead;
  size_t want = direct ? static_cast<size_t>(length - count) : sizeof readAhead;
  ssize_t r;
  do r = ::read(fd, target, want);
  while (r < 0 && errno == EINTR);
  if (r <= 0) {
    if (r < 0 && errno != EAGAIN) systemError = errno;
    return count;
  }
  if (direct) return count + static_cast<int32_t>(r);
  readAheadStart = 0;
  readAheadEnd = static_cast<int32_t>(r);
  int32_t more = readAheadEnd < length - count ? readAheadEnd : length - count;
  memcpy(buffer + count, readAhead, static_cast<size_t>(more));
  readAheadStart = more;
  return count + more;
}

int32_t PosixPort::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0) {
    if (fd >= 0) tcflush(fd, TCOFLUSH);
    return 0;
  }
  if (count != 0) return DrainInput(count);
  DropReadAhead();
  idleSawInput = false;
  if (fd >= 0) tcflush(fd, TCIFLUSH);
  return 0;
}

void PosixPort::Dump(DumpCallback callback, void* context) {
  const termios& t = *settings;
  BufferStatus b;
  GetBufferStatus(b, BufferSide::Both);
  const bool hardware = (t.c_cflag & CRTSCTS) != 0;
  auto sc = [](cc_t c) { return static_cast<int>(static_cast<signed char>(c)); };
  char line[160];
  snprintf(line, sizeof line, "Port type: POSIX termios  BaudRate: %-6u  ByteSize: %1d  Parity: %1d",
           static_cast<unsigned>(RateOf(t)), DataBitsOf(t), ParityValue(t));
  callback(context, line);
  snprintf(line, sizeof line, "StopBits: %1d  fBinary: %1d  fRtsControl: %1d", StopBitsValue(t),
           (t.c_oflag & OPOST) == 0 ? 1 : 0, hardware ? 2 : rtsState);
  callback(context, line);
  snprintf(line, sizeof line,
           "Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d",
           (t.c_iflag & INPCK) ? 1 : 0, hardware ? 1 : 0, 0, dtrState, (t.c_iflag & IXON) ? 1 : 0,
           (t.c_iflag & IXOFF) ? 1 : 0);
  callback(context, line);
  snprintf(line, sizeof line, "Null: %1d  XonChar: %02x  XoffChar: %02x", 0, sc(t.c_cc[VSTART]),
           sc(t.c_cc[VSTOP]));
  callback(context, line);
  snprintf(line, sizeof line, "XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x",
           static_cast<unsigned>(receiveQueueSize / 4), static_cast<unsigned>(xoffLimit), 0, 0);
  callback(context, line);
  snprintf(line, sizeof line,
           "RX sz/ct: %5d/%-5d  TX sz/ct: %5d/%-5d  BLOCK SENT:%d  BLOCK RECEIVED:%d",
           b.receiveSize, b.receiveCount, b.transmitSize, b.transmitCount, b.flags & 1,
           (b.flags >> 1) & 1);
  callback(context, line);
}

int32_t PosixPort::HoldRemote() {
  if (inputHandshake != 1) return Fail(LinkCode::NotSupported);
  if (fd < 0 || tcflow(fd, TCIOFF) != 0) return SystemFail(LinkCode::Failure);
  holdingRemote = true;
  return 0;
}

int32_t PosixPort::ReleaseRemote() {
  if (inputHandshake != 1) return Fail(LinkCode::NotSupported);
  if (fd < 0 || tcflow(fd, TCION) != 0) return SystemFail(LinkCode::Failure);
  holdingRemote = false;
  return 0;
}
