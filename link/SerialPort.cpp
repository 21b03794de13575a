// SerialPort over a ComLink: deadline loops on the tick source, companions made in order and
// destroyed in reverse so the link is given back as it was found.
#include "link/SerialPort.h"

#include <algorithm>

#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/Pause.h"
#include "link/TickSource.h"

namespace {
constexpr int64_t kDrainLookMs = 10;
}  // namespace

SerialPort::SerialPort(ComLink* l) : link(l) {
  if (link->Status() != 0) return;  // open failed: touch the link no further
  dataFormat = std::make_unique<DataFormat>(this);
  dataFormat->Set(9600, 'N', 8, 1);
  lineControl = std::make_unique<LineControl>(this);
  link->SetHandshake(0, 0);
}

SerialPort::~SerialPort() {
  lineControl.reset();
  dataFormat.reset();
}

int32_t SerialPort::GetChar(int32_t timeoutMs) {
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(timeoutMs);
  int32_t c = link->GetByte();
  if (c >= 0) return c;
  for (;;) {
    const int32_t left = static_cast<int32_t>(deadline - TickSource::Now());
    if (left <= 0) return LinkCode::Timeout;
    int32_t r = link->Idle(left);
    if (r < 0) return r;
    c = link->GetByte();
    if (c >= 0) return c;
  }
}

int32_t SerialPort::PutChar(uint8_t byte) {
  int32_t r = link->PutByte(byte);
  if (r < 0 || pacingDelayMs == 0) return r;
  return Pause(*this, pacingDelayMs);
}

int32_t SerialPort::AwaitDrain(int32_t maxMs) {
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(maxMs);
  const uint32_t rate = dataFormat && dataFormat->BaudRate() ? dataFormat->BaudRate() : 9600;
  for (;;) {
    const int32_t queued = TxCount();
    if (queued <= 0) return 0;
    const int32_t left = static_cast<int32_t>(deadline - TickSource::Now());
    if (left <= 0) return LinkCode::Timeout;
    // Ten bits a byte: the time the queue takes to leave at the line's rate, at least 1 ms; but
    // the rate is only nominal on a pseudo-terminal or a USB adapter, where the queue may leave
    // far sooner, so the queue is looked at again every few milliseconds.
    const int64_t leaving = 1 + static_cast<int64_t>(queued) * 10000 / rate;
    const int32_t r = link->Idle(static_cast<int32_t>(std::min<int64_t>({left, leaving, kDrainLookMs})));
    if (r < 0) return r;
  }
}

int32_t SerialPort::Write(const uint8_t* buffer, int32_t length) {
  if (buffer == nullptr) return 0;
  return link->Write(buffer, length);
}

int32_t SerialPort::ClearInput(int32_t count) { return link->ClearBuffer(0, count); }

int32_t SerialPort::ClearOutput() { return link->ClearBuffer(1, 0); }

int32_t SerialPort::SetTxQueueSize(int32_t size) { return link->SetBufferSizes(0, 0, size); }

int32_t SerialPort::RxCount() {
  BufferStatus s;
  link->GetBufferStatus(s, BufferSide::Receive);
  return s.receiveCount;
}

int32_t SerialPort::TxCount() {
  BufferStatus s;
  link->GetBufferStatus(s, BufferSide::Transmit);
  return s.transmitCount;
}

int32_t SerialPort::LineErrors(uint16_t& word) {
  word = 0;
  int32_t s = link->TakeStatus();
  if (s != 0) return s;
  if (lineControl) {
    lineControl->Refresh();
    if (lineControl->ParityError()) word |= 1u << 0;
    if (lineControl->FramingError()) word |= 1u << 1;
    if (lineControl->ReceiveOverflow()) word |= 1u << 2;
    if (lineControl->Overrun()) word |= 1u << 3;
    if (lineControl->BreakDetected()) word |= 1u << 4;
  }
  return 0;
}
