// The helpers every engine shares. Deadlines come from the tick source; every wait calls
// CheckAbort at least once a second so Cancel and the host's inactivity limit are honoured.
#include "transfer/FileTransfer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "link/LineControl.h"
#include "link/Pause.h"
#include "link/PureVirtualTrap.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"

namespace {
constexpr uint32_t kByteDeadlineMs = 30000;
constexpr uint32_t kBlockDeadlineMs = 60000;
// After a cancel: the time our cancel may take to leave, the silence that shows the peer has
// stopped, and a bound on draining a peer that keeps talking, so Finish always ends soon.
constexpr int32_t kCancelLeaveMs = 500;
constexpr int32_t kQuietMs = 200;
constexpr uint32_t kDrainLimitMs = 1000;
}  // namespace

FileTransfer::FileTransfer(SerialPort* port, TransferStatus* statusObject)
    : link(port), lineControl(port ? port->Lines() : nullptr), status(statusObject) {
  if (!status) {
    status = new TransferStatus;
    ownsStatus = 1;
  }
}

FileTransfer::~FileTransfer() {
  if (ownsFile) delete file;
  if (ownsStatus) delete status;
}

int32_t FileTransfer::Send(char*) { PureVirtualTrap("TRANSFER", __LINE__); }
int32_t FileTransfer::Receive(char*) { PureVirtualTrap("TRANSFER", __LINE__); }

int32_t FileTransfer::SetFile(TransferFileBase* fileObject) {
  if (ownsFile && file != fileObject) delete file;
  file = fileObject;
  if (!fileObject) return 0;
  ownsFile = 0;
  return 1;
}

void FileTransfer::AllocateBuffer(size_t size) {
  buffer.reset(new (std::nothrow) uint8_t[size]());
  bufferSize = buffer ? size : 0;
}

int32_t FileTransfer::CheckAbort() {
  lastAbortCheck = TickSource::Now();
  status->Notify(status->code);
  if (status->code < 0) return 1;
  int32_t r = status->QueryAbort();
  if (r != 0) {
    status->code = r;
    Finish();
    return 1;
  }
  if (watchCarrier && lineControl) {
    lineControl->Refresh();
    if (lineControl->CarrierDetect() == 0) {
      status->code = TransferCode::CarrierLost;
      Finish();
      return 1;
    }
  }
  return 0;
}

int32_t FileTransfer::PollAbort() {
  if (status->code < 0) return 1;
  return TickSource::Passed(lastAbortCheck + kAbortPollMs) ? CheckAbort() : 0;
}

int32_t FileTransfer::WaitByte(int32_t timeoutMs) {
  const uint32_t deadline = TickSource::Now() + static_cast<uint32_t>(timeoutMs);
  for (;;) {
    if (PollAbort()) return status->code;
    const uint32_t now = TickSource::Now();
    const int32_t left = std::max<int32_t>(0, static_cast<int32_t>(deadline - now));
    const int32_t untilCheck = static_cast<int32_t>(lastAbortCheck + kAbortPollMs - now);
    const int32_t c = link->GetChar(std::min(left, untilCheck));
    if (c != LinkCode::Timeout || left <= untilCheck) return c;
  }
}

void FileTransfer::ReportEnd() {
  status->Notify(status->code == 0 ? TransferCode::RunEnded : status->code);
}

int32_t FileTransfer::SendByteWait(uint8_t byte) {
  const uint32_t deadline = TickSource::Now() + kByteDeadlineMs;
  for (;;) {
    int32_t r = link->PutChar(byte);
    if (r == 0) return 0;
    if (r == LinkCode::ShortWrite && TickSource::Passed(deadline)) {
      status->code = TransferCode::OutputBlocked;
      return LinkCode::ShortWrite;
    }
    if (CheckAbort()) return status->code;
    int32_t y = link->Yield(kAbortPollMs);  // until the queue has room
    if (y < 0) return status->code = y;
  }
}

int32_t FileTransfer::SendBlockWait(const uint8_t* data, int32_t length) {
  const uint32_t deadline = TickSource::Now() + kBlockDeadlineMs;
  if (CheckAbort()) return status->code;
  int32_t taken = link->Write(data, length);
  if (taken >= length) return length;
  int32_t done = taken < 0 ? 0 : taken;
  for (;;) {
    // The queue was full a moment ago: give it time to drain before offering more.
    if (CheckAbort()) return status->code;
    const int32_t y = link->Yield(kAbortPollMs);  // until the queue has room
    if (y < 0) return status->code = y;
    int32_t moved = 0;
    if (link->PacingDelay() == 0) {
      // The remainder goes to the queue in one piece. Byte by byte would cost a device call per
      // byte just when the line is busiest, and a queue that drains while it is being filled
      // (a pty, a UART sending) would take a byte per call without ever making us wait.
      const int32_t n = link->Write(data + done, length - done);
      if (n > 0) {
        done += n;
        moved = n;
      }
    } else {
      // Paced output: PutChar waits the delay after each byte.
      while (done < length) {
        const int32_t r = link->PutChar(data[done]);
        if (r < 0) break;
        ++done;
        ++moved;
        if (r > 0) break;
      }
    }
    if (moved == 0 && TickSource::Passed(deadline))
      return status->code = TransferCode::BlockSendFailed;
    if (done >= length) return 0;
  }
}

int32_t FileTransfer::CloseReceived() {
  fileOpen = 0;
  if (status->fileTime != -1) {
    file->SetFromSeconds(static_cast<uint32_t>(status->fileTime));
    file->ApplyTime();
  }
  if (file->Close() == 0) return 1;
  status->code = TransferCode::WriteFailed;
  return 0;
}

void FileTransfer::Finish() {
  if (file && fileOpen) {
    fileOpen = 0;
    if (status->code != 0) {
      // It did not arrive whole: no sender's date (a later attempt would take it for complete,
      // and crash recovery can resume it), and a file it was to replace stays as it was.
      file->Discard();
    } else if (status->direction == 0) {
      CloseReceived();
    } else {
      file->Close();
    }
  }
  if (status->code == 0) return;
  const int32_t protocol = status->protocol;
  if (protocol <= 4 || (protocol == 7 && buffer && status->code != TransferCode::RemoteCancelled)) {
    uint8_t cancel[20];
    std::memset(cancel, Ascii::CAN, 10);
    std::memset(cancel + 10, Ascii::BS, 10);
    link->Write(cancel, sizeof cancel);
  } else if (protocol == 9) {
    const uint8_t cancel[3] = {Ascii::CR, Ascii::BEL, Ascii::BEL};
    link->Write(cancel, sizeof cancel);
  }
  // What the peer still sends until it hears the cancel is dropped here, so that it does not
  // meet the next pass (host mode) as garbage; a peer that stopped costs one quiet spell.
  link->AwaitDrain(kCancelLeaveMs);
  const uint32_t drainDeadline = TickSource::Now() + kDrainLimitMs;
  while (!TickSource::Passed(drainDeadline) && link->GetChar(kQuietMs) >= 0) {
  }
}

int32_t FileTransfer::Purge() {
  if (CheckAbort()) return 0;
  for (;;) {
    while (link->GetChar(0) != LinkCode::Timeout) {
      if (PollAbort()) return 0;
    }
    const int32_t c = WaitByte(1000);
    if (c == LinkCode::Timeout) return 1;
    if (c < 0 && status->code == 0) status->code = c;  // the link failed: nothing left to purge
    if (status->code < 0 || CheckAbort()) return 0;
  }
}

const char* FileTransfer::FileNamePart(const char* path) {
  const char* slash = nullptr;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') slash = p;
  if (slash) return slash + 1;
  const char* colon = std::strrchr(path, ':');
  return colon ? colon + 1 : path;
}

int32_t TransferEngine::Prepare() {
  if (!buffer) {
    status->code = TransferCode::NoBuffer;
    Finish();
    return 0;
  }
  if (file) return 1;
  if (ownsFile) file = CreateTransferFile();
  if (!file) {
    status->code = TransferCode::NoFileObject;
    Finish();
    return 0;
  }
  return 1;
}
