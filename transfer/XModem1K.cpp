// The block size rule of XModem-1K.
#include "transfer/XModem1K.h"

XModem1K::XModem1K(SerialPort* port, TransferStatus* statusObject) : XModem(port, statusObject) {
  status->protocol = 1;
  // Receivers that purge their input right after answering (lrzsz's do) lose what arrives in
  // that instant: a block that reaches them whole is purged whole and costs their time-out; on a
  // line that paces bytes the purge takes the start of the block, and rx reads the rest as
  // headers and gives up. A millisecond costs a 1 KiB block 1% of its time at 115200 baud.
  settleMs = 1;
}

int32_t XModem1K::BlockSize() {
  // Seven short blocks take 7 * 133 bytes on the line, one long block 1029.
  const int64_t left = status->fileSize - status->bytesDone;
  return crcMode && left > 7 * kBlockSize ? kLongBlockSize : kBlockSize;
}
