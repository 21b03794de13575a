// ACK/NAK sender and receiver. Neither side times out on its own: both wait for the other
// indefinitely and rely on CheckAbort (the host's Cancel and inactivity limit) to end a dead
// link; the receiver repeats its last answer while the line stays silent.
#include "transfer/AckNak.h"

#include <new>

#include "link/SerialPort.h"

namespace {
constexpr int32_t kSecondMs = 1000;
// Silent seconds before the receiver repeats its last answer (the first line of a file is
// asked for after one).
constexpr int32_t kSilenceAllowance = 5;
}  // namespace

AckNak::AckNak(SerialPort* port, TransferStatus* statusObject)
    : TransferEngine(port, statusObject),
      readBuffer(new (std::nothrow) uint8_t[kReadPiece + 1]()),
      check(std::make_unique<BlockCheck>()) {
  AllocateBuffer(kLineRoom);
  if (!readBuffer) buffer.reset();  // surfaces as -920 from Prepare
  status->protocol = 9;
  status->checkType = 1;
}

AckNak::~AckNak() = default;

int32_t AckNak::Send(char* fileList) {
  status->Begin(1);
  if (!Prepare()) return status->code;
  link->ClearInput(0);
  file->BeginList(fileList, 0);
  if (!file->NextFile(1)) {
    Finish();
    status->code = TransferCode::NoFile;
    ReportEnd();
    return status->code;
  }
  RunSender();
  return status->code;
}

int32_t AckNak::Receive(char* fileName) {
  status->Begin(0);
  if (!Prepare()) return status->code;
  file->BeginList(fileName, 0);
  link->ClearInput(0);
  status->fileName = fileName;
  RunReceiver();
  return status->code;
}

bool AckNak::OpenFile(bool sending, const char* name) {
  status->bytesDone = 0;
  fileOpen = 0;
  const char* mode = "wb";
  if (sending) {
    status->fileName = name = file->CurrentName();
    mode = "rb";
  } else if (existingFile == kAppend) {
    mode = "ab";
  } else if (existingFile == kRefuse && file->Exists(name)) {
    status->code = TransferCode::FileExists;
  }
  if (status->code == 0 && file->Open(name, mode) != 0) status->code = TransferCode::OpenFailed;
  if (status->code != 0) {
    Finish();
    return false;
  }
  fileOpen = 1;
  ++status->filesDone;
  if (sending) status->fileSize = file->Size();
  return !CheckAbort();
}

bool AckNak::Answer(uint8_t response) {
  lastResponse = response;
  if (SendByteWait(response) == 0) return true;
  if (status->code == 0 || status->code == TransferCode::OutputBlocked)
    status->code = response == Ascii::ACK ? TransferCode::AckFailed : TransferCode::NakFailed;
  return false;
}

// ---- Receiver ----

void AckNak::RunReceiver() {
  status->errors = 0;
  lastResponse = Ascii::NAK;
  endOfFile = 0;
  if (!OpenFile(false, status->fileName)) return ReportEnd();
  while (ReceiveLine()) {
    const int32_t length = status->blockLength;
    if (file->WriteBlock(buffer.get(), length) < length) {
      status->code = TransferCode::WriteFailed;
      break;
    }
    status->bytesDone += length;
    if (!Answer(Ascii::ACK)) break;
    status->retries = 0;
    if (endOfFile) {
      SendByteWait(Ascii::BEL);
      break;
    }
  }
  Finish();
  ReportEnd();
}

bool AckNak::ReceiveLine() {
  if (CheckAbort()) return false;
  for (;;) {
    if (LineAttempt()) return true;
    if (status->retries >= maxErrors && status->code == 0) status->code = TransferCode::ErrorLimit;
    if (status->code != 0 || CheckAbort()) return false;
  }
}

void AckNak::Reject(bool purge) {
  // The sender hears about the bad line at once; the purge then lets the rest of it pass.
  if (status->code == 0) Answer(Ascii::NAK);
  if (purge && status->code == 0) Purge();
  ++status->errors;
  ++status->retries;
}

bool AckNak::LineAttempt() {
  int32_t count = 0;
  int32_t allowance = status->bytesDone > 0 ? kSilenceAllowance : 1;
  int32_t subAt = 0;
  endOfFile = 0;
  for (;;) {
    const int32_t c = WaitByte(kSecondMs);
    if (c == LinkCode::Timeout && count > 0) {
      // The line stopped half-way (its end was lost): ask for it again. Repeating an ACK here
      // would acknowledge a line that never arrived, and the sender would go on without it.
      Reject(false);
      return false;
    }
    if (c == LinkCode::Timeout) {
      if (CheckAbort()) return false;
      if (--allowance == 0) {
        allowance = kSilenceAllowance;
        if (!Answer(static_cast<uint8_t>(lastResponse))) return false;
      }
      continue;
    }
    if (c < 0) {
      Reject(true);
      return false;
    }
    buffer[count++] = static_cast<uint8_t>(c);
    if (c == Ascii::SUB && !endOfFile) {
      endOfFile = 1;
      subAt = count - 1;
    }
    if (c == Ascii::CR) {
      buffer[count++] = Ascii::LF;
      status->blockLength = count;
      break;
    }
    if (count >= kMaxLine) {
      status->code = TransferCode::LineTooLong;
      return false;
    }
  }
  const int32_t sum = WaitByte(kSecondMs);
  if (sum < 0) {
    Reject(true);
    return false;
  }
  status->checkValue = sum;
  const uint32_t expected = check->Compute(buffer.get(), static_cast<size_t>(status->blockLength - 1), 0);
  if (static_cast<int32_t>(expected) != sum) {
    // CR BEL BEL is the sender's cancel: its CR ends whatever line was under way, and the
    // first BEL stands where the check belongs.
    if (sum == Ascii::BEL) {
      const int32_t next = WaitByte(kSecondMs);
      if (next == Ascii::BEL) {
        status->code = TransferCode::RemoteCancelled;
        return false;
      }
      Reject(next >= 0);  // a byte of what follows was taken: let the rest pass
      return false;
    }
    Reject(false);
    return false;
  }
  // A SUB ends the file where it stands: it and what follows on its line are not written.
  if (endOfFile) status->blockLength = subAt;
  return true;
}

// ---- Sender ----

void AckNak::RunSender() {
  status->errors = 0;
  endOfFile = 0;
  readPos = kReadPiece;
  if (!OpenFile(true, nullptr)) return ReportEnd();
  while (BuildLine()) {
    bool acknowledged = false;
    while (!acknowledged) {
      if (SendBlockWait(buffer.get(), status->blockLength) < 0) break;
      status->checkValue =
          static_cast<int32_t>(check->Compute(buffer.get(), static_cast<size_t>(status->blockLength), 0));
      if (SendByteWait(static_cast<uint8_t>(status->checkValue)) != 0) {
        if (status->code == 0 || status->code == TransferCode::OutputBlocked)
          status->code = TransferCode::BlockSendFailed;
        break;
      }
      const int32_t answer = AwaitAnswer();
      if (answer > 0) {
        status->retries = 0;
        acknowledged = true;
      } else if (answer < 0) {
        status->code = TransferCode::RemoteCancelled;
        break;
      } else if (status->code != 0) {
        break;
      } else if (++status->errors >= maxErrors) {
        status->code = TransferCode::ErrorLimit;
        break;
      }
    }
    if (!acknowledged) break;
  }
  Finish();
  ReportEnd();
}

bool AckNak::BuildLine() {
  if (endOfFile) return false;
  int32_t count = 0, consumed = 0;
  for (;;) {
    if (readPos >= kReadPiece) {
      int32_t got = file->ReadBlock(readBuffer.get(), kReadPiece);
      if (got < 0) got = 0;
      // A short piece is the end of the file: mark it where the data stops.
      if (got < kReadPiece) readBuffer[got] = Ascii::SUB;
      readPos = 0;
    }
    const uint8_t b = readBuffer[readPos++];
    ++consumed;
    if (b == Ascii::LF) continue;
    buffer[count++] = b;
    if (count > kMaxLine) {
      status->code = TransferCode::LineTooLong;
      return false;
    }
    if (b == Ascii::SUB) {
      // The end (or a SUB inside the file): close the line with SUB CR.
      endOfFile = 1;
      readBuffer[--readPos] = Ascii::CR;
      continue;
    }
    if (b == Ascii::CR) {
      status->blockLength = count;
      status->bytesDone += consumed;
      return true;
    }
  }
}

int32_t AckNak::AwaitAnswer() {
  int32_t c;
  for (;;) {
    c = WaitByte(kSecondMs);
    if (c >= 0) break;
    if (CheckAbort()) return 0;
    if (c != LinkCode::Timeout) return 0;  // a failed read counts as no answer
  }
  link->ClearInput(0);
  if (c == Ascii::ACK) return 1;
  if (c == Ascii::BEL) return -1;
  if (c != Ascii::NAK) {
    while (WaitByte(kSecondMs) >= 0)
      if (CheckAbort()) return 0;
  }
  return 0;
}
