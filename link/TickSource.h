// The one millisecond tick counter behind every deadline. The platform file supplies the real
// counter (GetTickCount on Windows, a monotonic clock on POSIX); tests install a fake.
#pragma once
#include <cstdint>

namespace TickSource {
using Source = uint32_t (*)();

// Milliseconds of the installed source; wraps at 2^32 like GetTickCount.
uint32_t Now();

// Installs a replacement source (tests); nullptr puts the platform's counter back.
void Install(Source source);

// The platform's own counter, whatever is installed.
uint32_t PlatformNow();

// A deadline has passed when it is less than or equal to now, compared as signed 32-bit
// numbers, so waits survive the counter's wrap.
inline bool Passed(uint32_t deadline, uint32_t now) {
  return static_cast<int32_t>(deadline - now) <= 0;
}
inline bool Passed(uint32_t deadline) { return Passed(deadline, Now()); }
}  // namespace TickSource
