// What Win32Port's Idle costs and gives: processor time while a port waits on a silent line,
// and XModem throughput between two ports, with the port's Idle against two others measured
// in the same run: the rule it replaced (Sleep(0) while the line moved within the last 2 ms,
// else Sleep(1)) and a plain Sleep(0); then how soon the wake event ends a wait of Idle.
// (bench/zandrel-wait-wine.sh measures zandrel.exe itself: Wine's GetProcessTimes of another
// process cannot be trusted.)
// Run under Wine with two COM ports joined by a pty pair, e.g.
//   p=build/mingw64/wineprefix; tests/wine/with-ptys.sh $p cmake/wine-run.sh $p
//     build/mingw64/bench/IdleBenchWin32.exe [wait seconds] [KiB] [runs]
// (COM ports from ZANDREL_COM_A / ZANDREL_COM_B, as with-ptys.sh exports them.)
// The link headers first: <windows.h> defines Yield as a macro, which SerialPort would trip on.
#include "link/SerialPort.h"
#include "link/Win32Port.h"
#include "transfer/XModem.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class Kind { Waiting, Resting, Spinning };
const char* const kNames[] = {"Win32Port Idle", "Sleep(0)/Sleep(1)", "Sleep(0)"};

// The port as first written: every Idle yields and comes straight back.
class SpinningPort : public Win32Port {
 public:
  using Win32Port::Win32Port;
  int32_t Idle(int32_t) override {
    Sleep(0);
    return 0;
  }
};

// The rule before Idle waited on the device: a status poll, then Sleep(0) while a byte moved
// within the last 2 ms, else Sleep(1).
class RestingPort : public Win32Port {
 public:
  using Win32Port::Win32Port;
  int32_t Idle(int32_t) override {
    BufferStatus status;
    GetBufferStatus(status, BufferSide::Both);
    Sleep(GetTickCount() - lastMoved < 2 ? 0 : 1);
    return 0;
  }
  int32_t Read(uint8_t* buffer, int32_t length) override { return Moved(Win32Port::Read(buffer, length)); }
  int32_t Write(const uint8_t* buffer, int32_t length) override {
    return Moved(Win32Port::Write(buffer, length));
  }

 private:
  int32_t Moved(int32_t count) {
    if (count > 0) lastMoved = GetTickCount();
    return count;
  }
  DWORD lastMoved = 0;
};

double Seconds(const FILETIME& t) {
  ULARGE_INTEGER u;
  u.LowPart = t.dwLowDateTime;
  u.HighPart = t.dwHighDateTime;
  return static_cast<double>(u.QuadPart) / 1e7;
}

double ProcessorSeconds(HANDLE process) {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  return Seconds(kernel) + Seconds(user);
}

double WallSeconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::unique_ptr<Win32Port> OpenPort(Kind kind, int32_t index) {
  std::unique_ptr<Win32Port> port(kind == Kind::Spinning  ? new SpinningPort(index, 4096, 2048)
                                  : kind == Kind::Resting ? new RestingPort(index, 4096, 2048)
                                                          : new Win32Port(index, 4096, 2048));
  if (port->Status() != 0) {
    std::fprintf(stderr, "COM%d did not open (%d)\n", index + 1, port->Status());
    std::exit(1);
  }
  return port;
}

// Processor share while GetChar waits `seconds` on a line that stays silent.
double SilentWaitShare(Kind kind, int32_t index, int seconds) {
  auto port = OpenPort(kind, index);
  SerialPort serial(port.get());
  const double cpu0 = ProcessorSeconds(GetCurrentProcess()), wall0 = WallSeconds();
  const int32_t got = serial.GetChar(seconds * 1000);
  const double cpu = ProcessorSeconds(GetCurrentProcess()) - cpu0, wall = WallSeconds() - wall0;
  std::printf("  %-22s GetChar(%d s) -> %d: %.3f s of processor in %.2f s = %.1f%% of a core\n",
              (std::string(kNames[static_cast<int>(kind)]) + ":").c_str(), seconds, got, cpu, wall,
              100.0 * cpu / wall);
  return cpu / wall;
}

// One XModem file from port a to port b; bytes per second, 0 when the transfer failed.
double XModemRun(Kind kind, int32_t a, int32_t b, const std::string& source,
                 const std::string& target, size_t bytes) {
  DeleteFileA(target.c_str());
  auto sendPort = OpenPort(kind, a);
  auto receivePort = OpenPort(kind, b);
  int32_t sent = -1, received = -1;
  const double start = WallSeconds();
  std::thread receiver([&] {
    SerialPort serial(receivePort.get());
    XModem engine(&serial, nullptr);
    std::string name = target;
    received = engine.Receive(&name[0]);
  });
  {
    SerialPort serial(sendPort.get());
    XModem engine(&serial, nullptr);
    std::string list = source;
    sent = engine.Send(&list[0]);
  }
  receiver.join();
  const double seconds = WallSeconds() - start;
  if (sent != 0 || received != 0) {
    std::printf("  run failed: send %d, receive %d\n", sent, received);
    return 0;
  }
  return static_cast<double>(bytes) / seconds;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from setting the wake event to the end of a wait of Idle for input that never
// comes, the median of five.
double WakeLatencyMs(int32_t index) {
  auto port = OpenPort(Kind::Waiting, index);
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    HANDLE wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    port->SetWakeEvent(wake);
    double setAt = 0;
    std::thread setter([&] {
      Sleep(300);
      setAt = WallSeconds();
      SetEvent(wake);
    });
    port->Idle(10000);
    const double endedAt = WallSeconds();
    setter.join();
    ms.push_back(1000 * (endedAt - setAt));
    CloseHandle(wake);
  }
  return Median(ms);
}

}  // namespace

int main(int argc, char** argv) {
  const char* ca = std::getenv("ZANDREL_COM_A");
  const char* cb = std::getenv("ZANDREL_COM_B");
  if (!ca || !cb) {
    std::fprintf(stderr, "set ZANDREL_COM_A and ZANDREL_COM_B (with-ptys.sh does)\n");
    return 1;
  }
  const int32_t a = std::atoi(ca) - 1, b = std::atoi(cb) - 1;
  const int waitSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const size_t kib = argc > 2 ? static_cast<size_t>(std::atoi(argv[2])) : 64;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;

  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  const std::string source = std::string(folder) + "zandrel-idle-bench.bin";
  const std::string target = std::string(folder) + "zandrel-idle-bench.out";
  {
    std::vector<char> data(kib * 1024);
    uint32_t x = 12345;
    for (char& c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    FILE* f = std::fopen(source.c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size()) return 1;
    std::fclose(f);
  }

  const Kind kinds[] = {Kind::Waiting, Kind::Resting, Kind::Spinning};
  std::printf("Waiting on a silent line:\n");
  double share[3];
  for (Kind k : kinds) share[static_cast<int>(k)] = SilentWaitShare(k, a, waitSeconds);
  std::printf("  Win32Port Idle against the rule before: %.3f of its processor time\n",
              share[1] > 0 ? share[0] / share[1] : 0);

  std::printf("XModem, %zu KiB from COM%d to COM%d, %d runs each, alternating:\n", kib, a + 1, b + 1, runs);
  std::vector<double> rates[3];
  for (int i = 0; i < runs; ++i) {
    std::printf("  run %d:", i + 1);
    for (Kind k : kinds) {
      rates[static_cast<int>(k)].push_back(XModemRun(k, a, b, source, target, kib * 1024));
      std::printf("  %s %.0f B/s", kNames[static_cast<int>(k)], rates[static_cast<int>(k)].back());
    }
    std::printf("\n");
  }
  // On a shared machine the best run is the one least disturbed by others.
  for (const char* what : {"median", "best"}) {
    double v[3];
    for (int k = 0; k < 3; ++k)
      v[k] = what[0] == 'm' ? Median(rates[k]) : *std::max_element(rates[k].begin(), rates[k].end());
    std::printf("  %-6s  %s %.0f B/s, %s %.0f B/s, %s %.0f B/s; against the rule before %.3f\n", what,
                kNames[0], v[0], kNames[1], v[1], kNames[2], v[2], v[1] > 0 ? v[0] / v[1] : 0);
  }

  std::printf("The wake event ends a wait of Idle for input after %.2f ms (median of 5)\n",
              WakeLatencyMs(a));

  DeleteFileA(source.c_str());
  DeleteFileA(target.c_str());
  return 0;
}
