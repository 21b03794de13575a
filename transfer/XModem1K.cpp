// The block size rule of XModem-1K.
#include "transfer/XModem1K.h"

XModem1K::XModem1K(SerialPort* port, TransferStatus* statusObject) : XModem(port, statusObject) {
  status->protocol = 1;
}

int32_t XModem1K::BlockSize() {
  // Seven short blocks take 7 * 133 bytes on the line, one long block 1029.
  const int64_t left = status->fileSize - status->bytesDone;
  return crcMode && left > 7 * kBlockSize ? kLongBlockSize : kBlockSize;
}
