// ZModem's sending direction: offers each file of a list with ZFILE, streams its data from the
// position the receiver asks for in frames sized by the receiver's buffer and our window,
// goes back on ZRPOS, and closes the batch with ZFIN and "OO".
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "transfer/zmodem/ZModem.h"

namespace {
// A full window waits this long for an answer before its frame starts again. Longer than the
// receiver's own silent second, after which it asks for what it is missing.
constexpr int32_t kAckWaitMs = 2000;
}  // namespace

int32_t ZModem::Send(char* fileList) {
  status->Begin(1);
  if (!Prepare()) return status->code;
  const int32_t r = file->BeginList(fileList, 0);
  if (r != 0) return r;
  DropInput();
  SendFiles();
  return status->code;
}

int32_t ZModem::SendFiles() {
  status->fileTime = -1;
  status->direction = 1;
  // The list first: with nothing to send there is no receiver to wait for.
  if (BuildFileInfo()) {
    if (GetReceiverInit()) {
      for (;;) {
        if (SendFileHeader() == 1) SendFileData();
        ReportEnd();
        if (status->code == TransferCode::FileSkipped) status->code = 0;
        if (status->code < 0) break;
        if (fileOpen) {
          file->Close();
          fileOpen = 0;
        }
        if (!BuildFileInfo()) break;
      }
    }
    if (status->code >= 0) EndBatch();
  }
  Finish();
  if (status->code == 0 && status->filesDone == 0) status->code = TransferCode::NoFilesSent;
  ReportEnd();
  return status->code;
}

int32_t ZModem::GetReceiverInit() {
  const uint8_t zero[4] = {};
  SendHexHeader(Zm::ZRQINIT, zero);
  if (status->code < 0) return 0;
  for (;;) {
    const int32_t t = ReceiveHeader(0);
    if (t == Zm::ZRINIT) {
      const uint32_t size = headerBytes[0] + 256u * headerBytes[1];
      const int32_t flags = headerBytes[3];
      rxFlags = flags;
      rxBufferSize = size;
      if (size == 0 || (windowSize != 0 && size > static_cast<uint32_t>(windowSize)))
        rxBufferSize = static_cast<uint32_t>(windowSize);
      if (!(flags & Zm::CANFDX) && rxBufferSize == 0) rxBufferSize = 4096;
      status->checkType = (flags & Zm::CANFC32) ? 4 : 3;
      return 1;
    }
    if (t == Zm::ZABORT || t == Zm::ZFERR) {
      status->code = TransferCode::RemoteCancelled;
      return 0;
    }
    if (status->code < 0) return 0;
    if (t == Zm::ZCHALLENGE) {
      uint8_t echo[4];
      std::memcpy(echo, headerBytes, 4);
      SendHexHeader(Zm::ZACK, echo);
      if (status->code < 0) return 0;
    }
    CountError(TransferCode::ZErrorLimit);
    if (status->code < 0) return 0;
    SendHexHeader(Zm::ZRQINIT, zero);
    if (status->code < 0) return 0;
  }
}

int32_t ZModem::BuildFileInfo() {
  for (;;) {
    fileWindowLength = 0;
    file->ResetSize();
    if (!file->NextFile(1)) return 0;
    if (!OpenForTransfer()) return 0;
    if (status->fileSize <= Zm::kMaxPosition) break;
    // Positions on the wire end at 4 GiB - 1: such a file cannot be offered at all.
    fileOpen = 0;
    file->Close();
    status->code = TransferCode::FileTooLarge;
    ReportEnd();
    status->code = 0;
  }
  file->ReadTime();
  sendFileTime = file->ToSeconds();
  const char* name = status->fileName;
  if (pathMode == 0) {
    name = FileNamePart(status->fileName);
  } else if (pathMode == 2) {
    // The paired name replaces the current one in the file object, so keep a copy to show.
    std::snprintf(nameBuffer, sizeof nameBuffer, "%s", status->fileName);
    status->fileName = nameBuffer;
    name = file->NextFile(0) ? file->CurrentName() : FileNamePart(nameBuffer);
  }
  char* info = reinterpret_cast<char*>(buffer.get());
  const int n = std::snprintf(info, Zm::kSubpacketRoom, "%s%c%lu %lo 0", name, 0,
                              static_cast<unsigned long>(status->fileSize),
                              static_cast<unsigned long>(sendFileTime));
  status->blockLength = std::min(n, Zm::kSubpacketRoom - 1);
  fileInfoLength = status->blockLength;
  return 1;
}

void ZModem::SendFileInfo() {
  const uint8_t flags[4] = {0, 0, static_cast<uint8_t>(management),
                            static_cast<uint8_t>(crashRecovery == 3 ? Zm::ZCRESUM : 0x41)};
  SendBinaryHeader(Zm::ZFILE, flags);
  if (status->code >= 0) SendSubpacket(fileInfoLength, Zm::ZCRCW);
}

int32_t ZModem::SendFileHeader() {
  SendFileInfo();
  if (status->code < 0) return 0;
  for (;;) {
    const int32_t t = ReceiveHeader(0);
    switch (t) {
      case Zm::ZRPOS:
        status->bytesDone = std::min<int64_t>(Position(headerBytes), status->fileSize);
        return 1;
      case Zm::ZSKIP:
        status->code = TransferCode::FileSkipped;
        return 0;
      case Zm::ZABORT:
      case Zm::ZFIN:
      case Zm::ZFERR:
        status->code = TransferCode::RemoteCancelled;
        return 0;
      case Zm::ZACK:
      case Zm::ZCOMPL:
        continue;
      case Zm::ZCRC: {
        uint32_t crc = 0;
        FileCrc(crc);
        uint8_t bytes[4];
        PutPosition(crc, bytes);
        SendBinaryHeader(Zm::ZCRC, bytes);
        if (status->code < 0) return 0;
        continue;
      }
      case Zm::ZRINIT:
        // A ZRINIT here means the receiver is still waiting for a file (our ZFILE was lost on
        // the line; waiting for a ZNAK that never comes would stall both sides for good) or
        // answered a repeated ZRQINIT. In the second case its next header is already on the
        // way: take that one instead of offering the file twice.
        if (HeaderFollows()) continue;
        SendFileInfo();
        break;
      case Zm::ZNAK:
        SendFileInfo();
        break;
      default:
        break;
    }
    if (status->code < 0) return 0;
    CountError(TransferCode::ErrorLimit);
    if (status->code < 0) return 0;
  }
}

void ZModem::SendFileData() {
  junkCount = 0;
  flightCap = 0;
  fastestAnswerMs = -1;
  for (;;) {
    const int32_t t = SendFrame();
    if (status->code < 0) return;
    if (t != 0) {
      switch (t) {
        case Zm::ZACK:
          break;
        case Zm::ZNAK:
        case Zm::ZRPOS:
          DropInput();
          SendSubpacket(0, Zm::ZCRCE);
          CountError(TransferCode::ErrorLimit);
          break;
        case Zm::ZSKIP:
        case Zm::ZABORT:
        case Zm::ZFIN:
        case Zm::ZFERR:
          status->code = TransferCode::RemoteCancelled;
          return;
        default:
          if (junkCount < 3) {
            junkCount = 3;
          } else if (junkCount < 10) {
            ++junkCount;
          }
          CountError(TransferCode::ErrorLimit);
          break;
      }
      if (status->code < 0) return;
      if (junkCount > 0) --junkCount;
    }
    if (status->bytesDone < status->fileSize) continue;
    for (;;) {
      uint8_t bytes[4];
      PutPosition(static_cast<uint32_t>(status->bytesDone), bytes);
      SendBinaryHeader(Zm::ZEOF, bytes);
      if (status->code < 0) return;
      // No time-out of our own: a silent receiver is the host's inactivity limit's business.
      // Answers to a window's last subpackets may still come first; they say nothing here.
      int32_t answer;
      do {
        while (!CheckReverseChannel()) {
          if (CheckAbort()) return;
          const int32_t y = link->Yield(kAbortPollMs);  // until the receiver answers
          if (y < 0) {
            status->code = y;
            return;
          }
        }
        if (status->code < 0) return;
        answer = WaitForSync(false);
      } while (answer == Zm::ZACK);
      if (answer == Zm::ZRINIT) {
        ++status->filesDone;
        return;
      }
      if (answer != Zm::ZRPOS && answer != Zm::ZNAK) {
        if (status->code >= 0) status->code = TransferCode::RemoteCancelled;
        return;
      }
      // Every byte went out already, so this is a resend: a receiver that keeps asking for the
      // same position (one that has lost its file, or a broken one) meets the error limit
      // instead of taking the file again and again.
      CountError(TransferCode::ErrorLimit);
      if (status->code < 0) return;
      if (answer == Zm::ZRPOS) break;  // data again from there, in a frame of its own
    }
  }
}

int32_t ZModem::SendFrame() {
  frameBytes = 0;
  ackedPos = status->bytesDone;
  timedPos = -1;
  uint8_t bytes[4];
  PutPosition(static_cast<uint32_t>(status->bytesDone), bytes);
  SendBinaryHeader(Zm::ZDATA, bytes);
  if (status->code < 0) return 0;
  // At the end already (an empty file, or a receiver that asked for the end): strict receivers
  // take a ZEOF only after a ZDATA, so the frame is opened and closed with an empty subpacket.
  if (CheckAbort() || status->bytesDone >= status->fileSize) {
    SendSubpacket(0, Zm::ZCRCE);
    return 0;
  }
  // A window slides over a receiver that takes data while it answers and writes: the frame goes
  // on while acknowledgements come back, and stops only when the whole window is unanswered.
  const bool sliding = rxBufferSize != 0 && (rxFlags & (Zm::CANFDX | Zm::CANOVIO)) == (Zm::CANFDX | Zm::CANOVIO);
  // A damaged byte costs what is unanswered when the receiver notices it, so the window starts
  // at two subpackets and grows only while answers show that the line needs more.
  const int64_t least = sliding ? std::min<int64_t>(2 * SlidingSubpacket(), rxBufferSize) : 0;
  if (flightCap < least) flightCap = least;
  for (;;) {
    const int32_t end = SendChunk(sliding);
    if (status->code < 0) return 0;
    if (end == Zm::ZCRCW) return WaitForSync();
    if (end == Zm::ZCRCE) return 0;
    if (sliding) {
      if (timedPos < 0) {
        timedPos = status->bytesDone;
        timedAt = TickSource::Now();
      }
      const int32_t t = HearAcknowledgements();
      if (t != 0 || status->code < 0) return t;
    } else if (CheckReverseChannel()) {
      return status->code < 0 ? 0 : WaitForSync();
    }
    if (CheckAbort()) {
      SendSubpacket(0, Zm::ZCRCE);
      return 0;
    }
  }
}

int32_t ZModem::SlidingSubpacket() const {
  // Two subpackets to a window at least, so one is on the line while the other is answered.
  return static_cast<int32_t>(std::min<uint32_t>(std::max<uint32_t>(rxBufferSize / 2, 64), Zm::kSubpacketRoom));
}

void ZModem::TakeAnswerTime(int32_t ms) {
  if (fastestAnswerMs < 0 || ms < fastestAnswerMs) fastestAnswerMs = ms;
  // The quickest answer is the line's own delay; anything slower waited in a queue, and the
  // share of the time spent waiting is the share of the unanswered bytes that were queued.
  const int64_t queued = ms > 0 ? flightCap * (ms - fastestAnswerMs) / ms : 0;
  const int64_t step = SlidingSubpacket();
  if (queued < step / 2) {
    flightCap = std::min<int64_t>(flightCap + step, rxBufferSize);
  } else if (queued > step + step / 2) {
    flightCap = std::max<int64_t>(flightCap - step, std::min<int64_t>(2 * step, rxBufferSize));
  }
}

int32_t ZModem::SendChunk(bool sliding) {
  int32_t n = Zm::kSubpacketRoom;
  if (sliding) {
    n = SlidingSubpacket();
  } else if (rxBufferSize != 0) {
    n = static_cast<int32_t>(std::min<uint32_t>(rxBufferSize - static_cast<uint32_t>(frameBytes), Zm::kSubpacketRoom));
  }
  // The length announced is the length sent, also of a file that grows while it goes out.
  n = static_cast<int32_t>(std::min<int64_t>(n, status->fileSize - status->bytesDone));
  const int32_t count = n > 0 ? ReadFileData(status->bytesDone, n) : 0;
  status->blockLength = count > 0 ? count : 0;
  if (count <= 0) {
    status->code = TransferCode::ReadFailed;
    Finish();
    return 0;
  }
  status->bytesDone += count;
  frameBytes += count;
  // A sliding window asks for an answer with every subpacket (ZCRCQ) and keeps the frame going.
  // Where the sender stops to wait, the frame ends with ZCRCW, not ZCRCQ: after the answer a
  // new ZDATA header follows, and a receiver that took ZCRCQ still reads subpackets (lrzsz
  // does, and so do we), so it would take that header for a damaged subpacket.
  uint8_t end;
  if (count < n || status->bytesDone >= status->fileSize) {
    end = rxBufferSize != 0 && !sliding ? Zm::ZCRCW : Zm::ZCRCE;
  } else if (junkCount > 3) {
    end = Zm::ZCRCW;
  } else if (status->bytesDone == lastSyncPos) {
    end = Zm::ZCRCW;
  } else if (sliding) {
    end = Zm::ZCRCQ;
  } else if (rxBufferSize == 0) {
    end = (rxFlags & Zm::CANOVIO) ? Zm::ZCRCG : Zm::ZCRCW;
  } else {
    end = static_cast<uint32_t>(frameBytes) >= rxBufferSize ? Zm::ZCRCW : Zm::ZCRCG;
  }
  SendSubpacket(count, end);
  return status->code < 0 ? 0 : end;
}

int32_t ZModem::HearAcknowledgements() {
  uint32_t deadline = TickSource::Now() + kAckWaitMs;
  for (;;) {
    const bool full = status->bytesDone - ackedPos >= flightCap;
    if (!full && InputWaiting() <= 0) return 0;
    if (full && TickSource::Passed(deadline)) {
      // The receiver answers nothing: its answers were lost, or it lost our frame and waits
      // for one at its position. The frame starts again from the last answer it gave.
      link->ClearOutput();
      status->bytesDone = lastSyncPos = ackedPos;
      return Zm::ZRPOS;
    }
    const int32_t c = ReadRaw(full ? std::min<int32_t>(1000, static_cast<int32_t>(deadline - TickSource::Now())) : 0);
    if (c == LinkCode::Timeout) {
      if (CheckAbort()) return 0;
      continue;
    }
    if (c < 0) {
      status->code = c;
      return 0;
    }
    if (c != Ascii::CAN && c != Zm::ZPAD) continue;  // XON, XOFF, noise
    int32_t garbage = 0;
    const int32_t t = ReadHeader(garbage, Zm::kGarbageLimit, 1);
    if (status->code < 0) return 0;
    if (t < 0) continue;  // a damaged answer: the next one says as much
    if (t != Zm::ZACK) return TakeSync(t);
    const int64_t at = Position(headerBytes);
    if (at > ackedPos && at <= status->bytesDone) ackedPos = at;
    if (timedPos >= 0 && at >= timedPos && at <= status->bytesDone) {
      TakeAnswerTime(static_cast<int32_t>(TickSource::Now() - timedAt));
      timedPos = -1;
    }
    deadline = TickSource::Now() + kAckWaitMs;
  }
}

int32_t ZModem::ReadFileData(int64_t position, int32_t count) {
  int64_t offset = position - fileWindowStart;
  if (offset < 0 || offset + count > fileWindowLength) {
    // Refilled from the position asked for; a short read is the end of the file.
    fileWindowLength = 0;
    if (file->Seek(position, 0) != 0) return 0;
    const int32_t got = file->ReadBlock(fileWindow.get(), Zm::kFileWindow);
    if (got <= 0) return 0;
    fileWindowStart = position;
    fileWindowLength = got;
    offset = 0;
    count = std::min(count, got);
  }
  std::memcpy(buffer.get(), fileWindow.get() + offset, static_cast<size_t>(count));
  return count;
}

int32_t ZModem::CheckReverseChannel() {
  if (InputWaiting() <= 0) return 0;
  for (;;) {
    const int32_t c = ReadRaw(70);
    if (c == LinkCode::Timeout) {
      if (junkCount < 3) junkCount = 3;
      return 0;
    }
    if (c < 0) {
      status->code = c;
      return 1;
    }
    if (c == Ascii::CAN || c == Zm::ZPAD) return 1;
    if (PollAbort()) return 1;
    if (c == Ascii::XON || c == Ascii::XOFF) continue;
    if (junkCount == 10) {
      SendSubpacket(0, Zm::ZCRCE);
      return 1;
    }
    ++junkCount;
  }
}

bool ZModem::HeaderFollows() {
  const uint32_t deadline = TickSource::Now() + 500;
  for (;;) {
    const int32_t wait = static_cast<int32_t>(deadline - TickSource::Now());
    if (wait <= 0) return false;
    int32_t c = ReadRaw(0);
    if (c == LinkCode::Timeout) c = link->GetChar(wait);
    if (c < 0) return false;
    if (c == Zm::ZPAD) return true;
  }
}

int32_t ZModem::TakeSync(int32_t type) {
  if (type == Zm::ZRPOS) {
    // What is still queued for the abandoned position would only keep the line busy.
    link->ClearOutput();
    // A receiver cannot hold more than the file: asked for a position past its end, we tell it
    // where the file ends (and the count shown never passes the file's size).
    status->bytesDone = std::min<int64_t>(Position(headerBytes), status->fileSize);
    lastSyncPos = status->bytesDone;
  } else if (type == Zm::ZACK) {
    // A receiver cannot have more than we sent: a position beyond it is noise.
    if (Position(headerBytes) <= status->bytesDone) status->bytesDone = Position(headerBytes);
  }
  return type;
}

int32_t ZModem::WaitForSync(bool takeAck) {
  const uint8_t zero[4] = {};
  for (;;) {
    const int32_t t = ReceiveHeader(0);
    switch (t) {
      case Zm::ZACK:
        return takeAck ? TakeSync(t) : t;
      case Zm::ZRPOS:
      case Zm::ZRINIT:
      case Zm::ZSKIP:
      case Zm::ZNAK:
      case Zm::ZABORT:
      case Zm::ZFIN:
      case Zm::ZFERR:
        return TakeSync(t);
      default:
        if (status->code < 0) return 0;
        SendBinaryHeader(Zm::ZNAK, zero);
        if (status->code < 0) return 0;
        break;
    }
  }
}

void ZModem::EndBatch() {
  const uint8_t zero[4] = {};
  SendHexHeader(Zm::ZFIN, zero);
  if (status->code < 0) return;
  for (;;) {
    int32_t t = ReceiveHeader(1);
    const bool waiting = t == Zm::ZRINIT || t == Zm::ZFERR;
    if (waiting) t = ReceiveHeader(1);
    if (t < 0 && status->code >= 0) {
      // Every file was acknowledged already. A receiver that went quiet took our ZFIN and
      // left (its answer was lost): the batch is done, as lrzsz's sender also takes it. After
      // a ZRINIT it did not take it, and is quiet because it waits for it.
      if (frameKind == LinkCode::Timeout && !waiting) return;
      SendHexHeader(Zm::ZFIN, zero);
      if (status->code < 0) return;
      continue;
    }
    if (t == Zm::ZFIN) {
      SendByteWait('O');
      SendByteWait('O');
      // Closing a port purges what it still holds, and the receiver waits seconds for these two
      // letters: let them leave the queue, and give a relay (a pty's, a modem's) a moment.
      const int32_t drained = link->AwaitDrain(2000);
      if (drained == 0 || drained == LinkCode::Timeout) Pause(*link, 20);
      return;
    }
    if (t == Zm::ZABORT) return;
    if (status->code < 0) return;
    CountError(TransferCode::ZErrorLimit);
    if (status->code < 0) return;
    SendHexHeader(Zm::ZFIN, zero);
    if (status->code < 0) return;
  }
}
