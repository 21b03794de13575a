// XModem, XModem-1K and YModem against lrzsz over a socat pty pair, through the zandrel host: our
// sender to `rx -c` (CRC) and to `rx` (checksum, so the sender must follow the NAK), `sx` to our
// receiver, for edge sizes of random data; ours in 1 KiB blocks to rx and `sx -k` to our XModem
// receiver; a YModem batch of twenty files from `sb` and to `rb`.
// ACK/NAK has no public peer: two zandrel processes over the pair. (An empty file and a cancel
// are the engine's, proven on the fake line in tests/transfer; Ctrl-C as Cancel is proven on the
// host in ZModemInteropTest.)
#include "tools/CommandLine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/TestData.h"
#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "interop/Peers.h"

namespace {
class XModemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PREREQUISITE(Have("sx rx sb rb socat"), "lrzsz or socat missing");
    ASSERT_EQ(0, access(kZandrel.c_str(), X_OK)) << kZandrel << " not built";
  }
  void NewPair() {
    pair = std::make_unique<PtyPair>();
    ASSERT_TRUE(pair->Ok()) << pair->Error();
  }
  std::string In(const std::string& leaf) const { return pair->Dir() + "/" + leaf; }

  // zandrel with these arguments on the end its --port names, its standard error into a log in
  // the pair's folder; or (with no log) an lrzsz peer on end B, logging into peer.log.
  void Start(ChildProcess& child, std::vector<std::string> argv, const std::string& log = "") {
    ChildOptions o;
    o.workDir = pair->Dir();
    o.stderrPath = In(log);
    if (log.empty()) o = OnPty(pair->PathB(), pair->Dir(), In("peer.log"));
    else argv.insert(argv.begin(), kZandrel);
    ASSERT_TRUE(child.Start(argv, o)) << child.Error();
  }
  // Waits until a log holds text (the host has set the port up and purged its input).
  bool WaitFor(const std::string& log, const std::string& text) {
    return Eventually([&] { return Slurp(In(log)).find(text) != std::string::npos; }, 5000);
  }

  std::unique_ptr<PtyPair> pair;
};

// The length a file arrives with at an XModem receiver: 1 KiB blocks (where sent) while more than
// seven short blocks' worth is left, then 128-byte ones.
size_t Padded(size_t size, bool longBlocks) {
  const size_t whole = longBlocks && size > 896 ? (size - 897) / 1024 * 1024 + 1024 : 0;
  return whole + (size - std::min(size, whole) + 127) / 128 * 128;
}

TEST_F(XModemInterop, EdgeSizesBothWays) {
  struct Peer {
    const char* name;
    std::vector<std::string> argv;
    bool weSend;
    char pad;  // sx pads its last block with SUB, we with 0x00; the receivers keep every byte
    const char* protocol;
    std::vector<size_t> sizes;
  };
  // rx purges its input right after each ACK and now and then eats the next block; its time-out
  // of a second (-t 10, instead of ten) keeps those stalls short.
  const std::vector<size_t> sizes = {1, 127, 128, 129, 130, 4096, 100000};
  // The YModem batch below sends every edge size through the same blocks: here the sizes where
  // the block length changes.
  const std::vector<size_t> longSizes = {1, 1023, 1025, 100000, 4u << 20};
  const Peer peers[] = {{"rx -c", {"rx", "-q", "-t", "10", "-c", "got.bin"}, true, '\0', "xmodem", sizes},
                        {"rx", {"rx", "-q", "-t", "10", "got.bin"}, true, '\0', "xmodem", sizes},
                        {"sx", {"sx", "-q", "sent.bin"}, false, '\x1A', "xmodem", sizes},
                        {"rx (1K)", {"rx", "-q", "-t", "10", "-c", "got.bin"}, true, '\0', "xmodem1k", longSizes},
                        {"sx -k", {"sx", "-q", "-k", "sent.bin"}, false, '\x1A', "xmodem", longSizes}};
  for (const Peer& p : peers) {
    const bool longBlocks = p.sizes == longSizes;
    for (size_t size : p.sizes) {
      SCOPED_TRACE(std::string(p.name) + " " + std::to_string(size));
      NewPair();
      const std::string data = RandomBytes(size, static_cast<uint32_t>(size) + p.pad);
      Spit(In("sent.bin"), data);
      ChildProcess ours, peer;
      if (p.weSend) {
        Start(ours, {"send", "--port", pair->PathA(), "--protocol", p.protocol, "--send-timeout", "20", "sent.bin"},
              "ours.log");
        ASSERT_TRUE(WaitFor("ours.log", "Waiting for receiver"));
        Start(peer, p.argv);
      } else {
        Start(peer, p.argv);
        Start(ours, {"receive", "--port", pair->PathA(), "--recv-timeout", "20", "got.bin"}, "ours.log");
      }
      // Each block rx's flush eats costs its one-second time-out: allow for a bad streak.
      EXPECT_EQ(0, ours.Wait(120000)) << Slurp(In("ours.log"));
      EXPECT_EQ(0, peer.Wait(10000)) << Slurp(In("peer.log"));
      EXPECT_TRUE(data + std::string(Padded(size, longBlocks) - size, p.pad) == Slurp(In("got.bin")));
      if (p.weSend) {
        EXPECT_NE(std::string::npos, Slurp(In("ours.log")).find("OK " + std::to_string(size) + " bytes"));
      }
    }
  }
}

// A YModem batch of twenty files, the edge sizes among them, from sb into our receiver and from
// ours to rb: each arrives byte-exact (no padding) with its time. (Hostile names: the receivers'
// shared rule is proven on the file system in ZModemInteropTest, block 0 in tests/transfer.)
TEST_F(XModemInterop, YModemBatchesBothWays) {
  NewPair();
  const size_t sizes[] = {0, 1, 127, 128, 1023, 1024, 1025, 100000, 4u << 20};
  std::vector<std::string> names, sb = {"sb", "-q"}, send = {"send", "--port", pair->PathA(), "--protocol", "ymodem"};
  for (size_t i = 0; i < 20; ++i) {
    names.push_back("f" + std::to_string(i) + ".bin");
    Spit(In(names[i]), RandomBytes(i < 9 ? sizes[i] : i * 10, static_cast<uint32_t>(i)));
    const timespec t[2] = {{1400000000 + 2 * static_cast<time_t>(i), 0}, {1400000000 + 2 * static_cast<time_t>(i), 0}};
    utimensat(AT_FDCWD, In(names[i]).c_str(), t, 0);
  }
  sb.insert(sb.end(), names.begin(), names.end());
  send.insert(send.end(), names.begin(), names.end());
  mkdir(In("ours").c_str(), 0755);
  mkdir(In("theirs").c_str(), 0755);
  ChildProcess ours, peer;
  Start(peer, sb);
  Start(ours, {"receive", "--port", pair->PathA(), "--protocol", "ymodem", "--dir", "ours"}, "ours.log");
  EXPECT_EQ(0, ours.Wait(60000)) << Slurp(In("ours.log"));
  EXPECT_EQ(0, peer.Wait(10000)) << Slurp(In("peer.log"));
  Start(ours, send, "ours.log");
  ASSERT_TRUE(WaitFor("ours.log", "Waiting for receiver"));
  // rb answers the end of every file a second late, and asks for the next a second after that.
  ASSERT_TRUE(peer.Start({"rb", "-q", "-t", "10"}, OnPty(pair->PathB(), In("theirs"), In("peer.log"))));
  EXPECT_EQ(0, ours.Wait(180000)) << Slurp(In("ours.log"));
  EXPECT_EQ(0, peer.Wait(10000)) << Slurp(In("peer.log"));
  for (const char* dir : {"ours/", "theirs/"}) {
    for (size_t i = 0; i < names.size(); ++i) {
      struct stat got {};
      EXPECT_TRUE(Slurp(In(names[i])) == Slurp(In(dir + names[i]))) << dir << names[i];
      EXPECT_EQ(0, stat(In(dir + names[i]).c_str(), &got));
      EXPECT_EQ(1400000000 + 2 * static_cast<time_t>(i), got.st_mtime) << dir << names[i];
    }
  }
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
  // A second run into the same name is refused under rule 7 (the default), appended under rule 3.
  const struct {
    const char* rule;
    int code;
    std::string got;
  } runs[] = {{"7", 0, text}, {"7", 14, text}, {"3", 0, text + text}};
  for (const auto& r : runs) {
    ChildProcess receiver, sender;
    Start(receiver, {"receive", "--port", pair->PathB(), "--protocol", "acknak", "--overwrite", r.rule,
                         "--recv-timeout", "20", "got.txt"},
              "receiver.log");
    ASSERT_TRUE(WaitFor("receiver.log", "Waiting for sender"));
    Start(sender, {"send", "--port", pair->PathA(), "--protocol", "acknak", "--send-timeout", "20", "sent.txt"},
              "sender.log");
    EXPECT_EQ(r.code, receiver.Wait(30000)) << Slurp(In("receiver.log"));  // 14: "File already exists."
    if (r.code == 0) {
      EXPECT_EQ(0, sender.Wait(30000)) << Slurp(In("sender.log"));
    } else {
      sender.Kill();
    }
    EXPECT_TRUE(r.got == Slurp(In("got.txt")));
  }
}
}  // namespace
