// Whole zandrel processes calling each other through emulated Hayes modems on pseudo-terminals
// (hayes-emulator): zandrel to zandrel, and zandrel to rz sitting behind an answering modem.
// ZModem, 1 MiB byte-exact, and both modems back on-hook. A pty has no carrier detect, hence
// --no-carrier-detect; the carrier itself is proven in process (tests/tools).
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/TestData.h"
#include "interop/Peers.h"

namespace {

class ModemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/zandrel-modems.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir = folder;
    ASSERT_EQ(0, access(kZandrel.c_str(), X_OK)) << kZandrel << " not built";
    data = RandomBytes(1u << 20, 1009);
    Spit(dir + "/report.bin", data);
    mkdir((dir + "/in").c_str(), 0755);
  }
  void TearDown() override {
    emulator.Kill();
    std::system(("rm -rf '" + dir + "'").c_str());
  }

  void StartEmulator(const std::vector<std::string>& modems) {
    std::vector<std::string> argv = {kBinaryDir + "/tests/hayes-emulator", dir};
    argv.insert(argv.end(), modems.begin(), modems.end());
    ChildOptions o;
    o.stderrPath = dir + "/emulator.err";
    ASSERT_TRUE(emulator.Start(argv, o)) << emulator.Error();
    ASSERT_TRUE(Eventually([&] { return access((dir + "/ready").c_str(), F_OK) == 0; }));
  }
  std::string Log(const std::string& number) { return Slurp(dir + "/" + number + ".log"); }
  bool EndsOnHook(const std::string& number) {
    return Eventually([&] {
      const std::string log = Log(number);
      return log.size() > 14 && log.compare(log.size() - 14, 14, "state on-hook\n") == 0;
    });
  }
  int Send(const std::string& number) {
    ChildOptions o;
    o.stderrPath = dir + "/send.txt";
    return ChildProcess::Run({kZandrel, "send", "--port", dir + "/5551001", "--dial", number, "--no-carrier-detect",
                              "--protocol", "zmodem", "--window", "0", dir + "/report.bin"},
                             o, 60000);
  }

  std::string dir, data;
  ChildProcess emulator;
};

// The generic Hayes modem's exact commands, up to the dial.
std::string Dialer(const std::string& number) {
  return "ATZ\nAT&F\nATE0V1&C1&D2S0=0\nATS7=60L2M1&K0B0X4\nATDT" + number + "\nstate dialing\nstate online\n";
}

// One calling modem: first a zandrel host that answers, then rz behind a modem that does.
TEST_F(ModemInterop, ZandrelDialsZandrelThenRzBehindAnAnsweringModem) {
  if (!Have("rz")) GTEST_SKIP() << "lrzsz missing";
  mkdir((dir + "/rz").c_str(), 0755);
  // rz on a pty loses its last bytes unless its tcdrain waits (the cure library).
  StartEmulator({"5551001", "5551002", "5551003=cd " + dir + "/rz && LD_PRELOAD=" + kBinaryDir +
                                           "/tests/interop/libtcdrain_wait.so exec rz -q"});
  ChildProcess receiver;
  ChildOptions o;
  o.stderrPath = dir + "/receive.txt";
  ASSERT_TRUE(receiver.Start({kZandrel, "receive", "--port", dir + "/5551002", "--answer", "--no-carrier-detect",
                              "--protocol", "zmodem", "--dir", dir + "/in"},
                             o));
  ASSERT_TRUE(Eventually([&] { return Log("5551002").find("ATS0=1") != std::string::npos; }));
  for (const char* number : {"555-1002", "555-1003"}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(Send(number), 0) << Slurp(dir + "/send.txt");
    EXPECT_NE(Log("5551001").find(Dialer(number)), std::string::npos) << Log("5551001");
    EXPECT_TRUE(EndsOnHook("5551001")) << Log("5551001");
  }
  EXPECT_EQ(receiver.Wait(30000), 0) << Slurp(dir + "/receive.txt");
  EXPECT_TRUE(Slurp(dir + "/in/report.bin") == data);
  EXPECT_TRUE(Slurp(dir + "/rz/report.bin") == data);
  EXPECT_TRUE(EndsOnHook("5551002")) << Log("5551002");
  EXPECT_NE(Slurp(dir + "/receive.txt").find("Modem Connected."), std::string::npos);
  EXPECT_EQ(Log("5551003"), "ATS0=1\nstate answering\nstate online\nstate on-hook\n");
}
}  // namespace
