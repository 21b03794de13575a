// The interop test helpers themselves: a socat pty pair carries bytes both ways and survives an
// end being closed and reopened; child processes report exit codes, time-outs, environment,
// working folder, redirections and programs that cannot start.
#include "fakes/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "fakes/ChildProcess.h"

namespace {

std::string ReadSome(int fd, size_t want) {
  std::string got;
  char buffer[256];
  while (got.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) break;
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

TEST(PtyPair, CarriesBytesBothWaysAcrossReopen) {
  PtyPair pair;
  ASSERT_TRUE(pair.Ok()) << pair.Error();
  int a = open(pair.PathA().c_str(), O_RDWR | O_NOCTTY);
  int b = open(pair.PathB().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  ASSERT_EQ(write(a, "ping\r\n", 6), 6);
  EXPECT_EQ(ReadSome(b, 6), "ping\r\n");  // raw: no CR/LF translation
  ASSERT_EQ(write(b, "pong", 4), 4);
  EXPECT_EQ(ReadSome(a, 4), "pong");
  close(a);
  a = open(pair.PathA().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(a, 0);
  ASSERT_EQ(write(b, "again", 5), 5);
  EXPECT_EQ(ReadSome(a, 5), "again");
  close(a);
  close(b);
}

TEST(PtyPair, RemovesItsFolder) {
  std::string dir;
  {
    PtyPair pair;
    ASSERT_TRUE(pair.Ok()) << pair.Error();
    dir = pair.Dir();
    std::ofstream(dir + "/left-behind") << "x";
  }
  EXPECT_NE(access(dir.c_str(), F_OK), 0);
}

TEST(ChildProcess, ExitCodesSignalsAndTimeouts) {
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "exit 3"}, {}, 5000), 3);
  EXPECT_EQ(ChildProcess::Run({"sh", "-c", "kill -9 $$"}, {}, 5000), 128 + 9);
  EXPECT_EQ(ChildProcess::Run({"sleep", "30"}, {}, 100), ChildProcess::kTimedOut);
  ChildProcess missing;
  EXPECT_FALSE(missing.Start({"no-such-program-here"}));
  EXPECT_NE(missing.Error().find("exec"), std::string::npos) << missing.Error();
  EXPECT_EQ(missing.Wait(100), ChildProcess::kNotStarted);
}

TEST(ChildProcess, DirectoryEnvironmentAndRedirections) {
  PtyPair pair;  // only for its temporary folder
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

  // One path for stdin and stdout puts the child on a pty the way lrzsz peers run.
  ChildOptions onPty;
  onPty.stdinPath = onPty.stdoutPath = pair.PathB();
  ChildProcess echo;
  ASSERT_TRUE(echo.Start({"sh", "-c", "read line; echo got:$line"}, onPty)) << echo.Error();
  int a = open(pair.PathA().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(a, 0);
  ASSERT_EQ(write(a, "hello\n", 6), 6);
  EXPECT_EQ(ReadSome(a, 10), "got:hello\n");
  EXPECT_EQ(echo.Wait(5000), 0);
  close(a);
}

}  // namespace
