// The installation of a generic Hayes-compatible modem, for hosts that have no modem registry:
// reset ATZ, factory settings with echo off, verbose results, carrier detect following the
// carrier and DTR hanging up, prefix AT, carriage return, tone or pulse dialing, hang-up ATH0.
// A user changes it value by value (Override) for a modem that wants other strings.
#pragma once
#include <cstdint>
#include <string>

class MemoryModemInstallation;

class GenericHayes {
 public:
  static constexpr const char* kName = "Generic Hayes modem";
  static constexpr const char* kDriverKey = "Modems\\Generic Hayes";

  // Writes the generic modem's driver key and default configuration (tone dialing, no flow
  // control, a 60-second call set-up) into the installation.
  static void Install(MemoryModemInstallation& installation);
  // Pulse or tone dialing, and the flow control (0 none, 1 XON/XOFF, 2 RTS/CTS) the modem is set
  // to and the link then uses.
  static void Configure(MemoryModemInstallation& installation, bool pulse, int32_t flowControl);
  // Changes one value, given as NAME=TEXT: NAME is Reset, UserInit, Init/N or Hangup/N (the N-th
  // command of those lists), or a value of the "Settings" key (Prefix, Terminator, DialPrefix,
  // DialSuffix, Tone, Pulse, CallSetupFailTimer, FlowControl_Hard, ...). "<cr>" in a command
  // stands for its carriage return. An empty TEXT removes the value. False, with error set, for
  // a NAME the installation does not have.
  static bool Override(MemoryModemInstallation& installation, const std::string& assignment, std::string& error);

  // The installation of this process, made on first use.
  static MemoryModemInstallation& Process();
};
