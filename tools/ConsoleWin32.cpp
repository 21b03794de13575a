// Windows console services: COM ports through Win32Port, Ctrl-C through a console control
// handler, terminals by the C runtime.
#include "tools/Console.h"

#include <windows.h>
#include <io.h>

#include <cctype>
#include <cstdlib>
#include <new>

#include "link/Win32Port.h"

namespace {
volatile LONG interrupted = 0;

BOOL WINAPI OnControl(DWORD) {
  // Every console event (Ctrl-C, Ctrl-Break, closing the window) asks the transfer to stop.
  InterlockedExchange(&interrupted, 1);
  return TRUE;
}

// COM5 is port index 4: the number from the fourth character on, minus 1. "\\.\COM5" and
// lower case are taken too; anything else gets an index no device has.
int32_t PortIndex(const std::string& name) {
  std::string s = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
  if (s.size() < 4) return -1;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) != "COM"[i]) return -1;
  for (size_t i = 3; i < s.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
  return std::atoi(s.c_str() + 3) - 1;
}
}  // namespace

ComLink* Console::OpenPort(const std::string& path) {
  // The job's queue sizes for a serial port: 4096 received, 2048 to transmit.
  return new (std::nothrow) Win32Port(PortIndex(path), 4096, 2048);
}

void Console::CatchInterrupt() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool Console::Interrupted() { return InterlockedCompareExchange(&interrupted, 0, 0) != 0; }

bool Console::IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
