// An emulated Hayes modem, the peer that the modem code is proven against: command mode with the
// commands our modem code and its installations send (echo, S-registers, &C, reset), dialing and
// answering through a Switchboard, data mode left with +++ inside guard times, DTR (as &D2) and
// carrier detect. Letters it does not model (speaker, modulation, flow control...) take their
// digits and answer OK. Pure logic: bytes come in with the time they arrive, results and data
// wait in ToComputer(), and Tick moves the timers. The link ends (ModemBench in process,
// hayes-emulator on ptys) move the bytes and hold whatever lock they need.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class Switchboard;

class HayesModem {
 public:
  enum class State { OnHook, Dialing, Answering, Online, OnlineCommand };
  static constexpr size_t kRoom = 16384;  // bytes that can wait for the computer
  // Call progress in milliseconds: dial tone and digits, the ring cadence, carrier training,
  // busy tone detection.
  static constexpr uint32_t kDialMs = 1000, kRingCycleMs = 6000, kTrainMs = 2000, kBusyMs = 2000;

  HayesModem(Switchboard& board, std::string number);

  // The computer's side: a byte it sent at `now` (ms).
  void FromComputer(uint8_t byte, uint32_t now);
  // Bytes FromComputer takes now: in data mode what the far modem's computer side has room for.
  size_t Room() const;
  std::deque<uint8_t>& ToComputer() { return toComputer; }
  // The modem's carrier detect line (&C0: always on; &C1: while a call carries data).
  bool CarrierDetect() const { return settings.dcdFollows ? carrier : true; }
  bool Ringing() const { return ringingFrom != nullptr; }
  void SetDtr(bool on, uint32_t now);
  // Fires whatever timer is due at `now`.
  void Tick(uint32_t now);
  // The time of the nearest armed timer (a ring, a connection, a call's result, the escape's
  // guard time); false when none is armed.
  bool NextTimer(uint32_t& at) const;

  // Ends the call as the telephone line would (both sides lose carrier).
  void CutLine(uint32_t now);
  // Calls at this number find it busy; a line without dial tone answers every dial with NO DIALTONE.
  bool busyLine = false;
  bool dialTone = true;

  State GetState() const { return state; }
  const std::string& Number() const { return number; }
  // Every byte the computer sent, and every command line (after "AT", as typed).
  const std::string& Received() const { return received; }
  const std::vector<std::string>& Commands() const { return commands; }

 private:
  struct Settings {
    bool echo = true, dcdFollows = true;
    uint8_t s[256] = {};
    Settings();
  };
  void Execute(const std::string& line, uint32_t now);
  void Dial(const std::string& dialString, uint32_t now);
  void Answer(uint32_t now);
  void Connect(uint32_t now);
  void Hang(uint32_t now);
  void LoseCarrier(uint32_t now);
  void Result(const std::string& text);
  bool Busy() const;

  Switchboard& board;
  std::string number;
  Settings settings;
  State state = State::OnHook;
  bool dtr = true, carrier = false;
  std::deque<uint8_t> toComputer;
  std::string line, received;
  std::vector<std::string> commands;
  bool sawA = false, inLine = false;
  HayesModem* peer = nullptr;         // the other end of our call
  HayesModem* ringingFrom = nullptr;  // a caller ringing us
  HayesModem* ringing = nullptr;      // the callee we ring
  uint32_t nextRing = 0, connectAt = 0, giveUpAt = 0, carrierLossAt = 0, progressAt = 0;
  bool connecting = false, giveUpArmed = false, lossArmed = false;
  const char* progressText = nullptr;  // a call result due at progressAt
  uint32_t lastData = 0;
  int escapes = 0;
};
