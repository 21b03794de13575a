// The command engine against a scripted line (exact timing of silence, floods, garbage) and
// against the emulated Hayes modem (the bytes it received, hang-up and carrier).
#include "modem/Modem.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/ModemBench.h"
#include "link/SerialPort.h"
#include "modem/MemoryModemInstallation.h"
#include "modem/ModemInstallation.h"

namespace {
const char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{modems}\\0003";
const char kName[] = "Test Modem";
constexpr uint32_t kEveryOption = 0x1 | 0x2 | 0x4 | 0x10 | 0x40 | 0x80 | 0x100;

// A modem installation with every piece the engine reads, each setting beside the ones the
// configuration must not pick.
void Install(MemoryModemInstallation& m, uint32_t options = kEveryOption, uint32_t volume = 1) {
  auto driver = m.localMachine.Create(kKey);
  driver->WriteString("Reset", "ATZ<cr>");
  auto init = driver->Create("Init");
  init->WriteString("10", "ATS0=0<cr>");  // order by number, a gap after 1: AT&F, ATV1, ATS0=0
  init->WriteString("1", "AT&F<cr>");
  init->WriteString("3", "ATV1<cr>");
  driver->WriteString("UserInit", "S11=55");
  driver->Create("Hangup")->WriteString("1", "ATH0<cr>");
  auto s = driver->Create("Settings");
  const char* const values[][2] = {
      {"Prefix", "AT"}, {"Terminator", "<cr>"}, {"DialPrefix", "D"}, {"DialSuffix", ""}, {"Tone", "T"},
      {"Pulse", "P"}, {"CallSetupFailTimer", "S7=<#>"}, {"InactivityTimeout", "S30=<#>"},
      {"SpeakerVolume", "L0"}, {"SpeakerVolume_Low", "L1"}, {"SpeakerVolume_Med", "L2"},
      {"SpeakerMode_Off", "M0"}, {"SpeakerMode_Dial", "M1"}, {"Compression_On", "S46=138"},
      {"Compression_Off", "S46=136"}, {"ErrorControl_On", "S36=5"}, {"ErrorControl_Forced", "S36=7"},
      {"ErrorControl_Cellular_Forced", "S36=9"}, {"ErrorControl_Off", "S36=0"}, {"FlowControl_Hard", "&K3"},
      {"FlowControl_Off", "&K0"}, {"Modulation_CCITT", "B0"}, {"Modulation_Bell", "B1"},
      {"SpeedNegotiation_On", "S37=0"}, {"Blind_On", "X3"}, {"Blind_Off", "X4"}};
  for (const auto& v : values) s->WriteString(v[0], v[1]);
  ModemDefaults d;
  d.callSetupFailTimer = 60;
  d.inactivityTimeout = 10;
  d.speakerVolume = volume;
  d.speakerMode = 1;
  d.preferredOptions = options;
  m.SetDefaults(kName, d);
}

// A line that answers every command line with OK at once.
void AnswerOk(FakeComLink& link) {
  link.onOutput = [](FakeComLink& l) {
    if (!l.output.empty() && l.output.back() == '\r') l.AddInput("\r\nOK\r\n");
  };
}

struct Cancelling : Modem {
  using Modem::Modem;
  uint32_t cancelAt = 0;
  int32_t QueryAbort() override { return cancelAt && FakeClock::Now() >= cancelAt ? -901 : 0; }
};

// The engine on a scripted line, over the installation above as `change` leaves it.
struct Rig {
  explicit Rig(const std::function<void(MemoryModemInstallation&)>& change = nullptr) {
    Install(installation);
    if (change) change(installation);
    modem.SetResponseTimeout(2000);
  }
  FakeClock clock;
  FakeComLink link;
  SerialPort port{&link};
  MemoryModemInstallation installation;
  Cancelling modem{installation};
};

TEST(Modem, SettingsFromTheInstallation) {
  const auto settings = [](const char* name, const char* text) {
    return [=](MemoryModemInstallation& m) { m.localMachine.Create(kKey)->Create("Settings")->WriteString(name, text); };
  };
  const auto remove = [](const char* subkey) {
    return [=](MemoryModemInstallation& m) { m.localMachine.Open(kKey, true)->DeleteTree(subkey); };
  };
  const char* const kAll = "S7=60S30=10L2M1S46=138S36=7&K3B0S37=0X4";
  const struct {
    const char* what;
    std::function<void(MemoryModemInstallation&)> change;
    int32_t init;
    const char* settings;
    const char* dialPrefix;
    int32_t flow;
    const char* modem = kName;
  } cases[] = {
      {"every piece", nullptr, 0, kAll, "DT", 2},
      {"no driver key", [](auto& m) { m.localMachine.DeleteTree(kKey); }, -801, "", "", 0},
      {"no Init", remove("Init"), -801, "", "", 0},
      {"no Settings", remove("Settings"), -801, "", "", 0},
      {"no Hangup", remove("Hangup"), -801, kAll, "DT", 2},
      {"a configuration of zeros", [](auto& m) { m.SetDefaults(kName, {}); }, 0,
       "S7=0S30=0L1M0S46=136S36=0&K0B1X4", "DP", 0},
      {"pulse, cellular forced, volume 3", [](auto& m) { Install(m, 0x2 | 0x4 | 0x8 | 0x40, 3); }, 0,
       "S7=60S30=10L0M1S46=136S36=9&K0B0X4", "DP", 0},
      {"timer template without <", settings("CallSetupFailTimer", "S7=45"), 0,
       "S7=45S30=10L2M1S46=138S36=7&K3B0S37=0X4", "DT", 2},
      {"a piece too long is left out", settings("Blind_Off", "X4S40=1S41=1"), 0,
       "S7=60S30=10L2M1S46=138S36=7&K3B0S37=0", "DT", 2},
      {"a prefix too long is left out, not cut", settings("DialPrefix", "DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"), 0, kAll, "T",
       2},
      {"a modem the platform has no configuration for: tone", nullptr, 0, "", "DT", 0, "Unknown"},
  };
  for (const auto& c : cases) {
    Rig rig(c.change);
    AnswerOk(rig.link);
    EXPECT_EQ(rig.modem.Init(&rig.port, c.modem, kKey), c.init) << c.what;
    EXPECT_EQ(rig.modem.SettingsString(), c.settings) << c.what;
    EXPECT_EQ(rig.modem.DialPrefix(), c.dialPrefix) << c.what;
    EXPECT_EQ(rig.modem.FlowControl(), c.flow) << c.what;
  }
}

TEST(Modem, SendCommandWaitsForExactlyOk) {
  std::string flood, garbage;
  for (int i = 0; i < 100; ++i) flood += "RING\r\n";
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>('!' + i % 90);
  const struct {
    std::string reply;
    int32_t result;
    uint32_t elapsedMs;
    const char* callResult;
    bool dialing;  // the command that makes the call, whose wait the call's result ends
  } cases[] = {
      {"ATE0\r\r\nOK\r\n", 0, 0, "", false},
      {"\r\nok\r\n", -848, 2000, "", false},
      {"\r\nERROR\r\n", -848, 2000, "", false},
      {"", -848, 2000, "", false},                                           // a silent modem
      {"\r\nNO CARRIER\r\n\r\nOK\r\n", 0, 0, "", false},                   // left from a call
      {"\r\nBUSY\r\n\r\nOK\r\n", -848, 0, "BUSY", true},                    // the call is decided
      {"\r\nCONNECT 28800/ARQ\r\n~~data", -848, 0, "CONNECT 28800/ARQ", true},  // data not read
      {flood, -848, 0, "", false},
      {garbage, -848, 0, "", false},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.port.SetPacingDelay(7);
    ASSERT_EQ(rig.modem.Init(&rig.port, kName, kKey), 0);
    rig.link.output.clear();
    rig.link.AddInput(c.reply);
    const uint32_t start = FakeClock::Now();
    const int32_t result = c.dialing ? rig.modem.Dial("5") : rig.modem.SendCommand("E0", true);
    EXPECT_EQ(result, c.result) << c.reply.substr(0, 30);
    EXPECT_EQ(FakeClock::Now() - start, c.elapsedMs) << c.reply.substr(0, 30);
    EXPECT_EQ(rig.modem.TakeCallResult(), c.callResult);
    EXPECT_EQ(std::string(rig.link.output.begin(), rig.link.output.end()), c.dialing ? "ATDT5\r" : "ATE0\r");
    EXPECT_EQ(rig.port.PacingDelay(), 7);
  }
}

TEST(Modem, ReadLineAndWaitLimits) {
  Rig rig;
  AnswerOk(rig.link);
  ASSERT_EQ(rig.modem.Init(&rig.port, kName, kKey), 0);
  rig.link.AddInput(std::string(300, 'x') + "\r\n");
  char line[256];
  EXPECT_EQ(rig.modem.ReadLine(line, sizeof line, 1000), 1000);
  EXPECT_EQ(std::string(line), std::string(255, 'x'));
  EXPECT_EQ(rig.modem.ReadLine(line, sizeof line, 1000), 1000);
  EXPECT_EQ(std::string(line), std::string(45, 'x'));
  EXPECT_EQ(rig.modem.ReadLine(line, sizeof line, 120), 0);  // three 50 ms steps of silence
  EXPECT_TRUE(rig.modem.DialFits(std::string(38, '5').c_str()));
  EXPECT_FALSE(rig.modem.DialFits(std::string(39, '5').c_str()));  // AT + DT + 39 + CR > 43
  rig.link.output.clear();
  EXPECT_EQ(rig.modem.Dial(std::string(39, '5').c_str()), -801);
  EXPECT_TRUE(rig.link.output.empty());
  rig.modem.cancelAt = FakeClock::Now() + 120;
  const uint32_t start = FakeClock::Now();
  EXPECT_EQ(rig.modem.ReadLine(line, sizeof line, 100000), -901);
  EXPECT_EQ(FakeClock::Now() - start, 120u);
}

TEST(Modem, CommandsByteForByteAndTheHangUpAgainstTheEmulator) {
  // A whole call on the emulator with every piece of the installation, then the hang-up as
  // installed, as changed to leave the carrier up, and with a modem that no longer answers.
  for (const char* hangup : {"ATH0<cr>", "AT<cr>", "quiet"}) {
    ModemBench bench;
    ModemBench::Port& ours = bench.Add("1001");
    ModemBench::Port& theirs = bench.Add("1002");
    bench.Type(theirs.modem, "ATS0=1\r");
    MemoryModemInstallation installation;
    Install(installation);
    if (hangup[0] == 'A') installation.localMachine.Create(kKey)->Create("Hangup")->WriteString("1", hangup);
    SerialPort port(&ours);
    Modem modem(installation);
    modem.SetResponseTimeout(2000);
    ASSERT_EQ(modem.Init(&port, kName, kKey), 0);
    if (hangup[0] == 'q') {  // escape off: +++ is only data, and the modem stays silent
      bench.Type(ours.modem, "ATS2=255\r");
      ours.modem.ToComputer().clear();
    }
    if (hangup[2] == 'H') {
      modem.ResetSettings();
      EXPECT_EQ(modem.SendCommand("L1", true), 0);
    }
    modem.Dial("1002");
    char line[81] = "";
    for (int32_t left = 10000; left > 0 && !Modem::IsCallResult(line);) left = modem.ReadLine(line, sizeof line, left);
    ASSERT_STREQ(line, "CONNECT 33600");
    const size_t before = ours.modem.Received().size();
    const int32_t result = modem.HangUp();
    const std::string sent = ours.modem.Received().substr(before);
    if (hangup[0] == 'q') {
      EXPECT_EQ(result, -848);
      EXPECT_EQ(sent, "+++");  // no hang-up command after an escape that got no OK
    } else {
      EXPECT_EQ(result, hangup[2] == 'H' ? 0 : -801) << hangup;
      EXPECT_EQ(sent, hangup[2] == 'H' ? "+++ATH0\r" : "+++AT\r");
      EXPECT_EQ(ours.modem.GetState(), hangup[2] == 'H' ? HayesModem::State::OnHook : HayesModem::State::OnlineCommand);
    }
    if (hangup[2] == 'H') {
      EXPECT_EQ(ours.modem.Received(),
                "ATZ\rAT&F\rATV1\rATS0=0\rATS7=60S30=10L2M1S46=138S36=7&K3B0S37=0X4\rATS11=55\rATL1\rATDT1002\r"
                "+++ATH0\r");
    }
  }
}

TEST(ModemInstallation, ModemSettingsFromACommConfigBlock) {
  // dwSize, wVersion, wReserved, a 28-byte DCB, provider subtype, offset, size; then MODEMSETTINGS
  // (actual size, required size, dev-specific offset and size, then the five settings read).
  uint8_t block[100] = {};
  const auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(36, 6);  // PST_MODEM
  put(40, 52);
  put(44, 48);
  const uint32_t settings[] = {60, 90, 2, 3, 0x1F3};
  for (int i = 0; i < 5; ++i) put(52 + 16 + 4 * i, settings[i]);
  ModemDefaults d;
  ASSERT_TRUE(ModemInstallation::FromCommConfig(block, sizeof block, d));
  EXPECT_EQ(std::make_tuple(60u, 90u, 2u, 3u, 0x1F3u),
            std::make_tuple(d.callSetupFailTimer, d.inactivityTimeout, d.speakerVolume, d.speakerMode,
                            d.preferredOptions));
  EXPECT_FALSE(ModemInstallation::FromCommConfig(block, 80, d));  // the record is cut short
  put(36, 1);                                                      // PST_RS232: a plain port
  EXPECT_FALSE(ModemInstallation::FromCommConfig(block, sizeof block, d));
}
}  // namespace
