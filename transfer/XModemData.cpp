// The XModem mode switch: the check object and the status's check name move together.
#include "transfer/XModemData.h"

XModemData::XModemData(SerialPort* port, TransferStatus* statusObject)
    : TransferEngine(port, statusObject), check(std::make_unique<Crc16Check>()) {
  status->checkType = 3;
}

XModemData::~XModemData() = default;

void XModemData::SwitchToCrc() {
  if (crcMode) return;
  check = std::make_unique<Crc16Check>();
  crcMode = 1;
  status->checkType = 3;
}

void XModemData::SwitchToChecksum() {
  if (!crcMode) return;
  check = std::make_unique<BlockCheck>();
  crcMode = 0;
  status->checkType = 1;
}
