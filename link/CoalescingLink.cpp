// Gathering is invisible to the engines: every path that could wait or look at the line
// flushes first, so nothing written is held back across a wait.
#include "link/CoalescingLink.h"

#include <algorithm>
#include <cstring>

CoalescingLink::CoalescingLink(ComLink* link) : ComLink(link->PortIndex()), inner(link) {
  lastStatus = link->Status();
  pending.reserve(kRoom);
}

CoalescingLink::~CoalescingLink() { Flush(); }

void CoalescingLink::Flush() {
  while (!pending.empty()) {
    const int32_t taken = inner->Write(pending.data(), static_cast<int32_t>(pending.size()));
    if (taken <= 0) break;
    pending.erase(pending.begin(), pending.begin() + taken);
  }
}

int32_t CoalescingLink::PutByte(uint8_t byte) {
  if (pending.size() >= kRoom) Flush();
  if (pending.size() >= kRoom) return Fail(LinkCode::ShortWrite);
  pending.push_back(byte);
  return 0;
}

int32_t CoalescingLink::PutString(const char* text) {
  return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
}

int32_t CoalescingLink::Write(const uint8_t* buffer, int32_t length) {
  if (length <= 0) return 0;
  if (pending.size() + static_cast<size_t>(length) > kRoom) Flush();
  const int32_t n = static_cast<int32_t>(std::min(static_cast<size_t>(length), kRoom - pending.size()));
  pending.insert(pending.end(), buffer, buffer + n);
  if (n < length) Fail(LinkCode::ShortWrite);
  return n;
}

int32_t CoalescingLink::Idle(int32_t maxWaitMs) {
  Flush();
  return inner->Idle(maxWaitMs);
}

int32_t CoalescingLink::ReadModemStatus() {
  Flush();
  return inner->ReadModemStatus();
}

void CoalescingLink::Initialize(int32_t index) {
  Flush();
  inner->Initialize(index);
  lastStatus = inner->Status();
}

int32_t CoalescingLink::OpenDevice() { return inner->OpenDevice(); }

int32_t CoalescingLink::CloseDevice() {
  Flush();
  return inner->CloseDevice();
}

void CoalescingLink::GetBufferStatus(BufferStatus& status, int32_t side) {
  Flush();
  inner->GetBufferStatus(status, side);
  status.transmitCount += static_cast<int32_t>(pending.size());
}

int32_t CoalescingLink::SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) {
  Flush();
  return inner->SetBufferSizes(receiveSize, xoffLimit, transmitSize);
}

int32_t CoalescingLink::SetHandshake(int32_t inputCode, int32_t outputCode) {
  Flush();
  const int32_t r = inner->SetHandshake(inputCode, outputCode);
  if (r != 0) lastStatus = inner->Status();
  return r;
}

int32_t CoalescingLink::GetHandshake(int32_t& inputCode, int32_t& outputCode) {
  return inner->GetHandshake(inputCode, outputCode);
}

int32_t CoalescingLink::SetBreak(int32_t state) {
  Flush();
  return inner->SetBreak(state);
}

int32_t CoalescingLink::Signal(int32_t number, int32_t value) {
  Flush();
  return inner->Signal(number, value);
}

int32_t CoalescingLink::SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) {
  Flush();
  return inner->SetDataFormat(baudRate, parity, dataBits, stopBits);
}

void CoalescingLink::GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) {
  inner->GetDataFormat(baudRate, parity, dataBits, stopBits);
}

int32_t CoalescingLink::GetLineStatus(LineStatus& status) {
  Flush();
  return inner->GetLineStatus(status);
}

int32_t CoalescingLink::TransmitImmediate(uint8_t byte) { return inner->TransmitImmediate(byte); }

int32_t CoalescingLink::GetByte() {
  Flush();
  return inner->GetByte();
}

int32_t CoalescingLink::Read(uint8_t* buffer, int32_t length) {
  Flush();
  return inner->Read(buffer, length);
}

int32_t CoalescingLink::ClearBuffer(int32_t direction, int32_t count) {
  if (direction != 0)
    pending.clear();
  else
    Flush();
  return inner->ClearBuffer(direction, count);
}

void CoalescingLink::Dump(DumpCallback callback, void* context) { inner->Dump(callback, context); }

int32_t CoalescingLink::HoldRemote() {
  Flush();
  return inner->HoldRemote();
}

int32_t CoalescingLink::ReleaseRemote() {
  Flush();
  return inner->ReleaseRemote();
}

void CoalescingLink::SetWakeEvent(void* event) { inner->SetWakeEvent(event); }
