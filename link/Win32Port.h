// The serial device on Windows: a ComLink over a Win32 communications handle ("\\.\COMn"),
// opened for overlapped requests with read time-outs that return at once, polled by the link.
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

  // Gives the time slice away: Sleep(0) while the line moved within the last 2 ms, so a reply
  // is seen at once; Sleep(1) after that, so a silent line costs next to no processor. 0, or
  // -828 (also left in the last status) once the device refuses its status (it is gone).
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
  // Writes what fits in the transmit queue and waits until the device has sent it; fewer bytes
  // than length leaves -805 in the last status. The number written.
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
  struct Device;  // the DCB, the two request records and the handle

  // ClearCommError, with its error bits gathered; false when the device would not answer.
  bool PollDevice(uint32_t& inQueue, uint32_t& outQueue, uint16_t* flags = nullptr);
  int32_t WriteBack();  // SetCommState: 0 or LastErrorStatus
  // What the device holds now, at most length, without waiting.
  int32_t ReadDevice(uint8_t* buffer, uint32_t length);
  bool IsOpen() const;
  void NoteActivity();

  const Win32CommApi& api;
  std::unique_ptr<Device> device;
  bool opened = false;
  int32_t inputHandshake = 0, outputHandshake = 0;
  int32_t rtsState = 1, dtrState = 1;
  int16_t breakState = 0;
  uint32_t lineErrors = 0;
  uint32_t modemStatus = 0;
  uint32_t transmitQueueSize, receiveQueueSize;  // 16-bit values
  uint64_t lastActivityUs = 0;
};
