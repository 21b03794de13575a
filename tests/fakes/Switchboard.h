// The telephone exchange between emulated Hayes modems: each modem has a number, a dial finds the
// callee by its digits, and one Tick moves every modem's timers.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "fakes/HayesModem.h"

class Switchboard {
 public:
  // A modem on the line `number`; the reference stays valid for the switchboard's life.
  HayesModem& Add(const std::string& number);
  // The modem at exactly these digits, or null (a number nobody has).
  HayesModem* Find(const std::string& digits);
  void Tick(uint32_t now);
  const std::deque<HayesModem>& Modems() const { return modems; }

 private:
  std::deque<HayesModem> modems;
};
