// Our ZModem engine against lrzsz over a socat pty pair, both directions: batches of edge
// sizes and 8 MiB of random data, byte-exact and time-stamped; windows on both sides; crash
// recovery after a sender dies half-way; the management options against sz's flags.
#include "transfer/zmodem/ZModem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/LineRelay.h"
#include "fakes/TestData.h"
#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "interop/Peers.h"
#include "link/PosixPort.h"
#include "link/SerialPort.h"

namespace {

void Spit(const std::string& path, const std::string& data, time_t mtime) {
  ::Spit(path, data);
  struct timespec t[2] = {{mtime, 0}, {mtime, 0}};
  utimensat(AT_FDCWD, path.c_str(), t, 0);
}

time_t MTime(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

// Gives up after a wall-clock limit (-909) and lets a test act on progress.
class WatchStatus : public TransferStatus {
 public:
  void Notify(int32_t c) override {
    if (c != 0) events.push_back(c);
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
};

class ZModemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("sz rz socat")) GTEST_SKIP() << "lrzsz or socat missing";
    pair = std::make_unique<PtyPair>();
    ASSERT_TRUE(pair->Ok()) << pair->Error();
    ours = pair->Dir() + "/ours";
    theirs = pair->Dir() + "/theirs";
    mkdir(ours.c_str(), 0755);
    mkdir(theirs.c_str(), 0755);
    getcwd(oldCwd, sizeof oldCwd);
    chdir(ours.c_str());
  }
  // The pair's folder, with ours and theirs in it, goes with the pair.
  void TearDown() override {
    if (oldCwd[0]) chdir(oldCwd);
  }

  // Starts the lrzsz peer on end B (or on the terminal `tty`), working in `theirs`.
  void StartPeer(const std::vector<std::string>& argv, const std::string& tty = "") {
    peer = std::make_unique<ChildProcess>();
    ASSERT_TRUE(peer->Start(argv, OnPty(tty.empty() ? pair->PathB() : tty, theirs, pair->Dir() + "/peer.log")))
        << peer->Error();
  }
  int32_t PeerExit() { return peer->Wait(20000); }
  // Drops what the last run left in flight toward the peer's end (our cancel sequence).
  void DrainPeerEnd() {
    const int fd = open(pair->PathB().c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return;
    char junk[4096];
    for (int quiet = 0; quiet < 30;) {
      if (read(fd, junk, sizeof junk) > 0) {
        quiet = 0;
      } else {
        ++quiet;
        usleep(10000);
      }
    }
    close(fd);
  }

  // Runs our engine on end A (or on the terminal `path`).
  int32_t RunOurs(bool send, char* list, WatchStatus& status, const std::function<void(ZModem&)>& setup = nullptr,
                  const std::string& path = "") {
    PosixPort port(path.empty() ? pair->PathA() : path, 16384, 16384);
    if (port.Status() != 0) return port.Status();
    SerialPort serial(&port);
    ZModem z(&serial, &status);
    if (setup) setup(z);
    return send ? z.Send(list) : z.Receive(list);
  }

  std::unique_ptr<PtyPair> pair;
  std::unique_ptr<ChildProcess> peer;
  std::string ours, theirs;
  char oldCwd[1024] = {};
};

// Batches of edge sizes both ways, byte-exact and stamped: sz with 8 KiB subpackets (-8) into
// our receiver without a single error, sz with a window, and our sender streaming and with
// windows to rz. rz answers a frame that waits tens of milliseconds late, so the windowed runs
// leave the big file out.
TEST_F(ZModemInterop, BatchesBothWays) {
  const struct {
    bool weSend;
    int32_t window;
    const char* szOption;
    bool big;
  } runs[] = {{false, 4096, "-8", true}, {false, 4096, "-w4096", false}, {true, 0, "", true},
              {true, 1024, "", false},   {true, 4096, "", false}};
  const std::pair<std::string, size_t> files[] = {{"empty.bin", 0},    {"one.bin", 1},    {"k1023.bin", 1023},
                                                  {"k1024.bin", 1024}, {"k1025.bin", 1025}, {"k64.bin", 65536},
                                                  {"big random.bin", 16u << 20}};
  for (const auto& run : runs) {
    SCOPED_TRACE(std::string(run.weSend ? "to rz, window " : "from sz ") + std::to_string(run.window) + run.szOption);
    const std::string from = run.weSend ? ours : theirs, to = run.weSend ? theirs : ours;
    std::vector<std::string> argv = {run.weSend ? "rz" : "sz", "-q"};
    if (!run.weSend) argv.push_back(run.szOption);
    std::string list;
    const size_t count = run.big ? 7 : 6;
    for (size_t i = 0; i < count; ++i) {
      Spit(from + "/" + files[i].first, RandomBytes(files[i].second, 100 + i), 1400000000 + 2 * i);
      unlink((to + "/" + files[i].first).c_str());
      if (!run.weSend) argv.push_back(files[i].first);
      list += (i ? ";" : "") + ours + "/" + files[i].first;
    }
    StartPeer(argv);
    WatchStatus s;
    EXPECT_EQ(0, RunOurs(run.weSend, run.weSend ? &list[0] : nullptr, s, [&](ZModem& z) { z.SetWindowSize(run.window); }));
    EXPECT_EQ(0, PeerExit()) << Slurp(pair->Dir() + "/peer.log");
    EXPECT_EQ(static_cast<int32_t>(count), s.filesDone);
    EXPECT_EQ(0, s.errors);
    for (size_t i = 0; i < count; ++i) {
      EXPECT_TRUE(Slurp(to + "/" + files[i].first) == Slurp(from + "/" + files[i].first)) << files[i].first;
      EXPECT_EQ(MTime(to + "/" + files[i].first), 1400000000 + 2 * static_cast<time_t>(i)) << files[i].first;
    }
  }
}

TEST_F(ZModemInterop, RzResumesAfterACrash) {
  const std::string data = RandomBytes(8u << 20, 500);
  Spit(ours + "/big.bin", data, 1400000000);
  std::string list = ours + "/big.bin";
  StartPeer({"rz", "-q", "-r"});
  WatchStatus first;
  // rz removes a partial file when it is told to cancel; a crash (SIGKILL) leaves it.
  first.onProgress = [&](WatchStatus& st) {
    if (st.bytesDone > (3 << 20) && st.abortCode == 0) {
      kill(peer->Pid(), SIGKILL);
      st.abortCode = TransferCode::UserCancelled;
    }
  };
  EXPECT_EQ(RunOurs(true, list.data(), first, [](ZModem& z) { z.SetWindowSize(0); }), TransferCode::UserCancelled);
  PeerExit();
  struct stat st;
  ASSERT_EQ(stat((theirs + "/big.bin").c_str(), &st), 0) << "rz kept no partial file";
  const off_t kept = st.st_size;
  DrainPeerEnd();
  EXPECT_LT(kept, static_cast<off_t>(data.size()));
  StartPeer({"rz", "-q", "-r"});
  WatchStatus second;
  int32_t firstChunkEnd = -1;
  second.onProgress = [&](WatchStatus& s) {
    if (firstChunkEnd < 0 && s.blockLength > 0 && s.bytesDone > 0) firstChunkEnd = s.bytesDone;
  };
  list = ours + "/big.bin";
  EXPECT_EQ(RunOurs(true, list.data(), second, [](ZModem& z) { z.SetWindowSize(0); }), 0);
  EXPECT_EQ(PeerExit(), 0);
  EXPECT_TRUE(Slurp(theirs + "/big.bin") == data);
  EXPECT_GE(firstChunkEnd, static_cast<int32_t>(kept)) << "the first data sent started at the kept length";
  EXPECT_LE(firstChunkEnd, static_cast<int32_t>(kept) + 1024);
}

// sz dies half-way into the zandrel host: a non-zero exit (5 after SIGKILL, silence until the
// time-out; 16 after SIGTERM, sz cancels), the part kept without the sender's date. A second sz
// resumes it (the first byte, changed here on purpose, stays) by default, and with crash
// recovery 2 only when sz asks for it (-r); otherwise the file is received anew.
TEST_F(ZModemInterop, SzKilledHalfWayIntoTheHostExitsNonZeroAndTheRestResumes) {
  const std::string data = RandomBytes(16u << 20, 950), part = ours + "/big.bin";
  Spit(theirs + "/big.bin", data, 1400000000);
  const struct {
    int signal, exit;
    const char *szResume, *crashRecovery;
    bool resumes;
  } cases[] = {{SIGKILL, 5, "-q", "3", true}, {SIGTERM, 16, "-r", "2", true}, {SIGKILL, 5, "-q", "2", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.szResume) + " " + c.crashRecovery);
    unlink(part.c_str());
    auto host = [&](ChildProcess& child) {
      ChildOptions o;
      o.stderrPath = pair->Dir() + "/host.log";
      ASSERT_TRUE(child.Start({kZandrel, "receive", "--port", pair->PathA(),
                               "--protocol", "zmodem", "--dir", ours, "--overwrite", "4", "--recv-timeout", "2",
                               "--crash-recovery", c.crashRecovery},
                              o));
    };
    ChildProcess first, second;
    host(first);
    StartPeer({"sz", "-q", c.szResume, "big.bin"});
    struct stat st {};
    for (int i = 0; i < 20000 && (stat(part.c_str(), &st) != 0 || st.st_size < (4 << 20)); ++i) usleep(1000);
    kill(peer->Pid(), c.signal);
    EXPECT_EQ(c.exit, first.Wait(20000)) << Slurp(pair->Dir() + "/host.log");
    PeerExit();
    ASSERT_EQ(0, stat(part.c_str(), &st));
    EXPECT_GT(st.st_size, 0);
    EXPECT_LT(st.st_size, static_cast<off_t>(data.size()));
    EXPECT_NE(1400000000, st.st_mtime);
    std::string want = data;
    want[0] = static_cast<char>(~data[0]);
    {
      std::fstream f(part, std::ios::in | std::ios::out | std::ios::binary);
      f.put(want[0]);
    }
    DrainPeerEnd();
    host(second);
    StartPeer({"sz", "-q", c.szResume, "big.bin"});
    EXPECT_EQ(0, second.Wait(60000)) << Slurp(pair->Dir() + "/host.log");
    EXPECT_EQ(0, PeerExit());
    EXPECT_TRUE(Slurp(part) == (c.resumes ? want : data));
    EXPECT_EQ(1400000000, MTime(part));
  }
}

// Every file below a folder with its content.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> all;
  std::error_code failed;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir, failed))
    all[e.path().string()] = e.is_symlink() ? "link" : Slurp(e.path().string());
  return all;
}

// A hostile batch (sz -f sends names as given): absolute, device and control-character names,
// a climb out, and last a name that is our link to a file outside. Only the plain file lands;
// nothing outside our folder changes or appears; the link is refused (-902).
TEST_F(ZModemInterop, HostileBatchCreatesNothingOutsideTheFolder) {
  const std::vector<std::string> names = {"CON", "nul.txt", "esc\x1b[31m.txt", "new\nline.txt", "good.txt", "link.txt"};
  Spit(theirs + "/victim.txt", "victim", 1400000000);
  for (const std::string& n : names) Spit(theirs + "/" + n, "hostile " + n, 1400000000);
  ASSERT_EQ(0, symlink("../theirs/victim.txt", (ours + "/link.txt").c_str()));
  std::vector<std::string> argv = {"sz", "-q", "-f", theirs + "/victim.txt", "../theirs/victim.txt"};
  argv.insert(argv.end(), names.begin(), names.end());
  StartPeer(argv);
  const auto before = Tree(theirs);
  WatchStatus s;
  EXPECT_EQ(TransferCode::OpenFailed, RunOurs(false, nullptr, s, [](ZModem& z) {
              z.SetPathMode(1);
              z.SetManagement(4);
            }));
  PeerExit();
  EXPECT_TRUE(before == Tree(theirs));
  EXPECT_EQ((std::map<std::string, std::string>{{ours + "/good.txt", "hostile good.txt"}, {ours + "/link.txt", "link"}}),
            Tree(ours));
  EXPECT_EQ(6, std::count(s.events.begin(), s.events.end(), TransferCode::FileSkipped));
}

// The management option travels in sz's flags (our crash recovery 2 takes it); each batch
// holds a file that should and one that should not be transferred over an existing one. Last,
// our option 2 with crash recovery 1: sz answers our ZCRC with its file's CRC, and an equal file
// is skipped, not even restamped.
TEST_F(ZModemInterop, ManagementOptionsFollowSzFlags) {
  const std::string sent = RandomBytes(5000, 600), o100(100, 'o'), o9000(9000, 'o');
  struct Existing {
    std::string name, content;  // our file before the batch (none when empty)
    time_t time;
    std::string outcome;  // "new", "kept" or "appended"
  };
  const struct {
    const char* flag;
    int32_t crashRecovery, management;
    std::vector<Existing> files;
  } cases[] = {
      {"-n", 2, 7, {{"older.bin", o100, 1300000000, "new"}, {"newer.bin", o100, 1500000000, "kept"}}},
      {"-N", 2, 7, {{"shorter.bin", o100, 1300000000, "new"}, {"longer.bin", o9000, 1300000000, "kept"}}},
      {"-p", 2, 7, {{"absent.bin", "", 0, "new"}, {"there.bin", o100, 1300000000, "kept"}}},
      {"-y", 2, 7, {{"there.bin", o100, 1500000000, "new"}, {"absent.bin", "", 0, "new"}}},
      {"-+", 2, 7, {{"there.bin", o100, 1300000000, "appended"}, {"absent.bin", "", 0, "new"}}},
      {"", 1, 2, {{"same.bin", sent, 1300000000, "kept"}, {"other.bin", RandomBytes(5000, 7), 1300000000, "new"}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {"sz", "-q"};
    if (c.flag[0]) argv.push_back(c.flag);
    for (const Existing& e : c.files) {
      Spit(theirs + "/" + e.name, sent, 1400000000);
      unlink((ours + "/" + e.name).c_str());
      if (!e.content.empty()) Spit(ours + "/" + e.name, e.content, e.time);
      argv.push_back(e.name);
    }
    StartPeer(argv);
    WatchStatus s;
    EXPECT_EQ(RunOurs(false, nullptr, s, [&](ZModem& z) {
                z.SetCrashRecovery(c.crashRecovery);
                z.SetManagement(c.management);
              }),
              0)
        << c.flag;
    EXPECT_EQ(PeerExit(), 0) << c.flag;
    for (const Existing& e : c.files) {
      const std::string want = e.outcome == "kept" ? e.content : e.outcome == "appended" ? e.content + sent : sent;
      EXPECT_TRUE(Slurp(ours + "/" + e.name) == want) << c.flag << " " << e.name << " should be " << e.outcome;
      if (e.outcome == "kept") {
        EXPECT_EQ(MTime(ours + "/" + e.name), e.time) << c.flag << " " << e.name;
      }
    }
    if (c.management == 2) {  // the CRC skip is reported
      EXPECT_EQ(1, std::count(s.events.begin(), s.events.end(), TransferCode::FileSkipped));
    }
  }
}

// Through a damaging relay, lrzsz on the other end: every run ends with the file byte-exact
// or with a failure on some side, never with a damaged file reported as received.
TEST_F(ZModemInterop, FaultyLineAgainstLrzszNeverDeliversADamagedFile) {
  const std::string data = RandomBytes(96 * 1024, 800);
  Spit(ours + "/f.bin", data, 1400000000);
  Spit(theirs + "/f.bin", data, 1400000000);
  int clean = 0;
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    for (bool ourSender : {true, false}) {
      bench::LinePlan plan;
      plan.bytesPerSecond = 0;
      plan.seed = seed;
      plan.drop = plan.insert = 0.2e-4;
      plan.flip = 0.6e-4;
      bench::Pty ptyA, ptyB;
      bench::LineRelay relay(ptyA.master, ptyB.master, plan);
      const std::string dir = ourSender ? theirs : ours;
      Spit((ourSender ? ours : theirs) + "/f.bin", data, 1400000000);
      unlink((dir + "/f.bin").c_str());
      StartPeer(ourSender ? std::vector<std::string>{"rz", "-q", "-y"} : std::vector<std::string>{"sz", "-q", "f.bin"},
                ptyB.slave);
      WatchStatus s;
      s.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
      std::string list = ours + "/f.bin";
      const int32_t code = RunOurs(ourSender, ourSender ? list.data() : nullptr, s, [](ZModem& z) {
        z.SetManagement(4);
        z.SetMaxErrors(500);
      }, ptyA.slave);
      const int peerExit = PeerExit();
      const bool exact = Slurp(dir + "/f.bin") == data;
      // A side that says it is done must have the exact file behind it.
      if (!ourSender && std::find(s.events.begin(), s.events.end(), TransferCode::RunEnded) != s.events.end()) {
        EXPECT_TRUE(exact) << "seed " << seed << ": our receiver reported a damaged file as done";
      }
      if (ourSender && peerExit == 0) {
        EXPECT_TRUE(exact) << "seed " << seed << ": rz ended well on a damaged file";
      }
      if (code == 0 && peerExit == 0) {
        EXPECT_TRUE(exact) << "seed " << seed;
        ++clean;
      }
    }
  }
  std::printf("faulty relay against lrzsz: %d of 8 runs clean\n", clean);
  // One flipped, dropped or added byte in 10 000 is survivable: most runs must get through.
  EXPECT_GE(clean, 5);
}

}  // namespace
