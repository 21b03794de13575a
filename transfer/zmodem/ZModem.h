// The ZModem engine: one object sends a batch (Send) or receives one (Receive), over a
// SerialPort, with ZDLE framing, hex and binary headers, CRC-16 or CRC-32 subpackets,
// windowed frames, crash recovery and the file management options for existing files.
#pragma once
#include <cstdint>
#include <memory>

#include "transfer/BlockCheck.h"
#include "transfer/FileTransfer.h"

// Frame types, header kinds, subpacket ends and capability flags of the published protocol.
namespace Zm {
constexpr uint8_t ZPAD = 0x2A, ZDLE = 0x18, ZBIN = 0x41, ZHEX = 0x42, ZBIN32 = 0x43;
constexpr uint8_t ZCRCE = 0x68, ZCRCG = 0x69, ZCRCQ = 0x6A, ZCRCW = 0x6B, ZRUB0 = 0x6C, ZRUB1 = 0x6D;
constexpr int32_t ZRQINIT = 0, ZRINIT = 1, ZSINIT = 2, ZACK = 3, ZFILE = 4, ZSKIP = 5, ZNAK = 6,
                  ZABORT = 7, ZFIN = 8, ZRPOS = 9, ZDATA = 10, ZEOF = 11, ZFERR = 12, ZCRC = 13,
                  ZCHALLENGE = 14, ZCOMPL = 15;
constexpr int32_t CANFDX = 0x01, CANOVIO = 0x02, CANBRK = 0x04, CANFC32 = 0x20;
constexpr int32_t ZCRESUM = 3;
constexpr int32_t kSubpacketRoom = 1024;  // data bytes of one subpacket we send
// Data bytes of one subpacket we accept: many senders use up to 8 KiB (ZModem-8K).
constexpr int32_t kReceiveRoom = 8192;
constexpr int32_t kOutRoom = 2060;     // escaped image of one subpacket we send
constexpr int64_t kMaxPosition = 0xFFFFFFFF;  // the last file position a header can name
constexpr int32_t kFileWindow = 32768; // file bytes the sender reads at a time
constexpr int32_t kNameRoom = 260;     // a received name, NUL included
constexpr int32_t kGarbageLimit = 2048; // bytes that are not a header, per ReceiveHeader
constexpr int32_t kSendNameRoom = 256; // the sender's copy of a paired name
}  // namespace Zm

class ZModem : public TransferEngine {
 public:
  // Without a status object the engine makes its own. Sets the status's protocol to 7 and its
  // check type to 4; a failed buffer allocation shows later as -920 from Send or Receive.
  ZModem(SerialPort* port, TransferStatus* statusObject);
  ~ZModem() override;

  // Sends every file of a ";"-separated list of specifications (wildcards allowed) in one
  // batch. A file the receiver skips is reported with -933, one over 4 GiB - 1 with -941 (not
  // offered), and the batch goes on. 0; -902, -903, -907, -908 (also a receiver that keeps
  // asking for data it was sent), -914, -932 (nothing sent), -920, -927, link codes, or the
  // host's QueryAbort code.
  int32_t Send(char* fileList) override;
  // Receives one batch; names come from fileName (a ";"-list, may be null) or else from the
  // sender. A file left out is answered with ZSKIP, reported with its code and the batch goes
  // on: -939 an existing file under option 7, -933 the other options' skips and a sender's name
  // that could leave the receiving folder (absolute, a drive, a device, "..", a control
  // character, a part over 255 bytes; shown by its printable start), -941 a file over
  // 4 GiB - 1. 0 when the rest went well; -902, -904, -908, -914 (also a ZABORT or ZFIN in the
  // middle of a file), -920, -940 (a file that ended short), -956, -927, link codes, or the
  // host's code.
  int32_t Receive(char* fileName) override;

  // 0 the name part only, 1 the name as given, 2 (sending) the paired receiver name.
  void SetPathMode(int32_t mode) { pathMode = mode; }
  // 1 never resume, 2 resume when the sender asks, 3 always resume an existing shorter file.
  void SetCrashRecovery(int32_t mode) { crashRecovery = mode; }
  // Holds the remote (and pauses 70 ms) around every disk write while receiving.
  void SetHoldRemote(int32_t on) { holdRemote = on; }
  // Bytes: advertised when receiving, caps the frame when sending; 0 streams.
  void SetWindowSize(int32_t bytes) { windowSize = bytes; }
  // Existing-file option 1..6; anything else gives 7 (never overwrite).
  void SetManagement(int32_t option) { management = (option >= 1 && option <= 6) ? option : 7; }
  // Error limit of a run; 0 gives no practical limit.
  void SetMaxErrors(int32_t limit) { maxErrors = limit == 0 ? 0x7FFFFFFF : limit; }

  // Framing, shared by both directions (public so tests and fuzzers reach it).
  // Writes the byte, escaped when it must be, to out; the count written (1 or 2).
  static int32_t EscapeByte(uint8_t byte, uint8_t* out);
  // Hex header of type with four header bytes; SendBlockWait's result (negative: failed).
  int32_t SendHexHeader(int32_t type, const uint8_t bytes[4]);
  // Binary header, CRC-32 when the receiver announced CANFC32, else CRC-16.
  int32_t SendBinaryHeader(int32_t type, const uint8_t bytes[4]);
  // One subpacket of `length` bytes of the buffer ending with frameEnd, in one block write.
  int32_t SendSubpacket(int32_t length, uint8_t frameEnd);
  // The next header's type (0..255), or -802, -931, -937, -938 (with returnOnError set),
  // or the run's code once it is negative (-908, -914, host codes).
  int32_t ReceiveHeader(int32_t returnOnError);
  // The frame end (0x68..0x6B) with the data in the buffer and its length in blockLength;
  // or -802, -805 (over 8192 bytes), -937, -938, -914.
  int32_t ReceiveSubpacket();

  uint8_t* Data() { return buffer.get(); }
  const uint8_t* HeaderBytes() const { return headerBytes; }
  int32_t FrameKind() const { return frameKind; }
  // The receiver capabilities the sender learnt from ZRINIT (tests set it to pick the CRC).
  void SetReceiverFlags(int32_t flags) { rxFlags = flags; }
  int32_t ReceiverBufferSize() const { return static_cast<int32_t>(rxBufferSize); }

  // Header bytes as a little-endian 32-bit number, and back.
  static uint32_t Position(const uint8_t bytes[4]);
  static void PutPosition(uint32_t value, uint8_t bytes[4]);

 private:
  // Reading: a read-ahead block fed by the link's Read keeps the per-byte path free of
  // virtual calls; GetChar is used only when nothing is waiting.
  int32_t ReadRaw(int32_t timeoutMs) {
    return aheadPos < aheadEnd ? ahead[aheadPos++] : ReadWaiting(timeoutMs);
  }
  int32_t ReadWaiting(int32_t timeoutMs);
  int32_t InputWaiting();
  void DropInput();
  int32_t ReadStripped();
  int32_t ReadEscaped();
  // 1 at a ZPAD; -802 after quietSeconds silent seconds in a row, -931 once garbage reaches
  // garbageLimit, or the run's code (an abort, five CAN, a failed link).
  int32_t HuntPad(int32_t& garbage, int32_t garbageLimit, int32_t quietSeconds);
  int32_t ReadFrameKind(int32_t& garbage);
  // One header without counting an error: its type; -802 after quietSeconds of silence (or
  // silence inside the header), -931 when garbage reaches garbageLimit or the header is not one,
  // -937, -938; or the run's code. Garbage counts the bytes that were not a header.
  int32_t ReadHeader(int32_t& garbage, int32_t garbageLimit, int32_t quietSeconds);
  int32_t ReadHexHeader();
  int32_t ReadBinaryHeader(bool crc32);
  void CountError(int32_t limitCode);

  // Receiving.
  int32_t ReceiveFiles();
  int32_t GetFileHeader(int32_t type);
  int32_t ReceiveFileData();
  void SendPositionHeader(int32_t type, int64_t position);
  // Names the announced file and reads its length and time: 0 to take it, else why it is
  // refused (-933, -941).
  int32_t ParseFileInfo();
  void HoldAround(bool begin);

  // Shared by both directions: decides on and opens the current file.
  int32_t OpenForTransfer();
  int32_t FileCrc(uint32_t& crc);

  // Sending.
  int32_t SendFiles();
  int32_t GetReceiverInit();
  int32_t BuildFileInfo();
  int32_t SendFileHeader();
  void SendFileData();
  // One frame from bytesDone: 0 when it reached the end of the file, else the type of the
  // header that stopped it (ZRPOS has already moved bytesDone); 0 with the code set on failure.
  int32_t SendFrame();
  // One subpacket; the frame end it carried, 0 on failure.
  int32_t SendChunk(bool sliding);
  // While a sliding window goes out: 0 to go on, or the header that stops the frame.
  int32_t HearAcknowledgements();
  // Bytes of one subpacket of a sliding window.
  int32_t SlidingSubpacket() const;
  // Moves flightCap by what the answer to a timed subpacket, ms after it went out, says of the
  // queues between us and the receiver.
  void TakeAnswerTime(int32_t ms);
  // What a header from the receiver does to the position (ZRPOS also drops queued output).
  int32_t TakeSync(int32_t type);
  // Copies count file bytes from position into the buffer through the file window: the
  // number copied, fewer at the end of the file, 0 on a failed read.
  int32_t ReadFileData(int64_t position, int32_t count);
  int32_t CheckReverseChannel();
  // The receiver's next header; a ZACK moves bytesDone back to it unless takeAck is false.
  int32_t WaitForSync(bool takeAck = true);
  bool HeaderFollows();
  void EndBatch();
  void SendFileInfo();

  std::unique_ptr<uint8_t[]> outBuffer;
  int32_t outCount = 0;
  char nameBuffer[Zm::kSendNameRoom] = {};
  std::unique_ptr<char[]> receiveName;  // the batch's 260-byte name buffer
  uint8_t headerBytes[4] = {};
  int32_t frameKind = 0;
  int32_t hexLineDone = 0;
  int32_t rxFlags = 0;
  uint32_t rxBufferSize = 0;
  int32_t frameBytes = 0;
  int64_t lastSyncPos = -1;
  int64_t ackedPos = 0;  // the receiver's last acknowledgement within the current frame
  int64_t flightCap = 0;  // unanswered bytes a sliding window allows; 0 until a frame sets it
  int64_t timedPos = -1;  // end of the subpacket whose answer is being timed, -1 when none
  uint32_t timedAt = 0;
  int32_t fastestAnswerMs = -1;  // the quickest answer of the file, -1 before the first
  int32_t junkCount = 0;
  uint32_t sendFileTime = 0;
  int64_t appendOffset = 0;
  int64_t announcedLength = -1;  // the current file's length from its ZFILE, -1 when missing
  int32_t fileInfoLength = 0;  // length of the ZFILE information in the buffer
  // The sender reads its file a window at a time: one read serves many subpackets, and a
  // ZRPOS back into the window is served without touching the file again.
  std::unique_ptr<uint8_t[]> fileWindow;
  int64_t fileWindowStart = 0;  // file position of fileWindow[0]
  int32_t fileWindowLength = 0; // 0: the window holds nothing

  int32_t pathMode = 0;
  int32_t crashRecovery = 3;
  int32_t holdRemote = 0;
  int32_t windowSize = 4096;
  int32_t management = 7;
  int32_t maxErrors = 0x7FFFFFFF;

  std::unique_ptr<Crc16Check> crc16;
  std::unique_ptr<Crc32Check> crc32;

  static constexpr int32_t kAheadRoom = 4096;
  uint8_t ahead[kAheadRoom];
  int32_t aheadPos = 0;
  int32_t aheadEnd = 0;
};
