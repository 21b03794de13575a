// What the command-line host needs from the platform: the arguments and the output as UTF-8,
// the name the job's port list knows a device by, Ctrl-C as a flag, whether a stream is a
// terminal or the standard input and output. ConsolePosix.cpp and ConsoleWin32.cpp implement it.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

class Console {
 public:
  // The program's arguments, argv[0] first, as UTF-8: argv as given on POSIX; on Windows the
  // command line as the system holds it (UTF-16), since argv has been through the ANSI code page.
  static std::vector<std::string> Arguments(int argc, char** argv);
  // Writes UTF-8 text to stream and flushes it. A Windows console gets it as UTF-16 (its code
  // page may hold no such characters); a file or pipe gets the UTF-8 bytes, on every platform.
  static void Write(std::FILE* stream, const std::string& text);
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
