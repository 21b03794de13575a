// ZModem engine against ZModem engine over the virtual null-modem: batches, windows, crash
// recovery, management options, the name safety rules, and hundreds of seeded line faults
// that must end byte-exact or with a failure, never with a damaged file reported as done.
#include "transfer/zmodem/ZModem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeComLink.h"
#include "fakes/NullModem.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "transfer/TransferFile.h"

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

namespace fs = std::filesystem;

// The lockstep cable hands time between its two threads a million times a run; under Wine each
// hand-off is slow, so the Windows build sweeps fewer seeds (the same code, the same faults).
#ifdef _WIN32
constexpr uint64_t kFaultSeeds = 12;
#else
constexpr uint64_t kFaultSeeds = 200;
#endif

// File times through the product's own file layer, so the test runs the same under Wine.
void SetMTime(const std::string& path, int64_t seconds) {
  TransferFile f;
  if (f.Open(path.c_str(), "ab") != 0) return;
  f.SetFromSeconds(static_cast<uint32_t>(seconds));
  f.ApplyTime();
  f.Close();
}

int64_t MTime(const std::string& path) {
  TransferFile f;
  if (!f.Exists(path.c_str()) || f.Open(path.c_str(), "rb") != 0) return -1;
  f.ReadTime();
  const int64_t t = f.ToSeconds();
  f.Close();
  return t;
}

void Remove(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}


// The sender's wire as a string of events: binary headers as F (ZFILE), D (ZDATA), E (ZEOF),
// N (ZNAK), C (ZCRC); hex headers as q (ZRQINIT), z (ZFIN), ? (other); frame ends as h i j k.
std::string WireEvents(const std::deque<uint8_t>& sent) {
  std::string ev;
  const std::vector<uint8_t> w(sent.begin(), sent.end());
  for (size_t i = 0; i + 3 < w.size(); ++i) {
    if (w[i] == '*' && w[i + 1] == 0x18 && (w[i + 2] == 'A' || w[i + 2] == 'C')) {
      int t = w[i + 3] == 0x18 ? (w[i + 4] ^ 0x40) : w[i + 3];
      ev += t == Zm::ZFILE ? 'F' : t == Zm::ZDATA ? 'D' : t == Zm::ZEOF ? 'E' : t == Zm::ZNAK ? 'N' : t == Zm::ZCRC ? 'C' : '?';
      i += 3;
    } else if (w[i] == '*' && w[i + 1] == '*' && w[i + 2] == 0x18 && w[i + 3] == 'B') {
      const std::string type(w.begin() + i + 4, w.begin() + i + 6);
      ev += type == "00" ? 'q' : type == "08" ? 'z' : '?';
      i += 5;
    } else if (w[i] == 0x18 && w[i + 1] >= Zm::ZCRCE && w[i + 1] <= Zm::ZCRCW) {
      ev += static_cast<char>(w[i + 1]);
      ++i;
    }
  }
  return ev;
}

class ZModemPair : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device entropy;
    root = (fs::temp_directory_path() / ("zmodemtest" + std::to_string(entropy()))).string();
    fs::create_directories(root);
    sendDir = root + "/send";
    recvDir = root + "/recv";
    fs::create_directory(sendDir);
    fs::create_directory(recvDir);
    oldCwd = fs::current_path();
    fs::current_path(recvDir);  // the receiver names files relative to the working folder
  }
  void TearDown() override {
    fs::current_path(oldCwd);
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  std::string AddFile(const std::string& name, const std::string& data, int64_t mtime = 1600000000) {
    const std::string path = sendDir + "/" + name;
    Spit(path, data);
    SetMTime(path, mtime);
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
  fs::path oldCwd;
};

TEST_F(ZModemPair, BatchOfEdgeSizesArrivesExactAndStamped) {
  const size_t sizes[] = {0, 1, 1023, 1024, 1025, 2048, 4097, 65536};
  std::string list;
  for (size_t s : sizes) {
    const std::string name = "f" + std::to_string(s) + ".bin";
    AddFile(name, RandomBytes(s, static_cast<uint32_t>(s)), 1500000000 + 2 * static_cast<int64_t>(s));
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
    EXPECT_EQ(MTime(recvDir + "/" + name), 1500000000 + 2 * static_cast<int64_t>(s)) << name;
  }
  EXPECT_EQ(Slurp(recvDir + "/name with spaces.txt"), Slurp(sendDir + "/name with spaces.txt"));
}

TEST_F(ZModemPair, EveryWindowSizeOnBothSides) {
  const std::string data = RandomBytes(20000, 7);
  AddFile("w.bin", data);
  for (int32_t sendWindow : {0, 1024, 2048, 4096}) {
    for (int32_t recvWindow : {0, 1024, 4096}) {
      Remove(recvDir + "/w.bin");
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

// Seeded faults both ways: a run may fail, but whatever the receiver reports as done must be
// byte-exact, and a run that ends well on both sides must have delivered every file.
TEST_F(ZModemPair, SeededLineFaultsNeverDeliverADamagedFile) {
  const std::string one = RandomBytes(1500, 11), two = RandomBytes(2600, 12);
  AddFile("one.bin", one);
  AddFile("two.bin", two);
  const std::map<std::string, std::string> expected = {{"one.bin", one}, {"two.bin", two}};
  int32_t clean = 0, failed = 0, damaged = 0;
  const uint64_t only = std::getenv("ZMODEM_FAULT_SEED") ? std::strtoull(std::getenv("ZMODEM_FAULT_SEED"), nullptr, 10) : 0;
  for (uint64_t seed = only ? only : 1; seed <= (only ? only : kFaultSeeds); ++seed) {
    Remove(recvDir + "/one.bin");
    Remove(recvDir + "/two.bin");
    LineFaults f;
    f.flip = 2e-4;
    f.drop = 1e-4;
    f.insert = 1e-4;
    f.burst = 2e-5;
    f.pause = 2e-5;
    f.strayFlow = 2e-4;
    if (seed % 4 == 0) {  // every fourth run on a line bad enough to fail now and then
      f.flip *= 4;
      f.drop *= 4;
      f.insert *= 4;
      f.burst *= 4;
    }
    LineFaults back = f;
    back.flip = back.drop = back.insert = 1e-3;  // the reverse channel carries few bytes
    Result r;
    // Every file the receiver reports as done is compared at once.
    std::vector<std::string> bad;
    struct Checking : RecordingStatus {
      const std::map<std::string, std::string>* want;
      std::vector<std::string>* bad;
      void Notify(int32_t c) override {
        if (c == TransferCode::RunEnded && fileName[0] != '\0') {
          auto it = want->find(fileName);
          if (it == want->end() || Slurp(fileName) != it->second) {
            bad->push_back(fileName);
            if (std::getenv("ZMODEM_FAULT_TRACE"))
              std::printf("damaged %s: %zu bytes, want %zu, bytesDone %d\n", fileName, Slurp(fileName).size(),
                          it == want->end() ? 0 : it->second.size(), bytesDone);
          }
        }
        RecordingStatus::Notify(c);
      }
    };
    NullModem modem(seed);
    modem.SetFaults(f, back);
    int32_t sendCode = 1, receiveCode = 1;
    std::string list = sendDir + "/one.bin;" + sendDir + "/two.bin";
    modem.Run(
        [&](NullModem::End& end) {
          SerialPort port(&end);
          RecordingStatus st(15 * 60 * 1000);
          ZModem z(&port, &st);
          z.SetMaxErrors(40);
          st.Start();
          sendCode = z.Send(list.data());
        },
        [&](NullModem::End& end) {
          SerialPort port(&end);
          Checking st;
          st.limit = 15 * 60 * 1000;
          st.want = &expected;
          st.bad = &bad;
          ZModem z(&port, &st);
          z.SetMaxErrors(40);
          z.SetManagement(4);
          st.Start();
          receiveCode = z.Receive(nullptr);
        });
    damaged += static_cast<int32_t>(bad.size());
    EXPECT_TRUE(bad.empty()) << "seed " << seed << ": " << bad[0];
    if (sendCode == 0 && receiveCode == 0) {
      ++clean;
      EXPECT_EQ(Slurp(recvDir + "/one.bin"), one) << "seed " << seed;
      EXPECT_EQ(Slurp(recvDir + "/two.bin"), two) << "seed " << seed;
    } else {
      ++failed;
      if (std::getenv("ZMODEM_FAULT_TRACE"))
        std::printf("seed %d: send %d receive %d at %u ms\n", static_cast<int>(seed), sendCode, receiveCode, modem.Now());
    }
  }
  EXPECT_EQ(damaged, 0);
  // Most runs must get through: the faults are survivable by design.
  EXPECT_GE(clean, static_cast<int32_t>(kFaultSeeds * 3 / 5)) << failed << " runs failed";
  std::printf("fault seeds: %d clean, %d ended with a failure status\n", clean, failed);
}

TEST_F(ZModemPair, FrameEndsFollowTheReceiverBufferAndOurWindow) {
  AddFile("f.bin", RandomBytes(2048, 3));
  AddFile("g.bin", RandomBytes(5000, 4));
  AddFile("zero.bin", "");
  struct Case {
    std::string file;
    int32_t ourWindow, theirWindow;
    const char* events;
  } cases[] = {
      {"f.bin", 0, 0, "qFkDihEz"},          // both stream: one frame for the whole file
      {"f.bin", 4096, 1024, "qFkDkDkEz"},   // a 1024-byte receiver: every subpacket its own frame
      {"g.bin", 2048, 8192, "qFkDikDikDkEz"},  // our window caps a bigger receiver buffer
      {"zero.bin", 4096, 4096, "qFkEz"},    // nothing to send: ZEOF at once, no ZDATA
  };
  for (const Case& c : cases) {
    Remove(recvDir + "/" + c.file);
    NullModem modem(1);
    int32_t sendCode = 1, receiveCode = 1;
    std::string list = sendDir + "/" + c.file;
    modem.Run(
        [&](NullModem::End& end) {
          SerialPort port(&end);
          ZModem z(&port, nullptr);
          z.SetWindowSize(c.ourWindow);
          sendCode = z.Send(list.data());
        },
        [&](NullModem::End& end) {
          SerialPort port(&end);
          ZModem z(&port, nullptr);
          z.SetWindowSize(c.theirWindow);
          receiveCode = z.Receive(nullptr);
        });
    EXPECT_EQ(sendCode, 0);
    EXPECT_EQ(receiveCode, 0);
    EXPECT_EQ(WireEvents(modem.A().Sent()), c.events) << c.file << " " << c.ourWindow << "/" << c.theirWindow;
    EXPECT_TRUE(Slurp(recvDir + "/" + c.file) == Slurp(sendDir + "/" + c.file));
  }
}

// Management options against existing files: each case says whether the existing file is
// replaced (or appended to) by the sent one, or kept.
TEST_F(ZModemPair, ManagementOptionsDecideOnExistingFiles) {
  const std::string sent = RandomBytes(3000, 21);
  const int64_t sentTime = 1600000000;
  AddFile("m.bin", sent, sentTime);
  struct Case {
    int32_t management;
    size_t existingSize;
    int64_t existingTime;
    bool transferred;
    int32_t skipCode;
  } cases[] = {
      {1, 100, sentTime - 100, true, 0},       // older and shorter
      {1, 5000, sentTime - 100, false, -933},  // older but longer
      {2, 3000, sentTime, false, -933},        // same content (CRC matches)
      {2, 2999, sentTime, true, 0},            // content differs
      {4, 5000, sentTime + 100, true, 0},      // always replace
      {5, 100, sentTime + 100, false, -933},   // existing newer
      {5, 100, sentTime - 100, true, 0},       // existing older
      {6, 3000, sentTime - 100, false, -933},  // same length
      {6, 100, sentTime - 100, true, 0},       // both differ
      {7, 100, sentTime - 100, false, -939},   // never overwrite
  };
  for (const Case& c : cases) {
    // For option 2 the "same content" file must really be the same bytes.
    const std::string existing = c.existingSize == 3000 && c.management == 2 ? sent : std::string(c.existingSize, 'e');
    Spit(recvDir + "/m.bin", existing);
    SetMTime(recvDir + "/m.bin", c.existingTime);
    Result r;
    Run(sendDir + "/m.bin", r, 1, {}, {}, nullptr, [&](ZModem& z) {
      z.SetManagement(c.management);
      z.SetCrashRecovery(1);
    });
    const std::string got = Slurp(recvDir + "/m.bin");
    if (existing != sent) {
      EXPECT_EQ(got == sent, c.transferred) << "option " << c.management << " size " << c.existingSize;
    }
    if (!c.transferred) {
      EXPECT_TRUE(got == existing) << "option " << c.management;
      EXPECT_NE(std::find(r.receiveStatus.events.begin(), r.receiveStatus.events.end(), c.skipCode),
                r.receiveStatus.events.end()) << "option " << c.management;
      EXPECT_EQ(r.sendCode, TransferCode::NoFilesSent);  // skipped: neither sent nor failed
    } else {
      EXPECT_EQ(r.sendCode, 0);
    }
    EXPECT_EQ(r.receiveCode, 0);
  }
  // Option 3 appends the whole file to what is there.
  Spit(recvDir + "/m.bin", "head");
  Result r;
  Run(sendDir + "/m.bin", r, 1, {}, {}, nullptr, [](ZModem& z) {
    z.SetManagement(3);
    z.SetCrashRecovery(1);
  });
  EXPECT_TRUE(Slurp(recvDir + "/m.bin") == "head" + sent);
}

TEST_F(ZModemPair, CrashRecoveryResumesAShorterFileAndReplacesALongerOne) {
  const std::string sent = RandomBytes(5000, 31);
  AddFile("r.bin", sent);
  // The first 1000 bytes differ on purpose: kept bytes prove the resume.
  const std::string partial(1000, 'p');
  for (int32_t mode : {3, 2}) {
    Spit(recvDir + "/r.bin", partial);
    Result r;
    // With crash recovery 2 the receiver takes the sender's option (ZF1) as its own.
    Run(sendDir + "/r.bin", r, 1, {}, {}, [&](ZModem& z) {
          z.SetCrashRecovery(3);
          z.SetManagement(4);
        },
        [&](ZModem& z) {
          z.SetCrashRecovery(mode);
          z.SetManagement(4);
        });
    EXPECT_EQ(r.receiveCode, 0);
    EXPECT_TRUE(Slurp(recvDir + "/r.bin") == partial + sent.substr(1000)) << "crash recovery " << mode;
  }
  // A sender that does not ask to resume, with crash recovery 2: option 0 from its ZF1 replaces.
  Spit(recvDir + "/r.bin", partial);
  Result r;
  Run(sendDir + "/r.bin", r, 1, {}, {}, [](ZModem& z) {
        z.SetCrashRecovery(1);
        z.SetManagement(4);
      },
      [](ZModem& z) { z.SetCrashRecovery(2); });
  EXPECT_TRUE(Slurp(recvDir + "/r.bin") == sent);
  // Longer than the announced file: no resume, replaced from the start.
  Spit(recvDir + "/r.bin", std::string(6000, 'p'));
  Result r2;
  Run(sendDir + "/r.bin", r2, 1, {}, {}, nullptr, [](ZModem& z) { z.SetManagement(4); });
  EXPECT_TRUE(Slurp(recvDir + "/r.bin") == sent);
  // The defaults (crash recovery 3, option 7) never touch an existing file.
  Spit(recvDir + "/r.bin", partial);
  Result r3;
  Run(sendDir + "/r.bin", r3, 1);
  EXPECT_TRUE(Slurp(recvDir + "/r.bin") == partial);
}

// Names from the sender never leave the receiving folder: with path mode 0 only the last
// part is used; names that are empty, dots, climb with "..", or do not fit are skipped.
TEST_F(ZModemPair, UnsafeNamesAreSkippedAndFoldersAreStripped) {
  AddFile("n.txt", "payload");
  struct Case {
    std::string wireName;
    int32_t pathMode;
    std::string landsAt;  // empty: skipped
  } cases[] = {
      {"sub/dir\\x.txt", 0, "x.txt"}, {"c:y.txt", 0, "y.txt"}, {"../up.txt", 0, "up.txt"},
      {"../up.txt", 1, ""},          {"a/../../b.txt", 1, ""},   {"..", 0, ""},
      {".", 1, ""},                  {"inner.txt", 1, "inner.txt"},
  };
  for (const Case& c : cases) {
    std::string list = sendDir + "/n.txt;" + c.wireName;
    Result r;
    Run(list, r, 1, {}, {}, [](ZModem& z) { z.SetPathMode(2); },
        [&](ZModem& z) {
          z.SetPathMode(c.pathMode);
          z.SetManagement(4);
        });
    EXPECT_EQ(r.receiveCode, 0) << c.wireName;
    if (c.landsAt.empty()) {
      EXPECT_NE(std::find(r.receiveStatus.events.begin(), r.receiveStatus.events.end(), TransferCode::FileSkipped),
                r.receiveStatus.events.end()) << c.wireName;
      EXPECT_EQ(r.filesReceived, 0) << c.wireName;
    } else {
      EXPECT_EQ(Slurp(recvDir + "/" + c.landsAt), "payload") << c.wireName;
      Remove(recvDir + "/" + c.landsAt);
    }
  }
  EXPECT_FALSE(Slurp(root + "/up.txt") == "payload");
  // A name longer than the receiver's 260 bytes is refused, not cut.
  std::string deep = sendDir;
  for (int i = 0; i < 3; ++i) deep += "/" + std::string(100, static_cast<char>('a' + i));
  std::error_code tooLong;
  fs::create_directories(deep, tooLong);
  if (tooLong) return;  // a file system (Windows without long paths) that cannot hold the sender's file
  Spit(deep + "/n.txt", "payload");
  std::string list = deep + "/n.txt";
  Result r;
  Run(list, r, 1, {}, {}, [](ZModem& z) { z.SetPathMode(1); }, [](ZModem& z) { z.SetPathMode(0); });
  EXPECT_EQ(r.filesReceived, 0);
  EXPECT_EQ(r.sendCode, TransferCode::NoFilesSent);
  EXPECT_EQ(Slurp(recvDir + "/n.txt"), "");
}


// A receiver that asks for an earlier position while the sender streams: the queued output is
// dropped, an empty ZCRCE closes the frame, the error is counted and a new ZDATA header starts
// at the position asked for.
TEST_F(ZModemPair, ZrposDuringABurstRestartsTheFrameThere) {
  AddFile("b.bin", RandomBytes(8192, 41));
  FakeClock clock;
  FakeComLink link;
  SerialPort port(&link);
  RecordingStatus status(60000);
  ZModem z(&port, &status);
  auto hex = [](int32_t type, uint32_t pos, int32_t flags = 0) {
    FakeComLink out;
    SerialPort outPort(&out);
    ZModem maker(&outPort, nullptr);
    uint8_t bytes[4];
    ZModem::PutPosition(pos, bytes);
    if (type == Zm::ZRINIT) bytes[3] = static_cast<uint8_t>(flags);
    maker.SendHexHeader(type, bytes);
    return std::vector<uint8_t>(out.output.begin(), out.output.end());
  };
  // The sender purges its input first: the answers arrive a little later.
  link.AddInput(hex(Zm::ZRINIT, 0, Zm::CANFDX | Zm::CANOVIO | Zm::CANFC32), FakeClock::Now() + 20);
  bool askedFile = false, askedBack = false;
  size_t markAt = 0;
  link.onOutput = [&](FakeComLink& l) {
    const std::string events = WireEvents(std::deque<uint8_t>(l.output.begin(), l.output.end()));
    if (!askedFile && events.find('F') != std::string::npos) {
      askedFile = true;
      l.AddInput(hex(Zm::ZRPOS, 0));
    } else if (!askedBack && events.size() >= 7) {  // q F k D i i i: three subpackets out
      askedBack = true;
      markAt = l.output.size();
      l.AddInput(hex(Zm::ZRPOS, 1024));
    }
  };
  status.Start();
  std::string list = sendDir + "/b.bin";
  z.Send(list.data());  // ends at the status's time limit, waiting for a ZRINIT after ZEOF
  ASSERT_TRUE(askedBack);
  const std::deque<uint8_t> after(link.output.begin() + static_cast<long>(markAt), link.output.end());
  const std::string events = WireEvents(after);
  EXPECT_EQ(events.substr(0, 2), "hD") << events;  // the empty ZCRCE, then a new frame
  // That frame starts at 1024: its header is exactly what a CRC-32 ZDATA at 1024 looks like.
  FakeComLink expect;
  SerialPort expectPort(&expect);
  ZModem maker(&expectPort, nullptr);
  maker.SetReceiverFlags(Zm::CANFC32);
  const uint8_t at1024[4] = {0x00, 0x04, 0, 0};
  maker.SendBinaryHeader(Zm::ZDATA, at1024);
  const std::vector<uint8_t> rest(after.begin(), after.end());
  EXPECT_NE(std::search(rest.begin(), rest.end(), expect.output.begin(), expect.output.end()), rest.end());
  EXPECT_GE(status.errors, 1);
}

}  // namespace
