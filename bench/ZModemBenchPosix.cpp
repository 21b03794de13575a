// ZModem throughput and line efficiency, against lrzsz measured in the same run.
// Pty section: over a socat pty pair, zandrel->rz, sz->zandrel and zandrel->zandrel against
// sz->rz (random data; ratios and CPU seconds per MiB).
// Line section: through a relay that holds a real 115200 baud line (11520 bytes/s each way),
// efficiency = file bytes / (seconds * 11520) on a clean line, with one flipped bit in 10000
// bytes (both ways), and with one 3-second outage that drops what the line held; for lrzsz
// pairs, zandrel <-> lrzsz both ways and zandrel <-> zandrel with windows 0, 1024 and 4096. Each
// row shows the flips and the ZDATA, ZRPOS and ZACK headers the line carried; with several
// rounds (a new seed each) the medians close the run.
// Run: build/native/bench/ZModemBenchPosix [--pty MiB (16; 0 skips)] [--line KiB (256; 0 skips)]
//        [--rounds N (1)] [--seed S (1)] [--only TEXT (rows whose name contains it)]
//        [--lines clean,flip,pause]
// Needs lrzsz (sz, rz) and socat on PATH; lrzsz runs with the tests' tcdrain cure when built.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LineRelay.h"
#include "link/PosixPort.h"
#include "link/SerialPort.h"
#include "transfer/zmodem/ZModem.h"

namespace {
using bench::Now;

double ThreadCpu() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A socat pty pair, the way the interop tests join two programs.
struct SocatPair {
  pid_t pid = -1;
  std::string a, b;
  explicit SocatPair(const std::string& dir) : a(dir + "/ptyA"), b(dir + "/ptyB") {
    pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      execlp("socat", "socat", ("pty,raw,echo=0,link=" + a).c_str(), ("pty,raw,echo=0,link=" + b).c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && (access(a.c_str(), F_OK) != 0 || access(b.c_str(), F_OK) != 0); ++i) usleep(10000);
  }
  ~SocatPair() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

struct Peer {
  pid_t pid = -1;
  double cpu = 0;  // user + system seconds, once waited for
  int status = -1;
};

std::string Cure() {
  const std::string path = std::string(ZANDREL_BINARY_DIR) + "/tests/interop/libtcdrain_wait.so";
  return access(path.c_str(), R_OK) == 0 ? path : "";
}

Peer Spawn(const std::vector<std::string>& argv, const std::string& dir, const std::string& tty) {
  Peer p;
  p.pid = fork();
  if (p.pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!Cure().empty()) setenv("LD_PRELOAD", Cure().c_str(), 1);
    const int fd = open(tty.c_str(), O_RDWR);
    const int err = open("/dev/null", O_WRONLY);
    if (fd < 0) _exit(126);
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(err, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return p;
}

// Waits until the deadline, then kills: a stuck peer costs a row, not the run.
void Wait(Peer& p, double deadline) {
  rusage use{};
  while (wait4(p.pid, &p.status, WNOHANG, &use) == 0) {
    if (Now() > deadline) {
      kill(p.pid, SIGKILL);
      wait4(p.pid, &p.status, 0, &use);
      p.status = -1;
      break;
    }
    usleep(2000);
  }
  p.cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
          static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// Ends our engine's run at the deadline, as the host's inactivity limit would.
class DeadlineStatus : public TransferStatus {
 public:
  explicit DeadlineStatus(double at) : deadline(at) {}
  int32_t QueryAbort() override { return Now() > deadline ? TransferCode::Timeout : 0; }

 private:
  double deadline;
};

// Our engine on a pty slave, with the queue size the zandrel tool gives a ZModem run; CPU
// seconds of this thread come back in cpu.
int32_t RunOurs(const std::string& tty, bool send, const std::string& list, int32_t window, double deadline,
                double& cpu) {
  const double start = ThreadCpu();
  PosixPort port(tty, 4096, 2048);
  SerialPort serial(&port);
  serial.SetTxQueueSize(4096);
  DeadlineStatus status(deadline);
  ZModem z(&serial, &status);
  z.SetWindowSize(window);
  z.SetManagement(4);
  z.SetMaxErrors(1000);
  std::vector<char> text(list.begin(), list.end());
  text.push_back('\0');
  const int32_t code = send ? z.Send(text.data()) : z.Receive(nullptr);
  cpu = ThreadCpu() - start;
  return code;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y),
                    std::istreambuf_iterator<char>());
}

// One side of a run: our engine with its window, or lrzsz with its arguments.
struct Side {
  bool ours = true;
  int32_t window = 0;
  std::vector<std::string> lrzsz;
};
Side Ours(int32_t window) { return Side{true, window, {}}; }
Side Lrzsz(std::vector<std::string> argv) { return Side{false, 0, std::move(argv)}; }

struct Result {
  double seconds = 0, cpuOurs = 0, cpuPeers = 0;
  bool ok = false;
  bench::LineTally tally;
};

// One transfer of src/name to dst/name, over socat (plan null) or through the line relay.
Result Transfer(const Side& sender, const Side& receiver, const std::string& src, const std::string& dst,
                const std::string& name, const bench::LinePlan* plan, double limitSeconds) {
  unlink((dst + "/" + name).c_str());
  bench::Pty ptyA, ptyB;
  std::unique_ptr<SocatPair> socat;
  std::unique_ptr<bench::LineRelay> relay;
  std::string slaveA = ptyA.slave, slaveB = ptyB.slave;
  if (plan) {
    relay = std::make_unique<bench::LineRelay>(ptyA.master, ptyB.master, *plan);
  } else {
    socat = std::make_unique<SocatPair>(src + "/..");
    slaveA = socat->a;
    slaveB = socat->b;
  }
  Result r;
  const double start = Now(), deadline = start + limitSeconds;
  Peer lrzszSender, lrzszReceiver;
  std::thread ours;
  int32_t sendCode = 0, receiveCode = 0;
  double cpuSend = 0, cpuReceive = 0;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd) || chdir(dst.c_str()) != 0) return r;
  if (receiver.ours) {
    ours = std::thread([&] { receiveCode = RunOurs(slaveB, false, "", receiver.window, deadline, cpuReceive); });
  } else {
    lrzszReceiver = Spawn(receiver.lrzsz, dst, slaveB);
  }
  if (sender.ours) {
    usleep(20000);
    sendCode = RunOurs(slaveA, true, src + "/" + name, sender.window, deadline, cpuSend);
  } else {
    std::vector<std::string> argv = sender.lrzsz;
    argv.push_back(name);
    lrzszSender = Spawn(argv, src, slaveA);
    Wait(lrzszSender, deadline);
  }
  if (receiver.ours) {
    ours.join();
  } else {
    Wait(lrzszReceiver, deadline);
  }
  r.seconds = Now() - start;
  if (chdir(cwd) != 0) return r;
  if (relay) {
    relay->Stop();
    r.tally = relay->Tally();
  }
  r.cpuOurs = cpuSend + cpuReceive;
  r.cpuPeers = lrzszSender.cpu + lrzszReceiver.cpu;
  r.ok = sendCode == 0 && receiveCode == 0 && (sender.ours || lrzszSender.status == 0) &&
         (receiver.ours || lrzszReceiver.status == 0) && SameFile(src + "/" + name, dst + "/" + name);
  return r;
}

void WriteRandom(const std::string& path, size_t bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> words(bytes / 4 + 1);
  for (uint32_t& w : words) w = rng();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(words.data()), static_cast<long>(bytes));
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Options {
  size_t ptyMib = 16, lineKib = 256;
  int rounds = 1;
  uint64_t seed = 1;
  std::string only;
  std::string lines = "clean,flip,pause";
};

void PtySection(const Options& o, const std::string& src, const std::string& dst) {
  WriteRandom(src + "/data.bin", o.ptyMib << 20, 1);
  WriteRandom(src + "/small.bin", 1u << 20, 3);
  const double mb = static_cast<double>(o.ptyMib);
  const Side sz = Lrzsz({"sz", "-q"}), rz = Lrzsz({"rz", "-q", "-y"});
  std::printf("ZModem over a socat pty pair, %zu MiB of random data\n", o.ptyMib);
  std::printf("%-36s %8s %9s %10s %12s %12s\n", "run", "seconds", "MiB/s", "vs sz->rz", "CPU s/MiB us",
              "CPU s/MiB lrzsz");
  const Result base = Transfer(sz, rz, src, dst, "data.bin", nullptr, 600);
  auto row = [&](const char* name, const Result& r, double size = 0) {
    if (size == 0) size = mb;
    const double rate = size / r.seconds;
    std::printf("%-36s %8.2f %9.2f %10.2f %12.4f %12.4f%s\n", name, r.seconds, rate, rate / (mb / base.seconds),
                r.cpuOurs / size, r.cpuPeers / size, r.ok ? "" : "  (FAILED)");
    std::fflush(stdout);
  };
  row("sz -> rz", base);
  row("zandrel -> rz (window 0)", Transfer(Ours(0), rz, src, dst, "data.bin", nullptr, 600));
  // rz reads with a minimum count and an inter-byte timer: a frame that stops for its ZACK
  // (any window but 0) is answered tens of milliseconds late, so 1 MiB is enough to show it.
  row("zandrel -> rz (window 4096, 1 MiB)", Transfer(Ours(4096), rz, src, dst, "small.bin", nullptr, 600), 1.0);
  row("sz -> zandrel (window 4096)", Transfer(sz, Ours(4096), src, dst, "data.bin", nullptr, 600));
  row("sz -> zandrel (window 0)", Transfer(sz, Ours(0), src, dst, "data.bin", nullptr, 600));
  row("zandrel -> zandrel (windows 4096)", Transfer(Ours(4096), Ours(4096), src, dst, "data.bin", nullptr, 600));
  row("zandrel -> zandrel (windows 0)", Transfer(Ours(0), Ours(0), src, dst, "data.bin", nullptr, 600));
}

void LineSection(const Options& o, const std::string& src, const std::string& dst) {
  const size_t bytes = o.lineKib << 10;
  WriteRandom(src + "/line.bin", bytes, 2);
  const double mib = static_cast<double>(bytes) / (1 << 20);
  const Side rz = Lrzsz({"rz", "-q", "-y"});
  struct Row {
    const char* name;
    Side sender, receiver;
  };
  const Row rows[] = {
      {"sz -> rz", Lrzsz({"sz", "-q"}), rz},
      {"sz -w 4096 -> rz", Lrzsz({"sz", "-q", "-w", "4096"}), rz},
      {"zandrel -> rz (window 0)", Ours(0), rz},
      {"sz -> zandrel (window 0)", Lrzsz({"sz", "-q"}), Ours(0)},
      {"zandrel <-> zandrel (windows 0)", Ours(0), Ours(0)},
      {"zandrel <-> zandrel (windows 1024)", Ours(1024), Ours(1024)},
      {"zandrel <-> zandrel (windows 4096)", Ours(4096), Ours(4096)},
  };
  struct Line {
    const char* key;
    const char* title;
    double flip;
    size_t pauseAfter;
  };
  const Line lines[] = {
      {"clean", "clean line", 0, 0},
      {"flip", "one flipped bit in 10000 bytes, both ways", 1e-4, 0},
      {"pause", "one 3 s outage after 40% of the file, dropping what the line held", 0, bytes * 2 / 5},
  };
  // A run slower than a tenth of the line is cut off and counts as failed.
  const double limit = 10.0 * static_cast<double>(bytes) / 11520.0 + 30;
  std::map<std::string, std::vector<double>> eff, cpuUs, cpuThem;
  for (int round = 0; round < o.rounds; ++round) {
    for (const Line& line : lines) {
      if (o.lines.find(line.key) == std::string::npos) continue;
      bench::LinePlan plan;
      plan.flip = line.flip;
      plan.pauseAfter = line.pauseAfter;
      plan.seed = o.seed + static_cast<uint64_t>(round);
      std::printf("\nLine at 115200 baud, %zu KiB of random data, %s (round %d, seed %llu)\n", o.lineKib, line.title,
                  round + 1, static_cast<unsigned long long>(plan.seed));
      std::printf("%-36s %8s %6s %10s %10s %6s %6s %6s %6s\n", "run", "seconds", "eff.", "CPU/MiB us", "CPU/MiB lrzsz",
                  "flips", "ZDATA", "ZRPOS", "ZACK");
      for (const Row& row : rows) {
        if (!o.only.empty() && std::string(row.name).find(o.only) == std::string::npos) continue;
        const Result r = Transfer(row.sender, row.receiver, src, dst, "line.bin", &plan, limit);
        const double e = r.ok ? static_cast<double>(bytes) / (r.seconds * 11520.0) : 0;
        std::printf("%-36s %8.2f %6.3f %10.4f %10.4f %6lld %6lld %6lld %6lld%s\n", row.name, r.seconds, e,
                    r.cpuOurs / mib, r.cpuPeers / mib, static_cast<long long>(r.tally.flips),
                    static_cast<long long>(r.tally.headers[0][Zm::ZDATA]),
                    static_cast<long long>(r.tally.headers[1][Zm::ZRPOS]),
                    static_cast<long long>(r.tally.headers[1][Zm::ZACK]), r.ok ? "" : "  (FAILED)");
        std::fflush(stdout);
        const std::string key = std::string(line.key) + "|" + row.name;
        eff[key].push_back(e);
        cpuUs[key].push_back(r.cpuOurs / mib);
        cpuThem[key].push_back(r.cpuPeers / mib);
      }
    }
  }
  if (o.rounds < 2) return;
  std::printf("\nMedians over %d rounds (efficiency; CPU s/MiB ours, lrzsz)\n", o.rounds);
  for (const Line& line : lines) {
    if (o.lines.find(line.key) == std::string::npos) continue;
    std::printf("%s:\n", line.title);
    for (const Row& row : rows) {
      const std::string key = std::string(line.key) + "|" + row.name;
      if (!eff.count(key)) continue;
      std::printf("  %-36s %6.3f %10.4f %10.4f\n", row.name, Median(eff[key]), Median(cpuUs[key]),
                  Median(cpuThem[key]));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i], value = argv[i + 1];
    if (flag == "--pty") {
      o.ptyMib = std::strtoul(value.c_str(), nullptr, 10);
    } else if (flag == "--line") {
      o.lineKib = std::strtoul(value.c_str(), nullptr, 10);
    } else if (flag == "--rounds") {
      o.rounds = std::max(1, std::atoi(value.c_str()));
    } else if (flag == "--seed") {
      o.seed = std::strtoull(value.c_str(), nullptr, 10);
    } else if (flag == "--only") {
      o.only = value;
    } else if (flag == "--lines") {
      o.lines = value;
    } else {
      std::printf("unknown option %s (see the head of bench/ZModemBenchPosix.cpp)\n", flag.c_str());
      return 64;
    }
  }
  if (std::system("command -v sz >/dev/null && command -v rz >/dev/null && command -v socat >/dev/null") != 0) {
    std::printf("lrzsz (sz, rz) and socat are needed\n");
    return 1;
  }
  char tmpl[] = "/tmp/zmodembenchXXXXXX";
  const std::string root = mkdtemp(tmpl);
  const std::string src = root + "/src", dst = root + "/dst";
  mkdir(src.c_str(), 0755);
  mkdir(dst.c_str(), 0755);
  if (o.ptyMib > 0) PtySection(o, src, dst);
  if (o.lineKib > 0) LineSection(o, src, dst);
  std::system(("rm -rf '" + root + "'").c_str());
  return 0;
}
