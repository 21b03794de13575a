// Telnet with the COM port control option (RFC 2217), the client's side, without any I/O of its
// own: fed the bytes a terminal server sent, it hands back the serial data among them and keeps
// what the commands said (options agreed or refused, answers to our requests, the modem and line
// state the server notified, whether it suspended our output); asked to send, it appends the
// wire bytes of data or of a request. NetworkPort moves the bytes; tests script them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TelnetComPort {
 public:
  static constexpr uint8_t kIac = 255;

  // The option's commands, client to server; a server's answer or notice is the command + 100.
  enum Command : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
  };

  // Where the server stands on the COM port option we offered.
  enum class Agreement { Asked, Agreed, Refused };

  // Queues the opening offer: WILL COM-PORT-OPTION, binary transmission and suppress go-ahead
  // both ways.
  void Start();

  // Takes n bytes as the server sent them, in pieces of any size (a command may be split
  // anywhere). Writes the data among them to `data`, which may be `bytes` itself (data is never
  // longer than what came), and returns its length. Negotiation the server starts is answered
  // into Outgoing().
  size_t Receive(const uint8_t* bytes, size_t n, uint8_t* data);

  // Wire bytes of data: 0xFF doubled.
  static void EncodeData(const uint8_t* bytes, size_t n, std::vector<uint8_t>& wire);
  static size_t WireSize(uint8_t byte) { return byte == kIac ? 2 : 1; }

  // Queues a request with its value (four bytes for the baud rate, one otherwise) and returns
  // the key under which its answer is awaited. SET-CONTROL values share answers by group: the
  // outbound flow setting, BREAK, DTR, RTS, the inbound flow setting each have their own key.
  int Request(Command command, uint32_t value);
  // Whether a request under `key` still waits for its answer; the last answer under it.
  bool Pending(int key) const { return pending[key] > 0; }
  uint32_t Answer(int key) const { return answers[key]; }
  // Forgets requests under `key` that were never answered (a server that answers late then no
  // longer counts as answering the next one).
  void GiveUp(int key) { pending[key] = 0; }

  // Bytes to send: our requests and our answers to the server's negotiation. The caller takes
  // them from the front.
  std::vector<uint8_t>& Outgoing() { return outgoing; }
  const std::vector<uint8_t>& Outgoing() const { return outgoing; }

  Agreement ComPort() const { return comPort; }
  // The server's last NOTIFY-MODEMSTATE (CTS 0x10, DSR 0x20, RI 0x40, CD 0x80, deltas below),
  // -1 until one came.
  int32_t ModemState() const { return modemState; }
  // Line errors notified since the last call (overrun 0x02, parity 0x04, framing 0x08, break
  // 0x10), cleared.
  uint8_t TakeLineErrors() {
    const uint8_t e = lineErrors;
    lineErrors = 0;
    return e;
  }
  uint8_t LineErrors() const { return lineErrors; }
  // True between the server's FLOWCONTROL-SUSPEND and FLOWCONTROL-RESUME: no data may go.
  bool Suspended() const { return suspended; }
  // The server's signature text, if it sent one.
  const std::string& Signature() const { return signature; }

 private:
  enum class State { Data, Iac, Verb, SubOption, Sub, SubIac };
  static constexpr int kKeys = 18;  // commands 0..12, then the five SET-CONTROL groups
  static constexpr size_t kSubRoom = 64;

  struct Option {
    bool enabled = false;
    bool asked = false;  // we sent WILL/DO (or WONT/DONT) and wait for the reply
  };

  static int KeyOf(uint8_t command, uint32_t value);
  void Negotiate(uint8_t verb, uint8_t option);
  void SubNegotiation();
  void Send3(uint8_t verb, uint8_t option);

  State state = State::Data;
  uint8_t verb = 0;
  uint8_t sub[kSubRoom];
  size_t subLength = 0;
  static constexpr int kOptions = 45;  // options above the COM port option (44) are refused
  Option ours[kOptions];               // our side (WILL/WONT)
  Option theirs[kOptions];             // the server's side (DO/DONT)
  Agreement comPort = Agreement::Asked;
  int pending[kKeys] = {};
  uint32_t answers[kKeys] = {};
  int32_t modemState = -1;
  uint8_t lineErrors = 0;
  bool suspended = false;
  std::string signature;
  std::vector<uint8_t> outgoing;
};
