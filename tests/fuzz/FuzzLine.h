// The line every fuzz target drives an engine over: the fake clock, a scripted link that steps
// time 50 ms per idle wait (so time-outs pass quickly), and a status that ends the run (-909) as
// soon as the scripted input is used up, so every input costs work in proportion to its length
// and no run waits forever.
#pragma once
#include <cstdint>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "link/SerialPort.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferStatus.h"

class FuzzLine : public TransferStatus {
 public:
  explicit FuzzLine(bool bytewise = false) {
    link.idleStepMs = 50;
    if (bytewise) link.readChunk = 1;
  }
  int32_t QueryAbort() override { return link.Pending() == 0 ? TransferCode::Timeout : 0; }

  FakeClock clock;
  FakeComLink link;
  SerialPort port{&link};
};
