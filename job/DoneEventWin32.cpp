// The done event as a Win32 manual-reset event.
#include "job/DoneEvent.h"

#include <windows.h>

struct DoneEvent::State {
  HANDLE event;
};

DoneEvent::DoneEvent() : state(new State{CreateEventA(nullptr, TRUE, FALSE, nullptr)}) {}

DoneEvent::~DoneEvent() {
  if (state->event) CloseHandle(state->event);
}

void DoneEvent::Set() { SetEvent(state->event); }

bool DoneEvent::IsSet() const { return WaitForSingleObject(state->event, 0) == WAIT_OBJECT_0; }

void DoneEvent::Wait() const { WaitForSingleObject(state->event, INFINITE); }

void* DoneEvent::NativeHandle() const { return state->event; }
