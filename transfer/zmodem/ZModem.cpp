// ZModem construction and framing: ZDLE escaping, the three header forms, data subpackets
// and the readers with their time-out, garbage and cancel limits. Both directions use them.
#include "transfer/zmodem/ZModem.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"

namespace {
constexpr int32_t kCharTimeoutMs = 2500;   // per character inside a header or subpacket
constexpr int32_t kHuntTimeoutMs = 1000;   // per character while hunting for ZPAD
constexpr int32_t kHuntTimeouts = 10;      // time-outs in a row that end a hunt
constexpr int32_t kCancelCount = 5;        // CAN (or ZDLE) in a row that cancel
constexpr int32_t kHexTailWaitMs = 55;     // room for CR LF to arrive after a hex header
constexpr int32_t kHexTailLooks = 5;
constexpr uint32_t kCrc32Residue = 0xDEBB20E3u;
constexpr uint8_t kXon = 0x11, kXoff = 0x13;

// Exactly the bytes a ZModem peer may take for flow control, a modem escape or the ZDLE
// itself, in both parities. CR is escaped always (not only after '@'), which costs one byte
// in 128 on random data and spares any Telnet-like hop from eating CR-NUL pairs.
struct EscapeTable {
  bool escape[256] = {};
  constexpr EscapeTable() {
    const uint8_t set[] = {0x0D, 0x10, 0x11, 0x13, 0x18, 0x8D, 0x90, 0x91, 0x93};
    for (uint8_t b : set) escape[b] = true;
  }
};
constexpr EscapeTable kEscape;

const char kHexDigits[] = "0123456789abcdef";

inline int32_t HexValue(int32_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

ZModem::ZModem(SerialPort* port, TransferStatus* statusObject) : TransferEngine(port, statusObject) {
  crc16.reset(new (std::nothrow) Crc16Check);
  crc32.reset(new (std::nothrow) Crc32Check);
  AllocateBuffer(Zm::kReceiveRoom);
  outBuffer.reset(new (std::nothrow) uint8_t[Zm::kOutRoom]);
  fileWindow.reset(new (std::nothrow) uint8_t[Zm::kFileWindow]);
  if (!crc16 || !crc32 || !outBuffer || !fileWindow) {
    buffer.reset();
    bufferSize = 0;
  }
  ownsFile = 1;
  status->protocol = 7;
  status->checkType = 4;
}

ZModem::~ZModem() = default;

uint32_t ZModem::Position(const uint8_t bytes[4]) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void ZModem::PutPosition(uint32_t value, uint8_t bytes[4]) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

void ZModem::CountError(int32_t limitCode) {
  ++status->errors;
  ++status->retries;
  if (status->retries > maxErrors) status->code = limitCode;
}

// ---------------------------------------------------------------------------------------------
// Sending

int32_t ZModem::EscapeByte(uint8_t byte, uint8_t* out) {
  if (!kEscape.escape[byte]) {
    out[0] = byte;
    return 1;
  }
  out[0] = Zm::ZDLE;
  out[1] = byte ^ 0x40;
  return 2;
}

int32_t ZModem::SendHexHeader(int32_t type, const uint8_t bytes[4]) {
  uint8_t raw[5] = {static_cast<uint8_t>(type), bytes[0], bytes[1], bytes[2], bytes[3]};
  uint32_t crc = 0;
  for (uint8_t b : raw) crc = Crc16Update(b, crc);
  char text[32];
  int n = std::snprintf(text, sizeof text, "**%cB", Zm::ZDLE);
  for (uint8_t b : raw) {
    text[n++] = kHexDigits[b >> 4];
    text[n++] = kHexDigits[b & 15];
  }
  n += std::snprintf(text + n, sizeof text - n, "%04x\r\n", static_cast<unsigned>(crc & 0xFFFF));
  // The XON wakes a peer that took a stray XOFF; ZACK and ZFIN go without it because the
  // sender may be reading data (or the final "OO") right behind them.
  if (type != Zm::ZFIN && type != Zm::ZACK) text[n++] = static_cast<char>(kXon);
  return SendBlockWait(reinterpret_cast<const uint8_t*>(text), n);
}

int32_t ZModem::SendBinaryHeader(int32_t type, const uint8_t bytes[4]) {
  const uint8_t raw[5] = {static_cast<uint8_t>(type), bytes[0], bytes[1], bytes[2], bytes[3]};
  uint8_t out[3 + 2 * 9];
  int32_t n = 0;
  out[n++] = Zm::ZPAD;
  out[n++] = Zm::ZDLE;
  if (rxFlags & Zm::CANFC32) {
    out[n++] = Zm::ZBIN32;
    for (uint8_t b : raw) n += EscapeByte(b, out + n);
    const uint32_t crc = ~crc32->Compute(raw, sizeof raw, 0xFFFFFFFFu);
    for (int i = 0; i < 4; ++i) n += EscapeByte(static_cast<uint8_t>(crc >> (8 * i)), out + n);
  } else {
    out[n++] = Zm::ZBIN;
    for (uint8_t b : raw) n += EscapeByte(b, out + n);
    const uint32_t crc = crc16->Compute(raw, sizeof raw, 0);
    n += EscapeByte(static_cast<uint8_t>(crc >> 8), out + n);
    n += EscapeByte(static_cast<uint8_t>(crc), out + n);
  }
  return SendBlockWait(out, n);
}

int32_t ZModem::SendSubpacket(int32_t length, uint8_t frameEnd) {
  const uint8_t* data = buffer.get();
  uint8_t* out = outBuffer.get();
  int32_t n = 0;
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t b = data[i];
    if (kEscape.escape[b]) {
      out[n++] = Zm::ZDLE;
      out[n++] = b ^ 0x40;
    } else {
      out[n++] = b;
    }
  }
  out[n++] = Zm::ZDLE;
  out[n++] = frameEnd;
  if (rxFlags & Zm::CANFC32) {
    uint32_t crc = crc32->Compute(data, static_cast<size_t>(length), 0xFFFFFFFFu);
    crc = ~Crc32Update(frameEnd, crc);
    for (int i = 0; i < 4; ++i) n += EscapeByte(static_cast<uint8_t>(crc >> (8 * i)), out + n);
  } else {
    uint32_t crc = crc16->Compute(data, static_cast<size_t>(length), 0);
    crc = Crc16Update(frameEnd, crc);
    n += EscapeByte(static_cast<uint8_t>(crc >> 8), out + n);
    n += EscapeByte(static_cast<uint8_t>(crc), out + n);
  }
  if (frameEnd == Zm::ZCRCW) out[n++] = kXon;
  outCount = n;
  return SendBlockWait(out, n);
}

// ---------------------------------------------------------------------------------------------
// Reading

int32_t ZModem::ReadWaiting(int32_t timeoutMs) {
  const int32_t n = link->Link()->Read(ahead, kAheadRoom);
  if (n > 0) {
    aheadPos = 1;
    aheadEnd = n;
    return ahead[0];
  }
  return link->GetChar(timeoutMs);
}

int32_t ZModem::InputWaiting() {
  // Whether anything waits, learnt by one non-blocking read into the read-ahead block: one
  // system call where the queue counts of a port may cost several, once per sent subpacket.
  if (aheadPos < aheadEnd) return aheadEnd - aheadPos;
  const int32_t n = link->Link()->Read(ahead, kAheadRoom);
  aheadPos = 0;
  aheadEnd = n > 0 ? n : 0;
  return aheadEnd;
}

void ZModem::DropInput() {
  aheadPos = aheadEnd = 0;
  link->ClearInput(0);
}

// A byte now, or after CheckAbort a byte within the time-out; aborts return the run's code.
#define ZM_READ(result, timeoutMs)                                  \
  do {                                                              \
    if (aheadPos < aheadEnd) {                                      \
      result = ahead[aheadPos++];                                   \
    } else {                                                        \
      result = ReadWaiting(0);                                      \
      if (result == LinkCode::Timeout) {                            \
        if (CheckAbort()) return status->code;                      \
        result = WaitByte(timeoutMs);                               \
      }                                                             \
    }                                                               \
  } while (0)

int32_t ZModem::ReadStripped() {
  for (;;) {
    int32_t c;
    ZM_READ(c, kCharTimeoutMs);
    if (c < 0) return c;
    c &= 0x7F;
    if (c != kXon && c != kXoff) return c;
  }
}

int32_t ZModem::ReadEscaped() {
  int32_t c;
  ZM_READ(c, kCharTimeoutMs);
  if (c != Zm::ZDLE) return c;
  int32_t cancels = 1;
  for (;;) {
    ZM_READ(c, kCharTimeoutMs);
    if (c < 0) return c;
    if (c == Zm::ZDLE) {
      if (++cancels >= kCancelCount) return status->code = TransferCode::RemoteCancelled;
      continue;
    }
    switch (c) {
      case Zm::ZCRCE:
      case Zm::ZCRCG:
      case Zm::ZCRCQ:
      case Zm::ZCRCW:
        return c | 0x100;
      case Zm::ZRUB0:
        return 0x7F;
      case Zm::ZRUB1:
        return 0xFF;
      default:
        return c ^ 0x40;
    }
  }
}

int32_t ZModem::HuntPad(int32_t& garbage, int32_t garbageLimit, int32_t quietSeconds) {
  int32_t timeouts = 0, cancels = 0;
  for (;;) {
    // A peer that never stops talking must not keep the host from being asked.
    if (PollAbort()) return status->code;
    int32_t c;
    if (aheadPos < aheadEnd) {
      c = ahead[aheadPos++];
    } else {
      c = ReadWaiting(0);
      if (c == LinkCode::Timeout) {
        if (CheckAbort()) return status->code;
        c = WaitByte(kHuntTimeoutMs);
      }
    }
    if (c == LinkCode::Timeout) {
      if (++timeouts >= quietSeconds) return LinkCode::Timeout;
      continue;
    }
    if (c < 0) return status->code = c;  // a failing Yield: the link is gone
    if (c == Ascii::CAN) {
      timeouts = 0;
      if (++cancels >= kCancelCount) {
        status->code = TransferCode::RemoteCancelled;
        Finish();
        return status->code;
      }
      continue;
    }
    if (c == Zm::ZPAD) return 1;
    timeouts = cancels = 0;
    // Checked as the counter moves, so a hunt that starts past the limit still reads (and
    // waits) instead of failing at once and spinning through the error count.
    if (++garbage >= garbageLimit) return TransferCode::NoHeader;
  }
}

int32_t ZModem::ReadFrameKind(int32_t& garbage) {
  int32_t c;
  do {
    c = ReadStripped();
  } while (c == Zm::ZPAD);
  if (c < 0) return c;
  if (c == Zm::ZDLE) return ReadStripped();
  ++garbage;
  return 0;
}

int32_t ZModem::ReadHexHeader() {
  hexLineDone = 0;
  uint8_t raw[7];
  uint32_t crc = 0;
  for (uint8_t& b : raw) {
    const int32_t hi = HexValue(ReadStripped());
    if (hi < 0) return status->code < 0 ? status->code : TransferCode::NoHeader;
    const int32_t lo = HexValue(ReadStripped());
    if (lo < 0) return status->code < 0 ? status->code : TransferCode::NoHeader;
    b = static_cast<uint8_t>(hi << 4 | lo);
    crc = Crc16Update(b, crc);
  }
  if (crc != 0) return TransferCode::Crc16Mismatch;
  std::memcpy(headerBytes, raw + 1, 4);
  // The line end (CR LF, lrzsz's CR 0x8A, or an XON) normally follows at once; wait for it at
  // most 55 ms instead of always, so a stop-and-wait sender does not idle on every ZACK.
  const uint32_t deadline = TickSource::Now() + kHexTailWaitMs;
  for (int32_t look = 0; look < kHexTailLooks; ++look) {
    int32_t wait = static_cast<int32_t>(deadline - TickSource::Now());
    if (wait < 0) wait = 0;
    int32_t c = ReadRaw(0);
    if (c == LinkCode::Timeout && wait > 0) c = link->GetChar(wait);
    if (c < 0) {
      if (c != LinkCode::Timeout) return status->code = c;
      continue;
    }
    c &= 0x7F;
    if (c == Ascii::LF) {
      // The XON most peers put behind the line end, when it came with the header: taken here,
      // it cannot hold up a sender's look at the reverse channel (70 ms per file).
      if (aheadPos < aheadEnd && (ahead[aheadPos] & 0x7F) == kXon) ++aheadPos;
      break;
    }
    if (c != Ascii::CR && c != kXon) return TransferCode::NoHeader;
  }
  hexLineDone = 1;
  return raw[0];
}

int32_t ZModem::ReadBinaryHeader(bool wide) {
  uint8_t raw[9];
  const int32_t count = wide ? 9 : 7;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t c = ReadEscaped();
    if (c < 0) return c;
    // A frame end where a header byte belongs: its low byte goes in and the CRC decides.
    raw[i] = static_cast<uint8_t>(c);
  }
  if (wide) {
    uint32_t crc = 0xFFFFFFFFu;
    for (int32_t i = 0; i < 9; ++i) crc = Crc32Update(raw[i], crc);
    if (crc != kCrc32Residue) return TransferCode::Crc32Mismatch;
  } else {
    uint32_t crc = 0;
    for (int32_t i = 0; i < 7; ++i) crc = Crc16Update(raw[i], crc);
    if (crc != 0) return TransferCode::Crc16Mismatch;
  }
  std::memcpy(headerBytes, raw + 1, 4);
  return raw[0];
}

int32_t ZModem::ReadHeader(int32_t& garbage, int32_t garbageLimit, int32_t quietSeconds) {
  for (;;) {
    const int32_t hunt = HuntPad(garbage, garbageLimit, quietSeconds);
    if (hunt != 1) {
      frameKind = LinkCode::Timeout;
      return hunt;
    }
    const int32_t kind = ReadFrameKind(garbage);
    frameKind = kind;
    if (kind == Zm::ZBIN) return ReadBinaryHeader(false);
    if (kind == Zm::ZHEX) return ReadHexHeader();
    if (kind == Zm::ZBIN32) return ReadBinaryHeader(true);
    if (status->code < 0) return status->code;
    if (kind == LinkCode::Timeout) return kind;
    // A pad in the middle of other bytes: hunt on, as long as the garbage allows.
    if (kind != 0 || garbage >= garbageLimit) return TransferCode::NoHeader;
  }
}

int32_t ZModem::ReceiveHeader(int32_t returnOnError) {
  int32_t garbage = 0;
  for (;;) {
    // Headers that keep coming (a peer repeating itself) would otherwise never reach a wait.
    if (PollAbort()) return status->code;
    int32_t result = ReadHeader(garbage, Zm::kGarbageLimit, kHuntTimeouts);
    if (result >= 0) return result;
    if (status->code < 0) return status->code;
    if (frameKind == LinkCode::Timeout) result = TransferCode::NoHeader;  // nothing that starts a header
    CountError(TransferCode::ErrorLimit);
    if (status->code < 0) return status->code;
    if (returnOnError) return result;
  }
}

int32_t ZModem::ReceiveSubpacket() {
  status->blockLength = 0;
  uint8_t* data = buffer.get();
  int32_t length = 0;
  int32_t end;
  for (;;) {
    // Plain bytes straight from the read-ahead block; ZDLE and empty input take the slow path.
    while (aheadPos < aheadEnd) {
      const uint8_t b = ahead[aheadPos];
      if (b == Zm::ZDLE) break;
      ++aheadPos;
      if (length >= Zm::kReceiveRoom) {
        status->blockLength = length;
        return LinkCode::ShortWrite;
      }
      data[length++] = b;
    }
    const int32_t c = ReadEscaped();
    if (c < 0) {
      status->blockLength = length;
      return c;
    }
    if (c & 0x100) {
      end = c & 0xFF;
      break;
    }
    if (length >= Zm::kReceiveRoom) {
      status->blockLength = length;
      return LinkCode::ShortWrite;
    }
    data[length++] = static_cast<uint8_t>(c);
  }
  status->blockLength = length;
  if (frameKind == Zm::ZBIN32) {
    uint32_t crc = crc32->Compute(data, static_cast<size_t>(length), 0xFFFFFFFFu);
    crc = Crc32Update(static_cast<uint8_t>(end), crc);
    for (int i = 0; i < 4; ++i) {
      const int32_t c = ReadEscaped();
      if (c < 0) return c;
      crc = Crc32Update(static_cast<uint8_t>(c), crc);
    }
    if (crc != kCrc32Residue) return TransferCode::Crc32Mismatch;
  } else {
    uint32_t crc = crc16->Compute(data, static_cast<size_t>(length), 0);
    crc = Crc16Update(static_cast<uint8_t>(end), crc);
    uint32_t got = 0;
    for (int i = 0; i < 2; ++i) {
      const int32_t c = ReadEscaped();
      if (c < 0) return c;
      got = (got << 8) | static_cast<uint32_t>(c & 0xFF);
    }
    if (got != crc) return TransferCode::Crc16Mismatch;
  }
  return end;
}
