// The 128-byte XModem: SOH starts every block and no other start byte is accepted.
#pragma once
#include <cstdint>

#include "transfer/XModemBase.h"

class XModem : public XModemBase {
 public:
  static constexpr int32_t kBlockSize = 128;

  // Without a status object the engine makes and owns a plain one. A failed buffer allocation
  // surfaces as -920 at the start of Send or Receive.
  XModem(SerialPort* port, TransferStatus* statusObject);
  ~XModem() override;

  int32_t AcceptStart() override { return 0; }
  int32_t SendStart() override;
  int32_t BlockSize() override { return kBlockSize; }
};
