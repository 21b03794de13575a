// YModem's batch over the XModem block layer: block 0 before each file, the length it announces
// cutting the padding off, and the receivers' shared rules for names and existing files.
#include "transfer/YModem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "transfer/ReceiveRules.h"

YModem::YModem(SerialPort* port, TransferStatus* statusObject) : XModem1K(port, statusObject) {
  status->protocol = 2;
  takesStreaming = true;
}

// ---- Receiver ----

void YModem::ReceiveFile(char*) {
  SwitchToCrc();
  while (ReceiveOne()) {
  }
  Finish();
  // Files that ended well had their own report; a failure is reported with the file it hit.
  if (status->code != 0)
    EndRun();
  else if (status->filesDone == 0)
    ReportEnd();
}

XModemBase::BlockResult YModem::Await() {
  for (;;) {
    // Silence while a block that starts something is due: the sender may have missed our
    // request. YModem has CRC only, so the requests never turn into NAK.
    const BlockResult got = ReceiveBlock();
    if (got != kNoBlock || status->code != 0 || !SendStartRequest()) return got;
  }
}

XModemBase::BlockResult YModem::Ask() { return SendStartRequest() ? Await() : kNoBlock; }

bool YModem::ReceiveOne() {
  status->blockNumber = 0;
  status->errors = status->retries = 0;
  BlockResult got = Ask();
  // An EOT again: our answer to the end of the last file was lost.
  while (got == kEndOfFile) got = Acknowledge() ? Ask() : kNoBlock;
  if (got != kDataBlock) return false;
  if (buffer[0] == 0) {  // no name: the batch is over
    Acknowledge();
    return false;
  }
  return TakeHeader() >= 0 && Acknowledge() && ReceiveData();
}

int32_t YModem::TakeHeader() {
  const char* data = reinterpret_cast<const char*>(buffer.get());
  const int32_t length = status->blockLength;
  int32_t nameLength = 0;
  while (nameLength < length && data[nameLength] != '\0') ++nameLength;
  // A block without the name's NUL holds no length either: nothing in it is taken.
  bool usable = nameLength < length;
  char info[64] = {};
  if (usable)
    std::memcpy(info, data + nameLength + 1, std::min<size_t>(length - nameLength - 1, sizeof info - 1));
  int64_t size = 0, time = 0;
  const int32_t values = ReceiveRules::ParseSizeAndTime(info, size, time);
  announced = values >= 1 ? std::max<int64_t>(size, 0) : -1;
  status->fileSize = std::max<int64_t>(announced, 0);
  status->fileTime = values >= 2 && time != 0 && time <= 0xFFFFFFFF ? time : -1;

  status->bytesDone = 0;

  const bool given = file->NextFile(0) != 0;
  const std::string wire = given ? std::string() : ReceiveRules::NameFromWire({data, static_cast<size_t>(nameLength)});
  const char* from = given ? file->CurrentName() : wire.c_str();
  const size_t n = given ? std::strlen(from) : wire.size();
  usable = usable && n < sizeof name;
  std::memcpy(name, from, usable ? n : 0);
  name[usable ? n : 0] = '\0';
  const char* chosen = pathMode == 0 ? FileNamePart(name) : name;
  status->fileName = chosen;
  int32_t refusal = 0;
  if (!usable || chosen[0] == '\0' || (!given && !ReceiveRules::NameIsSafe(chosen))) {
    ReceiveRules::ShowRefusedName(from, n, pathMode == 0, name);
    status->fileName = name;
    refusal = TransferCode::FileSkipped;
  } else if (announced > kMaxLength) {
    refusal = TransferCode::FileTooLarge;
  }
  const char* mode = "wb";
  if (refusal == 0 && file->Exists(chosen)) {
    int64_t existingSize = -1, existingTime = -1;
    file->ResetSize();
    if (file->Open(chosen, "rb") == 0) {
      existingSize = file->Size();
      file->ReadTime();
      existingTime = file->ToSeconds();
      file->Close();
    }
    switch (ReceiveRules::Decide(management, existingSize, existingTime, announced, status->fileTime)) {
      case ReceiveRules::Existing::Append:
        mode = "ab";
        break;
      case ReceiveRules::Existing::Skip:
        refusal = TransferCode::FileSkipped;
        break;
      case ReceiveRules::Existing::Refuse:
        refusal = TransferCode::FileExists;
        break;
      case ReceiveRules::Existing::Replace:
        break;
    }
  }
  if (refusal != 0) {
    // YModem cannot skip a file on the wire: its data is taken into nothing.
    status->Notify(refusal);
    return CheckAbort() ? -1 : 0;
  }
  file->ResetSize();
  if (file->Open(chosen, mode) != 0) {
    status->code = TransferCode::OpenFailed;
    return -1;
  }
  fileOpen = 1;
  ++status->filesDone;
  return CheckAbort() ? -1 : 1;
}

bool YModem::ReceiveData() {
  bool eotRefused = false;
  for (BlockResult got = Ask();; got = Await()) {
    if (got == kDataBlock) {
      const int64_t left = announced < 0 ? status->blockLength : announced - status->bytesDone;
      const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(left, 0, status->blockLength));
      if (fileOpen && n > 0 && file->WriteBlock(buffer.get(), n) < n) {
        status->code = TransferCode::WriteFailed;
        return false;
      }
      status->bytesDone += n;
      if (!Acknowledge()) return false;
      status->retries = 0;
      continue;
    }
    if (got != kEndOfFile) return false;
    const bool shortFile = fileOpen && status->bytesDone < announced;
    if (shortFile && !eotRefused) {
      // Perhaps a damaged block header: a sender that really is at the end repeats its EOT.
      eotRefused = true;
      if (SendByteWait(Ascii::NAK) == 0) continue;
      SendFailed(TransferCode::NakFailed);
      return false;
    }
    if (!Acknowledge()) return false;
    if (shortFile) {
      status->code = TransferCode::BadPosition;
      return false;
    }
    if (fileOpen) {
      if (!CloseReceived()) return false;
      ReportEnd();
    }
    status->fileName = "";
    return true;
  }
}

// ---- Sender ----

void YModem::SendFile(char* fileList) {
  if (!BeginSend(fileList)) return EndRun();
  while (SendOne() && file->NextFile(1)) {
  }
  if (status->code == 0) SendHeader(true);
  Finish();
  EndRun();
}

bool YModem::SendOne() {
  status->errors = status->retries = 0;
  file->ResetSize();
  if (!OpenFile(true, nullptr) || !SendHeader(false)) return false;
  status->blockNumber = 1;
  ReadNextBlock(false);
  if (!WaitForStart() || !SendBlocks(false)) return false;
  fileOpen = 0;
  file->Close();
  ReportEnd();
  return true;
}

bool YModem::SendHeader(bool last) {
  char* header = reinterpret_cast<char*>(buffer.get());
  std::memset(header, 0, bufferSize);
  int n = 0;
  if (!last) {
    const char* sent = pathMode == 0 ? FileNamePart(status->fileName) : status->fileName;
    file->ReadTime();
    n = std::snprintf(header, bufferSize, "%s%c%lld %llo 0", sent, 0, static_cast<long long>(status->fileSize),
                      static_cast<unsigned long long>(file->ToSeconds()));
    // Receivers take '/' as the separator of a path.
    std::replace(header, header + std::strlen(header), '\\', '/');
  }
  status->blockLength = n < kBlockSize ? kBlockSize : kLongBlockSize;
  status->sequenceByte = 0;
  status->blockNumber = 0;
  return WaitForStart() && SendBlocks(true);
}
