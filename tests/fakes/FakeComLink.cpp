#include "fakes/FakeComLink.h"

#include <algorithm>
#include <cstdio>

#include "fakes/FakeClock.h"
#include "link/TickSource.h"

void FakeComLink::AddInput(const std::vector<uint8_t>& bytes, uint32_t atMs) {
  for (uint8_t b : bytes) input.push_back({atMs, b});
}

void FakeComLink::AddInput(const std::string& text, uint32_t atMs) {
  AddInput(std::vector<uint8_t>(text.begin(), text.end()), atMs);
}

size_t FakeComLink::Pending() const { return input.size(); }

void FakeComLink::FailCall(const std::string& op, int32_t nth, int32_t result, bool forever) {
  faults[op] = Fault{nth, result, forever, 0};
}

int32_t FakeComLink::Failing(const char* op) {
  auto it = faults.find(op);
  if (it == faults.end()) return 0;
  Fault& f = it->second;
  ++f.calls;
  return f.calls == f.nth || (f.forever && f.calls > f.nth) ? f.result : 0;
}

int32_t FakeComLink::Idle(int32_t) {
  ++idleCalls;
  if (const int32_t r = Failing("Idle")) return r;
  FakeClock::Advance(idleStepMs);
  return 0;
}

void FakeComLink::GetBufferStatus(BufferStatus& s, int32_t) {
  s = BufferStatus{};
  s.receivePresent = s.transmitPresent = 1;
  const uint32_t now = TickSource::Now();
  s.receiveCount = static_cast<int32_t>(
      std::count_if(input.begin(), input.end(), [&](const Timed& t) { return TickSource::Passed(t.at, now); }));
  s.receiveSize = 4096;
  s.transmitSize = 2048;
}

int32_t FakeComLink::SetHandshake(int32_t in, int32_t out) {
  events.push_back("handshake " + std::to_string(in) + " " + std::to_string(out));
  if (const int32_t r = Failing("SetHandshake")) return Fail(r);
  inputHandshake = in;
  outputHandshake = out;
  return 0;
}

int32_t FakeComLink::GetHandshake(int32_t& in, int32_t& out) {
  in = inputHandshake;
  out = outputHandshake;
  return 0;
}

int32_t FakeComLink::Signal(int32_t number, int32_t) {
  auto it = signals.find(number);
  return it != signals.end() ? it->second : 0;
}

int32_t FakeComLink::SetDataFormat(uint32_t baud, char par, int32_t data, int32_t stop) {
  char line[64];
  std::snprintf(line, sizeof line, "format %u %c %d %d", baud, par, data, stop);
  events.push_back(line);
  if (const int32_t r = Failing("SetDataFormat")) return Fail(r);
  baudRate = baud;
  parity = par;
  dataBits = data;
  stopBits = stop;
  return 0;
}

void FakeComLink::GetDataFormat(uint32_t& baud, char& par, int32_t& data, int32_t& stop) {
  baud = baudRate;
  par = parity;
  data = dataBits;
  stop = stopBits;
}

int32_t FakeComLink::GetLineStatus(LineStatus& s) {
  s = QuerySignals();
  for (int32_t accumulated : {25, 26, 27, 28, 31}) signals.erase(accumulated);
  return 0;
}

int32_t FakeComLink::PutByte(uint8_t byte) {
  if (const int32_t r = Failing("PutByte")) return Fail(r);
  output.push_back(byte);
  if (onOutput) onOutput(*this);
  return 0;
}

int32_t FakeComLink::Write(const uint8_t* data, int32_t length) {
  if (const int32_t r = Failing("Write")) return Fail(r);
  int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(length), writeChunk));
  output.insert(output.end(), data, data + n);
  if (n < length) Fail(LinkCode::ShortWrite);
  if (onOutput) onOutput(*this);
  return n;
}

int32_t FakeComLink::GetByte() {
  ++getByteCalls;
  if (const int32_t r = Failing("GetByte")) return r;
  if (input.empty() || !TickSource::Passed(input.front().at)) return LinkCode::Timeout;
  uint8_t b = input.front().byte;
  input.pop_front();
  FakeClock::Advance(readMs);
  return b;
}

int32_t FakeComLink::Read(uint8_t* data, int32_t length) {
  int32_t n = 0;
  while (n < length && static_cast<size_t>(n) < readChunk && !input.empty() &&
         TickSource::Passed(input.front().at)) {
    data[n++] = input.front().byte;
    input.pop_front();
  }
  if (n > 0) FakeClock::Advance(readMs);
  return n;
}

int32_t FakeComLink::ClearBuffer(int32_t direction, int32_t count) {
  events.push_back("clear " + std::to_string(direction) + " " + std::to_string(count));
  if (direction != 0) return 0;
  if (count == 0) {
    const uint32_t now = TickSource::Now();
    while (!input.empty() && TickSource::Passed(input.front().at, now)) input.pop_front();
    return 0;
  }
  return DrainInput(count);
}

