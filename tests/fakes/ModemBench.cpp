#include "fakes/ModemBench.h"

ModemBench::ModemBench(uint32_t startMs) : step(startMs) {
  // A test that watches every millisecond (onTick) gets every one; otherwise idle time is
  // skipped up to the nearest modem timer.
  step.nextEvent = [this](uint32_t& at) {
    if (onTick) {
      at = FakeClock::Now() + 1;
      return true;
    }
    bool any = false;
    for (const HayesModem& m : board.Modems()) {
      uint32_t when = 0;
      if (m.NextTimer(when) && (!any || static_cast<int32_t>(when - at) < 0)) at = when, any = true;
    }
    return any;
  };
  step.onAdvance = [this](uint32_t now) {
    board.Tick(now);
    if (onTick) onTick(now);
  };
}
ModemBench::~ModemBench() = default;

ModemBench::Port& ModemBench::Add(const std::string& number) {
  ports.push_back(std::make_unique<Port>(*this, board.Add(number)));
  return *ports.back();
}

void ModemBench::Type(HayesModem& modem, const std::string& text) {
  std::lock_guard<std::mutex> hold(step.lock);
  for (char c : text) modem.FromComputer(static_cast<uint8_t>(c), FakeClock::Now());
}

ModemBench::Port::Port(ModemBench& b, HayesModem& m) : modem(m), bench(b) {}

int32_t ModemBench::Port::Idle(int32_t maxWaitMs) {
  bench.step.Idle(idle, [this] { return !modem.ToComputer().empty(); }, maxWaitMs);
  return 0;
}

void ModemBench::Port::GetBufferStatus(BufferStatus& s, int32_t) {
  std::lock_guard<std::mutex> hold(bench.step.lock);
  s = BufferStatus{};
  s.receivePresent = s.transmitPresent = 1;
  s.receiveCount = static_cast<int32_t>(modem.ToComputer().size());
  s.receiveSize = s.transmitSize = static_cast<int32_t>(HayesModem::kRoom);
}

int32_t ModemBench::Port::Signal(int32_t number, int32_t value) {
  std::lock_guard<std::mutex> hold(bench.step.lock);
  switch (number) {
    case LineSignal::Dtr:
      if (value >= 0) {
        dtr = value != 0;
        modem.SetDtr(dtr != 0, FakeClock::Now());
      }
      return dtr;
    case LineSignal::Rts: case LineSignal::Cts: case LineSignal::Dsr: return 1;
    case LineSignal::Ri: return modem.Ringing() ? 1 : 0;
    case LineSignal::Cd: return carrierWired && modem.CarrierDetect() ? 1 : 0;
    default: return FakeComLink::Signal(number, value);
  }
}

int32_t ModemBench::Port::Write(const uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(bench.step.lock);
  int32_t n = 0;
  for (; n < length && modem.Room() > 0; ++n) modem.FromComputer(data[n], FakeClock::Now());
  if (n > 0) bench.step.Wake();
  if (n < length) Fail(LinkCode::ShortWrite);
  return n;
}

int32_t ModemBench::Port::GetByte() {
  uint8_t b;
  return Read(&b, 1) == 1 ? b : LinkCode::Timeout;
}

int32_t ModemBench::Port::Read(uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(bench.step.lock);
  auto& in = modem.ToComputer();
  int32_t n = 0;
  for (; n < length && !in.empty(); ++n) {
    data[n] = in.front();
    in.pop_front();
  }
  if (n > 0) {
    idle.read = true;
    bench.step.Wake();  // room for a writer that was full
  }
  return n;
}

int32_t ModemBench::Port::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0) return 0;
  if (count != 0) return DrainInput(count);
  std::lock_guard<std::mutex> hold(bench.step.lock);
  modem.ToComputer().clear();
  return 0;
}
