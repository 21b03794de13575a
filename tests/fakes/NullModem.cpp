#include "fakes/NullModem.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "fakes/FakeClock.h"
#include "link/TickSource.h"

struct NullModem::Shared {
  explicit Shared(uint64_t seed, uint32_t start) : clock(start) {
    rng[0].seed(seed * 2 + 1);
    rng[1].seed(seed * 2 + 2);
  }
  struct Byte {
    uint32_t at;
    uint8_t value;
  };
  FakeClock clock;
  std::mutex lock;
  std::condition_variable wake;
  std::deque<Byte> toEnd[2];
  size_t room = 16384;
  LineFaults faults[2];
  std::mt19937_64 rng[2];
  uint32_t lastAt[2] = {0, 0};  // delivery time of the last byte queued toward each end
  double rate = 0;              // bytes per millisecond; 0: no line time
  double lineFree[2] = {0, 0};  // when the line toward each end has carried what it was given
  size_t hold = 0, queue = 0;
  int64_t flips = 0;
  int64_t dropped[2] = {0, 0};
  int running = 0;
  int waiting = 0;
  uint64_t timeGeneration = 0;
  End* ends[2] = {nullptr, nullptr};

  bool Due(int end, uint32_t now) const {
    return !toEnd[end].empty() && TickSource::Passed(toEnd[end].front().at, now);
  }
  // Caller holds the lock. Moves virtual time on by a millisecond and releases every waiter.
  void Advance() {
    FakeClock::Advance(1);
    waiting = 0;
    ++timeGeneration;
    wake.notify_all();
  }
  double Roll(int from) { return std::uniform_real_distribution<double>(0, 1)(rng[from]); }
  void Queue(int to, uint32_t at, uint8_t value) {
    if (rate > 0) {
      // Each byte takes its share of a millisecond behind the one before it.
      lineFree[to] = std::max(lineFree[to], static_cast<double>(at)) + 1.0 / rate;
      at = static_cast<uint32_t>(lineFree[to] + 0.999999);
    }
    at = std::max(at, lastAt[to]);
    lastAt[to] = at;
    toEnd[to].push_back({at, value});
  }
  // Caller holds the lock. The written bytes toward `to` that still wait in the writer's device
  // queue: those further from delivery than the line and its hold carry.
  size_t Queued(int to, uint32_t now) const {
    if (rate <= 0) return 0;
    const double holdUntil = now + static_cast<double>(hold) / rate;
    size_t n = 0;
    for (auto it = toEnd[to].rbegin(); it != toEnd[to].rend() && it->at > holdUntil; ++it) ++n;
    return n;
  }
  // Caller holds the lock. Puts one written byte on the wire from end `from`, through the faults.
  void Transmit(int from, uint8_t value) {
    const int to = 1 - from;
    const LineFaults& f = faults[from];
    const uint32_t now = FakeClock::Now();
    uint32_t at = now;
    if (f.pause > 0 && Roll(from) < f.pause) at = now + f.pauseMs;
    if (f.burst > 0 && Roll(from) < f.burst)
      for (int32_t i = 0; i < f.burstLength; ++i) Queue(to, at, static_cast<uint8_t>(rng[from]()));
    if (f.strayFlow > 0 && Roll(from) < f.strayFlow) Queue(to, at, (rng[from]() & 1) ? 0x11 : 0x13);
    if (f.insert > 0 && Roll(from) < f.insert) Queue(to, at, static_cast<uint8_t>(rng[from]()));
    if (f.drop > 0 && Roll(from) < f.drop) return;
    if (f.flip > 0 && Roll(from) < f.flip) {
      value ^= static_cast<uint8_t>(1u << (rng[from]() % 8));
      ++flips;
    }
    Queue(to, at, value);
  }
  size_t Room(int to) const { return toEnd[to].size() >= room ? 0 : room - toEnd[to].size(); }
};

NullModem::NullModem(uint64_t seed, uint32_t startMs)
    : shared(std::make_unique<Shared>(seed, startMs)),
      a(std::make_unique<End>(*shared, 0)),
      b(std::make_unique<End>(*shared, 1)) {
  shared->ends[0] = a.get();
  shared->ends[1] = b.get();
}

NullModem::~NullModem() = default;

NullModem::End& NullModem::A() { return *a; }
NullModem::End& NullModem::B() { return *b; }

void NullModem::SetFaults(const LineFaults& aToB, const LineFaults& bToA) {
  shared->faults[0] = aToB;
  shared->faults[1] = bToA;
}

void NullModem::SetReceiveRoom(size_t bytes) { shared->room = bytes; }

void NullModem::SetLine(double bytesPerSecond, size_t holdBytes, size_t queueBytes) {
  shared->rate = bytesPerSecond / 1000.0;
  shared->hold = holdBytes;
  shared->queue = queueBytes;
}

int64_t NullModem::Flips() const { return shared->flips; }
int64_t NullModem::Dropped(int side) const { return shared->dropped[side]; }

uint32_t NullModem::Now() const { return FakeClock::Now(); }

void NullModem::Run(const std::function<void(End&)>& sideA, const std::function<void(End&)>& sideB) {
  {
    std::lock_guard<std::mutex> hold(shared->lock);
    shared->running = 2;
    shared->waiting = 0;
  }
  auto body = [this](const std::function<void(End&)>& side, End& end) {
    side(end);
    std::lock_guard<std::mutex> hold(shared->lock);
    --shared->running;
    // The side left behind may be waiting for time that only this side could have moved.
    if (shared->running > 0 && shared->waiting >= shared->running) shared->Advance();
  };
  std::thread ta(body, std::cref(sideA), std::ref(*a));
  std::thread tb(body, std::cref(sideB), std::ref(*b));
  ta.join();
  tb.join();
}

NullModem::End::End(NullModem::Shared& s, int w) : ComLink(w), shared(s), which(w) {}
NullModem::End::~End() = default;

int32_t NullModem::End::Idle() {
  std::unique_lock<std::mutex> hold(shared.lock);
  if (shared.running == 0) {  // outside Run: a single-threaded user, time is ours to move
    FakeClock::Advance(1);
    return 0;
  }
  const bool due = shared.Due(which, FakeClock::Now());
  const bool unreadSinceIdle = due && idleSawInput && !readSinceIdle;
  idleSawInput = due;
  readSinceIdle = false;
  if (due && !unreadSinceIdle) return 0;
  const uint64_t generation = shared.timeGeneration;
  ++shared.waiting;
  if (shared.waiting >= shared.running) {
    shared.Advance();
    return 0;
  }
  shared.wake.wait(hold, [&] {
    return shared.timeGeneration != generation || (!unreadSinceIdle && shared.Due(which, FakeClock::Now()));
  });
  if (shared.timeGeneration == generation) --shared.waiting;  // woken by data, still counted
  return 0;
}

int32_t NullModem::End::ReadModemStatus() {
  std::lock_guard<std::mutex> hold(shared.lock);
  const End* peer = shared.ends[1 - which];
  return (peer->rts ? 0x10 : 0) | (peer->dtr ? 0x20 | 0x80 : 0);
}

void NullModem::End::GetBufferStatus(BufferStatus& s, int32_t) {
  std::lock_guard<std::mutex> hold(shared.lock);
  s = BufferStatus{};
  s.receivePresent = s.transmitPresent = 1;
  const uint32_t now = FakeClock::Now();
  int32_t due = 0;
  for (const auto& byte : shared.toEnd[which])
    if (TickSource::Passed(byte.at, now)) ++due;
  s.receiveCount = due;
  s.receiveSize = static_cast<int32_t>(shared.room);
  s.transmitCount = static_cast<int32_t>(shared.Queued(1 - which, now));
  s.transmitSize = static_cast<int32_t>(shared.rate > 0 ? shared.queue : shared.room);
}

int32_t NullModem::End::SetHandshake(int32_t in, int32_t out) {
  inputHandshake = in;
  outputHandshake = out;
  return 0;
}

int32_t NullModem::End::GetHandshake(int32_t& in, int32_t& out) {
  in = inputHandshake;
  out = outputHandshake;
  return 0;
}

int32_t NullModem::End::SetBreak(int32_t state) {
  if (state >= 0) breakState = state == 1;
  return breakState;
}

int32_t NullModem::End::Signal(int32_t number, int32_t value) {
  if (number == LineSignal::BreakState) return SetBreak(value);
  if (value != -1 && number == LineSignal::Dtr) dtr = value != 0;
  if (value != -1 && number == LineSignal::Rts) rts = value != 0;
  const int32_t modem = ReadModemStatus();
  switch (number) {
    case LineSignal::Dtr: return dtr;
    case LineSignal::Rts: return rts;
    case LineSignal::Cts: return (modem & 0x10) ? 1 : 0;
    case LineSignal::Dsr: return (modem & 0x20) ? 1 : 0;
    case LineSignal::Ri: return 0;
    case LineSignal::Cd: return (modem & 0x80) ? 1 : 0;
    default:
      for (int32_t known : LineStatus::kSignals)
        if (known == number) return 0;
      return 2;
  }
}

int32_t NullModem::End::SetDataFormat(uint32_t baud, char par, int32_t data, int32_t stop) {
  baudRate = baud;
  parity = par;
  dataBits = data;
  stopBits = stop;
  return 0;
}

void NullModem::End::GetDataFormat(uint32_t& baud, char& par, int32_t& data, int32_t& stop) {
  baud = baudRate;
  par = parity;
  data = dataBits;
  stop = stopBits;
}

int32_t NullModem::End::GetLineStatus(LineStatus& s) {
  s = QuerySignals();
  return 0;
}

int32_t NullModem::End::PutByte(uint8_t byte) { return Write(&byte, 1) == 1 ? 0 : lastStatus; }

int32_t NullModem::End::PutString(const char* text) {
  return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
}

int32_t NullModem::End::Write(const uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(shared.lock);
  const int to = 1 - which;
  size_t room = shared.Room(to);
  if (shared.rate > 0) {
    const size_t queued = shared.Queued(to, FakeClock::Now());
    room = std::min(room, queued >= shared.queue ? 0 : shared.queue - queued);
  }
  const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(length), room));
  for (int32_t i = 0; i < n; ++i) {
    sent.push_back(data[i]);
    shared.Transmit(which, data[i]);
  }
  if (n > 0) shared.wake.notify_all();
  if (n < length) Fail(LinkCode::ShortWrite);
  return n;
}

int32_t NullModem::End::GetByte() {
  std::lock_guard<std::mutex> hold(shared.lock);
  if (!shared.Due(which, FakeClock::Now())) return LinkCode::Timeout;
  const uint8_t b = shared.toEnd[which].front().value;
  shared.toEnd[which].pop_front();
  readSinceIdle = true;
  shared.wake.notify_all();  // room for a writer that was full
  return b;
}

int32_t NullModem::End::Read(uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(shared.lock);
  const uint32_t now = FakeClock::Now();
  int32_t n = 0;
  while (n < length && shared.Due(which, now)) {
    data[n++] = shared.toEnd[which].front().value;
    shared.toEnd[which].pop_front();
  }
  if (n > 0) readSinceIdle = true;
  return n;
}

int32_t NullModem::End::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0) {
    // What still waits in our device queue is dropped; the line then carries on from the last
    // byte it already took.
    std::lock_guard<std::mutex> hold(shared.lock);
    const int to = 1 - which;
    size_t n = shared.Queued(to, FakeClock::Now());
    shared.dropped[which] += static_cast<int64_t>(n);
    while (n-- > 0) shared.toEnd[to].pop_back();
    const uint32_t last = shared.toEnd[to].empty() ? FakeClock::Now() : shared.toEnd[to].back().at;
    shared.lastAt[to] = last;
    shared.lineFree[to] = last;
    return 0;
  }
  if (count != 0) return DrainInput(count);
  std::lock_guard<std::mutex> hold(shared.lock);
  const uint32_t now = FakeClock::Now();
  while (shared.Due(which, now)) shared.toEnd[which].pop_front();
  return 0;
}

void NullModem::End::Dump(DumpCallback callback, void* context) {
  callback(context, which == 0 ? "Port type: null modem A" : "Port type: null modem B");
}
