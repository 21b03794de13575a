// POSIX console services: a termios device through PosixPort, signals as a flag, isatty.
#include "tools/Console.h"

#include <signal.h>
#include <unistd.h>

#include <new>

#include "link/PosixPort.h"

namespace {
volatile sig_atomic_t interrupted = 0;

void OnSignal(int) { interrupted = 1; }
}  // namespace

ComLink* Console::OpenPort(const std::string& path) {
  // The job's queue sizes for a serial port: 4096 received, 2048 to transmit.
  return new (std::nothrow) PosixPort(path, 4096, 2048);
}

void Console::CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool Console::Interrupted() { return interrupted != 0; }

bool Console::IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }
