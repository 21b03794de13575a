// The base of every protocol engine: the port it talks through, the status object it reports
// to, the file object it reads or writes, and the helpers all engines share (abort check,
// byte and block sending with deadlines, end-of-run clean-up with the line cancel, purge).
#pragma once
#include <cstdint>
#include <memory>

#include "transfer/TransferCodes.h"
#include "transfer/TransferFileBase.h"
#include "transfer/TransferStatus.h"

class SerialPort;
class LineControl;

class FileTransfer {
 public:
  // Longest time between two questions to the host (cancel, inactivity) while a run goes on.
  static constexpr int32_t kAbortPollMs = 250;

  // Without a status object the engine makes and owns a plain one.
  FileTransfer(SerialPort* port, TransferStatus* statusObject);
  // Deletes an owned status object and an owned file object.
  virtual ~FileTransfer();
  FileTransfer(const FileTransfer&) = delete;
  FileTransfer& operator=(const FileTransfer&) = delete;

  // Sends the files of a ";"-separated list (wildcards allowed; the text is consumed in place).
  // Returns the final code, 0 on success.
  virtual int32_t Send(char* fileList);
  // Receives into fileName (XModem, ACK/NAK) or as the protocol names the files (ZModem).
  virtual int32_t Receive(char* fileName);
  // Uses the caller's file object (never deleted by the engine). 1 when one was given.
  virtual int32_t SetFile(TransferFileBase* fileObject);
  virtual void SetCarrierWatch(int32_t on) { watchCarrier = on; }

  TransferStatus* Status() const { return status; }

  // Shared helpers.
  // 1 to stop, 0 to go on: reports progress, then the run's code, the host's QueryAbort and,
  // with the carrier watch on, carrier detect (-929).
  int32_t CheckAbort();
  // CheckAbort when a second has passed since the last one, else only the run's code: for
  // loops that may find input every time and so never wait. 1 to stop, 0 to go on.
  int32_t PollAbort();
  // The port's GetChar over timeoutMs, in slices that let CheckAbort run at least once a
  // second: the byte, -802 when the time ran out, another link code, or the run's code once
  // CheckAbort said stop.
  int32_t WaitByte(int32_t timeoutMs);
  // Notify(code), or Notify(-804) for a run that ended well.
  void ReportEnd();
  // 0, or a negative code; -805 with code -924 after 30 s of a full output queue.
  int32_t SendByteWait(uint8_t byte);
  // Non-negative when every byte went out, else a negative code (-925 after 60 s without
  // progress).
  int32_t SendBlockWait(const uint8_t* data, int32_t length);
  // Ends the file: after a run that went well it is closed (and when receiving, stamped; a
  // close that fails then is -904); after a failure it is discarded, unstamped. On failure the
  // remote is told with the protocol's cancel sequence and the line is drained.
  void Finish();
  // Closes a received file that arrived whole, stamped with the sender's time when it gave one:
  // 1, or 0 with code -904 when the close failed.
  int32_t CloseReceived();
  // 1 when the line went quiet for a second, 0 when CheckAbort says stop.
  int32_t Purge();
  // The name after the last path separator ("\\", "/" or ":"), else the whole path.
  static const char* FileNamePart(const char* path);

 protected:
  // Allocates the engine's working buffer (zero-filled); a failure leaves it null (-920 later).
  void AllocateBuffer(size_t size);

  int32_t ownsFile = 1;
  int32_t fileOpen = 0;
  int32_t ownsStatus = 0;
  int32_t watchCarrier = 0;
  SerialPort* link;              // not owned
  LineControl* lineControl;      // the port's, for the carrier check
  TransferStatus* status;
  TransferFileBase* file = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  size_t bufferSize = 0;
  uint32_t lastAbortCheck = 0;  // tick of the last CheckAbort
};

class TransferEngine : public FileTransfer {
 public:
  using FileTransfer::FileTransfer;
  // 1 when buffer and file object are ready; else 0 with code -920 or -927 (after Finish).
  virtual int32_t Prepare();
};
