// A TransferStatus for engine tests: records every event code, and stops a run that makes no
// progress for a while of (fake) time with -909, as the host's inactivity limit would, so a
// test that goes wrong ends instead of waiting forever. It can also cancel on demand (-901).
#pragma once
#include <atomic>
#include <vector>

#include "link/TickSource.h"
#include "transfer/TransferStatus.h"

class RecordingStatus : public TransferStatus {
 public:
  explicit RecordingStatus(uint32_t idleMs = 120000) : idleLimitMs(idleMs) {}

  void Notify(int32_t c) override {
    ++notifies;
    if (c != 0) events.push_back(c);
  }
  int32_t QueryAbort() override {
    ++queries;
    if (cancelAfterQueries > 0 && queries >= cancelAfterQueries) return -901;
    if (cancel) return -901;
    const uint32_t now = TickSource::Now();
    if (!started || bytesDone != lastBytes) {
      started = true;
      lastBytes = bytesDone;
      lastActivity = now;
    }
    return now - lastActivity > idleLimitMs ? -909 : 0;
  }
  int32_t Last() const { return events.empty() ? 0 : events.back(); }

  std::vector<int32_t> events;
  int32_t notifies = 0;
  int32_t queries = 0;
  int32_t cancelAfterQueries = 0;
  std::atomic<bool> cancel{false};

 private:
  uint32_t idleLimitMs;
  bool started = false;
  int32_t lastBytes = 0;
  uint32_t lastActivity = 0;
};
