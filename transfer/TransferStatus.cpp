// Base behaviour: counters reset per run, no display, never aborts.
#include "transfer/TransferStatus.h"

void TransferStatus::Begin(int32_t sendDirection) {
  direction = sendDirection;
  fileTime = -1;
  fileName = "";
  filesDone = fileSize = sequenceByte = blockNumber = blockLength = checkValue = 0;
  bytesDone = code = errors = retries = 0;
}

void TransferStatus::Notify(int32_t) {}

int32_t TransferStatus::QueryAbort() { return 0; }
