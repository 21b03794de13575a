#include "fakes/Lockstep.h"

#include <thread>

void Lockstep::Advance() {
  uint32_t step = 1;
  const uint32_t now = FakeClock::Now();
  if (nextEvent && anyWake) {
    uint32_t target = earliestWake, event = 0;
    if (nextEvent(event) && static_cast<int32_t>(event - target) < 0) target = event;
    if (static_cast<int32_t>(target - now) > 1) step = target - now;
  }
  anyWake = false;
  FakeClock::Advance(step);
  if (onAdvance) onAdvance(FakeClock::Now());
  waiting = 0;
  ++generation;
  wake.notify_all();
}

void Lockstep::Run(const std::vector<std::function<void()>>& sides) {
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

void Lockstep::Idle(Side& side, const std::function<bool()>& hasInput, int32_t maxWaitMs) {
  std::unique_lock<std::mutex> hold(lock);
  if (running == 0) {
    Advance();
    return;
  }
  const bool due = hasInput();
  const bool unreadSinceIdle = due && side.sawInput && !side.read;
  side.sawInput = due;
  side.read = false;
  if (due && !unreadSinceIdle) return;
  const uint64_t seen = generation;
  const uint32_t wakeAt = FakeClock::Now() + static_cast<uint32_t>(maxWaitMs > 1 ? maxWaitMs : 1);
  if (!anyWake || static_cast<int32_t>(wakeAt - earliestWake) < 0) earliestWake = wakeAt;
  anyWake = true;
  if (++waiting >= running) {
    Advance();
    return;
  }
  wake.wait(hold, [&] { return generation != seen || (!unreadSinceIdle && hasInput()); });
  if (generation == seen) --waiting;  // woken by input, still counted
}
