// The bookkeeping every view shares, so that the driver's counts do not depend on the display.
#include "job/ProgressView.h"

#include "link/TickSource.h"

ProgressView::ProgressView() : lastActivity(TickSource::Now()) {}

void ProgressView::ShowFile(const char* name, int64_t size) {
  if (name && name[0]) ++filesSeen;
  DisplayFile(name, size);
}

bool ProgressView::TimedOut(uint32_t seconds) const {
  return seconds != 0 && TickSource::Now() - lastActivity >= static_cast<uint64_t>(seconds) * 1000u;
}

void ProgressView::RestartClock() { lastActivity = TickSource::Now(); }
