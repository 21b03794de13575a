// The emulated modem is test equipment: these cases pin down the Hayes behaviour the modem tests
// rely on, so a fault in the emulator cannot make a faulty engine pass.
#include "fakes/HayesModem.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/ModemBench.h"

namespace {
std::string Take(HayesModem& m) {
  std::string s(m.ToComputer().begin(), m.ToComputer().end());
  m.ToComputer().clear();
  return s;
}

void Let(ModemBench::Port& port, uint32_t ms) {
  for (uint32_t i = 0; i < ms; ++i) port.Idle();
}

TEST(HayesEmulator, CommandMode) {
  const struct {
    const char* typed;
    const char* answer;
  } cases[] = {
      {"AT\r", "AT\r\r\nOK\r\n"},
      {"noise at e0\r", "noise at e0\r\r\nOK\r\n"},  // echo ends after the line that turns it off
      {"ATS7=45 S7?\r", "ATS7=45 S7?\r\r\n045\r\n\r\nOK\r\n"},
      {"ATE1Y1E0\r", "ATE1Y1E0\r\r\nERROR\r\n"},  // E1 took effect, E0 was never reached
      {"ATS256=1\r", "ATS256=1\r\r\nERROR\r\n"},
      {"ATV0\r", "ATV0\r0\r"},
      {"ATX\b\r", "ATX\b\r\r\nOK\r\n"},
      {"ATO\r", "ATO\r\r\nERROR\r\n"},  // no call to return to
      {"AT&C0&D2&K3L2M1B0X4\r", "AT&C0&D2&K3L2M1B0X4\r\r\nOK\r\n"},
  };
  for (const auto& c : cases) {
    ModemBench bench;
    HayesModem& m = bench.Add("1").modem;
    bench.Type(m, c.typed);
    EXPECT_EQ(Take(m), c.answer) << c.typed;
  }
  ModemBench bench;
  HayesModem& m = bench.Add("1").modem;
  bench.Type(m, "AT" + std::string(HayesModem::kMaxCommand + 1, 'E') + "\r");
  EXPECT_NE(Take(m).find("ERROR"), std::string::npos);
}

TEST(HayesEmulator, CallCarriesDataUntilEscapeAndHangUp) {
  ModemBench bench;
  ModemBench::Port& a = bench.Add("100");
  ModemBench::Port& b = bench.Add("200");
  bench.Type(b.modem, "ATE0S0=2\r");
  bench.Type(a.modem, "ATE0DT 200\r");
  Take(a.modem);
  Take(b.modem);
  Let(a, HayesModem::kDialMs + HayesModem::kRingCycleMs + HayesModem::kTrainMs);
  EXPECT_EQ(Take(b.modem), "\r\nRING\r\n\r\nRING\r\n\r\nCONNECT 33600\r\n");
  EXPECT_EQ(Take(a.modem), "\r\nCONNECT 33600\r\n");
  EXPECT_EQ(a.Signal(LineSignal::Cd, -1), 1);

  a.PutString("+++data");  // no guard time before: plain data
  Let(a, 1500);
  EXPECT_EQ(Take(b.modem), "+++data");
  EXPECT_EQ(Take(a.modem), "");
  a.PutString("+++");
  Let(a, 999);
  EXPECT_EQ(Take(a.modem), "");
  Let(a, 1);
  EXPECT_EQ(Take(a.modem), "\r\nOK\r\n");
  EXPECT_EQ(Take(b.modem), "+++");
  a.PutString("ATH0\r");
  EXPECT_EQ(Take(a.modem), "\r\nOK\r\n");
  EXPECT_EQ(a.Signal(LineSignal::Cd, -1), 0);
  Let(a, 1399);  // S10: 1.4 s before the far side calls the carrier lost
  EXPECT_EQ(b.Signal(LineSignal::Cd, -1), 1);
  Let(a, 1);
  EXPECT_EQ(Take(b.modem), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(b.Signal(LineSignal::Cd, -1), 0);
}
}  // namespace
