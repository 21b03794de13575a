// A tick source that moves only when a test (or a fake link's Idle) moves it, so a 30-second
// deadline tests in microseconds. Installing one replaces the platform counter until destroyed.
#pragma once
#include <cstdint>

class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 1000);
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  static uint32_t Now();
  static void Advance(uint32_t ms);
  static void Set(uint32_t ms);
};
