// A ComLink in front of another that gathers bytes written back to back (the engines write a
// block's header, data and check in separate calls) and hands them to the device in one write
// as soon as the caller does anything else: reads, waits, asks for counts or settings. On a
// serial line that changes nothing; on a pseudo-terminal it keeps a block from arriving in
// pieces, which a peer that purges its input right after each answer (lrzsz's rx) would
// otherwise cut in half.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/ComLink.h"

class CoalescingLink : public ComLink {
 public:
  static constexpr size_t kRoom = 4096;

  // The inner link stays the caller's; its open status shows here too.
  explicit CoalescingLink(ComLink* inner);
  ~CoalescingLink() override;

  // Writes take what fits in the gathering room (-805 for the rest, as a full queue does).
  int32_t PutByte(uint8_t byte) override;
  int32_t PutString(const char* text) override;
  int32_t Write(const uint8_t* buffer, int32_t length) override;
  // Everything else first hands the gathered bytes on, then asks the inner link.
  int32_t Idle(int32_t maxWaitMs) override;
  int32_t ReadModemStatus() override;
  void Initialize(int32_t portIndex) override;
  int32_t OpenDevice() override;
  int32_t CloseDevice() override;
  // The transmit count includes bytes still gathered.
  void GetBufferStatus(BufferStatus& status, int32_t side) override;
  int32_t SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) override;
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  int32_t SetBreak(int32_t state) override;
  int32_t Signal(int32_t number, int32_t value) override;
  int32_t SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) override;
  void GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) override;
  int32_t GetLineStatus(LineStatus& status) override;
  int32_t TransmitImmediate(uint8_t byte) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  // Purging the transmit side also drops what is gathered.
  int32_t ClearBuffer(int32_t direction, int32_t count) override;
  void Dump(DumpCallback callback, void* context) override;
  int32_t HoldRemote() override;
  int32_t ReleaseRemote() override;
  void SetWakeEvent(void* event) override;

 private:
  // Hands gathered bytes to the inner link as far as it takes them.
  void Flush();

  ComLink* inner;
  std::vector<uint8_t> pending;
};
