// Guarded by a mutex: several automation objects may run jobs on their own threads at once.
#include "link/PortInUseTable.h"

#include <mutex>

namespace {
std::mutex tableLock;
uint16_t counters[PortInUseTable::kSize];
bool InTable(int32_t i) { return i >= 0 && i < PortInUseTable::kSize; }
}  // namespace

bool PortInUseTable::IsFree(int32_t portIndex) { return Count(portIndex) == 0; }

bool PortInUseTable::Claim(int32_t portIndex) {
  if (!InTable(portIndex)) return true;
  std::lock_guard<std::mutex> hold(tableLock);
  if (counters[portIndex] != 0) return false;
  counters[portIndex] = 1;
  return true;
}

void PortInUseTable::Release(int32_t portIndex) {
  if (!InTable(portIndex)) return;
  std::lock_guard<std::mutex> hold(tableLock);
  if (counters[portIndex] > 0) --counters[portIndex];
}

uint16_t PortInUseTable::Count(int32_t portIndex) {
  if (!InTable(portIndex)) return 0;
  std::lock_guard<std::mutex> hold(tableLock);
  return counters[portIndex];
}
