// fork/exec child runner for interop tests. Everything the child needs is built before the
// fork, because only async-signal-safe calls are allowed between fork and exec in a process that
// may run other threads (gtest, NullModem).
#include "fakes/ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

int ExitFromStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

// In the child: opens path onto fd, or leaves fd alone for an empty path. Returns false on
// failure (the child then reports through the error pipe).
bool Redirect(const char* path, int fd, int flags) {
  if (path == nullptr) return true;
  int f = open(path, flags | O_NOCTTY | O_CLOEXEC, 0644);
  if (f < 0) return false;
  if (dup2(f, fd) < 0) return false;  // dup2 clears O_CLOEXEC on the copy
  close(f);
  return true;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid > 0) Kill(200);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const ChildOptions& options) {
  if (pid > 0 || argv.empty()) {
    error = argv.empty() ? "no program given" : "already started";
    return false;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const auto& kv : options.env)
      if (strncmp(*e, kv.first.c_str(), kv.first.size()) == 0 && (*e)[kv.first.size()] == '=')
        replaced = true;
    if (!replaced) envText.emplace_back(*e);
  }
  for (const auto& kv : options.env) envText.push_back(kv.first + "=" + kv.second);
  std::vector<char*> envp;
  for (std::string& s : envText) envp.push_back(&s[0]);
  envp.push_back(nullptr);

  auto pathOrNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
  const char* inPath = pathOrNull(options.stdinPath);
  const char* outPath = pathOrNull(options.stdoutPath);
  const char* errPath = pathOrNull(options.stderrPath);
  const char* dir = pathOrNull(options.workDir);
  bool shared = inPath != nullptr && outPath != nullptr && options.stdinPath == options.stdoutPath;

  // The child writes errno here when it cannot exec; the close-on-exec end reads EOF on success.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    error = std::string("fork: ") + strerror(errno);
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    setpgid(0, 0);  // own group, so Kill reaches anything it starts
    signal(SIGPIPE, SIG_DFL);
    int step = 0;
    bool ok = (step = 1, dir == nullptr || chdir(dir) == 0);
    if (ok && shared) {
      ok = (step = 2, Redirect(inPath, 0, O_RDWR)) && dup2(0, 1) == 1;
    } else if (ok) {
      ok = (step = 2, Redirect(inPath, 0, O_RDONLY)) &&
           (step = 3, Redirect(outPath, 1, O_WRONLY | O_CREAT | O_TRUNC));
    }
    ok = ok && (step = 4, Redirect(errPath, 2, O_WRONLY | O_CREAT | O_TRUNC));
    if (ok) {
      step = 5;
      execvpe(args[0], args.data(), envp.data());
    }
    int failure[2] = {step, errno};
    ssize_t ignored = write(report[1], failure, sizeof failure);
    (void)ignored;
    _exit(127);
  }
  setpgid(child, child);  // also here, so a Kill right after Start finds the group
  close(report[1]);
  int failure[2] = {0, 0};
  ssize_t got;
  do got = read(report[0], failure, sizeof failure);
  while (got < 0 && errno == EINTR);
  close(report[0]);
  pid = child;
  exitResult = kNotStarted;
  if (got == static_cast<ssize_t>(sizeof failure)) {
    static const char* const kSteps[] = {"", "chdir", "stdin/stdout", "stdout", "stderr", "exec"};
    error = std::string(kSteps[failure[0] % 6]) + " of " + argv[0] + ": " + strerror(failure[1]);
    Reap(true);
    exitResult = kNotStarted;
    return false;
  }
  return true;
}

bool ChildProcess::Reap(bool block) {
  if (pid <= 0) return true;
  int status = 0;
  pid_t r;
  do r = waitpid(pid, &status, block ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  exitResult = r == pid ? ExitFromStatus(status) : 255;
  pid = -1;
  return true;
}

bool ChildProcess::Running() { return pid > 0 && !Reap(false); }

int ChildProcess::Wait(int timeoutMs) {
  if (pid <= 0) return exitResult;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      Kill();
      return kTimedOut;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return exitResult;
}

int ChildProcess::Kill(int graceMs) {
  if (pid <= 0) return exitResult;
  kill(-pid, SIGTERM);
  kill(pid, SIGTERM);  // in case it had not yet made its own group
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
  while (!Reap(false)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      Reap(true);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return exitResult;
}

int ChildProcess::Run(const std::vector<std::string>& argv, const ChildOptions& options,
                      int timeoutMs) {
  ChildProcess child;
  if (!child.Start(argv, options)) return kNotStarted;
  return child.Wait(timeoutMs);
}
