// The ACK/NAK text protocol: one text file line by line, each line (LF dropped, ending with CR,
// the last one with SUB CR) followed by its 8-bit sum and answered with ACK or NAK; the receiver
// writes CR LF line ends and sends BEL after the last line.
#pragma once
#include <cstdint>
#include <memory>

#include "transfer/BlockCheck.h"
#include "transfer/FileTransfer.h"

class AckNak : public TransferEngine {
 public:
  static constexpr int32_t kLineRoom = 129;     // 128 bytes of line and the LF the receiver adds
  static constexpr int32_t kMaxLine = 128;
  static constexpr int32_t kReadPiece = 4096;
  // What the receiver does with an existing file.
  static constexpr int32_t kAppend = 3, kReplace = 4, kRefuse = 7;

  // Without a status object the engine makes and owns a plain one. Refuses existing files and
  // has no error limit until told otherwise.
  AckNak(SerialPort* port, TransferStatus* statusObject);
  ~AckNak() override;

  // 3 append, 4 replace, 7 refuse (-939); other values behave as replace.
  void SetExistingFile(int32_t option) { existingFile = option; }
  // n errors end a run (the receiver counts consecutive ones, the sender all of the file);
  // 0 means no limit.
  void SetMaxErrors(int32_t n) { maxErrors = n == 0 ? 0x7FFFFFFF : n; }

  // Sends the first file fileList yields. The final code: 0, -902, -908, -914 (BEL from the
  // receiver), -920, -924, -925, -926, -927, -929, -936 (a line over 128 bytes), or the host's
  // QueryAbort code (-901, -909).
  int32_t Send(char* fileList) override;
  // Receives into fileName. The final code: 0, -902, -904, -908, -920, -922, -923, -924, -927,
  // -929, -936, -939, -956, or the host's QueryAbort code.
  int32_t Receive(char* fileName) override;

 private:
  bool OpenFile(bool sending, const char* name);
  bool Answer(uint8_t response);
  void RunReceiver();
  bool ReceiveLine();
  bool LineAttempt();
  // A failed read or check: quiet line, NAK, one more error and retry.
  void Reject(bool purge);
  void RunSender();
  bool BuildLine();
  // 1 ACK, 0 no answer (NAK, garbage, stop), -1 BEL.
  int32_t AwaitAnswer();

  std::unique_ptr<uint8_t[]> readBuffer;
  int32_t readPos = kReadPiece;
  int16_t endOfFile = 0;
  int32_t lastResponse = 0x15;
  int32_t existingFile = kRefuse;
  int32_t maxErrors = 0x7FFFFFFF;
  std::unique_ptr<BlockCheck> check;
};
