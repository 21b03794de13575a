// What the command-line host needs from the platform: the serial device by name, Ctrl-C as a
// flag the transfer polls, and whether a stream is a terminal. ConsolePosix.cpp implements it;
// a Windows console build adds its own file beside it.
#pragma once
#include <cstdio>
#include <string>

class ComLink;

class Console {
 public:
  // A new link over the device named path, opened and configured; the caller owns it and finds
  // the outcome in its Status() (0 open). Null only when out of memory.
  static ComLink* OpenPort(const std::string& path);
  // From now on Ctrl-C (and a polite termination request) only raises the flag below, so the
  // transfer can cancel on the line and close its files before the process ends.
  static void CatchInterrupt();
  static bool Interrupted();
  static bool IsTerminal(std::FILE* stream);
};
