// ZModem throughput and line efficiency, against lrzsz measured in the same run: over a socat
// pty pair, the pty throughput of zandrel->rz, sz->zandrel and zandrel->zandrel against sz->rz
// (16 MiB of random data, ratios and CPU seconds per MiB); then through a relay thread of this
// program that holds a real 115200 baud line (11520 bytes/s, 8N1), line efficiency = file
// bytes / (seconds * 11520). lrzsz runs with the tests' tcdrain cure when it is built.
// Run: build/native/bench/ZModemBenchPosix [MiB for pty runs, default 16] [KiB for the line, default 256]
// Needs lrzsz (sz, rz) on PATH.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/PosixPort.h"
#include "link/SerialPort.h"
#include "transfer/zmodem/ZModem.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ThreadCpu() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// One pty: the master stays with the relay, programs open the slave by its path.
struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() { close(master); }
};

// Copies bytes between the two masters in both directions, at most bytesPerSecond each way
// (0: as fast as the ptys go). Each direction holds at most 4 KiB, like a UART with a driver
// buffer, so a fast writer is held back by the pty as by a real line.
class Relay {
 public:
  Relay(int a, int b, double rate) : fds{a, b}, bytesPerSecond(rate) { worker = std::thread([this] { Run(); }); }
  ~Relay() {
    stop = true;
    worker.join();
  }

 private:
  void Run() {
    std::deque<uint8_t> pending[2];  // pending[i]: read from fds[i], to go to fds[1 - i]
    double tokens[2] = {0, 0};
    double last = Now();
    uint8_t chunk[4096];
    while (!stop) {
      const double now = Now();
      for (double& t : tokens) t = std::min(t + (now - last) * bytesPerSecond, 16.0);  // a 16-byte FIFO
      last = now;
      pollfd p[2];
      for (int i = 0; i < 2; ++i) {
        p[i].fd = fds[i];
        p[i].events = static_cast<short>((pending[i].size() < 4096 ? POLLIN : 0) | (pending[1 - i].empty() ? 0 : POLLOUT));
        p[i].revents = 0;
      }
      poll(p, 2, 1);
      bool idle = true;
      for (int i = 0; i < 2; ++i) {
        if (pending[i].size() < 4096) {
          const ssize_t n = read(fds[i], chunk, 4096 - pending[i].size());
          if (n > 0) {
            pending[i].insert(pending[i].end(), chunk, chunk + n);
            idle = false;
          }
        }
        std::deque<uint8_t>& out = pending[1 - i];
        if (!out.empty()) {
          size_t n = out.size();
          if (bytesPerSecond > 0) n = std::min(n, static_cast<size_t>(tokens[1 - i]));
          if (n > 0) {
            std::vector<uint8_t> block(out.begin(), out.begin() + static_cast<long>(n));
            const ssize_t w = write(fds[i], block.data(), n);
            if (w > 0) {
              out.erase(out.begin(), out.begin() + w);
              if (bytesPerSecond > 0) tokens[1 - i] -= static_cast<double>(w);
              idle = false;
            }
          }
        }
      }
      if (idle && bytesPerSecond > 0) usleep(200);
    }
  }
  int fds[2];
  double bytesPerSecond;
  std::atomic<bool> stop{false};
  std::thread worker;
};

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

void Wait(Peer& p) {
  rusage use{};
  wait4(p.pid, &p.status, 0, &use);
  p.cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
          static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// Our engine on a pty slave, with the queue sizes the zandrel tool gives a ZModem run; CPU
// seconds of this thread come back in cpu.
int32_t RunOurs(const std::string& tty, bool send, const std::string& list, int32_t window, double& cpu) {
  const double start = ThreadCpu();
  PosixPort port(tty, 4096, 2048);
  SerialPort serial(&port);
  serial.SetTxQueueSize(4096);
  ZModem z(&serial, nullptr);
  z.SetWindowSize(window);
  z.SetManagement(4);
  std::vector<char> text(list.begin(), list.end());
  text.push_back('\0');
  const int32_t code = send ? z.Send(text.data()) : z.Receive(list.empty() ? nullptr : text.data());
  cpu = ThreadCpu() - start;
  return code;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y));
}

struct Result {
  double seconds = 0, cpuOurs = 0, cpuPeers = 0;
  bool ok = false;
};

// One transfer of src/name to dst/name; sender and receiver are "ours" or "lrzsz".
Result Transfer(bool ourSender, bool ourReceiver, const std::string& src, const std::string& dst,
                const std::string& name, double rate, int32_t sendWindow, int32_t receiveWindow) {
  unlink((dst + "/" + name).c_str());
  Pty ptyA, ptyB;
  std::unique_ptr<SocatPair> socat;
  std::unique_ptr<Relay> relay;
  std::string slaveA = ptyA.slave, slaveB = ptyB.slave;
  if (rate > 0) {
    relay = std::make_unique<Relay>(ptyA.master, ptyB.master, rate);
  } else {
    socat = std::make_unique<SocatPair>(src + "/..");
    slaveA = socat->a;
    slaveB = socat->b;
  }
  struct Slaves {
    std::string slave;
  } a{slaveA}, b{slaveB};
  Result r;
  {
    const std::string oldCwd = [] {
      char buf[4096];
      return std::string(getcwd(buf, sizeof buf));
    }();
    const double start = Now();
    Peer sender, receiver;
    std::thread ours;
    int32_t ourSend = 0, ourReceive = 0;
    double cpuSend = 0, cpuReceive = 0;
    if (ourReceiver) {
      if (chdir(dst.c_str()) != 0) return r;
    } else {
      receiver = Spawn({"rz", "-q", "-y"}, dst, b.slave);
    }
    if (ourReceiver) ours = std::thread([&] { ourReceive = RunOurs(b.slave, false, "", receiveWindow, cpuReceive); });
    if (ourSender) {
      usleep(20000);
      ourSend = RunOurs(a.slave, true, src + "/" + name, sendWindow, cpuSend);
    } else {
      sender = Spawn({"sz", "-q", name}, src, a.slave);
    }
    if (!ourSender) Wait(sender);
    if (ourReceiver) ours.join();
    if (!ourReceiver) Wait(receiver);
    r.seconds = Now() - start;
    if (chdir(oldCwd.c_str()) != 0) return r;
    r.cpuOurs = cpuSend + cpuReceive;
    r.cpuPeers = sender.cpu + receiver.cpu;
    r.ok = ourSend == 0 && ourReceive == 0 && (ourSender || sender.status == 0) &&
           (ourReceiver || receiver.status == 0) && SameFile(src + "/" + name, dst + "/" + name);
  }
  return r;
}

void WriteRandom(const std::string& path, size_t bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> words(bytes / 4 + 1);
  for (uint32_t& w : words) w = rng();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(words.data()), static_cast<long>(bytes));
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  const size_t lineKib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 256;
  if (std::system("command -v sz >/dev/null && command -v rz >/dev/null") != 0) {
    std::printf("lrzsz (sz, rz) is needed\n");
    return 1;
  }
  char tmpl[] = "/tmp/zmodembenchXXXXXX";
  const std::string root = mkdtemp(tmpl);
  const std::string src = root + "/src", dst = root + "/dst";
  mkdir(src.c_str(), 0755);
  mkdir(dst.c_str(), 0755);
  const size_t bytes = mib << 20;
  WriteRandom(src + "/data.bin", bytes, 1);
  WriteRandom(src + "/line.bin", lineKib << 10, 2);
  WriteRandom(src + "/small.bin", 1u << 20, 3);
  const double mb = static_cast<double>(bytes) / (1 << 20);

  std::printf("ZModem over a pty relay, %zu MiB of random data\n", mib);
  std::printf("%-34s %8s %9s %10s %12s %12s\n", "run", "seconds", "MiB/s", "vs sz->rz", "CPU s/MiB us",
              "CPU s/MiB lrzsz");
  const Result base = Transfer(false, false, src, dst, "data.bin", 0, 0, 0);
  auto row = [&](const char* name, const Result& r, double size = 0) {
    if (size == 0) size = mb;
    const double rate = size / r.seconds;
    std::printf("%-34s %8.2f %9.2f %10.2f %12.4f %12.4f%s\n", name, r.seconds, rate, rate / (mb / base.seconds),
                r.cpuOurs / size, r.cpuPeers / size, r.ok ? "" : "  (FAILED)");
    std::fflush(stdout);
  };
  row("sz -> rz", base);
  row("zandrel -> rz (window 0)", Transfer(true, false, src, dst, "data.bin", 0, 0, 0));
  // rz reads with a minimum count and an inter-byte timer: a frame that stops for its ZACK
  // (any window but 0) is answered tens of milliseconds late, so 1 MiB is enough to show it.
  row("zandrel -> rz (window 4096, 1 MiB)", Transfer(true, false, src, dst, "small.bin", 0, 4096, 0), 1.0);
  row("sz -> zandrel (window 4096)", Transfer(false, true, src, dst, "data.bin", 0, 0, 4096));
  row("sz -> zandrel (window 0)", Transfer(false, true, src, dst, "data.bin", 0, 0, 0));
  row("zandrel -> zandrel (windows 4096)", Transfer(true, true, src, dst, "data.bin", 0, 4096, 4096));
  row("zandrel -> zandrel (windows 0)", Transfer(true, true, src, dst, "data.bin", 0, 0, 0));

  const double lineBytes = static_cast<double>(lineKib << 10);
  std::printf("\nLine efficiency at 115200 baud (11520 bytes/s), %zu KiB of random data\n", lineKib);
  auto line = [&](const char* name, const Result& r) {
    std::printf("%-34s %8.2f s  efficiency %5.1f%%%s\n", name, r.seconds, 100.0 * lineBytes / (r.seconds * 11520.0),
                r.ok ? "" : "  (FAILED)");
    std::fflush(stdout);
  };
  line("sz -> rz", Transfer(false, false, src, dst, "line.bin", 11520, 0, 0));
  line("zandrel -> zandrel (windows 4096)", Transfer(true, true, src, dst, "line.bin", 11520, 4096, 4096));
  line("zandrel -> zandrel (windows 0)", Transfer(true, true, src, dst, "line.bin", 11520, 0, 0));
  std::system(("rm -rf '" + root + "'").c_str());
  return 0;
}
