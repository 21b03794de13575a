// Process-wide open counters per port index, so that two objects in one process never drive
// the same port. Indexes 0..255 are counted (the Windows product uses 0..33 for COM1..COM34 and
// the rest for higher port numbers); beyond that the device's own exclusive open has to do.
#pragma once
#include <cstdint>

class PortInUseTable {
 public:
  static constexpr int32_t kSize = 256;

  // True when no object of this process holds the port (always true outside the table).
  static bool IsFree(int32_t portIndex);
  // Claims the port when it is free; false when another object holds it. Atomic, so two jobs
  // starting at once cannot both win.
  static bool Claim(int32_t portIndex);
  static void Release(int32_t portIndex);  // never goes below 0
  static uint16_t Count(int32_t portIndex);
};
