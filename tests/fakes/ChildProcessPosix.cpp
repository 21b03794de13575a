// Child runner for interop tests over posix_spawn, which builds the redirections, the process
// group and the signal defaults without running our code between fork and exec (this process
// may run other threads: gtest, NullModem).
#include "fakes/ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

ChildProcess::~ChildProcess() {
  if (pid > 0) Kill(200);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const ChildOptions& options) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const auto& kv : options.env) replaced = replaced || std::string(*e).rfind(kv.first + "=", 0) == 0;
    if (!replaced) envText.emplace_back(*e);
  }
  for (const auto& kv : options.env) envText.push_back(kv.first + "=" + kv.second);
  std::vector<char*> envp;
  for (std::string& s : envText) envp.push_back(&s[0]);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str());
  const auto redirect = [&](int fd, const std::string& path, int flags, int sameAs) {
    if (path.empty()) return;
    if (sameAs >= 0) posix_spawn_file_actions_adddup2(&actions, sameAs, fd);
    else posix_spawn_file_actions_addopen(&actions, fd, path.c_str(), flags | O_NOCTTY, 0644);
  };
  // The same path for stdin and stdout is opened once read-write (a pty for an lrzsz peer).
  const bool shared = options.stdinPath == options.stdoutPath;
  redirect(0, options.stdinPath, shared ? O_RDWR : O_RDONLY, -1);
  redirect(1, options.stdoutPath, O_WRONLY | O_CREAT | O_TRUNC, shared ? 0 : -1);
  redirect(2, options.stderrPath, O_WRONLY | O_CREAT | O_TRUNC, options.stderrPath == options.stdoutPath ? 1 : -1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);  // own group, so Kill reaches anything it starts
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  // The C library reports a failed chdir, open or exec in the child as the result.
  const int failed = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  exitResult = kNotStarted;
  if (failed == 0) return true;
  pid = -1;
  error = argv[0] + ": " + strerror(failed);
  return false;
}

bool ChildProcess::Reap(bool block) {
  if (pid <= 0) return true;
  int status = 0;
  pid_t r;
  do r = waitpid(pid, &status, block ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  // Without WUNTRACED the child either exited or was killed by a signal.
  exitResult = r != pid ? 255 : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  pid = -1;
  return true;
}

bool ChildProcess::Running() { return pid > 0 && !Reap(false); }

bool ChildProcess::ReapWithin(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int ChildProcess::Wait(int timeoutMs) {
  if (pid <= 0 || ReapWithin(timeoutMs)) return exitResult;
  Kill();
  return kTimedOut;
}

int ChildProcess::Kill(int graceMs) {
  if (pid <= 0) return exitResult;
  kill(-pid, SIGTERM);
  if (!ReapWithin(graceMs)) {
    kill(-pid, SIGKILL);
    Reap(true);
  }
  return exitResult;
}

int ChildProcess::Run(const std::vector<std::string>& argv, const ChildOptions& options,
                      int timeoutMs) {
  ChildProcess child;
  if (!child.Start(argv, options)) return kNotStarted;
  return child.Wait(timeoutMs);
}
