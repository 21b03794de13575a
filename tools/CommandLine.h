// The zandrel command line: the options, parsed into the settings record of the run (starting
// from the record's own defaults, as the automation object's do) and the few things only the
// host has (the device path, the receiving folder, the modem's built-in commands).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "job/TransferSettings.h"

class CommandLine {
 public:
  // Exit status for a command line that cannot be understood (outside the result codes).
  static constexpr int kUsageError = 64;

  // The record's defaults after Reset(1).
  CommandLine();

  // Parses argv[1..]; false with error set when the line is malformed. --help and --version
  // set their flag and stop there.
  bool Parse(int argc, const char* const* argv, std::string& error);
  // Whether the transfer goes through a modem (--dial or --answer).
  bool UsesModem() const { return settings.UseModem != 0; }
  static const char* Help();

  // The run's settings: Transfer, BaudRate, Protocol, FlowControl, MaxErrors, Overwrite,
  // WindowSize, CrashRecovery, PathSwitch, SendTimeout, RecvTimeout, HostMode, LogToFile,
  // LogFilename, AppendToLog, FileList ("a;b"), and with a modem UseModem, Telephone, ModemCmd.
  // Port and ModemName are the host's to set once it has its device lists.
  TransferSettings settings;

  bool help = false;
  bool version = false;
  bool listPorts = false;  // the ports command
  std::string port;        // the device: a path, "-" for standard input and output, or COMn on Windows
  bool baudGiven = false;  // --baud or --flow on the line: a borrowed port ("-") keeps its own otherwise
  bool flowGiven = false;
  std::string dir;         // receiving folder; empty: the current one
  bool quiet = false;
  // Modem.
  bool pulse = false;                // pulse dialing instead of tone
  int32_t responseTimeoutMs = 2000;  // silence the modem has to answer each command
  bool noCarrierDetect = false;      // the line has no carrier detect: CONNECT alone counts
  std::vector<std::string> modemValues;  // NAME=TEXT changes to the generic modem
};
