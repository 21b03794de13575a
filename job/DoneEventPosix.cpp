// The done event from the standard library: a flag under a mutex, with a condition to wait on.
#include "job/DoneEvent.h"

#include <condition_variable>
#include <mutex>

struct DoneEvent::State {
  mutable std::mutex lock;
  mutable std::condition_variable changed;
  bool set = false;
};

DoneEvent::DoneEvent() : state(new State) {}
DoneEvent::~DoneEvent() = default;

void DoneEvent::Set() {
  {
    std::lock_guard<std::mutex> hold(state->lock);
    state->set = true;
  }
  state->changed.notify_all();
}

bool DoneEvent::IsSet() const {
  std::lock_guard<std::mutex> hold(state->lock);
  return state->set;
}

void DoneEvent::Wait() const {
  std::unique_lock<std::mutex> hold(state->lock);
  state->changed.wait(hold, [this] { return state->set; });
}

void* DoneEvent::NativeHandle() const { return nullptr; }
