// XModem-1K: the XModem protocol with 1024-byte blocks (STX) and CRC-16, one file each way. The
// end of a file goes in 128-byte blocks where they are shorter on the line, and a receiver that
// asks for the checksum gets 128-byte blocks only, as it may not know the long ones.
#pragma once
#include <cstdint>

#include "transfer/XModem.h"

class XModem1K : public XModem {
 public:
  // Sets the status's protocol to 1; a block waits 1 ms before it goes out where the receiver may
  // be purging its input.
  XModem1K(SerialPort* port, TransferStatus* statusObject);

  // 1024 while more than seven short blocks' worth of the file is left, in CRC mode; else 128.
  int32_t BlockSize() override;
};
