// The zandrel host as a user meets it: the checks before a transfer and a port that does not
// open (a device, a network port), with their exit statuses and words. Host mode receiving batch after batch from sz
// until Ctrl-C is proven with the crash recovery runs in ZModemInteropTest.
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/ChildProcess.h"
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

}  // namespace
