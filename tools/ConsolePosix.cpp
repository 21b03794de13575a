// POSIX console services: arguments, output and device paths as bytes, signals as a flag,
// isatty.
#include "tools/Console.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
volatile sig_atomic_t interrupted = 0;

void OnSignal(int) { interrupted = 1; }
}  // namespace

std::vector<std::string> Console::Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void Console::Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string Console::PortName(const std::string& given) { return given; }

void Console::CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool Console::Interrupted() { return interrupted != 0; }

bool Console::IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

bool Console::SharesStdio(std::FILE* stream) {
  struct stat it {}, in {}, out {};
  if (fstat(fileno(stream), &it) != 0) return false;
  auto same = [&](int fd, struct stat& other) {
    return fstat(fd, &other) == 0 && other.st_dev == it.st_dev && other.st_ino == it.st_ino;
  };
  return same(STDIN_FILENO, in) || same(STDOUT_FILENO, out);
}
