// The status object of the fuzz targets: the run ends (-909) as soon as the scripted input is
// used up, so every input costs work in proportion to its length and no run waits forever.
#pragma once
#include "fakes/FakeComLink.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferStatus.h"

class FuzzStatus : public TransferStatus {
 public:
  explicit FuzzStatus(FakeComLink& l) : link(l) {}
  int32_t QueryAbort() override { return link.Pending() == 0 ? TransferCode::Timeout : 0; }

 private:
  FakeComLink& link;
};
