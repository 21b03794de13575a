// POSIX tick counter: CLOCK_MONOTONIC in milliseconds, truncated to 32 bits.
#include "link/TickSource.h"

#include <time.h>

uint32_t TickSource::PlatformNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}
