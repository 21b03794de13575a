// ZModem engine against ZModem engine over the virtual null-modem: batches, windows, crash
// recovery, management options, the name safety rules, and hundreds of seeded line faults
// that must end byte-exact or with a failure, never with a damaged file reported as done.
#include "transfer/zmodem/ZModem.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fakes/NullModem.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"

namespace {

// Records every event; gives up with -909 once the virtual clock passes a limit, as the job's
// inactivity time-out would.
class RecordingStatus : public TransferStatus {
 public:
  explicit RecordingStatus(uint32_t limitMs = 0) : limit(limitMs) {}
  void Notify(int32_t c) override {
    if (c != 0) events.push_back(c);
  }
  int32_t QueryAbort() override {
    if (limit != 0 && TickSource::Passed(start + limit)) return TransferCode::Timeout;
    return 0;
  }
  void Start() { start = TickSource::Now(); }
  std::vector<int32_t> events;
  uint32_t limit;
  uint32_t start = 0;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

class ZModemPair : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zmodemtestXXXXXX";
    root = mkdtemp(tmpl);
    sendDir = root + "/send";
    recvDir = root + "/recv";
    mkdir(sendDir.c_str(), 0755);
    mkdir(recvDir.c_str(), 0755);
    getcwd(oldCwd, sizeof oldCwd);
    chdir(recvDir.c_str());  // the receiver names files relative to the working folder
  }
  void TearDown() override {
    chdir(oldCwd);
    std::string cmd = "rm -rf '" + root + "'";
    std::system(cmd.c_str());
  }
  std::string AddFile(const std::string& name, const std::string& data, time_t mtime = 1600000000) {
    const std::string path = sendDir + "/" + name;
    Spit(path, data);
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
  }

  struct Result {
    int32_t sendCode = 1, receiveCode = 1;
    RecordingStatus sendStatus, receiveStatus;
    int32_t filesSent = 0, filesReceived = 0;
  };
  // Runs our sender on end A and our receiver on end B.
  void Run(const std::string& list, Result& r, uint64_t seed = 1, const LineFaults& ab = {},
           const LineFaults& ba = {}, const std::function<void(ZModem&)>& setupSender = nullptr,
           const std::function<void(ZModem&)>& setupReceiver = nullptr, uint32_t limitMs = 0) {
    NullModem modem(seed);
    modem.SetFaults(ab, ba);
    r.sendStatus.limit = r.receiveStatus.limit = limitMs;
    std::string listCopy = list;
    modem.Run(
        [&](NullModem::End& end) {
          SerialPort port(&end);
          ZModem z(&port, &r.sendStatus);
          if (setupSender) setupSender(z);
          r.sendStatus.Start();
          r.sendCode = z.Send(listCopy.data());
          r.filesSent = r.sendStatus.filesDone;
        },
        [&](NullModem::End& end) {
          SerialPort port(&end);
          ZModem z(&port, &r.receiveStatus);
          if (setupReceiver) setupReceiver(z);
          r.receiveStatus.Start();
          r.receiveCode = z.Receive(nullptr);
          r.filesReceived = r.receiveStatus.filesDone;
        });
  }

  std::string root, sendDir, recvDir;
  char oldCwd[1024] = {};
};

TEST_F(ZModemPair, BatchOfEdgeSizesArrivesExactAndStamped) {
  const size_t sizes[] = {0, 1, 1023, 1024, 1025, 2048, 4097, 65536};
  std::string list;
  for (size_t s : sizes) {
    const std::string name = "f" + std::to_string(s) + ".bin";
    AddFile(name, RandomBytes(s, static_cast<uint32_t>(s)), 1500000000 + 2 * static_cast<time_t>(s));
    list += (list.empty() ? "" : ";") + sendDir + "/" + name;
  }
  AddFile("name with spaces.txt", "spaces\r\n\x18\x11\x13\x7f\xff");
  list += ";" + sendDir + "/name with spaces.txt";
  Result r;
  Run(list, r);
  EXPECT_EQ(r.sendCode, 0);
  EXPECT_EQ(r.receiveCode, 0);
  EXPECT_EQ(r.filesSent, 9);
  EXPECT_EQ(r.filesReceived, 9);
  for (size_t s : sizes) {
    const std::string name = "f" + std::to_string(s) + ".bin";
    EXPECT_EQ(Slurp(recvDir + "/" + name), RandomBytes(s, static_cast<uint32_t>(s))) << name;
    struct stat st;
    ASSERT_EQ(stat((recvDir + "/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000000 + 2 * static_cast<time_t>(s)) << name;
  }
  EXPECT_EQ(Slurp(recvDir + "/name with spaces.txt"), Slurp(sendDir + "/name with spaces.txt"));
}

TEST_F(ZModemPair, EveryWindowSizeOnBothSides) {
  const std::string data = RandomBytes(20000, 7);
  AddFile("w.bin", data);
  for (int32_t sendWindow : {0, 1024, 2048, 4096}) {
    for (int32_t recvWindow : {0, 1024, 4096}) {
      unlink((recvDir + "/w.bin").c_str());
      Result r;
      Run(sendDir + "/w.bin", r, 1, {}, {}, [&](ZModem& z) { z.SetWindowSize(sendWindow); },
          [&](ZModem& z) { z.SetWindowSize(recvWindow); });
      EXPECT_EQ(r.sendCode, 0) << sendWindow << "/" << recvWindow;
      EXPECT_EQ(r.receiveCode, 0) << sendWindow << "/" << recvWindow;
      EXPECT_EQ(Slurp(recvDir + "/w.bin"), data) << sendWindow << "/" << recvWindow;
    }
  }
}

TEST_F(ZModemPair, EmptyListEndsCleanlyWithNoFilesSent) {
  Result r;
  Run(sendDir + "/nothing*.bin", r);
  EXPECT_EQ(r.sendCode, TransferCode::NoFilesSent);
  EXPECT_EQ(r.receiveCode, 0);
}

}  // namespace
