// NetworkPort: the serial ports' behaviour over a connection. Every wait is bounded and polls
// the connection, reading ahead as it goes, so an answer the server sends behind data is seen
// and nothing it says is lost.
#include "link/NetworkPort.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "link/TickSource.h"

namespace {
// Win32 line error bits, kept so that Signal answers the same numbers as the serial ports.
constexpr uint32_t kOverrun = 0x2, kRxParity = 0x4, kFrame = 0x8, kBreak = 0x10;
// Unread data read ahead while waiting for an answer stops the reading here.
constexpr size_t kAheadLimit = 1u << 20;
constexpr char kParities[] = "NOEMS";  // RFC 2217 parity value - 1

using Tc = TelnetComPort;

// The SET-CONTROL values of the handshake codes, and back.
uint32_t OutboundFlow(int32_t code) {
  switch (code) {
    case 1: return 2;   // XON/XOFF
    case 12: return 3;  // CTS
    case 13: return 19; // DSR
    case 15: return 17; // DCD
    default: return 1;  // none
  }
}
uint32_t InboundFlow(int32_t code) {
  switch (code) {
    case 1: return 15;  // XON/XOFF
    case 3: return 18;  // DTR
    case 4: return 16;  // RTS
    default: return 14; // none
  }
}
int32_t OutboundCode(uint32_t value) {
  switch (value) {
    case 2: return 1;
    case 3: return 12;
    case 19: return 13;
    case 17: return 15;
    default: return 0;
  }
}
int32_t InboundCode(uint32_t value) {
  switch (value) {
    case 15: return 1;
    case 18: return 3;
    case 16: return 4;
    default: return 0;
  }
}

uint32_t StopSize(int32_t dataBits, int32_t stopBits) {
  // A UART sends one and a half stop bits with a 5-bit word, as the serial ports give it.
  return dataBits == 5 ? 3 : static_cast<uint32_t>(stopBits);
}

int32_t Unknown(bool known, int32_t state) { return known ? state : 2; }
}  // namespace

bool NetworkPort::IsUrl(const std::string& name) {
  const size_t at = name.find("://");
  if (at == std::string::npos || at == 0 || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  for (size_t i = 0; i < at; ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

bool NetworkPort::Parse(const std::string& url, Address& address, std::string& problem) {
  const size_t at = url.find("://");
  std::string scheme = IsUrl(url) ? url.substr(0, at) : std::string();
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme == "rfc2217") {
    address.telnet = true;
  } else if (scheme == "socket" || scheme == "tcp") {
    address.telnet = false;
  } else {
    problem = "not a kind of port known here (rfc2217://, socket:// or tcp://)";
    return false;
  }
  std::string rest = url.substr(at + 3);
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  const std::string expected = "expected " + scheme + "://host:port";
  size_t colon;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      problem = expected + " with an IPv6 address in brackets, such as [::1]:2217";
      return false;
    }
    address.host = rest.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = rest.rfind(':');
    if (colon != std::string::npos && rest.find(':') != colon) {
      problem = "an IPv6 address goes in brackets, such as " + scheme + "://[::1]:2217";
      return false;
    }
    address.host = colon == std::string::npos ? rest : rest.substr(0, colon);
  }
  address.port = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
  const bool digits = !address.port.empty() && address.port.size() <= 5 &&
                      std::all_of(address.port.begin(), address.port.end(),
                                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
  const long number = digits ? std::strtol(address.port.c_str(), nullptr, 10) : 0;
  if (address.host.empty() || address.host.find_first_of("/?@ ") != std::string::npos || number < 1 ||
      number > 65535) {
    problem = expected;
    return false;
  }
  return true;
}

NetworkPort::NetworkPort(const std::string& name, int32_t receiveSize, int32_t transmitSize,
                         std::unique_ptr<NetSocket> replacement)
    : ComLink(-1),
      url(name),
      socket(replacement ? std::move(replacement) : std::make_unique<NetSocket>()),
      receiveQueueSize(receiveSize),
      transmitQueueSize(transmitSize) {
  ahead.reserve(kReadAheadSize);
  queue.reserve(static_cast<size_t>(transmitSize) * 2);
  Initialize(-1);
  if (lastStatus != 0) return;
  Signal(LineSignal::Dtr, 1);
  Signal(LineSignal::Rts, 1);
}

NetworkPort::~NetworkPort() { CloseDevice(); }

void NetworkPort::Ended() {
  if (ended) return;
  ended = true;
  reason = socket->Reason().empty() ? "the connection failed" : socket->Reason();
}

void NetworkPort::Initialize(int32_t) {
  if (IsOpen()) return;  // one connection per port: one that ended is not made again
  if (!Parse(url, address, reason)) {
    Fail(LinkCode::Failure);
    return;
  }
  if (!socket->Connect(address.host, address.port, kConnectMs)) {
    reason = socket->Reason();
    Fail(LinkCode::Failure);
    return;
  }
  if (!address.telnet) return;
  telnet.Start();
  const bool answered = WaitFor([this] { return telnet.ComPort() != Tc::Agreement::Asked; },
                                TickSource::Now() + kOptionAnswerMs);
  if (ended || telnet.ComPort() != Tc::Agreement::Agreed) {
    if (!ended)
      reason = answered ? "the server refuses the COM port option (RFC 2217); tcp:// reaches a port "
                          "without line control"
                        : "no answer to the COM port option (RFC 2217) within " +
                              std::to_string(kOptionAnswerMs / 1000) + " s; tcp:// reaches a port "
                              "without line control";
    socket->Close();
    Fail(LinkCode::Failure);
    return;
  }
  // The server's own settings, which DataFormat and LineControl remember and put back. All asked
  // at once, so the answers take one round trip.
  const int keys[4] = {telnet.Request(Tc::kSetBaudRate, 0), telnet.Request(Tc::kSetDataSize, 0),
                       telnet.Request(Tc::kSetParity, 0), telnet.Request(Tc::kSetStopSize, 0)};
  const int outKey = telnet.Request(Tc::kSetControl, 0), inKey = telnet.Request(Tc::kSetControl, 13);
  telnet.Request(Tc::kSetLineStateMask, 0x1E);  // overrun, parity, framing, break
  const uint32_t deadline = TickSource::Now() + kAnswerMs;
  for (int i = 0; i < 4; ++i) {
    if (!Await(keys[i], deadline)) continue;
    const uint32_t v = telnet.Answer(keys[i]);
    switch (i) {
      case 0: if (v != 0) baudRate = v, formatKnown[0] = true; break;
      case 1: if (v >= 5 && v <= 8) dataBits = static_cast<int32_t>(v), formatKnown[1] = true; break;
      case 2: if (v >= 1 && v <= 5) parity = kParities[v - 1], formatKnown[2] = true; break;
      default: if (v >= 1 && v <= 3) stopBits = v == 2 ? 2 : 1, formatKnown[3] = true; break;
    }
  }
  if (Await(outKey, deadline) && Await(inKey, deadline)) {
    outputHandshake = OutboundCode(telnet.Answer(outKey));
    inputHandshake = InboundCode(telnet.Answer(inKey));
    handshakeKnown = true;
  }
  if (ended) Fail(LinkCode::Failure);
}

int32_t NetworkPort::OpenDevice() {
  return IsOpen() && !ended ? 0 : Fail(LinkCode::NoHardware);
}

int32_t NetworkPort::CloseDevice() {
  if (!IsOpen()) return 0;
  if (address.telnet && !ended) {
    // As the serial ports do on the way out: a modem behind the server hangs up.
    telnet.Request(Tc::kSetControl, 9);
    telnet.Request(Tc::kSetControl, 12);
  }
  // What still waits here is the run's last word (the job let the queue drain first).
  WaitFor([this] { return !OutputWaiting(); }, TickSource::Now() + kCloseGraceMs);
  socket->Shutdown();
  // The server ends its side once it has our last bytes. Closing with its input unread would
  // reset the connection instead, which may cost the device those bytes.
  WaitFor([this] {
    ahead.clear();
    aheadStart = 0;
    return ended;
  }, TickSource::Now() + kCloseGraceMs);
  socket->Close();
  ahead.clear();
  aheadStart = 0;
  return 0;
}

bool NetworkPort::OutputWaiting() const {
  return midPair || !telnet.Outgoing().empty() ||
         (queue.size() > queueStart && !telnet.Suspended());
}

bool NetworkPort::Flush() {
  if (!IsOpen() || ended) return false;
  std::vector<uint8_t>& control = telnet.Outgoing();
  for (;;) {
    if (midPair && queueStart < queue.size()) {
      const int32_t n = socket->Send(&queue[queueStart], 1);
      if (n < 0) break;
      if (n == 0) return true;
      ++queueStart;
      midPair = false;
    }
    if (!control.empty()) {
      const int32_t n = socket->Send(control.data(), static_cast<int32_t>(control.size()));
      if (n < 0) break;
      control.erase(control.begin(), control.begin() + n);
      if (!control.empty()) return true;
    }
    const size_t queued = queue.size() - queueStart;
    if (queued == 0 || telnet.Suspended()) return true;
    const int32_t n = socket->Send(&queue[queueStart], static_cast<int32_t>(queued));
    if (n < 0) break;
    if (address.telnet) {
      // Encoded data holds 0xFF only in pairs: an odd run at the end of what went splits one.
      size_t run = 0;
      while (run < static_cast<size_t>(n) && queue[queueStart + n - 1 - run] == Tc::kIac) ++run;
      midPair = (run & 1) != 0;
    }
    queueStart += static_cast<size_t>(n);
    if (queueStart == queue.size()) {
      queue.clear();
      queueStart = 0;
    }
    if (static_cast<size_t>(n) < queued) {
      if (queueStart > queue.size() / 2) {
        queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(queueStart));
        queueStart = 0;
      }
      return true;
    }
  }
  Ended();
  return false;
}

int32_t NetworkPort::Decode(uint8_t* bytes, int32_t n) {
  if (!address.telnet) return n;
  const int32_t count = static_cast<int32_t>(telnet.Receive(bytes, static_cast<size_t>(n), bytes));
  if (!telnet.Outgoing().empty()) Flush();
  return count;
}

int32_t NetworkPort::Pull(size_t room) {
  if (!IsOpen() || ended) return 0;
  if (aheadStart == ahead.size()) {
    ahead.clear();
    aheadStart = 0;
  }
  const size_t old = ahead.size();
  ahead.resize(old + room);
  const int32_t r = socket->Receive(ahead.data() + old, static_cast<int32_t>(room));
  if (r < 0) Ended();
  const int32_t n = r > 0 ? Decode(ahead.data() + old, r) : 0;
  ahead.resize(old + static_cast<size_t>(n));
  return n;
}

bool NetworkPort::WaitFor(const std::function<bool()>& done, uint32_t deadline) {
  while (!done()) {
    if (!Flush() || done()) return done();
    const int32_t left = static_cast<int32_t>(deadline - TickSource::Now());
    if (left <= 0) return false;
    const bool room = ahead.size() - aheadStart < kAheadLimit;
    const int32_t ready = socket->Wait(left, room, OutputWaiting());
    if (ready < 0) {
      Ended();
      return done();
    }
    if ((ready & NetSocket::kReadable) && room) Pull(kReadAheadSize);
  }
  return true;
}

bool NetworkPort::Await(int key, uint32_t deadline) {
  if (WaitFor([this, key] { return !telnet.Pending(key); }, deadline)) return true;
  telnet.GiveUp(key);
  return false;
}

int32_t NetworkPort::Idle(int32_t maxWaitMs) {
  if (!IsOpen()) return Fail(LinkCode::NoHardware);
  Flush();
  const int32_t wait = maxWaitMs > 0 ? maxWaitMs : 0;
  const bool buffered = ahead.size() > aheadStart;
  if (ended) {
    if (!buffered) return Fail(LinkCode::NoHardware);
    // Data is left from before the end and the caller pauses before reading it.
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    return 0;
  }
  const bool inputLeftUnread = idleSawInput && !readSinceIdle;
  readSinceIdle = false;
  if (buffered || inputLeftUnread) {
    // Input waits but the caller is not reading it (a Pause, a paced write): waiting for input
    // would return at once, so wait only for room to send (and a hang-up) instead of spinning.
    // Only while the server holds our output back is more read ahead: its word to go on may
    // come behind that input.
    const bool held = address.telnet && telnet.Suspended() && queue.size() > queueStart &&
                      ahead.size() - aheadStart < kAheadLimit;
    const int32_t ready = socket->Wait(wait, held, OutputWaiting());
    if (ready & NetSocket::kReadable) Pull(kReadAheadSize);  // or a hang-up: learn it now
    if (ready) Flush();
    idleSawInput = true;
    return 0;
  }
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(wait);
  for (;;) {
    const bool wantOutput = OutputWaiting();
    const int32_t ready = socket->Wait(static_cast<int32_t>(deadline - TickSource::Now()), true, wantOutput);
    if (ready < 0) {
      Ended();
      return Fail(LinkCode::NoHardware);
    }
    if (ready & NetSocket::kWritable) {
      Flush();
      // A writer stopped by a full queue goes on as soon as there is room.
      if (outputFull) {
        outputFull = false;
        return 0;
      }
    }
    if (ready & NetSocket::kReadable) {
      Pull(kReadAheadSize);
      idleSawInput = ahead.size() > aheadStart;
      if (idleSawInput) return 0;
      if (ended) return Fail(LinkCode::NoHardware);
    }
    // Nothing ready: the time passed, or a signal (Ctrl-C) ended the wait.
    if (ready == 0 || TickSource::Passed(deadline)) return 0;
  }
}

void NetworkPort::CollectLineErrors() {
  const uint8_t e = telnet.TakeLineErrors();
  if (e & 0x02) lineErrors |= kOverrun;
  if (e & 0x04) lineErrors |= kRxParity;
  if (e & 0x08) lineErrors |= kFrame;
  if (e & 0x10) lineErrors |= kBreak;
}

int32_t NetworkPort::ReadModemStatus() {
  CollectLineErrors();
  return telnet.ModemState() < 0 ? 0 : telnet.ModemState() & 0xF0;
}

void NetworkPort::GetBufferStatus(BufferStatus& status, int32_t) {
  status.receivePresent = 1;
  status.receiveCount = static_cast<int32_t>(ahead.size() - aheadStart) + (ended ? 0 : socket->Waiting());
  status.receiveSize = receiveQueueSize;
  status.transmitPresent = 1;
  status.transmitCount = static_cast<int32_t>(queue.size() - queueStart + telnet.Outgoing().size()) +
                         (ended ? 0 : socket->Unsent());
  status.transmitSize = transmitQueueSize;
  status.flags = static_cast<uint16_t>((holdingRemote ? 1 : 0) | (telnet.Suspended() ? 2 : 0));
}

int32_t NetworkPort::SetBufferSizes(int32_t receiveSize, int32_t newXoffLimit, int32_t transmitSize) {
  if (!IsOpen()) return Fail(LinkCode::NoHardware);
  ClearBuffer(1, 0);  // input that waits is the engines' to judge, as at open
  if (receiveSize != 0) receiveQueueSize = receiveSize;
  if (transmitSize != 0) transmitQueueSize = transmitSize;
  if (newXoffLimit != 0) xoffLimit = newXoffLimit;
  return 0;
}

int32_t NetworkPort::SetHandshake(int32_t inputCode, int32_t outputCode) {
  switch (inputCode) {
    case 0: case 1: case 3: case 4: break;
    case 13: return Fail(LinkCode::NotSupported);
    default: return RefuseHandshake(LinkCode::BadInputHandshake);
  }
  switch (outputCode) {
    case 0: case 1: case 12: case 13: case 15: break;
    default: return Fail(LinkCode::BadOutputHandshake);
  }
  if (address.telnet && !(handshakeKnown && inputCode == inputHandshake && outputCode == outputHandshake)) {
    const int outKey = telnet.Request(Tc::kSetControl, OutboundFlow(outputCode));
    const int inKey = telnet.Request(Tc::kSetControl, InboundFlow(inputCode));
    const uint32_t deadline = TickSource::Now() + kAnswerMs;
    const bool outAnswered = Await(outKey, deadline), inAnswered = Await(inKey, deadline);
    if (ended) return Fail(LinkCode::NoHardware);
    const int32_t out = outAnswered ? OutboundCode(telnet.Answer(outKey)) : outputCode;
    const int32_t in = inAnswered ? InboundCode(telnet.Answer(inKey)) : inputCode;
    inputHandshake = in;
    outputHandshake = out;
    handshakeKnown = outAnswered && inAnswered;
    if (in != inputCode || out != outputCode) return Fail(LinkCode::NotSupported);
  }
  inputHandshake = inputCode;
  outputHandshake = outputCode;
  return 0;
}

int32_t NetworkPort::GetHandshake(int32_t& inputCode, int32_t& outputCode) {
  inputCode = inputHandshake;
  outputCode = outputHandshake;
  return 0;
}

int32_t NetworkPort::SetBreak(int32_t state) {
  if (state < 0) return breakState;
  if (!address.telnet || !IsOpen() || ended) return Fail(LinkCode::BreakFailed);
  const int key = telnet.Request(Tc::kSetControl, state == 1 ? 5 : 6);
  breakState = state == 1 ? 1 : 0;
  // An unanswered line request is no failure: the server may simply not report it (see
  // linesUnanswered), and the request went.
  if (!linesUnanswered && !Await(key, TickSource::Now() + kLineAnswerMs)) linesUnanswered = !ended;
  Flush();
  return breakState;
}

int32_t NetworkPort::Signal(int32_t number, int32_t value) {
  if (number == LineSignal::BreakState) return SetBreak(value);
  const bool modem = address.telnet;
  if ((number == LineSignal::Dtr || number == LineSignal::Rts) && value != -1 && modem && IsOpen() && !ended) {
    const bool dtr = number == LineSignal::Dtr;
    int32_t& kept = dtr ? dtrState : rtsState;
    kept = value != 0 ? 1 : 0;
    const uint32_t on = dtr ? 8 : 11;
    const int key = telnet.Request(Tc::kSetControl, kept ? on : on + 1);
    // Waited for only while the server answers them; its answer is what the line has.
    if (!linesUnanswered) {
      if (Await(key, TickSource::Now() + kLineAnswerMs)) {
        const uint32_t answer = telnet.Answer(key);
        if (answer == on || answer == on + 1) kept = answer == on ? 1 : 0;
      } else {
        linesUnanswered = !ended;
      }
    }
    Flush();
  }
  const int32_t lines = telnet.ModemState();
  const bool notified = modem && lines >= 0;
  CollectLineErrors();
  switch (number) {
    case LineSignal::Dtr: return Unknown(modem, dtrState);
    case LineSignal::Rts: return Unknown(modem, rtsState);
    case LineSignal::Cts: return Unknown(notified, (lines & 0x10) ? 1 : 0);
    case LineSignal::Dsr: return Unknown(notified, (lines & 0x20) ? 1 : 0);
    case LineSignal::Ri: return Unknown(notified, (lines & 0x40) ? 1 : 0);
    case LineSignal::Cd: return Unknown(notified, (lines & 0x80) ? 1 : 0);
    case LineSignal::Extra17:
    case LineSignal::Extra18:
    case LineSignal::Extra19:
    case LineSignal::Extra20: return 0;
    case LineSignal::OverrunError: return (lineErrors & kOverrun) ? 1 : 0;
    case LineSignal::ParityError: return (lineErrors & kRxParity) ? 1 : 0;
    case LineSignal::FramingError: return (lineErrors & kFrame) ? 1 : 0;
    case LineSignal::BreakDetected: return (lineErrors & kBreak) ? 1 : 0;
    default: return 2;
  }
}

int32_t NetworkPort::SetDataFormat(uint32_t rate, char parityChar, int32_t bits, int32_t stops) {
  const char* found = parityChar ? std::strchr(kParities, parityChar) : nullptr;
  if (!found) return Fail(LinkCode::BadParity);
  if (rate == 0) return Fail(LinkCode::BadBaudRate);
  if (bits < 4 || bits > 8) return Fail(LinkCode::BadDataBits);
  if (bits == 4) return Fail(LinkCode::NotSupported);
  if (stops < 1 || stops > 2) return Fail(LinkCode::BadStopBits);
  if (!address.telnet) {
    baudRate = rate, parity = parityChar, dataBits = bits, stopBits = stops;
    return 0;
  }
  if (!IsOpen() || ended) return Fail(LinkCode::NoHardware);
  const uint32_t asked[4] = {rate, static_cast<uint32_t>(bits), static_cast<uint32_t>(found - kParities + 1),
                             StopSize(bits, stops)};
  const uint32_t now[4] = {baudRate, static_cast<uint32_t>(dataBits),
                           static_cast<uint32_t>(std::strchr(kParities, parity) - kParities + 1),
                           StopSize(dataBits, stopBits)};
  static const Tc::Command kCommands[4] = {Tc::kSetBaudRate, Tc::kSetDataSize, Tc::kSetParity, Tc::kSetStopSize};
  static const int32_t kRefusals[4] = {LinkCode::BadBaudRate, LinkCode::BadDataBits, LinkCode::BadParity,
                                       LinkCode::BadStopBits};
  int keys[4] = {-1, -1, -1, -1};
  for (int i = 0; i < 4; ++i)
    if (!formatKnown[i] || asked[i] != now[i]) keys[i] = telnet.Request(kCommands[i], asked[i]);
  // As asked, unless the server answers otherwise.
  baudRate = rate, parity = parityChar, dataBits = bits, stopBits = stops;
  const uint32_t deadline = TickSource::Now() + kAnswerMs;
  int32_t refused = 0;
  for (int i = 0; i < 4; ++i) {
    if (keys[i] < 0) continue;
    // Unanswered, the request counts as taken: the server has it, and the line goes on.
    formatKnown[i] = Await(keys[i], deadline);
    if (!formatKnown[i]) continue;
    const uint32_t v = telnet.Answer(keys[i]);
    if (v == asked[i]) continue;
    if (refused == 0) refused = kRefusals[i];
    switch (i) {
      case 0: baudRate = v; break;
      case 1: if (v >= 5 && v <= 8) dataBits = static_cast<int32_t>(v); break;
      case 2: if (v >= 1 && v <= 5) parity = kParities[v - 1]; break;
      default: if (v >= 1 && v <= 3) stopBits = v == 2 ? 2 : 1; break;
    }
  }
  if (ended) return Fail(LinkCode::NoHardware);
  return refused ? Fail(refused) : 0;
}

void NetworkPort::GetDataFormat(uint32_t& rate, char& parityChar, int32_t& bits, int32_t& stops) {
  rate = baudRate;
  parityChar = parity;
  bits = dataBits;
  stops = stopBits;
}

int32_t NetworkPort::GetLineStatus(LineStatus& status) {
  CollectLineErrors();
  status = QuerySignals();
  lineErrors = 0;
  return 0;
}

int32_t NetworkPort::PutByte(uint8_t byte) { return Write(&byte, 1) == 1 ? 0 : lastStatus; }

int32_t NetworkPort::PutString(const char* text) {
  return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
}

int32_t NetworkPort::Write(const uint8_t* buffer, int32_t length) {
  if (!IsOpen() || ended) {
    Fail(LinkCode::NoHardware);
    return 0;
  }
  if (length <= 0) return 0;
  const size_t queued = queue.size() - queueStart;
  size_t room = static_cast<size_t>(transmitQueueSize) > queued ? static_cast<size_t>(transmitQueueSize) - queued : 0;
  int32_t count = 0;
  if (address.telnet) {
    while (count < length && Tc::WireSize(buffer[count]) <= room) {
      room -= Tc::WireSize(buffer[count]);
      ++count;
    }
    Tc::EncodeData(buffer, static_cast<size_t>(count), queue);
  } else {
    count = static_cast<int32_t>(std::min(room, static_cast<size_t>(length)));
    queue.insert(queue.end(), buffer, buffer + count);
  }
  Flush();
  outputFull = count < length;
  if (ended)
    Fail(LinkCode::NoHardware);
  else if (outputFull)
    lastStatus = LinkCode::ShortWrite;
  return count;
}

int32_t NetworkPort::TransmitImmediate(uint8_t byte) {
  if (!IsOpen() || ended) return Fail(LinkCode::NoHardware);
  // Telnet's own queue goes out ahead of queued data.
  if (address.telnet)
    Tc::EncodeData(&byte, 1, telnet.Outgoing());
  else
    telnet.Outgoing().push_back(byte);
  return Flush() ? 0 : Fail(LinkCode::NoHardware);
}

int32_t NetworkPort::GetByte() {
  uint8_t byte;
  return Read(&byte, 1) == 1 ? byte : LinkCode::Timeout;
}

int32_t NetworkPort::Read(uint8_t* buffer, int32_t length) {
  readSinceIdle = true;
  if (length <= 0) return 0;
  int32_t count = 0;
  for (;;) {
    const size_t buffered = ahead.size() - aheadStart;
    if (buffered > 0) {
      const int32_t n = static_cast<int32_t>(std::min(buffered, static_cast<size_t>(length - count)));
      std::memcpy(buffer + count, ahead.data() + aheadStart, static_cast<size_t>(n));
      aheadStart += static_cast<size_t>(n);
      count += n;
    }
    if (count == length || !IsOpen() || ended) return count;
    if (length - count >= kReadAheadSize) {
      // Large reads go straight to the caller (decoded in place); small ones fill the read-ahead,
      // so a byte-at-a-time reader costs one system call per buffer, not per byte.
      const int32_t r = socket->Receive(buffer + count, length - count);
      if (r < 0) Ended();
      return r > 0 ? count + Decode(buffer + count, r) : count;
    }
    if (Pull(kReadAheadSize) == 0) return count;
  }
}

int32_t NetworkPort::ClearBuffer(int32_t direction, int32_t count) {
  if (direction == 0 && count != 0) return DrainInput(count);
  if (direction != 0) {
    // The second half of a doubled 0xFF already on its way must follow it.
    queue.resize(midPair ? queueStart + 1 : queueStart);
    if (address.telnet && IsOpen() && !ended) telnet.Request(Tc::kPurgeData, 2);
  } else {
    // What the connection already holds goes too (read through Telnet for its commands), but no
    // more than a few buffers of it: a line that keeps talking is not waited out.
    for (int i = 0; i < 16; ++i) {
      ahead.clear();
      aheadStart = 0;
      if (Pull(kReadAheadSize) == 0) break;
    }
    ahead.clear();
    aheadStart = 0;
    idleSawInput = false;
    if (address.telnet && IsOpen() && !ended) telnet.Request(Tc::kPurgeData, 1);
  }
  Flush();
  return 0;
}

void NetworkPort::Dump(DumpCallback callback, void* context) {
  if (!callback) return;
  BufferStatus b;
  GetBufferStatus(b, BufferSide::Both);
  char line[320];
  std::snprintf(line, sizeof line, "Port type: %s  BaudRate: %-6u  ByteSize: %1d  Parity: %1d", url.c_str(),
                static_cast<unsigned>(baudRate), static_cast<int>(dataBits),
                static_cast<int>(std::strchr(kParities, parity) - kParities));
  callback(context, line);
  std::snprintf(line, sizeof line, "StopBits: %1d  fBinary: %1d  fRtsControl: %1d", stopBits == 2 ? 2 : 0, 1,
                inputHandshake == 4 ? 2 : rtsState);
  callback(context, line);
  std::snprintf(line, sizeof line,
                "Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d",
                parity != 'N' ? 1 : 0, outputHandshake == 12 ? 1 : 0, outputHandshake == 13 ? 1 : 0,
                inputHandshake == 3 ? 2 : dtrState, outputHandshake == 1 ? 1 : 0, inputHandshake == 1 ? 1 : 0);
  callback(context, line);
  std::snprintf(line, sizeof line, "Null: %1d  XonChar: %02x  XoffChar: %02x", 0, 0x11, 0x13);
  callback(context, line);
  std::snprintf(line, sizeof line, "XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x",
                static_cast<unsigned>(receiveQueueSize / 4), static_cast<unsigned>(xoffLimit), 0, 0);
  callback(context, line);
  std::snprintf(line, sizeof line, "RX sz/ct: %5d/%-5d  TX sz/ct: %5d/%-5d  BLOCK SENT:%d  BLOCK RECEIVED:%d",
                b.receiveSize, b.receiveCount, b.transmitSize, b.transmitCount, b.flags & 1, (b.flags >> 1) & 1);
  callback(context, line);
}

int32_t NetworkPort::HoldRemote() {
  if (!address.telnet || inputHandshake != 1) return Fail(LinkCode::NotSupported);
  if (!IsOpen() || ended) return Fail(LinkCode::NoHardware);
  telnet.Request(Tc::kFlowControlSuspend, 0);
  holdingRemote = true;
  return Flush() ? 0 : Fail(LinkCode::NoHardware);
}

int32_t NetworkPort::ReleaseRemote() {
  if (!address.telnet || inputHandshake != 1) return Fail(LinkCode::NotSupported);
  if (!IsOpen() || ended) return Fail(LinkCode::NoHardware);
  telnet.Request(Tc::kFlowControlResume, 0);
  holdingRemote = false;
  return Flush() ? 0 : Fail(LinkCode::NoHardware);
}
