// ZModem's receiving direction: answers a sender, takes a batch, decides for every existing
// file whether to skip, replace, append or resume it, and writes data only at the position it
// asked for; plus OpenForTransfer, which both directions use to open the current file.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "link/Pause.h"
#include "link/SerialPort.h"
#include "transfer/ReceiveRules.h"
#include "transfer/zmodem/ZModem.h"

namespace {
constexpr int32_t kZrinitFlags = Zm::CANFDX | Zm::CANOVIO | Zm::CANBRK | Zm::CANFC32;
// Input let pass after we asked for a position, before we ask again: what the sender may still
// have had on its way when our request reached it (its queue, a modem's or adapter's buffer).
constexpr int32_t kStaleAllowance = 32768;
// After a silence that queue is empty, or went with the dead line: the answer (an empty
// subpacket and a ZDATA header) comes first.
constexpr int32_t kQuietAllowance = 1024;
// A silent line costs one error every this many seconds (a failed header used to cost two in
// ten: the hunt's and the data phase's).
constexpr int32_t kQuietErrorSeconds = 5;
}  // namespace

int32_t ZModem::Receive(char* fileName) {
  status->Begin(0);
  if (!Prepare()) return status->code;
  const int32_t r = file->BeginList(fileName, 0);
  if (r != 0) return r;
  DropInput();
  ReceiveFiles();
  return status->code;
}

void ZModem::SendPositionHeader(int32_t type, int64_t position) {
  if (CheckAbort()) return;
  uint8_t bytes[4];
  PutPosition(static_cast<uint32_t>(position), bytes);
  SendHexHeader(type, bytes);
}

void ZModem::HoldAround(bool begin) {
  if (!holdRemote) return;
  if (begin) {
    link->HoldRemote();
    Pause(*link, 70);
  } else {
    link->ReleaseRemote();
  }
}

int32_t ZModem::ParseFileInfo() {
  char* name = receiveName.get();
  const char* data = reinterpret_cast<const char*>(buffer.get());
  const int32_t length = status->blockLength;
  int32_t nameLength = 0;
  while (nameLength < length && data[nameLength] != '\0') ++nameLength;

  const bool given = file->NextFile(0) != 0;
  const std::string wire = given ? std::string() : ReceiveRules::NameFromWire({data, static_cast<size_t>(nameLength)});
  const char* full = given ? file->CurrentName() : wire.c_str();
  const size_t fullLength = given ? std::strlen(full) : wire.size();
  const bool fits = fullLength < static_cast<size_t>(Zm::kNameRoom);
  std::memcpy(name, full, fits ? fullLength : 0);
  name[fits ? fullLength : 0] = '\0';
  const char* chosen = pathMode == 0 ? FileNamePart(name) : name;
  status->fileName = chosen;

  char info[64] = {};
  if (nameLength + 1 < length) {
    const int32_t n = std::min<int32_t>(length - nameLength - 1, static_cast<int32_t>(sizeof info) - 1);
    std::memcpy(info, data + nameLength + 1, static_cast<size_t>(n));
  }
  int64_t size = 0, time = 0;
  const int32_t values = ReceiveRules::ParseSizeAndTime(info, size, time);
  announcedLength = -1;
  if (values >= 1) status->fileSize = announcedLength = size < 0 ? 0 : size;
  if (values >= 2) status->fileTime = time;
  if (values < 2 || time == 0) status->fileTime = -1;
  if (!fits || chosen[0] == '\0' || (!given && !ReceiveRules::NameIsSafe(chosen))) {
    ReceiveRules::ShowRefusedName(full, fullLength, pathMode == 0, name);
    status->fileName = name;
    return TransferCode::FileSkipped;
  }
  // Positions on the wire end at 4 GiB - 1: a longer file could not arrive whole.
  return announcedLength > Zm::kMaxPosition ? TransferCode::FileTooLarge : 0;
}

int32_t ZModem::FileCrc(uint32_t& crc) {
  // The sender's file window serves as the read buffer; what it held is gone.
  fileWindowLength = 0;
  uint32_t r = 0xFFFFFFFFu;
  if (file->Seek(0, 0) != 0) return -1;
  for (;;) {
    const int32_t n = file->ReadBlock(fileWindow.get(), Zm::kFileWindow);
    if (n <= 0) break;
    r = crc32->Compute(fileWindow.get(), static_cast<size_t>(n), r);
  }
  crc = ~r;
  return 0;
}

int32_t ZModem::OpenForTransfer() {
  const char* mode = "wb";
  status->bytesDone = 0;
  bool skip = false;
  if (status->direction == 1) {
    status->fileName = file->CurrentName();
    mode = "rb";
  } else if (file->Exists(status->fileName)) {
    file->ResetSize();
    if (file->Open(status->fileName, "rb") == 0) {
      const int64_t existingSize = file->Size();
      file->ReadTime();
      const int64_t existingTime = file->ToSeconds();
      file->Close();
      file->ResetSize();
      const int64_t length = status->fileSize;
      const int64_t time = status->fileTime;
      bool resume = crashRecovery == 3;
      if (crashRecovery == 2) {
        management = headerBytes[2];
        resume = headerBytes[3] == Zm::ZCRESUM;
      }
      if (resume && existingSize <= length) {
        mode = "ab";
        status->bytesDone = existingSize;
      }
      switch (management) {
        case 1:
          skip = !(existingTime < time && existingSize < length);
          break;
        case 2: {
          uint32_t crc = 0;
          if (file->Open(status->fileName, "rb") != 0) {
            skip = true;
            break;
          }
          FileCrc(crc);
          file->Close();
          const uint8_t zero[4] = {};
          SendHexHeader(Zm::ZCRC, zero);
          const int32_t answer = status->code < 0 ? status->code : ReceiveHeader(0);
          // A cancel or abort while asking ends the batch instead of passing for a skip.
          if (status->code < 0) return 0;
          skip = answer != Zm::ZCRC || Position(headerBytes) == crc;
          break;
        }
        case 3:
          mode = "ab";
          break;
        case 5:
          skip = !(existingTime < time);
          break;
        case 6:
          skip = !(existingTime != time && existingSize != length);
          break;
        case 7:
          skip = true;
          break;
        default:
          break;
      }
    }
  }
  fileOpen = 0;
  if (skip) {
    // The resume step may have taken the existing part as done: nothing of this file was.
    status->bytesDone = 0;
    status->code = management == 7 ? TransferCode::FileExists : TransferCode::FileSkipped;
    return 1;
  }
  file->ResetSize();
  if (file->Open(status->fileName, mode) != 0) {
    status->code = TransferCode::OpenFailed;
    Finish();
    return 0;
  }
  fileOpen = 1;
  if (status->direction == 0) {
    ++status->filesDone;
  } else {
    status->fileSize = file->Size();
  }
  if (CheckAbort()) return 0;
  status->code = 0;
  return 1;
}

int32_t ZModem::GetFileHeader(int32_t type) {
  const uint8_t zero[4] = {};
  auto putInit = [this] {
    headerBytes[0] = static_cast<uint8_t>(windowSize & 0xFF);
    headerBytes[1] = static_cast<uint8_t>((windowSize >> 8) & 0xFF);
    headerBytes[2] = 0;
    headerBytes[3] = kZrinitFlags;
  };
  putInit();
  SendHexHeader(type, headerBytes);
  if (status->code < 0) return 0;
  for (;;) {
    const int32_t t = ReceiveHeader(1);
    switch (t) {
      case Zm::ZRQINIT:
        // Let the rest of the sender's line pass first. When the line end was already read
        // there is nothing to wait for, and the 200 ms would only delay every batch.
        if (!hexLineDone) Pause(*link, 200);
        for (int32_t i = 0; i < 20; ++i) {
          if (InputWaiting() <= 0 || hexLineDone) break;
          const int32_t c = ReadRaw(1);
          if (c >= 0 && (c & 0x7F) == Ascii::LF) break;
        }
        break;
      case Zm::ZSINIT:
        if (ReceiveSubpacket() == Zm::ZCRCW) {
          SendHexHeader(Zm::ZACK, zero);
        } else if (status->code >= 0) {
          SendHexHeader(Zm::ZNAK, zero);
          CountError(TransferCode::ErrorLimit);
        }
        if (status->code < 0) return 0;
        continue;
      case Zm::ZFILE:
        if (ReceiveSubpacket() == Zm::ZCRCW) return 1;
        if (status->code < 0) return 0;
        SendHexHeader(Zm::ZNAK, zero);
        if (status->code < 0) return 0;
        continue;
      case Zm::ZFIN:
        SendHexHeader(Zm::ZFIN, zero);
        ReadRaw(2000);
        ReadRaw(500);
        return 0;
      default:
        if (status->code < 0) return 0;
        CountError(TransferCode::ErrorLimit);
        break;
    }
    if (status->code < 0) return 0;
    putInit();
    SendHexHeader(Zm::ZRINIT, headerBytes);
    if (status->code < 0) return 0;
  }
}

int32_t ZModem::ReceiveFileData() {
  // While a ZRPOS of ours is out and no ZDATA at that position has come, what arrives is what the
  // sender had on its way before it heard us: it passes unanswered and uncounted, up to an
  // allowance. Answering each piece of it (noise, a damaged or stray header) with one more ZRPOS
  // made one damaged byte a storm: every request brought a new frame, and more stale bytes.
  bool asked = false;
  int32_t allowance = 0, passed = 0, quiet = 0;
  auto ask = [&](int32_t room) {
    DropInput();
    SendPositionHeader(Zm::ZRPOS, status->bytesDone);
    asked = true;
    allowance = room;
    passed = 0;
    return status->code >= 0 && !CheckAbort();
  };
  if (!ask(kQuietAllowance)) return status->code;
  for (;;) {
    int32_t garbage = 0;
    const int32_t t = ReadHeader(garbage, asked ? std::max(1, allowance - passed) : Zm::kGarbageLimit, 1);
    if (status->code < 0) return status->code;
    if (t == LinkCode::Timeout) {
      // A silent second: an answer of ours was lost and the sender waits, or the line is dead.
      // Ask again each second; count it as a failed header every few.
      if (++quiet % kQuietErrorSeconds == 0) CountError(TransferCode::ErrorLimit);
      if (status->code < 0 || !ask(kQuietAllowance)) return status->code;
      continue;
    }
    quiet = 0;
    passed += garbage;
    int32_t retry = 0;  // not 0: ask again, with this allowance
    if (t < 0) {
      if (asked && passed < allowance) continue;
      retry = kStaleAllowance;
    } else {
      switch (t) {
        case Zm::ZDATA: {
          int64_t framePos = Position(headerBytes);
          if (framePos > status->bytesDone) {
            retry = kStaleAllowance;
            break;
          }
          // A frame from further back than we hold (the sender heard a request twice) repeats
          // what we have: its known part is dropped, which costs less than one more request.
          asked = false;
          HoldAround(true);
          file->Seek(status->bytesDone + appendOffset, 0);
          HoldAround(false);
          for (;;) {
            if (CheckAbort()) return status->code;
            const int32_t end = ReceiveSubpacket();
            if (status->code < 0) return status->code;
            if (end < 0) {
              retry = end == LinkCode::Timeout ? kQuietAllowance : kStaleAllowance;
              break;
            }
            ++status->blockNumber;
            const int64_t known = std::min<int64_t>(status->bytesDone - framePos, status->blockLength);
            const int32_t length = status->blockLength - static_cast<int32_t>(known);
            framePos += status->blockLength;
            if (status->bytesDone + length > Zm::kMaxPosition) {
              // Past the last position a header can name: no later ZRPOS or ZEOF could place it.
              status->code = TransferCode::BadPosition;
              return status->code;
            }
            HoldAround(true);
            const int32_t written = length > 0 ? file->WriteBlock(buffer.get() + known, length) : 0;
            HoldAround(false);
            if (length > 0 && written < length) {
              status->code = TransferCode::WriteFailed;
              Finish();
              return status->code;
            }
            status->bytesDone += length;
            // The sender counts in its own frame, which runs behind us while it repeats.
            if (end == Zm::ZCRCQ || end == Zm::ZCRCW) SendPositionHeader(Zm::ZACK, framePos);
            if (status->code < 0) return status->code;
            if (end == Zm::ZCRCG || end == Zm::ZCRCQ) continue;
            if (CheckAbort()) return status->code;
            break;
          }
          break;
        }
        case Zm::ZEOF:
          if (Position(headerBytes) == status->bytesDone) {
            // The sender says the file ends here: short of the length it announced, the file did
            // not arrive whole (it stays for a resume, unstamped).
            if (announcedLength >= 0 && status->bytesDone < announcedLength) status->code = TransferCode::BadPosition;
            return status->code;
          }
          // Sent before our request reached the sender: it will answer the request, or fall
          // silent waiting for us, and the silence asks again.
          if (!asked) retry = kStaleAllowance;
          break;
        case Zm::ZFILE:
          // A repeated offer of the file we are already receiving (the sender took a late
          // ZRINIT for a lost ZFILE): drop it and keep waiting for the data we asked for. Taking
          // it as the end of this file would report a short file as done.
          ReceiveSubpacket();
          if (status->code < 0) return status->code;
          break;
        case Zm::ZFIN: {
          // The sender ends the batch in the middle of this file: answer it, keep the part.
          const uint8_t zero[4] = {};
          SendHexHeader(Zm::ZFIN, zero);
        }
          [[fallthrough]];
        case Zm::ZABORT:
        case Zm::ZFERR:
          if (status->code >= 0) status->code = TransferCode::RemoteCancelled;
          return status->code;
        default:
          retry = kStaleAllowance;
          break;
      }
    }
    if (retry == 0) continue;
    CountError(TransferCode::ErrorLimit);
    if (status->code < 0 || !ask(retry)) return status->code;
  }
}

int32_t ZModem::ReceiveFiles() {
  status->direction = 0;
  if (!Prepare()) return status->code;
  receiveName.reset(new (std::nothrow) char[Zm::kNameRoom]);
  if (!receiveName) {
    Finish();
    return status->code = TransferCode::NoBuffer;
  }
  receiveName[0] = '\0';
  if (GetFileHeader(Zm::ZRINIT)) {
    for (;;) {
      int32_t next = Zm::ZRINIT;
      // A name that could leave the receiving folder (or has no room), or a file too large for
      // the wire, is never opened.
      const int32_t refused = ParseFileInfo();
      file->ResetSize();
      if (refused != 0) {
        status->code = refused;
      } else if (!OpenForTransfer()) {
        break;
      }
      if (status->code != 0) {
        status->Notify(status->code);
        status->code = 0;
        if (CheckAbort()) break;
        next = Zm::ZSKIP;
      } else {
        // Appending puts the sender's file behind the existing one, unless the resume step has
        // already taken the existing part as this file's beginning.
        appendOffset = 0;
        if (management == 3 && status->bytesDone == 0) {
          file->ResetSize();
          appendOffset = std::max<int64_t>(file->Size(), 0);
        }
        ReceiveFileData();
        if (status->code < 0) break;
        if (fileOpen && !CloseReceived()) break;
        ReportEnd();
        status->fileName = "";
      }
      if (!GetFileHeader(next)) break;
    }
  }
  Finish();
  // Files that ended well had their own report; a failure is reported with the file it hit.
  if (status->code != 0 || status->filesDone == 0) ReportEnd();
  receiveName.reset();
  return status->code;
}
