#include "fakes/Lockstep.h"

#include <thread>

void Lockstep::Advance() {
  FakeClock::Advance(1);
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

void Lockstep::Idle(Side& side, const std::function<bool()>& hasInput) {
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
  if (++waiting >= running) {
    Advance();
    return;
  }
  wake.wait(hold, [&] { return generation != seen || (!unreadSinceIdle && hasInput()); });
  if (generation == seen) --waiting;  // woken by input, still counted
}
