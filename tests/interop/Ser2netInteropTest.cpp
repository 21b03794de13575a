// The zandrel host through Debian's ser2net, started on the loopback in front of a socat pty pair
// whose other end runs lrzsz, one ser2net for the whole run: ZModem and XModem both ways over
// rfc2217:// and tcp://, byte for byte, with a file of 0xFF bytes and once 16 MiB; the rate
// asked for on the pty while it runs; a connection ser2net drops mid-file.
#include "link/NetworkPort.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "fakes/TestData.h"
#include "interop/Peers.h"

namespace {
const std::string kSer2net = access("/usr/sbin/ser2net", X_OK) == 0 ? "/usr/sbin/ser2net" : "ser2net";

bool Listening(int port) {
  char entry[32];
  std::snprintf(entry, sizeof entry, ":%04X 00000000:0000 0A", port);
  return Slurp("/proc/net/tcp").find(entry) != std::string::npos;
}

speed_t Speed(const std::string& tty) {
  termios t{};
  const int fd = open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  const bool read = fd >= 0 && tcgetattr(fd, &t) == 0;
  if (fd >= 0) close(fd);
  return read ? cfgetospeed(&t) : B0;
}

time_t MTime(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class Ser2netInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PREREQUISITE(Have(kSer2net + " sz rz sx rx socat"), "ser2net, lrzsz or socat missing");
    ASSERT_EQ(0, access(kZandrel.c_str(), X_OK)) << kZandrel << " not built";
    ASSERT_TRUE(pair.Ok()) << pair.Error();
    ASSERT_EQ(0, mkdir(In("ours").c_str(), 0755));
    ASSERT_EQ(0, mkdir(In("theirs").c_str(), 0755));
    const int ports[2] = {FreePort(), FreePort()};
    std::string config;
    for (int i = 0; i < 2; ++i)
      config += "connection: &c" + std::to_string(i) + "\n  accepter: " + (i == 0 ? "telnet(rfc2217)," : "") +
                "tcp,127.0.0.1," + std::to_string(ports[i]) + "\n  connector: serialdev," + pair.PathA() +
                ",115200n81,local\n";
    Spit(In("ser2net.yaml"), config);
    ChildOptions o;
    o.stdinPath = "/dev/null";
    o.stdoutPath = o.stderrPath = In("ser2net.log");
    ASSERT_TRUE(server.Start({kSer2net, "-n", "-c", In("ser2net.yaml")}, o)) << server.Error();
    ASSERT_TRUE(Eventually([&] { return Listening(ports[0]) && Listening(ports[1]); }, 5000)) << Slurp(In("ser2net.log"));
    telnetUrl = "rfc2217://127.0.0.1:" + std::to_string(ports[0]);
    rawUrl = "tcp://127.0.0.1:" + std::to_string(ports[1]);
  }

  std::string In(const std::string& leaf) const { return pair.Dir() + "/" + leaf; }
  void StartPeer(ChildProcess& peer, const std::vector<std::string>& argv) {
    ASSERT_TRUE(peer.Start(argv, OnPty(pair.PathB(), In("theirs"), In("peer.log")))) << peer.Error();
  }
  void StartOurs(ChildProcess& ours, std::vector<std::string> argv) {
    argv.insert(argv.begin(), kZandrel);
    ChildOptions o;
    o.stdoutPath = o.stderrPath = In("ours.log");
    ASSERT_TRUE(ours.Start(argv, o)) << ours.Error();
  }

  PtyPair pair;
  ChildProcess server;
  std::string telnetUrl, rawUrl;
};

TEST_F(Ser2netInterop, BothProtocolsBothWaysOverTelnetAndRawThenADroppedConnection) {
  Spit(In("ours/ff.bin"), std::string(8192, '\xff'));
  Spit(In("ours/big.bin"), RandomBytes(16u << 20, 2217));
  const struct {
    const char* protocol;
    bool weSend, telnet;
  } cases[] = {{"zmodem", true, true},  {"zmodem", false, false}, {"zmodem", true, false}, {"zmodem", false, true},
               {"xmodem", true, false}, {"xmodem", false, true},  {"xmodem", true, true},  {"xmodem", false, false}};
  for (const auto& c : cases) {
    const bool first = &c == &cases[0];
    const std::string url = c.telnet ? telnetUrl : rawUrl, zmodem = c.protocol[0] == 'z' ? "zmodem" : "";
    SCOPED_TRACE(std::string(c.protocol) + (c.weSend ? " to " : " from ") + url);
    const std::vector<std::string> files = first ? std::vector<std::string>{"ff.bin", "big.bin"}
                                                 : std::vector<std::string>{"ff.bin"};
    const std::string from = c.weSend ? "ours/" : "theirs/", to = c.weSend ? "theirs/" : "ours/";
    for (const std::string& f : files) {
      if (!c.weSend) Spit(In(from + f), Slurp(In("ours/" + f)));
      unlink(In(to + f).c_str());
    }
    ChildProcess peer, ours;
    if (c.weSend) {
      StartPeer(peer, zmodem.empty() ? std::vector<std::string>{"rx", "-q", "-t", "10", "-c", "ff.bin"}
                                     : std::vector<std::string>{"rz", "-q"});
      std::vector<std::string> argv = {"send", "--port", url, "--protocol", c.protocol, "--send-timeout", "20"};
      if (first) argv.insert(argv.end(), {"--baud", "57600"});
      for (const std::string& f : files) argv.push_back(In(from + f));
      StartOurs(ours, argv);
    } else {
      StartPeer(peer, {zmodem.empty() ? "sx" : "sz", "-q", "ff.bin"});
      std::vector<std::string> argv = {"receive", "--port", url, "--protocol", c.protocol, "--recv-timeout", "20"};
      if (zmodem.empty())
        argv.push_back(In("ours/ff.bin"));
      else
        argv.insert(argv.end(), {"--dir", In("ours")});
      StartOurs(ours, argv);
    }
    // ser2net sets the pty to the rate we ask for, while we hold the connection.
    if (first) {
      EXPECT_TRUE(Eventually([&] { return Speed(pair.PathA()) == B57600; })) << Speed(pair.PathA());
    }
    EXPECT_EQ(0, ours.Wait(120000)) << Slurp(In("ours.log"));
    EXPECT_EQ(0, peer.Wait(20000)) << Slurp(In("peer.log"));
    for (const std::string& f : files) EXPECT_TRUE(Slurp(In(from + f)) == Slurp(In(to + f))) << f;
  }

  // ser2net ends mid-file: 15 with the port and the reason, and the part kept without the date.
  unlink(In("ours/big.bin").c_str());
  ChildProcess peer, ours;
  StartPeer(peer, {"sz", "-q", "big.bin"});
  StartOurs(ours, {"receive", "--port", telnetUrl, "--protocol", "zmodem", "--dir", In("ours")});
  struct stat st {};
  ASSERT_TRUE(Eventually([&] { return stat(In("ours/big.bin").c_str(), &st) == 0 && st.st_size >= (2 << 20); }, 20000));
  server.Kill();
  EXPECT_EQ(15, ours.Wait(20000));
  EXPECT_NE(std::string::npos, Slurp(In("ours.log")).find("zandrel: " + telnetUrl + ": ")) << Slurp(In("ours.log"));
  ASSERT_EQ(0, stat(In("ours/big.bin").c_str(), &st));
  EXPECT_GT(st.st_size, 0);
  EXPECT_LT(st.st_size, 16 << 20);
  EXPECT_NE(MTime(In("theirs/big.bin")), MTime(In("ours/big.bin")));
}
}  // namespace
