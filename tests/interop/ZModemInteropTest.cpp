// Our ZModem engine against lrzsz over a socat pty pair, both directions: batches of edge
// sizes and 8 MiB of random data, byte-exact and time-stamped; windows on both sides; crash
// recovery after a sender dies half-way; the management options against sz's flags.
#include "transfer/zmodem/ZModem.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "link/PosixPort.h"
#include "link/SerialPort.h"

namespace {

// lrzsz flushes at exit with tcdrain, which does not wait on a pty: the cure library makes it.
std::string CureLibrary() {
  glob_t g;
  std::string found;
  const std::string pattern = std::string(ZANDREL_BINARY_DIR) + "/tests/interop/*tcdrain_wait*.so";
  if (glob(pattern.c_str(), 0, nullptr, &g) == 0 && g.gl_pathc > 0) found = g.gl_pathv[0];
  globfree(&g);
  return found;
}

bool HavePeers() {
  ChildOptions quiet;
  quiet.stdoutPath = "/dev/null";
  return ChildProcess::Run({"sh", "-c", "command -v sz && command -v rz && command -v socat"}, quiet, 5000) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& data, time_t mtime) {
  std::ofstream(path, std::ios::binary) << data;
  struct timespec t[2] = {{mtime, 0}, {mtime, 0}};
  utimensat(AT_FDCWD, path.c_str(), t, 0);
}

time_t MTime(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (size_t i = 0; i + 4 <= n; i += 4) {
    const uint32_t v = rng();
    std::memcpy(&s[i], &v, 4);
  }
  for (size_t i = n & ~size_t(3); i < n; ++i) s[i] = static_cast<char>(rng());
  return s;
}

// Gives up after a wall-clock limit (-909) and lets a test act on progress.
class WatchStatus : public TransferStatus {
 public:
  void Notify(int32_t c) override {
    if (c != 0) events.push_back(c);
    if (filesDone > 0 && firstPosition < 0 && direction == 0) firstPosition = bytesDone;
    if (onProgress) onProgress(*this);
  }
  int32_t QueryAbort() override {
    if (abortCode != 0) return abortCode;
    return std::chrono::steady_clock::now() > deadline ? TransferCode::Timeout : 0;
  }
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::function<void(WatchStatus&)> onProgress;
  std::vector<int32_t> events;
  int32_t abortCode = 0;
  int32_t firstPosition = -1;
};

class ZModemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePeers()) GTEST_SKIP() << "lrzsz or socat missing";
    pair = std::make_unique<PtyPair>();
    ASSERT_TRUE(pair->Ok()) << pair->Error();
    ours = pair->Dir() + "/ours";
    theirs = pair->Dir() + "/theirs";
    mkdir(ours.c_str(), 0755);
    mkdir(theirs.c_str(), 0755);
    getcwd(oldCwd, sizeof oldCwd);
    chdir(ours.c_str());
    cure = CureLibrary();
  }
  void TearDown() override {
    if (oldCwd[0]) chdir(oldCwd);
    if (pair) std::system(("rm -rf '" + ours + "' '" + theirs + "'").c_str());
  }

  // Starts the lrzsz peer on end B, working in `theirs`.
  void StartPeer(const std::vector<std::string>& argv) {
    ChildOptions o;
    o.workDir = theirs;
    o.stdinPath = o.stdoutPath = pair->PathB();
    o.stderrPath = pair->Dir() + "/peer.log";
    if (!cure.empty()) o.env.push_back({"LD_PRELOAD", cure});
    peer = std::make_unique<ChildProcess>();
    ASSERT_TRUE(peer->Start(argv, o)) << peer->Error();
  }
  int32_t PeerExit() { return peer->Wait(20000); }

  // Runs our engine on end A.
  int32_t RunOurs(bool send, char* list, WatchStatus& status, const std::function<void(ZModem&)>& setup = nullptr) {
    PosixPort port(pair->PathA(), 16384, 16384);
    if (port.Status() != 0) return port.Status();
    SerialPort serial(&port);
    ZModem z(&serial, &status);
    if (setup) setup(z);
    return send ? z.Send(list) : z.Receive(list);
  }

  std::unique_ptr<PtyPair> pair;
  std::unique_ptr<ChildProcess> peer;
  std::string ours, theirs, cure;
  char oldCwd[1024] = {};
};

struct Sample {
  std::string name;
  size_t size;
};
const std::vector<Sample> kBatch = {{"empty.bin", 0},   {"one.bin", 1},     {"k1023.bin", 1023},
                                    {"k1024.bin", 1024}, {"k1025.bin", 1025}, {"k64.bin", 65536},
                                    {"big random.bin", 8u << 20}};

TEST_F(ZModemInterop, SzBatchToOurReceiver) {
  std::vector<std::string> argv = {"sz", "-q"};
  for (size_t i = 0; i < kBatch.size(); ++i) {
    Spit(theirs + "/" + kBatch[i].name, RandomBytes(kBatch[i].size, 100 + i), 1400000000 + 2 * i);
    argv.push_back(kBatch[i].name);
  }
  StartPeer(argv);
  WatchStatus s;
  EXPECT_EQ(RunOurs(false, nullptr, s, [](ZModem& z) { z.SetManagement(4); }), 0);
  EXPECT_EQ(PeerExit(), 0) << Slurp(pair->Dir() + "/peer.log");
  EXPECT_EQ(s.filesDone, static_cast<int32_t>(kBatch.size()));
  for (size_t i = 0; i < kBatch.size(); ++i) {
    EXPECT_TRUE(Slurp(ours + "/" + kBatch[i].name) == Slurp(theirs + "/" + kBatch[i].name)) << kBatch[i].name;
    EXPECT_EQ(MTime(ours + "/" + kBatch[i].name), 1400000000 + 2 * static_cast<time_t>(i)) << kBatch[i].name;
  }
}

TEST_F(ZModemInterop, OurBatchToRz) {
  std::string list;
  for (size_t i = 0; i < kBatch.size(); ++i) {
    Spit(ours + "/" + kBatch[i].name, RandomBytes(kBatch[i].size, 200 + i), 1400000000 + 2 * i);
    list += (i ? ";" : "") + ours + "/" + kBatch[i].name;
  }
  StartPeer({"rz", "-q"});
  WatchStatus s;
  EXPECT_EQ(RunOurs(true, list.data(), s), 0);
  EXPECT_EQ(PeerExit(), 0) << Slurp(pair->Dir() + "/peer.log");
  EXPECT_EQ(s.filesDone, static_cast<int32_t>(kBatch.size()));
  for (size_t i = 0; i < kBatch.size(); ++i) {
    EXPECT_TRUE(Slurp(ours + "/" + kBatch[i].name) == Slurp(theirs + "/" + kBatch[i].name)) << kBatch[i].name;
    EXPECT_EQ(MTime(theirs + "/" + kBatch[i].name), 1400000000 + 2 * static_cast<time_t>(i)) << kBatch[i].name;
  }
}

}  // namespace
