// The abstract serial device: polled byte and block I/O, queues, flow control, line signals and
// data format, with a last-status field where a failing operation leaves its negative code.
// Win32Port and PosixPort implement it; the engines reach it through SerialPort.
#pragma once
#include <cstdint>

#include "link/LineStatus.h"
#include "link/LinkCodes.h"

// Receives one line of Dump text (NUL-terminated, no line end).
using DumpCallback = void (*)(void* context, const char* line);

class ComLink {
 public:
  // portIndex is 0-based (0 is COM1); -1 for a device that has no index (a POSIX path).
  explicit ComLink(int32_t portIndex = -1);
  // Releases the port's PortInUseTable counter when this object claimed it.
  virtual ~ComLink();

  // Waits until something may have changed on the device (input arrived; room in the transmit
  // queue, after a write that did not fit), or until maxWaitMs passed, whichever comes first:
  // every wait loop calls it with the time to its own nearest deadline, so a quiet line costs
  // no processor. 0 only yields. A negative result ends the wait and is passed up unchanged.
  virtual int32_t Idle(int32_t maxWaitMs);
  // Modem status register (CTS 0x10, DSR 0x20, RI 0x40, CD 0x80); also collects line errors.
  virtual int32_t ReadModemStatus();
  // Opens and configures the device; the outcome is left in the last status.
  virtual void Initialize(int32_t portIndex);
  virtual int32_t OpenDevice();
  virtual int32_t CloseDevice();
  // side: BufferSide::Receive, Transmit or Both.
  virtual void GetBufferStatus(BufferStatus& status, int32_t side);
  // A 0 argument keeps that setting. Status.
  virtual int32_t SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize);
  // Input codes: 0 none, 1 XON/XOFF, 3 DTR, 4 RTS. Output: 0 none, 1 XON/XOFF, 12 CTS, 13 DSR.
  // -801 (with -830 left in the last status) for a bad input code, -832 for a bad output code,
  // -803 for a code this device cannot do.
  virtual int32_t SetHandshake(int32_t inputCode, int32_t outputCode);
  virtual int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode);
  // 1 starts a break, another non-negative value ends it, negative only asks. The state or -827.
  virtual int32_t SetBreak(int32_t state);
  // value 0/1 sets, -1 queries a LineSignal; the state 0/1, 2 for an unknown number, or a status.
  virtual int32_t Signal(int32_t number, int32_t value);
  // parity: 'N', 'O', 'E', 'M', 'S' (case matters). -839..-842 for what the device refuses.
  virtual int32_t SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits);
  virtual void GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits);
  // Snapshot of every signal in LineStatus order, then clears the accumulated line errors.
  virtual int32_t GetLineStatus(LineStatus& status);
  virtual int32_t PutByte(uint8_t byte);
  // Writes a NUL-terminated text without its terminator; the number of bytes written.
  virtual int32_t PutString(const char* text);
  // The number of bytes written; fewer than length leaves -805 in the last status.
  virtual int32_t Write(const uint8_t* buffer, int32_t length);
  virtual int32_t TransmitImmediate(uint8_t byte);
  // The next received byte 0..255, or -802 when none is waiting. Never waits.
  virtual int32_t GetByte();
  // Bytes already received, at most length; 0 when none. Never waits.
  virtual int32_t Read(uint8_t* buffer, int32_t length);
  // direction 1: purge the transmit side. direction 0, count 0: purge the receive side.
  // direction 0, count n: drop received bytes until none waits, at most n: 0 when the input
  // was found empty, -801 when n bytes went without finding it empty.
  virtual int32_t ClearBuffer(int32_t direction, int32_t count);
  // The port's settings as six text lines.
  virtual void Dump(DumpCallback callback, void* context);
  // Hold and release the remote's output (-803 unless the device can).
  virtual int32_t HoldRemote();
  virtual int32_t ReleaseRemote();
  // An event of the platform (a Win32 HANDLE) that also ends a wait of Idle when it is set: the
  // job's cancel, so that the wait loop comes round to its abort check. It wakes one wait only,
  // as a signal interrupts one poll: the job's event stays set, and every later wait would
  // otherwise end at once. Null for none; the caller keeps it open while the link lives. A link
  // that cannot wait on it ignores it and its waits end by their time.
  virtual void SetWakeEvent(void* event);

  // The last status, reset to 0.
  int32_t TakeStatus();
  int32_t Status() const { return lastStatus; }
  int32_t PortIndex() const { return portIndex; }

 protected:
  // Stores a failure and returns it, for `return Fail(code);`.
  int32_t Fail(int32_t code) {
    lastStatus = code;
    return code;
  }
  // A refused SetHandshake code, as SetHandshake returns it: a bad input code is -801 with -830
  // left in the last status, any other refusal is itself.
  int32_t RefuseHandshake(int32_t code) {
    lastStatus = code;
    return code == LinkCode::BadInputHandshake ? LinkCode::Failure : code;
  }
  // The drain of ClearBuffer(0, n), written once over GetByte.
  int32_t DrainInput(int32_t count);
  // Queries every signal of the LineStatus layout through Signal(number, -1).
  LineStatus QuerySignals();
  // Claims the port index in the PortInUseTable for this object (released by the destructor).
  bool ClaimPort();
  void ReleasePort();

  int32_t portIndex;
  int32_t lastStatus = 0;

 private:
  bool claimedPort = false;
};
