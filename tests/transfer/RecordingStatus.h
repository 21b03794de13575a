// A TransferStatus for engine tests: records every event code, and stops a run that makes no
// progress for a while of (fake) time with -909, as the host's inactivity limit would, so a
// test that goes wrong ends instead of waiting forever. It can also cancel (-901) on demand.
#pragma once
#include <algorithm>
#include <functional>
#include <vector>

#include "link/TickSource.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferStatus.h"

class RecordingStatus : public TransferStatus {
 public:
  explicit RecordingStatus(uint32_t idleMs = 120000) : idleLimitMs(idleMs) {}

  void Notify(int32_t c) override {
    if (c != 0) events.push_back(c);
    if (onNotify) onNotify(c);
  }
  int32_t QueryAbort() override {
    if (cancelAfterQueries > 0 && ++queries >= cancelAfterQueries) return TransferCode::UserCancelled;
    const uint32_t now = TickSource::Now();
    if (!started || bytesDone != lastBytes) {
      started = true;
      lastBytes = bytesDone;
      lastActivity = now;
    }
    return now - lastActivity > idleLimitMs ? TransferCode::Timeout : 0;
  }
  int32_t Last() const { return events.empty() ? 0 : events.back(); }
  bool Saw(int32_t event) const { return std::find(events.begin(), events.end(), event) != events.end(); }

  std::vector<int32_t> events;         // every non-zero Notify code
  std::function<void(int32_t)> onNotify;
  int32_t cancelAfterQueries = 0;      // cancel from this QueryAbort on; 0 never
  uint32_t idleLimitMs;

 private:
  int32_t queries = 0;
  bool started = false;
  int32_t lastBytes = 0;
  uint32_t lastActivity = 0;
};
