// Runs a program as a child process for interop tests (lrzsz peers, the zandrel host, socat):
// arguments, optional working directory, extra environment and redirected standard streams, with
// a bounded wait that kills the child when it overstays. POSIX only.
#pragma once
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

struct ChildOptions {
  std::string workDir;                                     // empty: the caller's
  std::vector<std::pair<std::string, std::string>> env;    // added to (or replacing in) the caller's
  // Empty: inherited. The same path for stdin and stdout opens it once read-write, which is how
  // lrzsz peers are put on a pty.
  std::string stdinPath, stdoutPath, stderrPath;
};

class ChildProcess {
 public:
  static constexpr int kTimedOut = -1000;  // Wait's answer when the time ran out and it killed
  static constexpr int kNotStarted = -1001;

  ChildProcess() = default;
  // Kills (SIGTERM, then SIGKILL) and reaps a child still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (searched on PATH) in its own process group. False with Error() set when the
  // fork failed or the program could not be executed.
  bool Start(const std::vector<std::string>& argv, const ChildOptions& options = {});
  // Waits at most timeoutMs for the end: the exit code 0..255, 128 + signal number when a signal
  // ended it, kTimedOut after killing it for overstaying, kNotStarted when nothing runs.
  int Wait(int timeoutMs);
  // True while the child has not ended (reaps it when it has).
  bool Running();
  // SIGTERM to the child's group, SIGKILL after graceMs, then reaps. The exit as Wait gives it.
  int Kill(int graceMs = 500);
  pid_t Pid() const { return pid; }
  const std::string& Error() const { return error; }

  // Start + Wait in one call: the exit as Wait gives it, kNotStarted when it could not start.
  static int Run(const std::vector<std::string>& argv, const ChildOptions& options, int timeoutMs);

 private:
  bool Reap(bool block);
  bool ReapWithin(int ms);  // false when the child still runs after ms

  pid_t pid = -1;
  int exitResult = kNotStarted;
  std::string error;
};
