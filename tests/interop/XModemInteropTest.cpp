// XModem against lrzsz over a socat pty pair, through the zandrel host: our sender to `rx -c`
// (CRC) and to `rx` (checksum, so the sender must follow the NAK), `sx` to our receiver, for
// edge sizes of random data; an empty file refused before any wait; Ctrl-C cancelling on the
// line. ACK/NAK has no public peer: two zandrel processes over the pair.
#include "tools/CommandLine.h"

#include <fcntl.h>
#include <glob.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"

namespace {
const std::string kZandrel = std::string(ZANDREL_BINARY_DIR) + "/bin/zandrel";

std::string CureLibrary() {
  const std::string path = std::string(ZANDREL_BINARY_DIR) + "/tests/interop/libtcdrain_wait.so";
  return access(path.c_str(), R_OK) == 0 ? path : std::string();
}

bool Have(const std::string& commands) {
  ChildOptions quiet;
  quiet.stdoutPath = quiet.stderrPath = "/dev/null";
  return ChildProcess::Run({"sh", "-c", commands}, quiet, 5000) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Padded(std::string s, char pad) {
  s.append((128 - s.size() % 128) % 128, pad);
  return s;
}

const size_t kSizes[] = {1, 127, 128, 129, 130, 4096, 100000};

class XModemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("command -v sx && command -v rx && command -v socat")) GTEST_SKIP() << "lrzsz or socat missing";
    ASSERT_EQ(0, access(kZandrel.c_str(), X_OK)) << kZandrel << " not built";
    cure = CureLibrary();
  }
  void NewPair() {
    pair = std::make_unique<PtyPair>();
    ASSERT_TRUE(pair->Ok()) << pair->Error();
  }
  std::string In(const std::string& leaf) const { return pair->Dir() + "/" + leaf; }

  // zandrel on end A; its standard error goes to a file in the pair's folder.
  void StartOurs(ChildProcess& child, const std::vector<std::string>& args, const std::string& log) {
    std::vector<std::string> argv = {kZandrel};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildOptions o;
    o.workDir = pair->Dir();
    o.stderrPath = In(log);
    ASSERT_TRUE(child.Start(argv, o)) << child.Error();
  }
  // An lrzsz peer on end B.
  void StartPeer(ChildProcess& child, const std::vector<std::string>& argv) {
    ChildOptions o;
    o.workDir = pair->Dir();
    o.stdinPath = o.stdoutPath = pair->PathB();
    o.stderrPath = In("peer.log");
    if (!cure.empty()) o.env.push_back({"LD_PRELOAD", cure});
    ASSERT_TRUE(child.Start(argv, o)) << child.Error();
  }
  // Waits until a log holds text (the host has set the port up and purged its input).
  bool WaitFor(const std::string& log, const std::string& text, int ms = 5000) {
    for (int i = 0; i < ms / 10; ++i) {
      if (Slurp(In(log)).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::unique_ptr<PtyPair> pair;
  std::string cure;
};


TEST_F(XModemInterop, OurSenderToRxWithCrcAndWithChecksum) {
  for (const bool crc : {true, false}) {
    for (size_t size : kSizes) {
      SCOPED_TRACE(std::string(crc ? "rx -c " : "rx ") + std::to_string(size));
      NewPair();
      const std::string data = RandomBytes(size, static_cast<uint32_t>(size) + (crc ? 0 : 7));
      Spit(In("sent.bin"), data);
      ChildProcess ours, peer;
      StartOurs(ours, {"send", "--port", pair->PathA(), "--send-timeout", "20", "sent.bin"}, "ours.log");
      ASSERT_TRUE(WaitFor("ours.log", "Waiting for receiver"));
      // rx purges its input right after each ACK and now and then eats the next block; its
      // time-out of a second (instead of ten) keeps those stalls short.
      std::vector<std::string> rx = {"rx", "-q", "-t", "10"};
      if (crc) rx.push_back("-c");
      rx.push_back("got.bin");
      StartPeer(peer, rx);
      // Each block rx's flush eats costs its one-second time-out: allow for a bad streak.
      EXPECT_EQ(0, ours.Wait(120000)) << Slurp(In("ours.log"));
      EXPECT_EQ(0, peer.Wait(10000)) << Slurp(In("peer.log"));
      EXPECT_TRUE(Padded(data, '\0') == Slurp(In("got.bin")));
      EXPECT_NE(std::string::npos, Slurp(In("ours.log")).find("OK " + std::to_string(size) + " bytes"));
    }
  }
}

TEST_F(XModemInterop, SxToOurReceiver) {
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    NewPair();
    const std::string data = RandomBytes(size, static_cast<uint32_t>(size) + 3);
    Spit(In("sent.bin"), data);
    ChildProcess ours, peer;
    StartPeer(peer, {"sx", "-q", "sent.bin"});
    StartOurs(ours, {"receive", "--port", pair->PathA(), "--recv-timeout", "20", "got.bin"}, "ours.log");
    EXPECT_EQ(0, ours.Wait(30000)) << Slurp(In("ours.log"));
    EXPECT_EQ(0, peer.Wait(10000)) << Slurp(In("peer.log"));
    // sx pads its last block with SUB; we keep every byte of every block.
    EXPECT_TRUE(Padded(data, '\x1A') == Slurp(In("got.bin")));
  }
}

TEST_F(XModemInterop, EmptyFileIsRefusedBeforeWaiting) {
  NewPair();
  Spit(In("empty.bin"), "");
  const auto start = std::chrono::steady_clock::now();
  ChildProcess ours;
  StartOurs(ours, {"send", "--port", pair->PathA(), "empty.bin"}, "ours.log");
  EXPECT_EQ(13, ours.Wait(10000));  // -903, "Unable to read from file."
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_NE(std::string::npos, Slurp(In("ours.log")).find("Unable to read from file."));
}

TEST_F(XModemInterop, InterruptCancelsOnTheLineAndExits6) {
  NewPair();
  const int far = open(pair->PathB().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  ASSERT_GE(far, 0);
  ChildProcess ours;
  StartOurs(ours, {"receive", "--port", pair->PathA(), "got.bin"}, "ours.log");
  ASSERT_TRUE(WaitFor("ours.log", "Waiting for sender"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(ours.Pid(), SIGINT);
  EXPECT_EQ(6, ours.Wait(10000));
  std::string line;
  char buf[256];
  for (int i = 0; i < 100; ++i) {
    const ssize_t n = read(far, buf, sizeof buf);
    if (n > 0) line.append(buf, static_cast<size_t>(n));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  close(far);
  EXPECT_NE(std::string::npos, line.find(std::string(10, '\x18') + std::string(10, '\x08')));
  EXPECT_NE(std::string::npos, Slurp(In("ours.log")).find("User cancelled."));
}

TEST_F(XModemInterop, AckNakBetweenTwoHosts) {
  std::mt19937 rng(11);
  std::string text;
  for (int i = 0; i < 400; ++i) {
    const int n = static_cast<int>(rng() % 120);
    for (int k = 0; k < n; ++k) text += static_cast<char>(' ' + rng() % 94);
    text += "\r\n";
  }
  NewPair();
  Spit(In("sent.txt"), text);
  ChildProcess receiver, sender;
  StartOurs(receiver, {"receive", "--port", pair->PathB(), "--protocol", "acknak", "--recv-timeout", "20",
                       "got.txt"},
            "receiver.log");
  ASSERT_TRUE(WaitFor("receiver.log", "Waiting for sender"));
  StartOurs(sender, {"send", "--port", pair->PathA(), "--protocol", "acknak", "--send-timeout", "20", "sent.txt"},
            "sender.log");
  EXPECT_EQ(0, sender.Wait(30000)) << Slurp(In("sender.log"));
  EXPECT_EQ(0, receiver.Wait(30000)) << Slurp(In("receiver.log"));
  EXPECT_TRUE(text == Slurp(In("got.txt")));

  // A second run into the same name: refused under the default rule, appended under rule 3.
  for (const char* rule : {"7", "3"}) {
    SCOPED_TRACE(rule);
    ChildProcess again, from;
    StartOurs(again, {"receive", "--port", pair->PathB(), "--protocol", "acknak", "--overwrite", rule,
                      "--recv-timeout", "5", "got.txt"},
              "receiver.log");
    ASSERT_TRUE(WaitFor("receiver.log", "Waiting for sender"));
    StartOurs(from, {"send", "--port", pair->PathA(), "--protocol", "acknak", "--send-timeout", "5", "sent.txt"},
              "sender.log");
    if (std::string(rule) == "7") {
      EXPECT_EQ(14, again.Wait(30000));  // "File already exists."
      from.Kill();
      EXPECT_TRUE(text == Slurp(In("got.txt")));
    } else {
      EXPECT_EQ(0, from.Wait(30000)) << Slurp(In("sender.log"));
      EXPECT_EQ(0, again.Wait(30000)) << Slurp(In("receiver.log"));
      EXPECT_TRUE(text + text == Slurp(In("got.txt")));
    }
  }
}
}  // namespace
