// The XModem receiver and sender. Every wait reads with one-second time-outs and calls
// CheckAbort between them, so the host's Cancel and inactivity limit are honoured throughout.
#include "transfer/XModemBase.h"

#include <cstring>

#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"

namespace {
constexpr uint8_t kCrcRequest = 'C';
constexpr uint8_t kStreamRequest = 'G';
constexpr int32_t kSohBlockLength = 128;
constexpr int32_t kSecondMs = 1000;
constexpr int32_t kDataByteMs = 4000;
// Header reads before the receiver repeats its start request, and later before it simply waits
// on (the sender repeats a block after ten silent seconds).
constexpr int32_t kFirstHeaderReads = 2;
constexpr int32_t kHeaderReads = 10;
constexpr int32_t kResponseReads = 10;
// Start requests in one mode before the receiver tries the other.
constexpr int32_t kRequestsPerMode = 5;
// Bytes Send reads one by one looking for a start request before it purges the rest.
constexpr int32_t kDiscardLimit = 4096;
// An answer at least this long after its block went out comes over a line that paces bytes (a
// 1 KiB block takes 11 ms even at 921600 baud); a pseudo-terminal or network link answers in
// well under a millisecond.
constexpr int32_t kPacedMs = 5;
}  // namespace

int32_t XModemBase::Send(char* fileList) {
  status->Begin(1);
  if (!Prepare()) return status->code;
  DiscardKeepingStart();
  SendFile(fileList);
  return status->code;
}

void XModemBase::DiscardKeepingStart() {
  // A receiver started before us has already asked, and asks again only some seconds later:
  // its request is kept for WaitForStart. Anything else waiting is stale.
  for (int32_t n = 0; n < kDiscardLimit; ++n) {
    const int32_t c = link->GetChar(0);
    if (c < 0) return;
    if (IsStartRequest(c)) waitingStart = lastByte = c;
  }
  link->ClearInput(0);  // a line that keeps talking: the rest goes in one purge
}

bool XModemBase::IsStartRequest(int32_t c) const {
  return c == kCrcRequest || c == Ascii::NAK || (c == kStreamRequest && takesStreaming);
}

int32_t XModemBase::Receive(char* fileName) {
  status->Begin(0);
  if (!Prepare()) return status->code;
  file->BeginList(fileName, 0);
  link->ClearInput(0);
  ReceiveFile(fileName);
  return status->code;
}

int32_t XModemBase::Prepare() {
  const int32_t ready = TransferEngine::Prepare();
  lastByte = waitingStart = -1;
  streaming = false;
  return ready;
}

void XModemBase::ToggleCheck() {
  if (crcMode)
    SwitchToChecksum();
  else
    SwitchToCrc();
}

void XModemBase::BlockAccepted() {}

void XModemBase::SendFailed(int32_t failure) {
  if (status->code == 0 || status->code == TransferCode::OutputBlocked) status->code = failure;
}

void XModemBase::EndRun() {
  if (status->code != 0) link->PutChar(Ascii::CAN);
  ReportEnd();
}

bool XModemBase::OpenFile(bool sending, const char* name) {
  fileOpen = 0;
  status->bytesDone = 0;
  if (sending) {
    status->fileName = file->CurrentName();
    if (file->Open(status->fileName, "rb") != 0) status->code = TransferCode::OpenFailed;
  } else if (!overwrite && file->Exists(name)) {
    status->code = TransferCode::FileExists;
  } else if (file->Open(name, "wb") != 0) {
    status->code = TransferCode::OpenFailed;
  }
  if (status->code != 0) {
    Finish();
    return false;
  }
  fileOpen = 1;
  ++status->filesDone;
  if (sending) status->fileSize = file->Size();
  return !CheckAbort();
}

bool XModemBase::SendStartRequest() {
  const uint8_t request = (status->blockNumber < 2 && crcMode) ? kCrcRequest : Ascii::NAK;
  if (SendByteWait(request) == 0) return true;
  SendFailed(TransferCode::NakFailed);
  return false;
}

bool XModemBase::Acknowledge() {
  if (SendByteWait(Ascii::ACK) == 0) return true;
  SendFailed(TransferCode::AckFailed);
  return false;
}

int32_t XModemBase::ReadByte(int32_t timeoutMs) {
  const int32_t c = WaitByte(timeoutMs);
  // A link that fails (the device is gone) ends the run with its own code rather than being
  // polled as silence until the host's time-out.
  if (c < 0 && c != LinkCode::Timeout && status->code == 0) status->code = c;
  return c;
}

bool XModemBase::DropUntilQuiet() {
  while (ReadByte(kSecondMs) >= 0)
    if (CheckAbort()) return false;
  return true;
}

// ---- Receiver ----

void XModemBase::ReceiveFile(char* fileName) {
  status->fileName = fileName;
  SwitchToCrc();
  status->errors = 0;
  status->blockNumber = 1;
  if (!OpenFile(false, fileName)) return EndRun();
  if (SendStartRequest()) {
    int32_t requests = 1;
    for (;;) {
      BlockResult got;
      while ((got = ReceiveBlock()) == kDataBlock) {
        const int32_t length = status->blockLength;
        if (file->WriteBlock(buffer.get(), length) < length) {
          status->code = TransferCode::WriteFailed;
          break;
        }
        status->bytesDone += length;
        if (!Acknowledge()) break;
        status->retries = 0;
      }
      if (got == kEndOfFile) Acknowledge();
      // Once a block has arrived the run is over here: EOT, or a failure.
      if (status->blockNumber != 1 || status->code != 0) break;
      // Still waiting for the first block: a sender that ignores 'C' is met with NAK.
      if (++requests == kRequestsPerMode) {
        ToggleCheck();
        requests = 0;
      }
      if (!SendStartRequest()) break;
    }
  }
  Finish();
  EndRun();
}

XModemBase::BlockResult XModemBase::ReceiveBlock() {
  if (CheckAbort()) return kNoBlock;
  for (;;) {
    // Header byte.
    int32_t c = LinkCode::Timeout;
    for (;;) {
      const int32_t reads = status->blockNumber < 2 ? kFirstHeaderReads : kHeaderReads;
      for (int32_t i = 0; i < reads; ++i) {
        c = ReadByte(kSecondMs);
        if (c >= 0) break;
        if (CheckAbort()) return kNoBlock;
      }
      if (c >= 0) break;
      if (status->blockNumber < 2) return kNoBlock;  // repeat the start request
    }
    lastByte = c;
    bool accepted = true;
    if (c == Ascii::SOH) {
      status->blockLength = kSohBlockLength;
    } else if (c == Ascii::EOT) {
      return kEndOfFile;
    } else if (c == Ascii::CAN) {
      status->code = TransferCode::RemoteCancelled;
      return kNoBlock;
    } else if (!AcceptStart()) {
      accepted = false;
      if (!DropUntilQuiet()) return kNoBlock;
      ++status->errors;
      ++status->retries;
    }

    if (accepted) {
      // Block number, data and check; a byte missing or a bad number is a garbled block:
      // let the line go quiet so the request meets a sender ready to repeat it.
      bool garbled = static_cast<size_t>(status->blockLength) > bufferSize;
      if (!garbled) {
        const int32_t number = ReadByte(kSecondMs);
        const int32_t complement = number >= 0 ? ReadByte(kSecondMs) : LinkCode::Timeout;
        garbled = complement < 0 || number != (255 - complement);
        if (number >= 0) status->sequenceByte = number;
      }
      for (int32_t i = 0; !garbled && i < status->blockLength; ++i) {
        const int32_t b = ReadByte(kDataByteMs);
        if (b < 0)
          garbled = true;
        else
          buffer[i] = static_cast<uint8_t>(b);
      }
      if (!garbled) {
        const int32_t high = ReadByte(kSecondMs);
        garbled = high < 0;
        status->checkValue = high;
        if (!garbled && crcMode) {
          const int32_t low = ReadByte(kSecondMs);
          garbled = low < 0;
          status->checkValue = high * 256 + low;
        }
      }

      bool good = false;
      if (garbled) {
        Purge();
        if (status->code == 0) SendStartRequest();
      } else if (status->sequenceByte != (status->blockNumber & 0xFF)) {
        // The sender repeated a block whose ACK was lost: acknowledge it again, keep it once.
        if (status->sequenceByte == ((status->blockNumber - 1) & 0xFF))
          Acknowledge();
        else
          SendStartRequest();
      } else if (static_cast<int32_t>(check->Compute(buffer.get(), static_cast<size_t>(status->blockLength),
                                                     0)) != status->checkValue) {
        SendStartRequest();
      } else {
        good = true;
      }
      if (good) {
        ++status->blockNumber;
        BlockAccepted();
        return kDataBlock;
      }
      ++status->errors;
      ++status->retries;
      if (status->retries >= maxErrors && status->code == 0) status->code = TransferCode::ErrorLimit;
    }
    if (status->code != 0 || CheckAbort()) return kNoBlock;
  }
}

// ---- Sender ----

bool XModemBase::BeginSend(char* fileList) {
  file->BeginList(fileList, 0);
  SwitchToCrc();
  if (file->NextFile(1)) return true;
  Finish();
  status->code = TransferCode::NoFile;
  return false;
}

void XModemBase::SendFile(char* fileList) {
  if (!BeginSend(fileList)) return EndRun();
  status->blockNumber = 1;
  if (!OpenFile(true, nullptr)) return EndRun();
  if (ReadNextBlock(true) && WaitForStart()) SendBlocks(false);
  Finish();
  EndRun();
}

bool XModemBase::SendBlocks(bool oneBlock) {
  int32_t eotRefusals = 0;
  bool settle = true;  // the receiver has just asked, and may be purging its input
  for (;;) {
    const int32_t settled = settleMs > 0 && (settle || lostBlock) ? Pause(*link, settleMs) : 0;
    if (settled < 0) {
      status->code = settled;
      return false;
    }
    const uint32_t sentAt = TickSource::Now();
    if (!SendBlockOrEot()) return false;
    const bool data = status->blockLength > 0;
    // Behind a data block what else waits after the ACK is stale; behind a header or EOT it may
    // be the receiver's next start request, and a streaming receiver sends that request without
    // acknowledging the header at all.
    int32_t response;
    if (!streaming || !data)
      response = AwaitResponse(data && !oneBlock);
    else
      response = oneBlock ? 1 : StreamingResponse();
    if (response < 0) return false;
    // An answer that took a block's time on the line: the line paces our blocks, so a purge
    // right after the answer would take the start of the next one.
    settle = static_cast<int32_t>(TickSource::Now() - sentAt) >= kPacedMs;
    if (response > 0) {
      status->retries = 0;
      if (oneBlock || !data) return true;
      ReadNextBlock(false);
      continue;
    }
    if (status->code != 0) return false;
    // Many receivers refuse the first EOT on purpose, to be sure it was not a damaged header.
    if (!data && lastByte == Ascii::NAK && eotRefusals++ == 0) continue;
    if (++status->errors >= maxErrors) {
      status->code = TransferCode::ErrorLimit;
      return false;
    }
  }
}

int32_t XModemBase::StreamingResponse() {
  while (link->RxCount() > 0) {
    lastByte = link->GetChar(0);
    if (lastByte == Ascii::CAN) {
      status->code = TransferCode::RemoteCancelled;
      return -1;
    }
  }
  return 1;
}

bool XModemBase::ReadNextBlock(bool first) {
  status->blockLength = BlockSize();
  if (static_cast<size_t>(status->blockLength) > bufferSize) status->blockLength = static_cast<int32_t>(bufferSize);
  const int32_t got = file->ReadBlock(buffer.get(), status->blockLength);
  if (got <= 0) {
    status->blockLength = 0;
    if (first) {
      status->code = TransferCode::ReadFailed;  // an empty file is not sent
      return false;
    }
    return true;
  }
  if (got < status->blockLength)
    std::memset(buffer.get() + got, 0, static_cast<size_t>(status->blockLength - got));
  status->sequenceByte = status->blockNumber & 0xFF;
  ++status->blockNumber;
  status->bytesDone += got;
  return true;
}

bool XModemBase::WaitForStart() {
  for (;;) {
    // A request found waiting when the run began is answered first.
    const int32_t c = waitingStart >= 0 ? waitingStart : ReadByte(kSecondMs);
    waitingStart = -1;
    if (c < 0) {
      if (CheckAbort()) return false;
      continue;
    }
    lastByte = c;
    if (c == Ascii::CAN) {
      status->code = TransferCode::RemoteCancelled;
      return false;
    }
    // An ACK of the header block from a streaming receiver, which we did not wait for.
    if (c == Ascii::ACK) continue;
    if (IsStartRequest(c)) {
      if (c == Ascii::NAK)
        SwitchToChecksum();
      else
        SwitchToCrc();
      streaming = c == kStreamRequest;
      return true;
    }
    if (!DropUntilQuiet()) return false;
  }
}

bool XModemBase::SendBlockOrEot() {
  if (status->blockLength == 0) {
    if (SendByteWait(Ascii::EOT) == 0) return true;
    SendFailed(TransferCode::EotFailed);
    return false;
  }
  if (!SendStart()) return false;
  const uint8_t number = static_cast<uint8_t>(status->sequenceByte);
  if (SendByteWait(number) != 0 || SendByteWait(static_cast<uint8_t>(255 - number)) != 0) return false;
  if (SendBlockWait(buffer.get(), status->blockLength) < 0) return false;
  status->checkValue =
      static_cast<int32_t>(check->Compute(buffer.get(), static_cast<size_t>(status->blockLength), 0));
  bool sent = crcMode ? SendByteWait(static_cast<uint8_t>(status->checkValue >> 8)) == 0 &&
                            SendByteWait(static_cast<uint8_t>(status->checkValue)) == 0
                      : SendByteWait(static_cast<uint8_t>(status->checkValue)) == 0;
  if (!sent) SendFailed(TransferCode::BlockSendFailed);
  return sent;
}

int32_t XModemBase::AwaitResponse(bool dropRest) {
  // The block has to leave before its answer can come; the host is asked between looks.
  for (;;) {
    if (CheckAbort()) return 0;
    const int32_t r = link->AwaitDrain(kAbortPollMs);
    if (r == 0) break;
    if (r != LinkCode::Timeout) {
      status->code = r;
      return 0;
    }
  }
  int32_t c = LinkCode::Timeout;
  for (int32_t i = 0; i < kResponseReads; ++i) {
    c = ReadByte(kSecondMs);
    if (c >= 0) break;
    if (CheckAbort()) return 0;
  }
  if (c < 0) {
    // Ten silent seconds: the line is dead, or the receiver purged a block that reached it whole.
    lostBlock = true;
    return 0;
  }
  lastByte = c;
  if (dropRest || c != Ascii::ACK) link->ClearInput(0);
  if (c == Ascii::ACK) return 1;
  if (c == Ascii::CAN) {
    status->code = TransferCode::RemoteCancelled;
    return -1;
  }
  if (c != Ascii::NAK) DropUntilQuiet();
  return 0;
}
