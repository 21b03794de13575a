// The event that ends a transfer run: manual-reset, created clear, only ever set. The user's
// Cancel sets it on the window's thread; the worker polls it (QueryAbort of the job's status and
// modem, the top of the driver's loop) and waits for it at the end. Nothing else is shared.
#pragma once
#include <memory>

class DoneEvent {
 public:
  DoneEvent();
  ~DoneEvent();
  DoneEvent(const DoneEvent&) = delete;
  DoneEvent& operator=(const DoneEvent&) = delete;

  // Any thread; setting it twice is harmless. There is no reset.
  void Set();
  // Without waiting.
  bool IsSet() const;
  // Without limit, until some thread sets it.
  void Wait() const;
  // The platform's event for a link to wait on beside its device (ComLink::SetWakeEvent): the
  // Win32 event handle; null where there is none.
  void* NativeHandle() const;

 private:
  struct State;  // the platform's event
  std::unique_ptr<State> state;
};
