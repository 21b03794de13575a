// Base bodies: the device operations trap (no ComLink is usable without a device behind it),
// the shared helpers do the work every port needs the same way.
#include "link/ComLink.h"

#include "link/PortInUseTable.h"
#include "link/PureVirtualTrap.h"

#define COMLINK_TRAP() PureVirtualTrap("COMLINK", __LINE__)

ComLink::ComLink(int32_t index) : portIndex(index) {}

ComLink::~ComLink() { ReleasePort(); }

int32_t ComLink::Idle(int32_t) { COMLINK_TRAP(); }
int32_t ComLink::ReadModemStatus() { COMLINK_TRAP(); }
void ComLink::Initialize(int32_t) { COMLINK_TRAP(); }
int32_t ComLink::OpenDevice() { COMLINK_TRAP(); }
int32_t ComLink::CloseDevice() { COMLINK_TRAP(); }
void ComLink::GetBufferStatus(BufferStatus&, int32_t) { COMLINK_TRAP(); }
int32_t ComLink::SetBufferSizes(int32_t, int32_t, int32_t) { COMLINK_TRAP(); }
int32_t ComLink::SetHandshake(int32_t, int32_t) { COMLINK_TRAP(); }
int32_t ComLink::GetHandshake(int32_t&, int32_t&) { COMLINK_TRAP(); }
int32_t ComLink::SetBreak(int32_t) { COMLINK_TRAP(); }
int32_t ComLink::Signal(int32_t, int32_t) { COMLINK_TRAP(); }
int32_t ComLink::SetDataFormat(uint32_t, char, int32_t, int32_t) { COMLINK_TRAP(); }
void ComLink::GetDataFormat(uint32_t&, char&, int32_t&, int32_t&) { COMLINK_TRAP(); }
int32_t ComLink::GetLineStatus(LineStatus&) { COMLINK_TRAP(); }
int32_t ComLink::PutByte(uint8_t) { COMLINK_TRAP(); }
int32_t ComLink::PutString(const char*) { COMLINK_TRAP(); }
int32_t ComLink::Write(const uint8_t*, int32_t) { COMLINK_TRAP(); }
int32_t ComLink::TransmitImmediate(uint8_t) { COMLINK_TRAP(); }
int32_t ComLink::GetByte() { COMLINK_TRAP(); }
int32_t ComLink::Read(uint8_t*, int32_t) { COMLINK_TRAP(); }
int32_t ComLink::ClearBuffer(int32_t, int32_t) { COMLINK_TRAP(); }
void ComLink::Dump(DumpCallback, void*) { COMLINK_TRAP(); }

int32_t ComLink::HoldRemote() { return LinkCode::NotSupported; }
int32_t ComLink::ReleaseRemote() { return LinkCode::NotSupported; }
void ComLink::SetWakeEvent(void*) {}

int32_t ComLink::TakeStatus() {
  int32_t s = lastStatus;
  lastStatus = 0;
  return s;
}

int32_t ComLink::DrainInput(int32_t count) {
  for (int32_t dropped = 0; dropped < count; ++dropped)
    if (GetByte() < 0) return 0;
  // n bytes went without the input running dry: the caller learns the line is still busy.
  return Fail(LinkCode::Failure);
}

LineStatus ComLink::QuerySignals() {
  LineStatus status;
  for (int i = 0; i < 16; ++i) {
    int32_t v = Signal(LineStatus::kSignals[i], -1);
    status.SetField(i, v < 0 ? 0 : v);
  }
  return status;
}

bool ComLink::ClaimPort() {
  if (!PortInUseTable::Claim(portIndex)) return false;
  claimedPort = true;
  return true;
}

void ComLink::ReleasePort() {
  if (claimedPort) PortInUseTable::Release(portIndex);
  claimedPort = false;
}
