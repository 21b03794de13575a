// Whole zandrel processes calling through emulated Hayes modems on pseudo-terminals
// (hayes-emulator): one calling modem dials a zandrel host that answers, then rz sitting
// behind an answering modem. ZModem, 1 MiB byte-exact, and every modem back on-hook. A pty has
// no carrier detect, hence --no-carrier-detect; the carrier itself is proven in process
// (tests/modem and tests/job).
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/TestData.h"
#include "interop/Peers.h"

namespace {

// The generic Hayes modem's exact commands, up to the dial.
std::string Dialer(const std::string& number) {
  return "ATZ\nAT&F\nATE0V1&C1&D2S0=0\nATS7=60L2M1&K0B0X4\nATDT" + number + "\nstate dialing\nstate online\n";
}

TEST(ModemInterop, ZandrelDialsZandrelThenRzBehindAnAnsweringModem) {
  REQUIRE_PREREQUISITE(Have("rz"), "lrzsz missing");
  ASSERT_EQ(0, access(kZandrel.c_str(), X_OK)) << kZandrel << " not built";
  const ScratchFolder scratch("zandrel-modems.");
  const std::string dir = scratch.path.string(), data = RandomBytes(1u << 20, 1009);
  Spit(dir + "/report.bin", data);
  std::filesystem::create_directories(dir + "/in");
  std::filesystem::create_directories(dir + "/rz");
  const auto log = [&](const std::string& number) { return Slurp(dir + "/" + number + ".log"); };
  const auto endsOnHook = [&](const std::string& number) {
    return Eventually([&] {
      const std::string l = log(number);
      return l.size() > 14 && l.compare(l.size() - 14, 14, "state on-hook\n") == 0;
    });
  };
  // rz on a pty loses its last bytes unless its tcdrain waits (the cure library).
  ChildProcess emulator, receiver;
  ChildOptions o;
  o.stderrPath = dir + "/emulator.err";
  ASSERT_TRUE(emulator.Start({kBinaryDir + "/tests/hayes-emulator", dir, "5551001", "5551002",
                              "5551003=cd " + dir + "/rz && LD_PRELOAD=" + kBinaryDir +
                                  "/tests/interop/libtcdrain_wait.so exec rz -q"},
                             o))
      << emulator.Error();
  ASSERT_TRUE(Eventually([&] { return access((dir + "/ready").c_str(), F_OK) == 0; }));
  o.stderrPath = dir + "/receive.txt";
  ASSERT_TRUE(receiver.Start({kZandrel, "receive", "--port", dir + "/5551002", "--answer", "--no-carrier-detect",
                              "--protocol", "zmodem", "--dir", dir + "/in"},
                             o));
  ASSERT_TRUE(Eventually([&] { return log("5551002").find("ATS0=1") != std::string::npos; }));
  o.stderrPath = dir + "/send.txt";
  for (const char* number : {"555-1002", "555-1003"}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(0, ChildProcess::Run({kZandrel, "send", "--port", dir + "/5551001", "--dial", number,
                                    "--no-carrier-detect", "--protocol", "zmodem", "--window", "0",
                                    dir + "/report.bin"},
                                   o, 60000))
        << Slurp(dir + "/send.txt");
    EXPECT_NE(log("5551001").find(Dialer(number)), std::string::npos) << log("5551001");
    EXPECT_TRUE(endsOnHook("5551001")) << log("5551001");
  }
  EXPECT_EQ(receiver.Wait(30000), 0) << Slurp(dir + "/receive.txt");
  EXPECT_TRUE(Slurp(dir + "/in/report.bin") == data);
  EXPECT_TRUE(Slurp(dir + "/rz/report.bin") == data);
  EXPECT_TRUE(endsOnHook("5551002")) << log("5551002");
  EXPECT_NE(Slurp(dir + "/receive.txt").find("Modem Connected."), std::string::npos);
  EXPECT_EQ(log("5551003"), "ATS0=1\nstate answering\nstate online\nstate on-hook\n");
}
}  // namespace
