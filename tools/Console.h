// What the command-line host needs from the platform: the name the job's port list knows a
// device by, Ctrl-C as a flag, and whether a stream is a terminal. ConsolePosix.cpp and
// ConsoleWin32.cpp implement it.
#pragma once
#include <cstdio>
#include <string>

class Console {
 public:
  // The port list entry name of the device the user gave: the path itself on POSIX; COMn on
  // Windows for any spelling of a COM port ("com3", "\\.\COM3"), a network port's URL as it
  // stands, empty for anything else.
  static std::string PortName(const std::string& given);
  // From now on Ctrl-C (and a polite termination request) only raises the flag below, so the
  // transfer can cancel on the line and close its files before the process ends.
  static void CatchInterrupt();
  static bool Interrupted();
  static bool IsTerminal(std::FILE* stream);
};
