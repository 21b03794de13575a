// What the interop tests share: the zandrel host's path, whether the peers are installed, a
// peer's options for sitting on a pty, a bounded poll and a free TCP port.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "fakes/ChildProcess.h"
#include "fakes/Prerequisite.h"

const std::string kBinaryDir = ZANDREL_BINARY_DIR;
const std::string kZandrel = kBinaryDir + "/bin/zandrel";

// True when every program named (space-separated) is on PATH.
inline bool Have(const std::string& programs) {
  ChildOptions quiet;
  quiet.stdoutPath = quiet.stderrPath = "/dev/null";
  return ChildProcess::Run({"sh", "-c", "for p in " + programs + "; do command -v $p || exit 1; done"}, quiet, 5000) == 0;
}

// A peer with the pty `tty` as its standard input and output, working in `dir`, its standard
// error into `log`. lrzsz flushes at exit with tcdrain, which does not wait on a pty: the cure
// library (tcdrain_wait.c) makes it, or the last bytes are lost about one run in six.
inline ChildOptions OnPty(const std::string& tty, const std::string& dir, const std::string& log) {
  ChildOptions o;
  o.workDir = dir;
  o.stdinPath = o.stdoutPath = tty;
  o.stderrPath = log;
  const std::string cure = kBinaryDir + "/tests/interop/libtcdrain_wait.so";
  if (access(cure.c_str(), R_OK) == 0) o.env.push_back({"LD_PRELOAD", cure});
  return o;
}

// Polls every 10 ms until done() holds or ms have passed; done()'s last answer.
inline bool Eventually(const std::function<bool()>& done, int ms = 10000) {
  for (int i = 0; i < ms / 10 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// A TCP port of the loopback that nobody listens on now: for a server to take, or for a
// connection to be refused.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0;
  close(fd);
  return ok ? ntohs(a.sin_port) : 0;
}
