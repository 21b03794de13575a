// Virtual time for fakes whose sides run on their own threads: the FakeClock moves only while
// every running side waits in Idle, so time-outs are exact and free of scheduling noise. It moves
// a millisecond at a time, or, where the fake says when its next event is due (nextEvent), on
// to the nearest of that event and the ends of the sides' waits, so hours of silence cost no
// more than a few steps. Outside Run a single-threaded user's Idle moves time itself.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "fakes/FakeClock.h"

class Lockstep {
 public:
  // What Idle remembers of one side: a side that leaves arrived input unread (a fixed pause)
  // must still let time move, or the sides could stall each other. Read marks `read`.
  struct Side {
    bool sawInput = false, read = false;
  };

  explicit Lockstep(uint32_t startMs) : clock(startMs) {}

  // Runs each side on its own thread; returns when all have ended.
  void Run(const std::vector<std::function<void()>>& sides);
  // A side's Idle: returns at once for input that arrived (hasInput, called with the lock held),
  // else waits for input or for the clock to move (at most maxWaitMs on, when jumps are allowed).
  void Idle(Side& side, const std::function<bool()>& hasInput, int32_t maxWaitMs = 1);
  // Lock held: wakes the sides that wait, as new input or room may let them on.
  void Wake() { wake.notify_all(); }

  std::mutex lock;
  // Called, with the lock held, each time the clock moves on.
  std::function<void(uint32_t now)> onAdvance;
  // Lock held: whether an event of the fake (a byte arriving, a modem's timer) is due later, and
  // when. Set, the clock jumps over idle time; onAdvance then sees only the times it lands on.
  std::function<bool(uint32_t& at)> nextEvent;

 private:
  void Advance();  // lock held

  FakeClock clock;
  std::condition_variable wake;
  int running = 0, waiting = 0;
  uint32_t earliestWake = 0;  // the nearest end of a wait since the clock last moved
  bool anyWake = false;
  uint64_t generation = 0;
};
