// The interop test helpers themselves: a socat pty pair carries bytes raw both ways, survives an
// end being reopened and removes its folder; child processes report exit codes, time-outs,
// environment, working folder, redirections and programs that cannot start.
#include "fakes/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"

namespace {

std::string ReadSome(int fd, size_t want) {
  std::string got;
  char buffer[256];
  pollfd p{fd, POLLIN, 0};
  while (got.size() < want && poll(&p, 1, 2000) > 0) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PtyPair, CarriesRawBytesAcrossReopenAndRemovesItsFolder) {
  std::string dir;
  {
    PtyPair pair;
    ASSERT_TRUE(pair.Ok()) << pair.Error();
    dir = pair.Dir();
    std::ofstream(dir + "/left-behind") << "x";
    int b = open(pair.PathB().c_str(), O_RDWR | O_NOCTTY);
    // A to B, then B to the reopened A; raw: no CR/LF translation.
    for (const char* text : {"ping\r\n", "again"}) {
      int a = open(pair.PathA().c_str(), O_RDWR | O_NOCTTY);
      ASSERT_GE(a, 0);
      int from = text[0] == 'p' ? a : b, to = from == a ? b : a;
      ASSERT_EQ(write(from, text, strlen(text)), static_cast<ssize_t>(strlen(text)));
      EXPECT_EQ(ReadSome(to, strlen(text)), text);
      close(a);
    }
    close(b);
  }
  EXPECT_NE(access(dir.c_str(), F_OK), 0);
}

TEST(ChildProcess, ExitCodesTimeoutsDirectoryEnvironmentAndRedirections) {
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "exit 3"}, {}, 5000), 3);
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "kill -9 $$"}, {}, 5000), 128 + 9);
  EXPECT_EQ(ChildProcess::Run({"sleep", "30"}, {}, 100), ChildProcess::kTimedOut);
  ChildProcess missing;
  EXPECT_FALSE(missing.Start({"no-such-program-here"}));
  EXPECT_NE(missing.Error().find("exec"), std::string::npos) << missing.Error();
  EXPECT_EQ(missing.Wait(100), ChildProcess::kNotStarted);

  // The interop peers run this way, with the tcdrain cure passed in the environment.
  PtyPair pair;
  ASSERT_TRUE(pair.Ok()) << pair.Error();
  ChildOptions options;
  options.workDir = pair.Dir();
  options.env = {{"ZANDREL_PROBE", "42"}, {"HOME", "/nowhere"}};
  options.stdoutPath = pair.Dir() + "/out";
  options.stderrPath = pair.Dir() + "/err";
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "echo $ZANDREL_PROBE $HOME; pwd; echo oops >&2"},
                              options, 5000),
            0);
  EXPECT_EQ(FileText(pair.Dir() + "/out"), "42 /nowhere\n" + pair.Dir() + "\n");
  EXPECT_EQ(FileText(pair.Dir() + "/err"), "oops\n");
}

}  // namespace
