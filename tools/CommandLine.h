// The zandrel command line: the options, parsed into the values the engines and the link take
// (the automation properties' meanings and defaults), and the checks the host makes before a
// transfer starts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class CommandLine {
 public:
  // Protocol numbers as the settings number them.
  static constexpr int32_t kXModem = 0, kZModem = 1, kAckNak = 2;
  // Flow control as the settings number it.
  static constexpr int32_t kFlowNone = 0, kFlowXonXoff = 1, kFlowRtsCts = 2;
  // Exit status for a command line that cannot be understood (outside the result codes).
  static constexpr int kUsageError = 64;

  // Parses argv[1..]; false with error set when the line is malformed. --help sets help and
  // stops there.
  bool Parse(int argc, const char* const* argv, std::string& error);
  // The result code that refuses this transfer before it starts (1: XON/XOFF without ZModem,
  // 3: no file name), else 0.
  int32_t Check() const;
  // The files as one ";"-separated list, the form the engines walk.
  std::string FileList() const;
  // Whether the transfer goes through a modem (--dial or --answer).
  bool UsesModem() const { return !dial.empty() || answer; }
  static const char* Help();

  bool sending = false;
  bool help = false;
  bool listPorts = false;  // the ports command
  std::string port;
  uint32_t baudRate = 19200;
  int32_t protocol = kXModem;
  int32_t flowControl = kFlowNone;
  int32_t maxErrors = 0;    // 0: no limit
  int32_t overwrite = 7;    // the existing-file rule 1..7 (7 never)
  // ZModem only.
  int32_t windowSize = 4096;    // bytes; 0 streams
  int32_t crashRecovery = 3;    // 1 never, 2 as the sender asks, 3 always
  int32_t pathMode = 0;         // 0 name part, 1 as given, 2 paired receiver names
  std::string dir;              // receiving folder; empty: the current one
  uint32_t sendTimeoutSeconds = 60;  // 0: none
  uint32_t recvTimeoutSeconds = 60;
  std::string logFile;
  bool logAppend = false;
  bool quiet = false;
  std::vector<std::string> files;
  // Modem.
  std::string dial;             // the telephone number a sender dials
  bool answer = false;          // a receiver answers the first call
  std::string modemInit;        // a command (without AT) sent before dialing or answering
  bool pulse = false;           // pulse dialing instead of tone
  int32_t responseTimeoutMs = 2000;  // silence the modem has to answer each command
  bool noCarrierDetect = false; // the line has no carrier detect: CONNECT alone counts
  std::vector<std::string> modemValues;  // NAME=TEXT changes to the generic modem
};
