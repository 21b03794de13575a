// Attach remembers, the destructor restores; a refused rate never leaves the object claiming a
// rate the device does not run at.
#include "link/DataFormat.h"

#include "link/ComLink.h"
#include "link/SerialPort.h"

DataFormat::DataFormat(SerialPort* port) {
  if (port) Attach(port);
}

DataFormat::~DataFormat() {
  if (!link) return;
  baudRate = savedBaudRate;
  parity = savedParity;
  dataBits = savedDataBits;
  stopBits = savedStopBits;
  Apply();
}

void DataFormat::Attach(SerialPort* port) {
  link = port->Link();
  ReadFromLink();
  Apply();
}

int32_t DataFormat::Apply() {
  if (!link) return LinkCode::Failure;
  return link->SetDataFormat(baudRate, parity, dataBits, stopBits) < 0 ? LinkCode::Failure : 0;
}

int32_t DataFormat::ReadFromLink() {
  if (!link) return LinkCode::Failure;
  link->GetDataFormat(savedBaudRate, savedParity, savedDataBits, savedStopBits);
  return 0;
}

int32_t DataFormat::Set(uint32_t rate, char par, int32_t data, int32_t stop) {
  baudRate = rate;
  parity = par;
  dataBits = data;
  stopBits = stop;
  return Apply();
}

int32_t DataFormat::SetBaud(uint32_t rate) {
  const uint32_t previous = baudRate;
  baudRate = rate;
  int32_t r = Apply();
  if (r < 0) baudRate = previous;
  return r;
}
