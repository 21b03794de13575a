// Pause: a yielding wait on the tick source.
#include "link/Pause.h"

#include "link/SerialPort.h"
#include "link/TickSource.h"

int32_t Pause(SerialPort& port, int32_t ms) {
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(ms);
  for (;;) {
    const int32_t left = static_cast<int32_t>(deadline - TickSource::Now());
    if (left <= 0) return 0;
    const int32_t r = port.Yield(left);
    if (r < 0) return r;
  }
}
