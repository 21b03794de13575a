// Dispatch to the installed tick source.
#include "link/TickSource.h"

#include <atomic>

namespace {
std::atomic<TickSource::Source> installed{nullptr};
}

uint32_t TickSource::Now() {
  Source s = installed.load(std::memory_order_relaxed);
  return s ? s() : PlatformNow();
}

void TickSource::Install(Source source) { installed.store(source, std::memory_order_relaxed); }
