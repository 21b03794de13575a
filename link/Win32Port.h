// The serial device on Windows: a ComLink over a Win32 communications handle ("\\.\COMn"),
// opened for overlapped requests with read time-outs that return at once; Idle waits on the
// device's requests and the job's wake event.
#pragma once
#include <cstdint>
#include <memory>

#include "link/ComLink.h"

struct Win32CommApi;

class Win32Port : public ComLink {
 public:
  // Opens COM(portIndex + 1) at once (Initialize); the outcome is in Status(): 0, -838 when
  // another port object of this process holds the port, -801 when there is no such device or
  // it is in use elsewhere, -836 when the settings could not be allocated. Queue sizes are
  // kept as 16-bit values. DTR and RTS are raised. `api` replaces the system's functions
  // (tests); null means the real ones.
  Win32Port(int32_t portIndex, int32_t receiveQueueSize, int32_t transmitQueueSize,
            const Win32CommApi* api = nullptr);
  // Purges, drops DTR and RTS and closes the device when this object opened it.
  ~Win32Port() override;
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;

  // Waits at most maxWaitMs, on the device itself, for input (unless input already waits
  // unread: then only for the time), for room after a write that did not fit, or for the wake
  // event; 0 only yields, and so does a wait for input under Wine while the line moved in the
  // last 2 ms. 0, or -828 (also left in the last status) once the device refuses its status (it
  // is gone).
  int32_t Idle(int32_t maxWaitMs) override;
  // The modem status register's low byte (CTS 0x10, DSR 0x20, RI 0x40, CD 0x80); 0 when the
  // device cannot tell. Also gathers pending line errors.
  int32_t ReadModemStatus() override;
  void Initialize(int32_t index) override;
  // 0, or the LastErrorStatus code (-801 for an absent or busy device).
  int32_t OpenDevice() override;
  // 0, or -829 when the handle would not close.
  int32_t CloseDevice() override;
  void GetBufferStatus(BufferStatus& status, int32_t side) override;
  int32_t SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) override;
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  int32_t SetBreak(int32_t state) override;
  int32_t Signal(int32_t number, int32_t value) override;
  int32_t SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) override;
  void GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) override;
  int32_t GetLineStatus(LineStatus& status) override;
  int32_t PutByte(uint8_t byte) override;
  int32_t PutString(const char* text) override;
  // Writes what fits in the transmit queue and waits until the device has sent it (at most the
  // write time-out, 10 ms and 5 ms a byte); fewer bytes than length leaves -805 in the last
  // status. The number written.
  int32_t Write(const uint8_t* buffer, int32_t length) override;
  // 0, or -801.
  int32_t TransmitImmediate(uint8_t byte) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  int32_t ClearBuffer(int32_t direction, int32_t count) override;
  // Six lines: the device settings and the queue state.
  void Dump(DumpCallback callback, void* context) override;
  int32_t HoldRemote() override { return LinkCode::NotSupported; }
  int32_t ReleaseRemote() override { return LinkCode::NotSupported; }
  // A Win32 event handle (manual-reset: it wakes one wait, see ComLink).
  void SetWakeEvent(void* event) override;

  // Re-reads the device settings, sets the event character, writes them back: non-zero on
  // success.
  virtual int32_t SetEventChar(char character);
  // The device event mask (EV_...). Status.
  virtual int32_t GetEventMask(uint32_t& mask);
  virtual int32_t SetEventMask(uint32_t mask);
  // Waits for one of the masked device events; which one in `mask`. Status.
  virtual int32_t WaitEvent(uint32_t& mask);
  // mask 1: DTR state; 2: RTS state; else 1 when any masked modem status bit is set, else 0.
  virtual int32_t ModemSignal(int32_t mask);
  // The status code of the system's last error: the old comm driver's negative codes map to
  // their link codes, every Win32 error to -801.
  virtual int32_t LastErrorStatus();

  // The Win32 accumulated line error bits (CE_RXOVER 0x1, CE_OVERRUN 0x2, CE_RXPARITY 0x4,
  // CE_FRAME 0x8, CE_BREAK 0x10), for tests.
  uint32_t LineErrorBits() const { return lineErrors; }

 private:
  struct Device;  // the DCB, the request records and the handle
  // How this device lets Idle wait for input, learnt at the first wait: a one-byte read that
  // stays pending until a byte comes (Wine), the device's events (Windows, where such a read
  // returns at once as the time-outs say), or neither (short timed waits).
  enum class WaitKind : uint8_t { Unknown, Reads, Events, Timed };

  // ClearCommError, with its error bits gathered; false when the device would not answer.
  bool PollDevice(uint32_t& inQueue, uint32_t& outQueue, uint16_t* flags = nullptr);
  int32_t WriteBack();  // SetCommState: 0 or LastErrorStatus
  // What the device holds now, at most length, without waiting.
  int32_t ReadDevice(uint8_t* buffer, uint32_t length);
  bool IsOpen() const;
  enum class WaitStart : uint8_t { Pending, Ready, None };
  // Idle's wait once it is known to be needed: at most ms, for input and/or room as asked,
  // and for the wake event. Leaves no request pending.
  void AwaitDevice(uint32_t ms, bool forInput, bool forRoom);
  // Starts the wait request of the kind this device has, learning the kind on the way: Pending;
  // Ready when what is waited for is there already (a byte read at once is kept ahead); None
  // when no request could start.
  WaitStart StartWait(bool forInput, bool forRoom);
  void KeepWaitByte();  // the wait read's byte, into the empty read-ahead

  const Win32CommApi& api;
  std::unique_ptr<Device> device;
  bool opened = false;
  int32_t inputHandshake = 0, outputHandshake = 0;
  int32_t rtsState = 1, dtrState = 1;
  int16_t breakState = 0;
  uint32_t lineErrors = 0;
  uint32_t modemStatus = 0;
  uint32_t transmitQueueSize, receiveQueueSize;  // 16-bit values
  WaitKind waitKind = WaitKind::Unknown;
  bool waitIsRead = false;   // the pending wait request is a read (else a comm event wait)
  void* wakeEvent = nullptr;  // dropped once it has ended a wait
  bool outputFull = false;    // the last Write came up short: Idle also waits for room
  bool idleSawInput = false;  // the last Idle found input waiting
  bool readSinceIdle = false;
  uint64_t lastMovedUs = 0;   // when a byte was last read or written
};
