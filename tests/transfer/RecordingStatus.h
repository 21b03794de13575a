// A TransferStatus for engine tests: keeps the last event code, and stops a run that makes no
// progress for a while of (fake) time with -909, as the host's inactivity limit would, so a
// test that goes wrong ends instead of waiting forever. It can also cancel (-901) on demand.
#pragma once
#include "link/TickSource.h"
#include "transfer/TransferStatus.h"

class RecordingStatus : public TransferStatus {
 public:
  explicit RecordingStatus(uint32_t idleMs = 120000) : idleLimitMs(idleMs) {}

  void Notify(int32_t c) override {
    if (c != 0) last = c;
  }
  int32_t QueryAbort() override {
    if (cancelAfterQueries > 0 && ++queries >= cancelAfterQueries) return -901;
    const uint32_t now = TickSource::Now();
    if (!started || bytesDone != lastBytes) {
      started = true;
      lastBytes = bytesDone;
      lastActivity = now;
    }
    return now - lastActivity > idleLimitMs ? -909 : 0;
  }

  int32_t last = 0;                // the latest non-zero Notify code
  int32_t cancelAfterQueries = 0;  // cancel from this QueryAbort on; 0 never

 private:
  uint32_t idleLimitMs;
  int32_t queries = 0;
  bool started = false;
  int32_t lastBytes = 0;
  uint32_t lastActivity = 0;
};
