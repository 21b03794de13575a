// The Windows command engine: a modem installation written under HKEY_LOCAL_MACHINE of the
// private prefix, read through the system registry and the platform's default configuration,
// driving the emulated Hayes modem behind COM3 (with-emulator.sh). Wine's serial port shows no
// carrier detect on a pty, so the call ends at "CONNECT but no carrier" (20) although the
// emulator connected it; the carrier path itself is proven in process (tests/modem).
#include "modem/Modem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fakes/Prerequisite.h"
#include "link/LineControl.h"
#include "link/SerialPort.h"
#include "link/Win32Port.h"
#include "modem/ConnectModem.h"
#include "modem/ModemInstallation.h"
#include "modem/RegistryKey.h"
#include "modem/StatusSink.h"

namespace {
const char kDriverKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0099";

struct Sink : StatusSink {
  void ShowStatus(const char*) override {}
  void SetHelpId(int32_t topic) override { help = topic; }
  int32_t help = 0;
};

TEST(ModemPty, InstallationInTheRegistryDrivesTheEmulatedModem) {
  const char* com = std::getenv("ZANDREL_COM_A");
  const char* log = std::getenv("ZANDREL_EMULATOR_LOG");
  REQUIRE_PREREQUISITE(com && log, "run through with-ptys.sh and with-emulator.sh");
  {
    auto driver = Registry::LocalMachine()->Create(kDriverKey);
    ASSERT_NE(driver, nullptr);
    driver->WriteString("Reset", "ATZ<cr>");
    auto init = driver->Create("Init");
    init->WriteString("1", "AT&F<cr>");
    init->WriteString("2", "ATE0V1&C1<cr>");
    driver->WriteString("UserInit", "X4");
    driver->Create("Hangup")->WriteString("1", "ATH0<cr>");
    auto settings = driver->Create("Settings");
    const char* const values[][2] = {{"Prefix", "AT"}, {"Terminator", "<cr>"}, {"DialPrefix", "D"},
                                     {"Tone", "T"},     {"Pulse", "P"},         {"Blind_Off", "X4"}};
    for (const auto& v : values) settings->WriteString(v[0], v[1]);
  }
  Win32Port device(std::atoi(com) - 1, 4096, 2048);
  ASSERT_EQ(device.Status(), 0);
  SerialPort port(&device);
  LineControl lines(&port);
  Modem modem(ModemInstallation::System());
  modem.SetResponseTimeout(2000);
  ASSERT_EQ(modem.Init(&port, "Zandrel Test Modem", kDriverKey), 0);
  EXPECT_EQ(modem.SettingsString(), "");  // the platform has no default configuration for it
  CallPlan call;
  call.telephone = "200";
  call.userCommand = "L1";
  call.timeoutSeconds = 20;
  Sink sink;
  std::string why;
  EXPECT_EQ(ConnectModem(call, modem, lines, sink, why), 20);
  EXPECT_EQ(sink.help, 32);
  EXPECT_EQ(modem.HangUp(), 0);
  Registry::LocalMachine()->DeleteTree(kDriverKey);

  // What the emulated modem received (dialled with the prefix the Settings key makes, "DT"),
  // and that it did connect the call.
  std::ifstream in(std::string("Z:") + log);
  const std::string received((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(received,
            "ATZ\nAT&F\nATE0V1&C1\nAT\nATX4\nATL1\nATDT200\nstate dialing\nstate online\nstate online-command\n"
            "ATH0\nstate on-hook\n");
}
}  // namespace
