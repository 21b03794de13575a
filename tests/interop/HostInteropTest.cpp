// The zandrel host as a user meets it: the checks before a transfer and a port that does not
// open (a device, a network port), with their exit statuses and words. Host mode receiving batch after batch from sz
// until Ctrl-C is proven with the crash recovery runs in ZModemInteropTest.
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/ChildProcess.h"
#include "fakes/PtyPair.h"
#include "fakes/TestData.h"
#include "interop/Peers.h"

namespace {
size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// zandrel with args in folder dir, its standard error in dir/out.txt; the exit status.
int Zandrel(const std::string& dir, std::vector<std::string> args) {
  args.insert(args.begin(), kZandrel);
  ChildOptions o;
  o.workDir = dir;
  o.stdoutPath = o.stderrPath = dir + "/out.txt";
  return ChildProcess::Run(args, o, 20000);
}

TEST(HostInterop, RefusedBeforeThePortIsTouchedAndAPortThatDoesNotOpen) {
  ASSERT_EQ(0, access(kZandrel.c_str(), X_OK)) << kZandrel << " not built";
  const ScratchFolder scratch("zandrel-host.");
  const std::string dir = scratch.path.string();
  const std::string port = "/nonexistent-zandrel-port";  // opening it would give 18
  const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(FreePort());
  const struct {
    std::vector<std::string> args;
    int exit;
    std::string says;
  } rows[] = {
      {{"send", "--port", port, "--flow", "xonxoff", "a"}, 1, "XON/XOFF flow control is only allowed with Z-Modem"},
      {{"receive", "--port", port, "--host"}, 2, "Host mode is only allowed with Z-Modem protocol."},
      {{"send", "--port", port, "--protocol", "zmodem"}, 3, "At least one filename is required."},
      {{"send", "--port", port, "--protocol", "zmodem", "--path-mode", "2", "a", "x", "b"}, 4,
       "A new path/filename for the receiver is missing."},
      {{"send", "--port", port, "--dial", "1", "--modem-set", "Speaker=L1", "a"}, 64, "Speaker"},
      {{"--version"}, 0, "zandrel "},
      {{"send", "--port", port, "a"}, 18, "zandrel: /nonexistent-zandrel-port: No such file or directory"},
      {{"send", "--port", refused, "a"}, 18, "zandrel: " + refused + ": Connection refused"},
      {{"send", "--port", "tcp://host.invalid:2217", "a"}, 18, "zandrel: tcp://host.invalid:2217: cannot find the host"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.says);
    EXPECT_EQ(row.exit, Zandrel(dir, row.args));
    const std::string out = Slurp(dir + "/out.txt");
    EXPECT_NE(std::string::npos, out.find(row.says)) << out;
    EXPECT_LE(Count(out, "Error opening the COM port"), 1u) << out;
  }
}

// Processor ticks (user and system) a process has used so far.
long CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  long ticks = 0;
  for (int i = 1; i <= 15 && in >> field; ++i)
    if (i >= 14) ticks += std::stol(field);
  return ticks;
}

// Left running, host mode takes a batch, waits through three time-outs' worth of silence without
// giving up or working, takes the next batch, and ends with 15 as soon as its port is gone.
TEST(HostInterop, HostModeOutlastsItsTimeOutAndEndsWhenItsPortGoes) {
  REQUIRE_PREREQUISITE(Have("sz socat"), "lrzsz or socat missing");
  PtyPair pair;
  ASSERT_TRUE(pair.Ok()) << pair.Error();
  const std::string ours = pair.Dir() + "/ours", theirs = pair.Dir() + "/theirs";
  ASSERT_EQ(0, system(("mkdir " + ours + " " + theirs).c_str()));
  ChildOptions o;
  o.stderrPath = pair.Dir() + "/zandrel.txt";
  ChildProcess host;
  ASSERT_TRUE(host.Start({kZandrel, "receive", "--port", pair.PathA(), "--protocol", "zmodem", "--host",
                          "--recv-timeout", "1", "--dir", ours},
                         o));
  for (const char* batch : {"one", "two"}) {
    Spit(theirs + "/" + batch + ".bin", RandomBytes(30000, batch[0]));
    EXPECT_EQ(0, ChildProcess::Run({"sz", "-q", std::string(batch) + ".bin"}, OnPty(pair.PathB(), theirs, pair.Dir() + "/sz.txt"), 30000));
    if (batch[0] == 't') break;
    const long before = CpuTicks(host.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_LT(CpuTicks(host.Pid()) - before, 3 * sysconf(_SC_CLK_TCK) / 20) << "more than 5% of a core while idle";
  }
  const auto lost = std::chrono::steady_clock::now();
  pair.Stop();
  EXPECT_EQ(15, host.Wait(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - lost, std::chrono::seconds(2));
  for (const char* name : {"one.bin", "two.bin"}) EXPECT_TRUE(Slurp(theirs + "/" + name) == Slurp(ours + "/" + name)) << name;
  EXPECT_NE(std::string::npos, Slurp(pair.Dir() + "/zandrel.txt").find("General communications error.")) << Slurp(pair.Dir() + "/zandrel.txt");
}

}  // namespace
