// The status, progress and abort object through which every engine reports. The application
// subclasses it (progress display, log entries, cancel and inactivity time-out).
#pragma once
#include <cstdint>

class TransferStatus {
 public:
  static constexpr const char* kCheckNames[5] = {"Not Determined", "1 Byte Checksum",
                                                 "2 Byte Checksum", "16 bit CRC", "32 bit CRC"};
  TransferStatus() = default;
  virtual ~TransferStatus() = default;

  // Resets the counters for one Send (1) or Receive (0); protocol and checkType survive.
  virtual void Begin(int32_t sendDirection);
  // Progress (0) or an event (negative code, -804 for a run that ended well).
  virtual void Notify(int32_t code);
  virtual void Reserved1(int32_t) {}
  // 0 to go on; a negative status code stops the run with that code.
  virtual int32_t QueryAbort();
  virtual void Reserved2(int32_t) {}

  int32_t direction = 0;    // 1 sending, 0 receiving
  int32_t protocol = 0;     // 0 XModem (<=4 the XModem family), 7 ZModem, 9 ACK/NAK
  int32_t checkType = 0;    // index into checkNames
  const char* const* checkNames = kCheckNames;
  const char* fileName = "";
  int32_t filesDone = 0;    // files opened for sending or receiving
  // Sizes and positions in bytes, wide enough for any file (ZModem's wire stops at 4 GiB - 1).
  int64_t fileSize = 0;     // 0 when unknown
  int64_t fileTime = -1;    // seconds since 1970 (UTC), -1 unknown; stamps a received file
  int32_t sequenceByte = 0;
  int32_t blockNumber = 0;
  int32_t blockLength = 0;
  int32_t checkValue = 0;
  int64_t bytesDone = 0;
  int32_t code = 0;         // 0 while all is well, the run's failure once negative
  int32_t errors = 0;       // errors of the current file
  int32_t retries = 0;      // consecutive errors since the last good block
};
