// The 128-byte form of the XModem family.
#include "transfer/XModem.h"

XModem::XModem(SerialPort* port, TransferStatus* statusObject) : XModemBase(port, statusObject) {
  AllocateBuffer(kBlockSize);
  status->protocol = 0;
}

XModem::~XModem() = default;

int32_t XModem::SendStart() {
  if (SendByteWait(Ascii::SOH) != 0) {
    SendFailed(TransferCode::BlockSendFailed);
    return 0;
  }
  return 1;
}
