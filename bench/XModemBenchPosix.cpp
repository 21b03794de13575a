// XModem and ACK/NAK throughput over a socat pty pair, against lrzsz measured in the same run:
// zandrel -> `rx -c` and `sx` -> zandrel as ratios to `sx` -> `rx -c`, then ACK/NAK between two
// zandrel processes for a 1 MiB text file. Each XModem pairing runs several times on a fresh
// pair; rx purges its input after each ACK and now and then eats the next block (a stall of
// seconds for any sender), so the median and the best run are both printed.
// Then line efficiency on a relay that holds 115200 baud (11520 bytes/s), 128 KiB to `rx -c`
// started first (its 'C' already waits when the sender starts): `sx` and zandrel, timed from
// the sender's start; efficiency = file bytes / (seconds * 11520), with the sender's processor
// seconds per MiB. Every XModem pairing starts
// rx first and the sender after, as users start a transfer to a device that waits.
// Then YModem and XModem-1K the same two ways, the receiver started first: zandrel -> `rb`
// against `sb` -> `rb`, zandrel (1 KiB blocks) -> `rx` against `sx -k` -> `rx`, and on the pty
// `sb` -> zandrel too; throughput on the pty (median and best), efficiency on the relay.
// Run: build/native/bench/XModemBenchPosix [runs] [kibibytes] [line KiB, 0 skips] [x|y: only]
// (needs socat and lrzsz)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LineRelay.h"

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

const std::string kBinary = ZANDREL_BINARY_DIR;
const std::string kZandrel = kBinary + "/bin/zandrel";
const std::string kCure = kBinary + "/tests/interop/libtcdrain_wait.so";

struct Child {
  pid_t pid = -1;
  double cpuSeconds = 0;  // user and system time, once Wait has reaped it
};

// Starts argv with stdin/stdout on `tty` when given, stderr to errPath, optional LD_PRELOAD.
Child Spawn(const std::vector<std::string>& argv, const std::string& tty, const std::string& errPath,
            bool preload) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!tty.empty()) {
    posix_spawn_file_actions_addopen(&fa, 0, tty.c_str(), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_adddup2(&fa, 0, 1);
  }
  posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  if (preload && access(kCure.c_str(), R_OK) == 0) env.push_back("LD_PRELOAD=" + kCure);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (auto& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  Child c;
  if (posix_spawnp(&c.pid, args[0], &fa, nullptr, args.data(), envp.data()) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return c;
}

// The exit status, or -1 after killing a child that overstayed.
int Wait(Child& c, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  rusage use{};
  while (Clock::now() < end) {
    if (wait4(c.pid, &status, WNOHANG, &use) == c.pid) {
      c.cpuSeconds = use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(c.pid, SIGKILL);
  waitpid(c.pid, &status, 0);
  return -1;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitForText(const std::string& path, const std::string& text) {
  for (int i = 0; i < 1000; ++i) {
    if (Slurp(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

struct Pair {
  Child socat;
  std::string a, b;
  bool Start(const std::string& dir) {
    a = dir + "/pty-a";
    b = dir + "/pty-b";
    unlink(a.c_str());
    unlink(b.c_str());
    socat = Spawn({"socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b}, "", dir + "/socat.log", false);
    for (int i = 0; i < 500; ++i) {
      if (access(a.c_str(), F_OK) == 0 && access(b.c_str(), F_OK) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  void Stop() {
    if (socat.pid > 0) {
      kill(socat.pid, SIGTERM);
      waitpid(socat.pid, nullptr, 0);
    }
  }
};

enum class Kind { OursToRx, SxToOurs, SxToRx, AckNak };

// One transfer; seconds from the start of the second party to the end of both, or -1.
double RunOnce(Kind kind, const std::string& dir, const std::string& sent, const std::string& expected) {
  Pair pair;
  if (!pair.Start(dir)) return -1;
  const std::string got = dir + "/got.bin";
  unlink(got.c_str());
  Child first, second;
  Clock::time_point start;
  switch (kind) {
    case Kind::OursToRx:
    case Kind::SxToRx:
      // As users do with a device's prompt: the receiver first, then the sender on the port.
      first = Spawn({"rx", "-c", "-q", "got.bin"}, pair.b, dir + "/first.log", true);
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      start = Clock::now();
      second = kind == Kind::OursToRx ? Spawn({kZandrel, "send", "--port", pair.a, sent}, "", dir + "/second.log", false)
                                      : Spawn({"sx", "-q", "sent.bin"}, pair.a, dir + "/second.log", true);
      break;
    case Kind::SxToOurs:
      first = Spawn({"sx", "-q", "sent.bin"}, pair.a, dir + "/first.log", true);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      start = Clock::now();
      second = Spawn({kZandrel, "receive", "--port", pair.b, got}, "", dir + "/second.log", false);
      break;
    case Kind::AckNak:
      first = Spawn({kZandrel, "receive", "--protocol", "acknak", "--port", pair.b, got}, "", dir + "/first.log", false);
      WaitForText(dir + "/first.log", "Waiting for sender");
      start = Clock::now();
      second = Spawn({kZandrel, "send", "--protocol", "acknak", "--port", pair.a, sent}, "", dir + "/second.log", false);
      break;
  }
  const int a = Wait(second, 120), b = Wait(first, 120);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  pair.Stop();
  const std::string received = Slurp(got);
  const bool same = kind != Kind::AckNak
                        ? received.size() >= expected.size() && received.compare(0, expected.size(), expected) == 0
                        : received == expected;
  if (a != 0 || b != 0 || !same) {
    std::printf("    (a run failed: exits %d %d, %s)\n", a, b, same ? "content right" : "content wrong");
    return -1;
  }
  return seconds;
}

struct Figures {
  double median = 0, best = 0;  // bytes per second
  int good = 0;
};

Figures Measure(const char* name, Kind kind, int runs, const std::string& dir, const std::string& sent,
                const std::string& expected, size_t bytes) {
  std::vector<double> times;
  std::printf("  %-22s", name);
  std::fflush(stdout);
  for (int i = 0; i < runs; ++i) {
    const double t = RunOnce(kind, dir, sent, expected);
    if (t > 0) times.push_back(t);
    std::printf(" %6.2fs", t);
    std::fflush(stdout);
  }
  Figures f;
  f.good = static_cast<int>(times.size());
  if (!times.empty()) {
    std::sort(times.begin(), times.end());
    f.median = bytes / times[times.size() / 2];
    f.best = bytes / times.front();
  }
  std::printf("   median %8.0f B/s  best %8.0f B/s\n", f.median, f.best);
  return f;
}
// One run on the line: rx -c starts first; a second later the sender starts (sx, or zandrel
// opening its port then, as users start it). Seconds from the sender's start to the end of both,
// or -1.
double LineRun(bool ours, const std::string& dir, const std::string& expected, double& senderCpu) {
  bench::Pty a, b;
  bench::LineRelay line(a.master, b.master, bench::LinePlan{});
  const std::string got = dir + "/got.bin";
  unlink(got.c_str());
  Child receiver = Spawn({"rx", "-c", "-q", "got.bin"}, b.slave, dir + "/second.log", true);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const Clock::time_point start = Clock::now();
  Child sender = ours ? Spawn({kZandrel, "send", "--port", a.slave, "--quiet", "sent.bin"}, "", dir + "/first.log", false)
                      : Spawn({"sx", "-q", "sent.bin"}, a.slave, dir + "/first.log", true);
  const int sent = Wait(sender, 600);
  const int received = Wait(receiver, 600);
  senderCpu = sender.cpuSeconds;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::string padded = expected;
  if (ours) padded.append((128 - padded.size() % 128) % 128, '\0');
  if (sent != 0 || received != 0 || Slurp(got) != padded) {
    std::printf("    (a run failed: %d %d)\n", sent, received);
    return -1;
  }
  return seconds;
}

void LineSection(int runs, size_t kib, const std::string& dir) {
  std::mt19937 rng(3);
  std::string data(kib * 1024, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  std::ofstream(dir + "/sent.bin", std::ios::binary | std::ios::trunc) << data;
  std::printf("XModem at 115200 baud, %zu KiB of random data to rx -c started first, %d runs each\n", kib, runs);
  for (const bool ours : {false, true}) {
    std::vector<double> eff, cpu;
    std::printf("  %-22s", ours ? "zandrel -> rx -c" : "sx -> rx -c");
    for (int i = 0; i < runs; ++i) {
      double senderCpu = 0;
      const double t = LineRun(ours, dir, data, senderCpu);
      eff.push_back(t > 0 ? static_cast<double>(data.size()) / (t * 11520.0) : 0);
      cpu.push_back(senderCpu * 1048576.0 / static_cast<double>(data.size()));
      std::printf(" %6.3f", eff.back());
      std::fflush(stdout);
    }
    std::sort(eff.begin(), eff.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("   median efficiency %.3f, sender CPU %.3f s/MiB\n", eff[eff.size() / 2], cpu[cpu.size() / 2]);
  }
}
// A party of a YModem or XModem-1K run: zandrel (given --port and --quiet) or an lrzsz peer on
// the terminal.
struct Party {
  std::vector<std::string> argv;
  bool ours;
};

Child StartParty(const Party& p, const std::string& tty, const std::string& log) {
  if (!p.ours) return Spawn(p.argv, tty, log, true);
  std::vector<std::string> argv = {kZandrel, p.argv[0], "--port", tty, "--quiet"};
  argv.insert(argv.end(), p.argv.begin() + 1, p.argv.end());
  return Spawn(argv, "", log, false);
}

// One run between two terminals: the receiver first, its start request waiting when the sender
// starts 1.5 s later (a sender that missed it would wait the receiver's ten seconds for the
// next). Seconds from the sender's start to the end of both, or -1. What arrived is got.bin
// (XModem) or y.bin (YModem, the name sent) in dir.
double LongRun(const Party& receiver, const std::string& rtty, const Party& sender, const std::string& stty,
               const std::string& dir, const std::string& data) {
  for (const char* f : {"/got.bin", "/y.bin"}) unlink((dir + f).c_str());
  Child r = StartParty(receiver, rtty, dir + "/receiver.log");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const Clock::time_point start = Clock::now();
  Child s = StartParty(sender, stty, dir + "/sender.log");
  const int sent = Wait(s, 900), received = Wait(r, 900);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::string got = Slurp(dir + "/y.bin");
  if (got.empty()) got = Slurp(dir + "/got.bin").substr(0, data.size());  // the XModem padding off
  if (sent != 0 || received != 0 || got != data) {
    std::printf(" [exits %d %d, %s]", sent, received, got == data ? "content right" : "content wrong");
    return -1;
  }
  return seconds;
}

void LongBlockSections(int runs, size_t kib, size_t lineKib, const std::string& dir) {
  const Party rb{{"rb", "-q"}, false}, rx{{"rx", "-q", "-c", "got.bin"}, false};
  const Party oursY{{"send", "--protocol", "ymodem", "out/y.bin"}, true}, sb{{"sb", "-q", "out/y.bin"}, false};
  const Party ours1k{{"send", "--protocol", "xmodem1k", "out/y.bin"}, true}, sxk{{"sx", "-q", "-k", "out/y.bin"}, false};
  const Party oursIn{{"receive", "--protocol", "ymodem", "--dir", dir}, true};
  const struct Pairing {
    const char* name;
    Party receiver, sender;
  } pairings[] = {{"zandrel -> rb", rb, oursY},  {"sb -> rb", rb, sb},          {"sb -> zandrel", oursIn, sb},
                  {"zandrel 1K -> rx", rx, ours1k}, {"sx -k -> rx", rx, sxk}};
  mkdir((dir + "/out").c_str(), 0755);
  for (const bool line : {false, true}) {
    const size_t bytes = (line ? lineKib : kib) * 1024 + 77;
    if (line && lineKib == 0) break;
    std::mt19937 rng(5);
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    std::ofstream(dir + "/out/y.bin", std::ios::binary | std::ios::trunc) << data;
    std::printf(line ? "YModem and XModem-1K at 115200 baud, %zu bytes, receiver first, %d runs each: efficiency\n"
                     : "YModem and XModem-1K on a socat pty pair, %zu bytes, receiver first, %d runs each\n",
                bytes, runs);
    for (const Pairing& p : pairings) {
      if (line && p.receiver.ours) continue;  // the receivers are compared on the pty
      std::vector<double> figures;
      int failed = 0;
      std::printf("  %-18s", p.name);
      for (int i = 0; i < runs; ++i) {
        double seconds;
        if (line) {
          bench::Pty a, b;
          bench::LineRelay relay(a.master, b.master, bench::LinePlan{});
          seconds = LongRun(p.receiver, b.slave, p.sender, a.slave, dir, data);
        } else {
          Pair pair;
          if (!pair.Start(dir)) return;
          seconds = LongRun(p.receiver, pair.b, p.sender, pair.a, dir, data);
          pair.Stop();
        }
        if (seconds > 0) {
          figures.push_back(static_cast<double>(bytes) / (line ? seconds * 11520.0 : seconds));
          std::printf(line ? " %6.3f" : " %8.0f", figures.back());
        } else {
          ++failed;
        }
        std::fflush(stdout);
      }
      std::sort(figures.begin(), figures.end());
      if (figures.empty()) figures.push_back(0);
      // A failed run is left out of the figures and counted: rx gives up when the start of a
      // block is purged and it reads the rest as headers, whoever the sender.
      std::printf(line ? "   median %.3f  best %.3f" : "   median %8.0f B/s  best %8.0f B/s", figures[figures.size() / 2],
                  figures.back());
      std::printf(failed ? "  (%d failed)\n" : "\n", failed);
    }
  }
}
}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const size_t kib = argc > 2 ? static_cast<size_t>(std::max(1, std::atoi(argv[2]))) : 64;
  const size_t lineKib = argc > 3 ? static_cast<size_t>(std::max(0, std::atoi(argv[3]))) : 128;
  const std::string only = argc > 4 ? argv[4] : "";
  if (access(kZandrel.c_str(), X_OK) != 0) {
    std::printf("zandrel not built at %s\n", kZandrel.c_str());
    return 1;
  }
  if (std::system("for p in socat sx rx sb rb; do command -v $p >/dev/null || exit 1; done") != 0) {
    std::printf("socat and lrzsz (sx, rx, sb, rb) are needed\n");
    return 1;
  }
  char dirTemplate[] = "/tmp/zandrel-bench.XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  // lrzsz refuses paths outside its working folder, so every party works in this one.
  if (chdir(dir.c_str()) != 0) return 1;
  if (only == "y") {
    LongBlockSections(runs, kib, lineKib, dir);
    return chdir("/") == 0 ? std::system(("rm -rf '" + dir + "'").c_str()) : 1;
  }

  std::mt19937 rng(1);
  std::string data(kib * 1024 + 77, '\0');  // not a whole number of blocks: padding is sent too
  for (char& c : data) c = static_cast<char>(rng());
  const std::string sent = dir + "/sent.bin";
  std::ofstream(sent, std::ios::binary) << data;
  std::string padded = data;
  padded.append((128 - padded.size() % 128) % 128, '\0');

  std::printf("XModem, %zu bytes of random data, %d runs each, fresh socat pty pair per run\n", data.size(), runs);
  const Figures ours = Measure("zandrel -> rx -c", Kind::OursToRx, runs, dir, sent, padded, data.size());
  const Figures in = Measure("sx -> zandrel", Kind::SxToOurs, runs, dir, sent, data, data.size());
  const Figures ref = Measure("sx -> rx -c", Kind::SxToRx, runs, dir, sent, data, data.size());
  if (ref.good > 0) {
    std::printf("  ratio zandrel->rx -c / sx->rx -c : median %.2f  best %.2f\n", ours.median / ref.median,
                ours.best / ref.best);
    std::printf("  ratio sx->zandrel / sx->rx -c    : median %.2f  best %.2f\n", in.median / ref.median,
                in.best / ref.best);
  }

  std::string text;
  while (text.size() < (1u << 20)) {
    const int n = static_cast<int>(rng() % 100);
    for (int k = 0; k < n; ++k) text += static_cast<char>(' ' + rng() % 94);
    text += "\r\n";
  }
  text.resize(1u << 20);
  text.replace(text.size() - 2, 2, "\r\n");
  const std::string textPath = dir + "/sent.bin";
  std::ofstream(textPath, std::ios::binary | std::ios::trunc) << text;
  std::printf("ACK/NAK, 1 MiB text file (lines of 0..99 characters), zandrel -> zandrel\n");
  Measure("zandrel -> zandrel", Kind::AckNak, 1, dir, textPath, text, text.size());

  if (lineKib > 0) LineSection(runs, lineKib, dir);
  if (only != "x") LongBlockSections(runs, kib, lineKib, dir);

  if (chdir("/") == 0) std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
