// YModem (batch): the XModem-1K block layer with a block 0 before each file that carries its
// name, length and time, and an empty block 0 that ends the batch. The receiver writes exactly
// the announced length (no padding), stamps the time, and treats names and existing files as
// the ZModem receiver does. The sender streams (YModem-G) when its receiver asks with 'G'.
#pragma once
#include <cstdint>

#include "transfer/XModem1K.h"

class YModem : public XModem1K {
 public:
  static constexpr int32_t kNameRoom = 260;  // a received name, NUL included
  // Longest file taken: what every host's counts and logs hold.
  static constexpr int64_t kMaxLength = 0xFFFFFFFF;

  // Sets the status's protocol to 2; names as their part after the last separator, existing
  // files refused.
  YModem(SerialPort* port, TransferStatus* statusObject);

  // 0 the name part only, 1 the name as given (a sender's still under the safe-name rule).
  void SetPathMode(int32_t mode) { pathMode = mode; }
  // The existing-file rule (the Overwrite numbering): 1 longer and newer, 2 (no CRC to ask for)
  // and 4 replace, 3 append, 5 newer, 6 date and length differ, anything else refuse (-939).
  void SetManagement(int32_t option) { management = option; }

  // Receives one batch: names from fileList (";"-separated, may be null) in turn, else from the
  // sender. A file a rule refuses is reported (-933 skipped: an unsafe or unusable name, an
  // existing-file rule; -939 an existing file under rule 7; -941 a length over 4 GiB - 1), its
  // data taken into nothing, and the batch goes on. The final code: 0, -902, -904, -908, -914, -920, -922,
  // -923, -924, -927, -929, -940 (a file shorter than announced), or the host's code.
  void ReceiveFile(char* fileList) override;
  // Sends every file of the list in one batch. The final code: 0, -902, -908, -912, -914, -920,
  // -922, -923, -924, -925, -926, -927, -929, or the host's QueryAbort code.
  void SendFile(char* fileList) override;

 private:
  // The receiver's next block: start requests repeat while it waits for one that begins a
  // file or a file's data. kNoBlock after a failure.
  BlockResult Await();
  // Asks (start request) and then waits.
  BlockResult Ask();
  // One file from its block 0 to its EOT; false when the batch is over (code 0) or failed.
  bool ReceiveOne();
  // Reads block 0 and opens the file or decides to skip it: 1 take, 0 skip (its report made),
  // -1 failed.
  int32_t TakeHeader();
  bool ReceiveData();
  bool SendOne();
  // Block 0 for the current file, or the empty one that ends the batch, after a start request.
  bool SendHeader(bool last);

  char name[kNameRoom] = {};
  int64_t announced = -1;  // the length block 0 gave, -1 when it gave none
  int32_t pathMode = 0;
  int32_t management = 7;
};
