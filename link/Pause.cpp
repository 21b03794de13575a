// Pause: a yielding wait on the tick source.
#include "link/Pause.h"

#include "link/SerialPort.h"
#include "link/TickSource.h"

int32_t Pause(SerialPort& port, int32_t ms) {
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(ms);
  while (!TickSource::Passed(deadline)) {
    int32_t r = port.Yield();
    if (r < 0) return r;
  }
  return 0;
}
