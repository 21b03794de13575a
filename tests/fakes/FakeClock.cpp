#include "fakes/FakeClock.h"

#include <atomic>

#include "link/TickSource.h"

namespace {
std::atomic<uint32_t> fakeNow{0};
}

FakeClock::FakeClock(uint32_t start) {
  fakeNow = start;
  TickSource::Install(&FakeClock::Now);
}
FakeClock::~FakeClock() { TickSource::Install(nullptr); }
uint32_t FakeClock::Now() { return fakeNow.load(); }
void FakeClock::Advance(uint32_t ms) { fakeNow += ms; }
void FakeClock::Set(uint32_t ms) { fakeNow = ms; }
