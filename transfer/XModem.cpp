// The 128-byte form of the XModem family.
#include "transfer/XModem.h"

XModem::XModem(SerialPort* port, TransferStatus* statusObject) : XModemBase(port, statusObject) {
  AllocateBuffer(kLongBlockSize);
  status->protocol = 0;
}

XModem::~XModem() = default;

int32_t XModem::AcceptStart() {
  if (lastByte != Ascii::STX) return 0;
  status->blockLength = kLongBlockSize;
  return 1;
}

int32_t XModem::SendStart() {
  if (SendByteWait(status->blockLength == kLongBlockSize ? Ascii::STX : Ascii::SOH) != 0) {
    SendFailed(TransferCode::BlockSendFailed);
    return 0;
  }
  return 1;
}
