// The link as the engines and the modem engine use it: bytes with millisecond time-outs, paced
// writes, blocks, purges, queue counts and line errors, over any ComLink.
#pragma once
#include <cstdint>
#include <memory>

#include "link/ComLink.h"

// <windows.h> defines Yield as an empty macro (a 16-bit relic); the port's Yield must survive it.
#ifdef Yield
#undef Yield
#endif

class DataFormat;
class LineControl;

class SerialPort {
 public:
  // Leaves the link at 9600 baud, 8N1, no flow control, remembering what it found; makes no
  // companions at all when the link's open failed (its Status() is not 0).
  explicit SerialPort(ComLink* link);
  // Gives back the handshake and then the format that the link had.
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // The byte 0..255, -802 when timeoutMs passed without one, or a negative Idle result.
  // A time-out of 0 makes exactly one read.
  virtual int32_t GetChar(int32_t timeoutMs);
  // Writes one byte, then waits the pacing delay. Status.
  virtual int32_t PutChar(uint8_t byte);

  // The link's Write; a null buffer writes nothing and returns 0.
  int32_t Write(const uint8_t* buffer, int32_t length);
  // count 0 purges the receive side; count n drains at most n bytes (0 or -801).
  int32_t ClearInput(int32_t count);
  int32_t ClearOutput();
  int32_t SetTxQueueSize(int32_t size);
  int32_t RxCount();
  int32_t TxCount();
  // Bits: 0 parity, 1 framing, 2 receive overflow, 3 overrun, 4 break. Returns the link's last
  // status once (how an open failure is learnt), else 0.
  int32_t LineErrors(uint16_t& word);
  // The link's Idle: waits at most maxWaitMs for the device to have something new.
  int32_t Yield(int32_t maxWaitMs) { return link->Idle(maxWaitMs); }
  // Waits until the transmit queue is empty, at most maxMs, looking again as the queue should
  // have gone out at the port's rate, and at least every 10 ms: 0 when it emptied, -802 at the
  // limit, or a negative Idle result.
  int32_t AwaitDrain(int32_t maxMs);
  int32_t HoldRemote() { return link->HoldRemote(); }
  int32_t ReleaseRemote() { return link->ReleaseRemote(); }

  void SetPacingDelay(int32_t ms) { pacingDelayMs = ms; }
  int32_t PacingDelay() const { return pacingDelayMs; }
  ComLink* Link() const { return link; }
  // Null when the link failed to open.
  LineControl* Lines() const { return lineControl.get(); }
  DataFormat* Format() const { return dataFormat.get(); }

 private:
  int32_t pacingDelayMs = 0;
  ComLink* link;  // not owned
  std::unique_ptr<DataFormat> dataFormat;
  std::unique_ptr<LineControl> lineControl;
};
