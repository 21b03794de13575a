// A serial line between two programs, for the benchmarks and the interop fault runs: two
// pseudo-terminals whose masters are joined by a thread that holds a real line's rate (bytes per
// second each way, or none), can flip, drop and insert bytes at seeded rates and can go dead once
// for a few seconds, dropping what it held. It tallies the ZModem headers it carries, so a run
// shows where its time went.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace bench {

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One pty: the master stays with the relay, programs open the slave by its path. The slave is
// held open and raw from the start, as socat makes its ptys: no echo or line editing before a
// program takes the end over, and no hang-up between two programs.
struct Pty {
  int master = -1, holder = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    holder = open(slave.c_str(), O_RDWR | O_NOCTTY);
    termios t;
    tcgetattr(holder, &t);
    cfmakeraw(&t);
    tcsetattr(holder, TCSANOW, &t);
  }
  ~Pty() {
    close(holder);
    close(master);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
};

struct LinePlan {
  double bytesPerSecond = 11520;  // 115200 baud, 8N1; 0: as fast as the ptys go
  double flip = 0;                // chance per byte (either way) of one flipped bit
  double drop = 0, insert = 0;    // chances per byte of losing it, of a random byte before it
  uint64_t seed = 1;
  size_t pauseAfter = 0;          // bytes carried from A before the line goes dead (0: never)
  double pauseSeconds = 3;
};

// Headers seen on the line before any damage: [0] from A, [1] from B, by frame type.
struct LineTally {
  int64_t flips = 0;
  int64_t headers[2][20] = {};
};

// Joins the masters of two ptys. Each direction holds at most 4 KiB, like a UART with a driver
// buffer; the writer behind a pty can still queue more in the kernel, as behind a USB adapter.
class LineRelay {
 public:
  LineRelay(int a, int b, const LinePlan& linePlan) : fds{a, b}, plan(linePlan) {
    rng[0].seed(plan.seed * 2 + 1);
    rng[1].seed(plan.seed * 2 + 2);
    worker = std::thread([this] { Run(); });
  }
  ~LineRelay() { Stop(); }
  LineRelay(const LineRelay&) = delete;
  LineRelay& operator=(const LineRelay&) = delete;
  // Ends the line; what it carried stays readable in Tally.
  void Stop() {
    stop = true;
    if (worker.joinable()) worker.join();
  }
  const LineTally& Tally() const { return tally; }

 private:
  static constexpr size_t kHold = 4096;

  // Binary "* ZDLE A|C type" and hex "* * ZDLE B hh", recognised as the bytes pass.
  void Watch(int from, uint8_t b) {
    std::string& w = window[from];
    w.push_back(static_cast<char>(b));
    if (w.size() > 6) w.erase(0, w.size() - 6);
    const size_t n = w.size();
    if (n >= 4 && w[n - 4] == '*' && w[n - 3] == 0x18 && (w[n - 2] == 'A' || w[n - 2] == 'C')) {
      const uint8_t type = static_cast<uint8_t>(w[n - 1]);
      if (type < 20) ++tally.headers[from][type];
    } else if (n == 6 && w[0] == '*' && w[1] == '*' && w[2] == 0x18 && w[3] == 'B') {
      const int type = static_cast<int>(std::strtol(w.substr(4, 2).c_str(), nullptr, 16));
      if (type >= 0 && type < 20) ++tally.headers[from][type];
    }
  }

  void Run() {
    std::deque<uint8_t> pending[2];  // pending[i]: read from fds[i], to go to fds[1 - i]
    double tokens[2] = {0, 0};
    double last = Now(), deadUntil = 0;
    bool paused = false;
    size_t carriedFromA = 0;
    uint8_t chunk[kHold];
    std::uniform_real_distribution<double> roll(0, 1);
    const bool faulty = plan.flip > 0 || plan.drop > 0 || plan.insert > 0;
    while (!stop) {
      const double now = Now();
      // A UART's FIFO holds 16 bytes; the extra room lets the line catch up after this thread
      // was kept off a busy processor for a few milliseconds, which a real line never is.
      for (double& t : tokens)
        t = plan.bytesPerSecond > 0 ? std::min(t + (now - last) * plan.bytesPerSecond, 64.0) : kHold;
      last = now;
      if (!paused && plan.pauseAfter > 0 && carriedFromA >= plan.pauseAfter) {
        paused = true;
        deadUntil = now + plan.pauseSeconds;
        pending[0].clear();
        pending[1].clear();
      }
      const bool dead = now < deadUntil;
      pollfd p[2];
      for (int i = 0; i < 2; ++i) {
        p[i].fd = fds[i];
        p[i].events = static_cast<short>((pending[i].size() < kHold ? POLLIN : 0) |
                                         (pending[1 - i].empty() ? 0 : POLLOUT));
        p[i].revents = 0;
      }
      poll(p, 2, 1);
      bool idle = true;
      for (int i = 0; i < 2; ++i) {
        if (pending[i].size() < kHold) {
          const ssize_t n = read(fds[i], chunk, kHold - pending[i].size());
          if (n > 0) {
            for (ssize_t k = 0; k < n; ++k) {
              uint8_t b = chunk[k];
              Watch(i, b);
              const double r = faulty ? roll(rng[i]) : 1;
              if (r < plan.drop) continue;
              if (r < plan.drop + plan.insert) {
                pending[i].push_back(static_cast<uint8_t>(rng[i]()));
              } else if (r < plan.drop + plan.insert + plan.flip) {
                b ^= static_cast<uint8_t>(1u << (rng[i]() % 8));
                ++tally.flips;
              }
              pending[i].push_back(b);
            }
            if (i == 0) carriedFromA += static_cast<size_t>(n);
            idle = false;
          }
        }
        std::deque<uint8_t>& out = pending[1 - i];
        if (!out.empty()) {
          const size_t n = std::min(out.size(), static_cast<size_t>(tokens[1 - i]));
          if (n > 0) {
            // A dead line still takes bytes at its rate; they reach nobody.
            std::vector<uint8_t> block(out.begin(), out.begin() + static_cast<long>(n));
            const ssize_t w = dead ? static_cast<ssize_t>(n) : write(fds[i], block.data(), n);
            if (w > 0) {
              out.erase(out.begin(), out.begin() + w);
              tokens[1 - i] -= static_cast<double>(w);
              idle = false;
            }
          }
        }
      }
      if (idle) usleep(200);
    }
  }

  int fds[2];
  LinePlan plan;
  std::mt19937_64 rng[2];
  std::string window[2];
  LineTally tally;
  std::atomic<bool> stop{false};
  std::thread worker;
};

}  // namespace bench
