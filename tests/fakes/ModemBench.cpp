#include "fakes/ModemBench.h"

#include <cstring>
#include <thread>

ModemBench::ModemBench(uint32_t startMs) : clock(startMs) {}
ModemBench::~ModemBench() = default;

ModemBench::Port& ModemBench::Add(const std::string& number) {
  ports.push_back(std::make_unique<Port>(*this, board.Add(number)));
  return *ports.back();
}

void ModemBench::Type(HayesModem& modem, const std::string& text) {
  std::lock_guard<std::mutex> hold(lock);
  for (char c : text) modem.FromComputer(static_cast<uint8_t>(c), FakeClock::Now());
}

void ModemBench::Advance() {
  FakeClock::Advance(1);
  board.Tick(FakeClock::Now());
  if (onTick) onTick(FakeClock::Now());
  waiting = 0;
  ++generation;
  wake.notify_all();
}

void ModemBench::Run(const std::vector<std::function<void()>>& sides) {
  {
    std::lock_guard<std::mutex> hold(lock);
    running = static_cast<int>(sides.size());
    waiting = 0;
  }
  std::vector<std::thread> threads;
  for (const auto& side : sides)
    threads.emplace_back([this, &side] {
      side();
      std::lock_guard<std::mutex> hold(lock);
      --running;
      // Those left behind may wait for time that only this side could have moved.
      if (running > 0 && waiting >= running) Advance();
    });
  for (auto& t : threads) t.join();
}

ModemBench::Port::Port(ModemBench& b, HayesModem& m) : modem(m), bench(b) {}

int32_t ModemBench::Port::Idle() {
  std::unique_lock<std::mutex> hold(bench.lock);
  if (bench.running == 0) {
    bench.Advance();
    return 0;
  }
  const bool due = !modem.ToComputer().empty();
  // Input left unread since the last Idle (a pause) must not stop time for everyone.
  const bool unreadSinceIdle = due && idleSawInput && !readSinceIdle;
  idleSawInput = due;
  readSinceIdle = false;
  if (due && !unreadSinceIdle) return 0;
  const uint64_t generation = bench.generation;
  if (++bench.waiting >= bench.running) {
    bench.Advance();
    return 0;
  }
  bench.wake.wait(hold, [&] {
    return bench.generation != generation || (!unreadSinceIdle && !modem.ToComputer().empty());
  });
  if (bench.generation == generation) --bench.waiting;
  return 0;
}

int32_t ModemBench::Port::ReadModemStatus() {
  return 0x10 | 0x20 | (Signal(LineSignal::Ri, -1) ? 0x40 : 0) | (Signal(LineSignal::Cd, -1) ? 0x80 : 0);
}

void ModemBench::Port::GetBufferStatus(BufferStatus& s, int32_t) {
  std::lock_guard<std::mutex> hold(bench.lock);
  s = BufferStatus{};
  s.receivePresent = s.transmitPresent = 1;
  s.receiveCount = static_cast<int32_t>(modem.ToComputer().size());
  s.receiveSize = s.transmitSize = static_cast<int32_t>(HayesModem::kRoom);
}

int32_t ModemBench::Port::Signal(int32_t number, int32_t value) {
  std::lock_guard<std::mutex> hold(bench.lock);
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
  std::lock_guard<std::mutex> hold(bench.lock);
  int32_t n = 0;
  for (; n < length && modem.Room() > 0; ++n) modem.FromComputer(data[n], FakeClock::Now());
  if (n > 0) bench.wake.notify_all();
  if (n < length) Fail(LinkCode::ShortWrite);
  return n;
}

int32_t ModemBench::Port::GetByte() {
  uint8_t b;
  return Read(&b, 1) == 1 ? b : LinkCode::Timeout;
}

int32_t ModemBench::Port::Read(uint8_t* data, int32_t length) {
  std::lock_guard<std::mutex> hold(bench.lock);
  auto& in = modem.ToComputer();
  int32_t n = 0;
  for (; n < length && !in.empty(); ++n) {
    data[n] = in.front();
    in.pop_front();
  }
  if (n > 0) {
    readSinceIdle = true;
    bench.wake.notify_all();  // room for a writer that was full
  }
  return n;
}

int32_t ModemBench::Port::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0) return 0;
  if (count != 0) return DrainInput(count);
  std::lock_guard<std::mutex> hold(bench.lock);
  modem.ToComputer().clear();
  return 0;
}
