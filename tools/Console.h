// What the command-line host needs from the platform: the name the job's port list knows a
// device by, Ctrl-C as a flag, whether a stream is a terminal or the standard input and output.
// ConsolePosix.cpp and ConsoleWin32.cpp implement it.
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
  // transfer can cancel on the line and close its files before the process ends. A write to a
  // pipe whose reader left fails (EPIPE) instead of ending the process: the port says so.
  static void CatchInterrupt();
  static bool Interrupted();
  static bool IsTerminal(std::FILE* stream);
  // Whether stream reaches the same terminal, pipe, socket or file as the standard input or
  // output (the port "-", which nothing else may write to while a transfer runs). Windows: false.
  static bool SharesStdio(std::FILE* stream);
};
