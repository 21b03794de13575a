// Emulated Hayes modems on a switchboard for in-process tests, each with its computer side as a
// ComLink on the fake clock. On one thread every Idle moves time a millisecond; under Run, time
// moves only while every side waits in Idle (Lockstep), so dial and answer time-outs
// are exact and a 60-second wait takes microseconds.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/FakeComLink.h"
#include "fakes/Lockstep.h"
#include "fakes/Switchboard.h"

class ModemBench {
 public:
  class Port;

  explicit ModemBench(uint32_t startMs = 1000);
  ~ModemBench();
  ModemBench(const ModemBench&) = delete;
  ModemBench& operator=(const ModemBench&) = delete;

  // A modem on line `number` and the port of its computer side.
  Port& Add(const std::string& number);
  // Sends text from a modem's computer side, as a terminal typing it would.
  void Type(HayesModem& modem, const std::string& text);
  // Runs each side on its own thread under the lockstep clock; returns when all have ended.
  void Run(const std::vector<std::function<void()>>& sides) { step.Run(sides); }

  Switchboard board;
  // Called, with the bench locked, each time the clock moves on.
  std::function<void(uint32_t now)> onTick;

 private:
  friend class Port;
  Lockstep step;
  std::vector<std::unique_ptr<Port>> ports;
};

// The computer side of one modem: the fake link's settings and signal records, with the bytes,
// the idle and the modem lines going to the modem.
class ModemBench::Port : public FakeComLink {
 public:
  Port(ModemBench& bench, HayesModem& modem);

  HayesModem& modem;
  bool carrierWired = true;  // false: a cable without the carrier detect wire (three wires, a pty)

  int32_t Idle(int32_t maxWaitMs) override;
  void GetBufferStatus(BufferStatus& s, int32_t side) override;
  int32_t Signal(int32_t number, int32_t value) override;
  int32_t PutByte(uint8_t byte) override { return Write(&byte, 1) == 1 ? 0 : lastStatus; }
  int32_t Write(const uint8_t* data, int32_t length) override;
  int32_t GetByte() override;
  int32_t Read(uint8_t* data, int32_t length) override;
  int32_t ClearBuffer(int32_t direction, int32_t count) override;

 private:
  ModemBench& bench;
  int32_t dtr = 1;
  Lockstep::Side idle;
};
