// The whole XModem protocol, one file each way: 128-byte-style blocks with a block number and
// its complement, CRC-16 or checksum, ACK/NAK per block, EOT at the end. A variant with another
// block size or start byte overrides AcceptStart, SendStart and BlockSize.
#pragma once
#include <cstdint>

#include "transfer/XModemData.h"

class XModemBase : public XModemData {
 public:
  using XModemData::XModemData;

  // Sends the first file that fileList (";"-separated, wildcards allowed) yields. The final
  // code: 0, -902, -903 (empty file, refused before waiting), -908, -912, -914, -920, -922,
  // -923, -924, -925, -926, -927, -929, or the host's QueryAbort code (-901, -909).
  int32_t Send(char* fileList) override;
  // Receives one file into fileName; the file keeps every byte of every block, padding
  // included. The final code: 0, -902, -904, -908, -914, -920, -922, -923, -924, -927, -929,
  // -939, or the host's QueryAbort code.
  int32_t Receive(char* fileName) override;
  // The base's buffer and file checks, then forgets the last control byte. 1 ready, 0 failed.
  int32_t Prepare() override;

  // The receiver, after the file object was set up.
  virtual void ReceiveFile(char* fileName);
  // Switches CRC <-> checksum.
  virtual void ToggleCheck();
  // Called after every good block the receiver accepts; nothing here.
  virtual void BlockAccepted();
  // Whether lastByte starts a block of the variant (setting blockLength); 1 yes, 0 no.
  virtual int32_t AcceptStart() = 0;
  // The sender, from the walk of fileList to the end of the run.
  virtual void SendFile(char* fileList);
  // Sends the block start byte: 1, or 0 with code -925.
  virtual int32_t SendStart() = 0;
  // Data bytes per block when sending.
  virtual int32_t BlockSize() = 0;

 protected:
  enum BlockResult { kNoBlock, kDataBlock, kEndOfFile };

  // Opens the current file (sending) or name (receiving); false after Finish on failure.
  bool OpenFile(bool sending, const char* name);
  // 'C' or NAK while no block has arrived, NAK later; false with -922.
  bool SendStartRequest();
  bool Acknowledge();  // false with -923
  BlockResult ReceiveBlock();
  // The port's GetChar; a failure other than the time-out becomes the run's code.
  int32_t ReadByte(int32_t timeoutMs);
  // Reads and drops bytes until a second passes without one; false when CheckAbort said stop.
  bool DropUntilQuiet();
  // Sender: fills buffer with the next block (padded with 0x00); at the end of the file
  // blockLength becomes 0, and for the first block that is -903.
  bool ReadNextBlock(bool first);
  // Drops the input waiting at the start of Send but keeps the last start request among it.
  void DiscardKeepingStart();
  // 'C', NAK, and 'G' where the variant streams.
  bool IsStartRequest(int32_t c) const;
  // Waits for a start request and takes its mode (CRC, checksum, streaming); false on CAN or stop.
  bool WaitForStart();
  bool SendBlockOrEot();
  // Sends the block in the buffer and, unless oneBlock, the rest of the file and its EOT, each
  // after the answer to the one before (while streaming, data blocks without waiting). True
  // when the last was acknowledged; false with the code set.
  bool SendBlocks(bool oneBlock);
  // Starts the file list in CRC mode and takes its first file that exists; false when none
  // does, with the run's code -926.
  bool BeginSend(char* fileList);
  // 1 ACK, 0 no response (NAK, garbage, silence), -1 stop (CAN). dropRest: what else waits
  // behind an ACK is dropped too.
  int32_t AwaitResponse(bool dropRest);
  // While streaming: 1 to go on, -1 when the receiver cancelled.
  int32_t StreamingResponse();
  // One CAN after a failure, then the final report.
  void EndRun();
  // A failed send stores its code unless an earlier failure (other than the output merely
  // being blocked) already did.
  void SendFailed(int32_t failure);
};
