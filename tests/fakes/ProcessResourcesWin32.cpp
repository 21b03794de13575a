// The process's handle count and its private bytes, as the system counts them. Wine 8 answers
// neither (0 handles, 0 private bytes): there the value a new handle gets (handles are given
// out lowest free first, so it rises with every handle left open) and the committed memory of
// the page file stand in.
#include "fakes/ProcessResources.h"

#include <windows.h>
#include <psapi.h>

ProcessResources ProcessResources::Now() {
  ProcessResources r;
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
    r.handles = handles;
  } else if (HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    r.handles = reinterpret_cast<intptr_t>(probe) / 4;
    CloseHandle(probe);
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
    r.privateBytes = static_cast<int64_t>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
  return r;
}
