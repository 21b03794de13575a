#include "fakes/Switchboard.h"

HayesModem& Switchboard::Add(const std::string& number) { return modems.emplace_back(*this, number); }

HayesModem* Switchboard::Find(const std::string& digits) {
  for (HayesModem& m : modems)
    if (m.Number() == digits) return &m;
  return nullptr;
}

void Switchboard::Tick(uint32_t now) {
  for (HayesModem& m : modems) m.Tick(now);
}
