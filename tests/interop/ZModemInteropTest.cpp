// Our ZModem engine against lrzsz over a socat pty pair, both directions: batches of edge
// sizes and 16 MiB of random data, byte-exact and time-stamped; windows on both sides; rz
// resuming, and crash recovery after a sender dies half-way; the management options against
// sz's flags; hostile names; a damaging line.
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

// Gives up after a wall-clock limit (-909).
class WatchStatus : public TransferStatus {
 public:
  void Notify(int32_t c) override {
    if (c != 0) events.push_back(c);
  }
  int32_t QueryAbort() override {
    return std::chrono::steady_clock::now() > deadline ? TransferCode::Timeout : 0;
  }
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::vector<int32_t> events;
};

class ZModemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PREREQUISITE(Have("sz rz socat"), "lrzsz or socat missing");
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

const std::pair<std::string, size_t> kEdgeSizes[] = {{"empty.bin", 0},    {"one.bin", 1},     {"k1023.bin", 1023},
                                                     {"k1024.bin", 1024}, {"k1025.bin", 1025}, {"k64.bin", 65536},
                                                     {"big random.bin", 16u << 20}};

// Our sender to rz -r, batches of edge sizes, streaming and with windows, byte-exact and each
// file with its own stamp. rz answers a frame that waits tens of milliseconds late, so the
// windowed runs leave the big file out. In the streaming run rz holds the first 3 MiB of the
// big file, its first byte not ours: kept, it proves the data started where rz asked.
TEST_F(ZModemInterop, ToRzInBatchesAndResumed) {
  for (int32_t window : {0, 1024, 4096}) {
    SCOPED_TRACE(window);
    const size_t count = window == 0 ? 7 : 6;
    std::string list;
    std::vector<std::string> want;
    for (size_t i = 0; i < count; ++i) {
      want.push_back(RandomBytes(kEdgeSizes[i].second, 100 + i));
      Spit(ours + "/" + kEdgeSizes[i].first, want[i], 1400000000 + 2 * i);
      unlink((theirs + "/" + kEdgeSizes[i].first).c_str());
      list += (i ? ";" : "") + ours + "/" + kEdgeSizes[i].first;
    }
    if (count == 7) {
      want[6][0] = static_cast<char>(~want[6][0]);
      Spit(theirs + "/" + kEdgeSizes[6].first, want[6].substr(0, 3u << 20), 1300000000);
    }
    StartPeer({"rz", "-q", "-r"});
    WatchStatus s;
    EXPECT_EQ(0, RunOurs(true, &list[0], s, [&](ZModem& z) { z.SetWindowSize(window); }));
    EXPECT_EQ(0, PeerExit()) << Slurp(pair->Dir() + "/peer.log");
    EXPECT_EQ(static_cast<int32_t>(count), s.filesDone);
    EXPECT_EQ(0, s.errors);
    for (size_t i = 0; i < count; ++i) {
      EXPECT_TRUE(Slurp(theirs + "/" + kEdgeSizes[i].first) == want[i]) << kEdgeSizes[i].first;
      EXPECT_EQ(MTime(theirs + "/" + kEdgeSizes[i].first), 1400000000 + 2 * static_cast<time_t>(i)) << i;
    }
  }
}

// sz dies half-way into the zandrel host: a non-zero exit (5 after SIGKILL, silence until the
// time-out; 16 after SIGTERM, sz cancels), the part kept without the sender's date. A second sz
// resumes it (the first byte, changed here on purpose, stays) by default, and with crash
// recovery 2 only when sz asks for it (-r); otherwise the file is received anew. The first
// resume goes to a host in host mode, which then takes a second batch, waits for the next
// sender and ends on Ctrl-C, counting each batch and all its files.
TEST_F(ZModemInterop, SzKilledHalfWayIntoTheHostExitsNonZeroAndTheRestResumes) {
  const std::string data = RandomBytes(16u << 20, 950), part = ours + "/big.bin", log = pair->Dir() + "/host.log";
  Spit(theirs + "/big.bin", data, 1400000000);
  for (int i = 1; i <= 2; ++i) ::Spit(theirs + "/f" + std::to_string(i) + ".bin", RandomBytes(20000 * i, i));
  const struct {
    int signal, exit;
    const char *szResume, *crashRecovery;
    bool resumes;
  } cases[] = {{SIGKILL, 5, "-q", "3", true}, {SIGTERM, 16, "-r", "2", true}, {SIGKILL, 5, "-q", "2", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.szResume) + " " + c.crashRecovery);
    unlink(part.c_str());
    const bool hostMode = &c == &cases[0];
    auto host = [&](ChildProcess& child, bool loop) {
      ChildOptions o;
      o.stderrPath = log;
      std::vector<std::string> argv = {kZandrel, "receive", "--port", pair->PathA(), "--protocol", "zmodem",
                                       "--dir", ours, "--overwrite", "4", "--recv-timeout", loop ? "0" : "2",
                                       "--crash-recovery", c.crashRecovery};
      if (loop) argv.push_back("--host");
      ASSERT_TRUE(child.Start(argv, o));
    };
    ChildProcess first, second;
    host(first, false);
    StartPeer({"sz", "-q", c.szResume, "big.bin"});
    struct stat st {};
    for (int i = 0; i < 20000 && (stat(part.c_str(), &st) != 0 || st.st_size < (4 << 20)); ++i) usleep(1000);
    kill(peer->Pid(), c.signal);
    EXPECT_EQ(c.exit, first.Wait(20000)) << Slurp(log);
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
    host(second, hostMode);
    StartPeer({"sz", "-q", c.szResume, "big.bin"});
    if (hostMode) {  // then a second batch; the host waits for the next sender until Ctrl-C
      EXPECT_EQ(0, peer->Wait(60000));
      StartPeer({"sz", "-q", "f1.bin", "f2.bin"});
      EXPECT_EQ(0, PeerExit());
      const std::string done = "2 / 2 File(s) received.";
      Eventually([&] {
        const std::string said = Slurp(log);
        const size_t at = said.find(done);
        return at != std::string::npos && said.find("Waiting for sender...", at) != std::string::npos;
      });
      kill(second.Pid(), SIGINT);
      EXPECT_EQ(6, second.Wait(10000));
      const std::string said = Slurp(log);
      for (const std::string& line : {std::string("1 / 1 File(s) received."), done,
                                      std::string("zandrel: host mode ended; 3 file(s) received.")})
        EXPECT_NE(std::string::npos, said.find(line)) << said;
      for (const char* f : {"/f1.bin", "/f2.bin"}) EXPECT_TRUE(Slurp(ours + f) == Slurp(theirs + f)) << f;
    } else {
      EXPECT_EQ(0, second.Wait(60000)) << Slurp(log);
      EXPECT_EQ(0, PeerExit());
    }
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
// nothing outside our folder changes or appears; the link is refused (-902). Then the host,
// replacing files under their names as given, is sent a name whose folder is our link to a
// folder outside: the file there stays as it was, and the host could not open it.
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

  const std::string outside = pair->Dir() + "/outside";
  for (const std::string& folder : {outside, theirs + "/lnk"}) mkdir(folder.c_str(), 0755);
  ::Spit(outside + "/target.txt", "outside");
  ::Spit(theirs + "/lnk/target.txt", "hostile");
  ASSERT_EQ(0, symlink(outside.c_str(), (ours + "/lnk").c_str()));
  DrainPeerEnd();
  StartPeer({"sz", "-q", "-f", "lnk/target.txt"});
  // 11: "Unable to open file."
  EXPECT_EQ(11, ChildProcess::Run({kZandrel, "receive", "--port", pair->PathA(), "--protocol", "zmodem", "--dir", ours,
                                   "--path-mode", "1", "--overwrite", "4", "--recv-timeout", "2"}, {}, 20000));
  PeerExit();
  EXPECT_EQ((std::map<std::string, std::string>{{outside + "/target.txt", "outside"}}), Tree(outside));
}

// From sz into our receiver (window 4096), batches whose files arrive byte-exact, each with
// its own stamp, without a single error: edge sizes with 8 KiB subpackets (-8) and with a
// window. The management option travels in sz's flags (our crash recovery 2 takes it); each
// batch holds a file that should and one that should not be transferred over an existing one
// (a refused first file leaves the two after it to arrive).
// Last, our option 2 with crash recovery 1: sz answers our ZCRC with its file's CRC, and an
// equal file is skipped, not even restamped.
TEST_F(ZModemInterop, FromSzInBatchesWithItsManagementFlags) {
  const std::string sent = RandomBytes(5000, 600), o100(100, 'o'), o9000(9000, 'o');
  struct File {
    std::string name;
    size_t size;           // of what sz sends
    std::string existing;  // our file before the batch (none when empty)
    time_t time;
    std::string outcome;  // "new", "kept" (reported skipped), "refused" (as existing) or "appended"
  };
  std::vector<File> edges;
  for (const auto& e : kEdgeSizes) edges.push_back({e.first, e.second, "", 0, "new"});
  const struct {
    const char* flag;
    int32_t crashRecovery, management;
    std::vector<File> files;
  } cases[] = {
      {"-8", 2, 7, edges},
      {"-w4096", 2, 7, std::vector<File>(edges.begin(), edges.end() - 1)},
      {"-n", 2, 7, {{"older.bin", 5000, o100, 1300000000, "new"}, {"newer.bin", 5000, o100, 1500000000, "kept"}}},
      {"-N", 2, 7, {{"shorter.bin", 5000, o100, 1300000000, "new"}, {"longer.bin", 5000, o9000, 1300000000, "kept"}}},
      {"-p", 2, 7,
       {{"there.bin", 5000, o100, 1300000000, "refused"}, {"absent.bin", 5000, "", 0, "new"}, {"third.bin", 1, "", 0, "new"}}},
      {"-y", 2, 7, {{"there.bin", 5000, o100, 1500000000, "new"}, {"absent.bin", 5000, "", 0, "new"}}},
      {"-+", 2, 7, {{"there.bin", 5000, o100, 1300000000, "appended"}, {"absent.bin", 5000, "", 0, "new"}}},
      {"-q", 1, 2,
       {{"same.bin", 5000, sent, 1300000000, "kept"}, {"other.bin", 5000, RandomBytes(5000, 7), 1300000000, "new"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    std::vector<std::string> argv = {"sz", "-q", c.flag};
    int32_t skipped = 0, refused = 0;
    for (size_t i = 0; i < c.files.size(); ++i) {
      const File& f = c.files[i];
      Spit(theirs + "/" + f.name, RandomBytes(f.size, 600), 1400000000 + 2 * i);
      unlink((ours + "/" + f.name).c_str());
      if (!f.existing.empty()) Spit(ours + "/" + f.name, f.existing, f.time);
      argv.push_back(f.name);
      skipped += f.outcome == "kept";
      refused += f.outcome == "refused";
    }
    StartPeer(argv);
    WatchStatus s;
    EXPECT_EQ(0, RunOurs(false, nullptr, s, [&](ZModem& z) {
                z.SetWindowSize(4096);
                z.SetCrashRecovery(c.crashRecovery);
                z.SetManagement(c.management);
              }));
    EXPECT_EQ(0, PeerExit()) << Slurp(pair->Dir() + "/peer.log");
    EXPECT_EQ(0, s.errors);
    EXPECT_EQ(static_cast<int32_t>(c.files.size()) - skipped - refused, s.filesDone);
    EXPECT_EQ(skipped, std::count(s.events.begin(), s.events.end(), TransferCode::FileSkipped));
    EXPECT_EQ(refused, std::count(s.events.begin(), s.events.end(), TransferCode::FileExists));
    for (size_t i = 0; i < c.files.size(); ++i) {
      const File& f = c.files[i];
      const std::string got = RandomBytes(f.size, 600);
      const bool kept = f.outcome == "kept" || f.outcome == "refused";
      const std::string want = kept ? f.existing : f.outcome == "appended" ? f.existing + got : got;
      EXPECT_TRUE(Slurp(ours + "/" + f.name) == want) << f.name << " should be " << f.outcome;
      if (f.outcome != "appended") {
        EXPECT_EQ(MTime(ours + "/" + f.name), kept ? f.time : 1400000000 + 2 * static_cast<time_t>(i))
            << f.name;
      }
    }
  }
}

// Through a damaging relay, lrzsz on the other end: every run ends with the file byte-exact
// or with a failure on some side, never with a damaged file reported as received.
TEST_F(ZModemInterop, FaultyLineAgainstLrzszNeverDeliversADamagedFile) {
  const std::string data = RandomBytes(96 * 1024, 800);
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
      // A receiving side that says it is done must have the exact file behind it.
      const bool done = ourSender ? peerExit == 0
                                  : code == 0 || std::count(s.events.begin(), s.events.end(), TransferCode::RunEnded);
      EXPECT_TRUE(exact || !done) << "seed " << seed << (ourSender ? ": rz" : ": our receiver")
                                  << " took a damaged file";
      clean += code == 0 && peerExit == 0;
    }
  }
  std::printf("faulty relay against lrzsz: %d of 8 runs clean\n", clean);
  // One flipped, dropped or added byte in 10 000 is survivable: most runs must get through.
  EXPECT_GE(clean, 5);
}

}  // namespace
