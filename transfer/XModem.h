// The 128-byte XModem: the sender starts every block with SOH; the receiver also takes the
// 1024-byte blocks (STX) that XModem-1K senders use.
#pragma once
#include <cstdint>

#include "transfer/XModemBase.h"

class XModem : public XModemBase {
 public:
  static constexpr int32_t kBlockSize = 128;
  static constexpr int32_t kLongBlockSize = 1024;

  // Without a status object the engine makes and owns a plain one. A failed buffer allocation
  // surfaces as -920 at the start of Send or Receive.
  XModem(SerialPort* port, TransferStatus* statusObject);
  ~XModem() override;

  // STX: a 1024-byte block.
  int32_t AcceptStart() override;
  int32_t SendStart() override;
  int32_t BlockSize() override { return kBlockSize; }
};
