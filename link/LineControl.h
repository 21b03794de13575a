// Sets a link's flow control for the length of a run (restoring what it found) and keeps a
// snapshot of the line signals, from which the engines and the dialer read carrier detect.
#pragma once
#include <cstdint>

#include "link/LineStatus.h"

class ComLink;
class SerialPort;

class LineControl {
 public:
  explicit LineControl(SerialPort* port);
  ~LineControl();  // Restore
  LineControl(const LineControl&) = delete;
  LineControl& operator=(const LineControl&) = delete;

  // Stores the pair as current and returns the link's answer.
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode);
  int32_t Restore();
  void Refresh();

  // Fields of the snapshot; non-zero means present.
  int32_t CarrierDetect() const { return snapshot.Field(LineSignal::Cd); }
  int32_t BreakDetected() const { return snapshot.Field(LineSignal::BreakDetected); }
  int32_t ParityError() const { return snapshot.Field(LineSignal::ParityError); }
  int32_t FramingError() const { return snapshot.Field(LineSignal::FramingError); }
  int32_t ReceiveOverflow() const { return snapshot.Field(LineSignal::ReceiveOverflow); }
  int32_t Overrun() const { return snapshot.Field(LineSignal::OverrunError); }
  const LineStatus& Snapshot() const { return snapshot; }

 private:
  int32_t savedInput = 0;
  int32_t savedOutput = 0;
  int32_t currentInput = 0;
  int32_t currentOutput = 0;
  LineStatus snapshot;
  ComLink* link;
};
