#include "fakes/NullModem.h"

#include <algorithm>
#include <mutex>
#include <random>

#include "link/TickSource.h"

struct NullModem::Shared {
  explicit Shared(uint64_t seed, uint32_t start) : step(start) {
    rng[0].seed(seed * 2 + 1);
    rng[1].seed(seed * 2 + 2);
  }
  struct Byte {
    uint32_t at;
    uint8_t value;
  };
  Lockstep step;
  std::deque<Byte> toEnd[2];
  size_t room = 16384;  // bytes that can wait unread in each end's receive side
  LineFaults faults[2];
  std::mt19937_64 rng[2];
  uint32_t lastAt[2] = {0, 0};  // delivery time of the last byte queued toward each end
  double rate = 0;              // bytes per millisecond; 0: no line time
  double lineFree[2] = {0, 0};  // when the line toward each end has carried what it was given
  size_t hold = 0, queue = 0;
  int64_t flips = 0;
  int64_t dropped[2] = {0, 0};
  End* ends[2] = {nullptr, nullptr};

  bool Due(int end, uint32_t now) const {
    return !toEnd[end].empty() && TickSource::Passed(toEnd[end].front().at, now);
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
  // Idle time is skipped up to the next byte's arrival on the wire (bytes queue in the order
  // they arrive; those already there wait for a reader and change nothing by waiting longer).
  shared->step.nextEvent = [s = shared.get()](uint32_t& at) {
    const uint32_t now = FakeClock::Now();
    bool any = false;
    for (const auto& queued : s->toEnd) {
      const auto next = std::upper_bound(queued.begin(), queued.end(), now, [](uint32_t t, const Shared::Byte& byte) {
        return static_cast<int32_t>(byte.at - t) > 0;
      });
      if (next != queued.end() && (!any || static_cast<int32_t>(next->at - at) < 0)) {
        at = next->at;
        any = true;
      }
    }
    return any;
  };
}

NullModem::~NullModem() = default;

NullModem::End& NullModem::A() { return *a; }
NullModem::End& NullModem::B() { return *b; }

void NullModem::SetFaults(const LineFaults& aToB, const LineFaults& bToA) {
  shared->faults[0] = aToB;
  shared->faults[1] = bToA;
}

void NullModem::SetLine(double bytesPerSecond, size_t holdBytes, size_t queueBytes) {
  shared->rate = bytesPerSecond / 1000.0;
  shared->hold = holdBytes;
  shared->queue = queueBytes;
}

int64_t NullModem::Flips() const { return shared->flips; }
int64_t NullModem::Dropped(int side) const { return shared->dropped[side]; }

void NullModem::Run(const std::function<void(End&)>& sideA, const std::function<void(End&)>& sideB) {
  shared->step.Run({[&] { sideA(*a); }, [&] { sideB(*b); }});
}

NullModem::End::End(NullModem::Shared& s, int w) : FakeComLink(w), shared(s), which(w) { baudRate = 9600; }

int32_t NullModem::End::Idle(int32_t maxWaitMs) {
  shared.step.Idle(idle, [this] { return shared.Due(which, FakeClock::Now()); }, maxWaitMs);
  return 0;
}

int32_t NullModem::End::ReadModemStatus() {
  std::lock_guard<std::mutex> hold(shared.step.lock);
  const End* peer = shared.ends[1 - which];
  return (peer->rts ? 0x10 : 0) | (peer->dtr ? 0x20 | 0x80 : 0);
}

void NullModem::End::GetBufferStatus(BufferStatus& s, int32_t) {
  std::lock_guard<std::mutex> hold(shared.step.lock);
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

int32_t NullModem::End::Signal(int32_t number, int32_t value) {
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
    default: return FakeComLink::Signal(number, value);
  }
}

int32_t NullModem::End::Write(const uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(shared.step.lock);
  const int to = 1 - which;
  size_t room = shared.Room(to);
  if (shared.rate > 0) {
    const size_t queued = shared.Queued(to, FakeClock::Now());
    room = std::min(room, queued >= shared.queue ? 0 : shared.queue - queued);
  }
  const int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(length), room));
  for (int32_t i = 0; i < n; ++i) {
    if (recordSent) sent.push_back(data[i]);
    shared.Transmit(which, data[i]);
  }
  if (n > 0) shared.step.Wake();
  if (n < length) Fail(LinkCode::ShortWrite);
  return n;
}

int32_t NullModem::End::GetByte() {
  uint8_t b;
  return Read(&b, 1) == 1 ? b : LinkCode::Timeout;
}

int32_t NullModem::End::Read(uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(shared.step.lock);
  const uint32_t now = FakeClock::Now();
  int32_t n = 0;
  while (n < length && shared.Due(which, now)) {
    data[n++] = shared.toEnd[which].front().value;
    shared.toEnd[which].pop_front();
  }
  if (n > 0) {
    idle.read = true;
    shared.step.Wake();  // room for a writer that was full
  }
  return n;
}

int32_t NullModem::End::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0) {
    // What still waits in our device queue is dropped; the line then carries on from the last
    // byte it already took.
    std::lock_guard<std::mutex> hold(shared.step.lock);
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
  std::lock_guard<std::mutex> hold(shared.step.lock);
  const uint32_t now = FakeClock::Now();
  while (shared.Due(which, now)) shared.toEnd[which].pop_front();
  return 0;
}

