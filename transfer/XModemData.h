// What every XModem variant keeps besides the engine base: the block check in use (CRC-16 or
// the 8-bit sum, swapped whenever the mode changes), the last control byte read, the receiver's
// overwrite and error-limit settings, and whether the sender streams without acknowledgements.
#pragma once
#include <cstdint>
#include <memory>

#include "transfer/BlockCheck.h"
#include "transfer/FileTransfer.h"

class XModemData : public TransferEngine {
 public:
  // Starts in CRC mode; no overwrite; an error limit of 0, so the first error ends a run until
  // SetMaxErrors is called.
  XModemData(SerialPort* port, TransferStatus* statusObject);
  ~XModemData() override;

  // n errors end a run (the receiver counts consecutive ones, the sender all of a file);
  // 0 means no limit.
  void SetMaxErrors(int32_t n) { maxErrors = n == 0 ? 0x7FFFFFFF : n; }
  // 1 lets the receiver replace an existing file; 0 refuses it with -939.
  void SetOverwrite(int32_t flag) { overwrite = flag; }

  int32_t CrcMode() const { return crcMode; }
  int32_t LastByte() const { return lastByte; }

 protected:
  // One-way switches; each replaces the check only when the mode really changes.
  void SwitchToCrc();
  void SwitchToChecksum();

  std::unique_ptr<BlockCheck> check;
  int32_t crcMode = 1;
  int32_t lastByte = -1;
  int32_t overwrite = 0;
  int32_t maxErrors = 0;
  // A start request found waiting when Send began (-1 none): answered before anything is read.
  int32_t waitingStart = -1;
  // The variant streams when its receiver asks with 'G' (YModem-G); while it does, data blocks
  // are not acknowledged and only a cancel comes back.
  bool takesStreaming = false;
  bool streaming = false;
  // The sender's pause before a block, in milliseconds (0: none): before the first after a start
  // request, before each on a line that paces bytes, and before all once a block was lost.
  int32_t settleMs = 0;
  bool lostBlock = false;
};
