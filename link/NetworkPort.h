// The ComLink over a TCP connection to a serial port elsewhere: a terminal server speaking Telnet
// with the COM port control option (rfc2217://host:port), which carries the line settings, the
// modem lines and purges to the real port, or a raw byte stream (socket://host:port or
// tcp://host:port), where line settings have nothing to reach. The serial ports' read-ahead and
// transmit queue, and an Idle that waits on the connection.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/ComLink.h"
#include "link/NetSocket.h"
#include "link/TelnetComPort.h"

class NetworkPort : public ComLink {
 public:
  static constexpr int32_t kReadAheadSize = 4096;
  // Bounds of the waits, in milliseconds: each address of the host to connect; the server's
  // word on the COM port option; its answer to a setting; its answer to DTR, RTS or BREAK; the
  // last bytes and the server's own end when closing.
  static constexpr int32_t kConnectMs = 5000;
  static constexpr int32_t kOptionAnswerMs = 3000;
  static constexpr int32_t kAnswerMs = 1000;
  static constexpr int32_t kLineAnswerMs = 100;
  static constexpr int32_t kCloseGraceMs = 1000;

  struct Address {
    bool telnet = false;  // rfc2217://
    std::string host;     // an IPv6 address without its brackets
    std::string port;
  };
  // Whether name is written as a URL (letters, then "://"): such a name is no device path.
  static bool IsUrl(const std::string& name);
  // The address in a URL; false, with problem in words, for a scheme other than rfc2217,
  // socket and tcp, or anything but host:port after it.
  static bool Parse(const std::string& url, Address& address, std::string& problem);

  // Connects at once (Initialize). Status() 0, or -801 with Reason() in words: the URL, a name
  // not found, the connection refused or unanswered, the server refusing the COM port option
  // or never answering it. Then raises DTR and RTS. Queue sizes are in bytes (the transmit
  // queue's counting the doubled 0xFF of the wire). `socket` replaces the system's (tests).
  explicit NetworkPort(const std::string& url, int32_t receiveQueueSize = 4096,
                       int32_t transmitQueueSize = 2048, std::unique_ptr<NetSocket> socket = nullptr);
  // Closes the connection (CloseDevice).
  ~NetworkPort() override;
  NetworkPort(const NetworkPort&) = delete;
  NetworkPort& operator=(const NetworkPort&) = delete;

  // Waits at most maxWaitMs for input (and for room to send while output waits here), or, when
  // input waits unread (a pause), only for room to send, so wait loops neither spin nor wake for
  // nothing. 0, or -828 (also left in the last status) once the connection has ended (closed by
  // the server, reset) and no data is left to read.
  int32_t Idle(int32_t maxWaitMs) override;
  // RFC 2217: the server's last notified CTS 0x10, DSR 0x20, RI 0x40, CD 0x80 (0 before the
  // first notice); raw: 0. Also collects notified line errors.
  int32_t ReadModemStatus() override;
  // Connects, and with Telnet agrees the options and asks the server for its settings, which
  // GetDataFormat and GetHandshake then give. The outcome is in the last status. Nothing while
  // connected (or after the connection ended: it is not made again).
  void Initialize(int32_t portIndex) override;
  // The connection is made by Initialize: 0 while it stands, -828 otherwise.
  int32_t OpenDevice() override;
  // RFC 2217: drops DTR and RTS, as the serial ports do. Sends what is still queued, ends the
  // connection and waits (kCloseGraceMs at most) for the server to end its side. 0.
  int32_t CloseDevice() override;
  // Receive count: data read ahead and what the system holds (Telnet commands among it).
  // Transmit count: what waits here and what the server has not yet taken. Flags: bit 0 while
  // HoldRemote holds the server, bit 1 while the server has suspended our output.
  void GetBufferStatus(BufferStatus& status, int32_t side) override;
  // Purges the transmit side and keeps the new sizes (0 keeps a size). 0, or -828 when closed.
  int32_t SetBufferSizes(int32_t receiveSize, int32_t xoffLimit, int32_t transmitSize) override;
  // Input codes 0, 1 (XON/XOFF), 3 (DTR), 4 (RTS); 13 gives -803. Output codes 0, 1, 12 (CTS),
  // 13 (DSR), 15 (CD). Other input codes return -801 with -830 left in the last status, other
  // output codes -832. RFC 2217: -803 when the server answers with another setting (it cannot);
  // an unanswered request counts as taken. Raw: kept, nothing to reach.
  int32_t SetHandshake(int32_t inputCode, int32_t outputCode) override;
  int32_t GetHandshake(int32_t& inputCode, int32_t& outputCode) override;
  // RFC 2217: BREAK on or off at the server; the kept state. Raw: -827 (no break on a stream).
  int32_t SetBreak(int32_t state) override;
  // RFC 2217: DTR and RTS are set at the server and answered from the kept state (the server's
  // answer, when it gives one); CTS, DSR, RI, CD from its notices, 2 until the first. Raw: DTR,
  // RTS, CTS, DSR, RI and CD are 2 (unknown). Line errors from the server's notices.
  int32_t Signal(int32_t number, int32_t value) override;
  // Parity N O E M S (-840 otherwise), data bits 5..8 (4 gives -803, others -842), stop bits 1
  // or 2 (-841), with 5 data bits one and a half; any rate above 0 (-839 for 0). RFC 2217: only
  // what differs from the server's settings is asked; a value the server answers otherwise is
  // refused with that code (-839, -840, -842, -841) and the server's value kept; an unanswered
  // request counts as taken. Raw: kept, nothing to reach.
  int32_t SetDataFormat(uint32_t baudRate, char parity, int32_t dataBits, int32_t stopBits) override;
  void GetDataFormat(uint32_t& baudRate, char& parity, int32_t& dataBits, int32_t& stopBits) override;
  int32_t GetLineStatus(LineStatus& status) override;
  // 0, or the last status (-805 when the byte did not fit, -828 when the connection is gone).
  int32_t PutByte(uint8_t byte) override;
  int32_t PutString(const char* text) override;
  // Queues what fits in the transmit queue and sends what the connection takes, never waiting;
  // fewer than length leaves -805 in the last status (-828 once the connection is gone).
  int32_t Write(const uint8_t* buffer, int32_t length) override;
  // The byte goes out ahead of queued data. 0 or -828.
  int32_t TransmitImmediate(uint8_t byte) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;
  // Purges drop what waits here; RFC 2217 also asks the server to purge its buffer of that side.
  int32_t ClearBuffer(int32_t direction, int32_t count) override;
  // Six lines in the layout of the serial ports, the first naming the URL.
  void Dump(DumpCallback callback, void* context) override;
  // RFC 2217 with XON/XOFF input flow control: FLOWCONTROL-SUSPEND / -RESUME. -803 otherwise
  // (TCP holds a server we do not read from anyway).
  int32_t HoldRemote() override;
  int32_t ReleaseRemote() override;

  const std::string& Url() const { return url; }
  bool IsOpen() const { return socket->IsOpen(); }
  // Why the connection did not open or ended, in words; empty while all is well.
  const std::string& Reason() const { return reason; }

 private:
  // Sends what the connection takes: Telnet's commands first (never into the middle of a
  // doubled 0xFF), then data unless the server suspended it. False once the connection is gone.
  bool Flush();
  bool OutputWaiting() const;
  // Reads what the connection holds into the read-ahead (at most room), decoded; the data count.
  int32_t Pull(size_t room);
  // Telnet decoding in place of n received bytes; the data count. Answers go out at once.
  int32_t Decode(uint8_t* bytes, int32_t n);
  // Waits on the connection, reading ahead, until done() or the deadline; done()'s answer.
  bool WaitFor(const std::function<bool()>& done, uint32_t deadline);
  // Waits for the answer under key until the deadline; false when none came (then no longer
  // awaited) or the connection ended.
  bool Await(int key, uint32_t deadline);
  void Ended();
  void CollectLineErrors();
  void TakeHandshakeAnswers(int outKey, int inKey);

  std::string url;
  Address address;
  std::string reason;
  std::unique_ptr<NetSocket> socket;
  TelnetComPort telnet;
  bool ended = false;
  int32_t receiveQueueSize, transmitQueueSize;
  int32_t xoffLimit = 128;
  std::vector<uint8_t> ahead;  // data read ahead, from aheadStart on
  size_t aheadStart = 0;
  std::vector<uint8_t> queue;  // wire bytes of data not yet sent, from queueStart on
  size_t queueStart = 0;
  bool midPair = false;        // the last byte sent was the first of a doubled 0xFF
  // The line as the server has it (or as asked, when it did not answer); known once learnt.
  uint32_t baudRate = 19200;
  char parity = 'N';
  int32_t dataBits = 8, stopBits = 1;
  bool formatKnown[4] = {};    // baud rate, data size, parity, stop size
  int32_t inputHandshake = 0, outputHandshake = 0;
  bool handshakeKnown = false;
  int32_t dtrState = 1, rtsState = 1, breakState = 0;
  // The server has left a DTR, RTS or BREAK request unanswered (ser2net in front of a device
  // without modem lines never answers them): no further one is waited for.
  bool linesUnanswered = false;
  uint32_t lineErrors = 0;     // the Win32 CE_ bits, as the serial ports keep them
  bool holdingRemote = false;
  bool idleSawInput = false;   // the last Idle found input waiting
  bool readSinceIdle = false;
  bool outputFull = false;     // the last Write came up short: Idle also returns on room
};
