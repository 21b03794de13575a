// What Win32Port's Idle costs and gives: processor time while a port waits on a silent line,
// and XModem throughput between two ports, each with the port's Idle against a port whose
// Idle is a plain Sleep(0), measured in the same run. (bench/zandrel-wait-wine.sh measures
// zandrel.exe itself waiting: Wine's GetProcessTimes of another process cannot be trusted.)
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

// The port as first written: every Idle yields and comes straight back.
class SpinningPort : public Win32Port {
 public:
  using Win32Port::Win32Port;
  int32_t Idle(int32_t) override {
    Sleep(0);
    return 0;
  }
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

std::unique_ptr<Win32Port> OpenPort(bool spinning, int32_t index) {
  std::unique_ptr<Win32Port> port(spinning ? new SpinningPort(index, 4096, 2048)
                                           : new Win32Port(index, 4096, 2048));
  if (port->Status() != 0) {
    std::fprintf(stderr, "COM%d did not open (%d)\n", index + 1, port->Status());
    std::exit(1);
  }
  return port;
}

// Processor share while GetChar waits `seconds` on a line that stays silent.
double SilentWaitShare(bool spinning, int32_t index, int seconds) {
  auto port = OpenPort(spinning, index);
  SerialPort serial(port.get());
  const double cpu0 = ProcessorSeconds(GetCurrentProcess()), wall0 = WallSeconds();
  const int32_t got = serial.GetChar(seconds * 1000);
  const double cpu = ProcessorSeconds(GetCurrentProcess()) - cpu0, wall = WallSeconds() - wall0;
  std::printf("  %-22s GetChar(%d s) -> %d: %.3f s of processor in %.2f s = %.1f%% of a core\n",
              spinning ? "Sleep(0) Idle:" : "Win32Port Idle:", seconds, got, cpu, wall,
              100.0 * cpu / wall);
  return cpu / wall;
}

// One XModem file from port a to port b; bytes per second, 0 when the transfer failed.
double XModemRun(bool spinning, int32_t a, int32_t b, const std::string& source,
                 const std::string& target, size_t bytes) {
  DeleteFileA(target.c_str());
  auto sendPort = OpenPort(spinning, a);
  auto receivePort = OpenPort(spinning, b);
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

  std::printf("Waiting on a silent line:\n");
  const double rest = SilentWaitShare(false, a, waitSeconds);
  const double spin = SilentWaitShare(true, a, waitSeconds);
  std::printf("  ratio: %.3f of the Sleep(0) port's processor time\n", spin > 0 ? rest / spin : 0);

  std::printf("XModem, %zu KiB from COM%d to COM%d, %d runs each, alternating:\n", kib, a + 1, b + 1, runs);
  std::vector<double> restRates, spinRates;
  for (int i = 0; i < runs; ++i) {
    restRates.push_back(XModemRun(false, a, b, source, target, kib * 1024));
    spinRates.push_back(XModemRun(true, a, b, source, target, kib * 1024));
    std::printf("  run %d: Win32Port Idle %.0f B/s, Sleep(0) Idle %.0f B/s\n", i + 1,
                restRates.back(), spinRates.back());
  }
  const double r = Median(restRates), s = Median(spinRates);
  std::printf("  median: Win32Port Idle %.0f B/s, Sleep(0) Idle %.0f B/s, ratio %.3f\n", r, s,
              s > 0 ? r / s : 0);
  // On a shared machine the best run is the one least disturbed by others.
  const double rb = *std::max_element(restRates.begin(), restRates.end());
  const double sb = *std::max_element(spinRates.begin(), spinRates.end());
  std::printf("  best:   Win32Port Idle %.0f B/s, Sleep(0) Idle %.0f B/s, ratio %.3f\n", rb, sb,
              sb > 0 ? rb / sb : 0);

  DeleteFileA(source.c_str());
  DeleteFileA(target.c_str());
  return 0;
}
