// One transfer of the command-line host: the link set up as the options say, the modem call
// when one is asked for, the engine the protocol names, one Send or Receive, the hang-up, and
// the result code of the status table.
#pragma once
#include <cstdint>
#include <string>

#include "tools/CommandLine.h"

class ComLink;
class ConsoleStatus;
class FileTransfer;
class SerialPort;
class TransferStatus;

class ConsoleJob {
 public:
  ConsoleJob(const CommandLine& options, ConsoleStatus& status);

  // Runs the transfer over link (opened by the caller, which keeps it). The result code:
  // 18 when the link did not open, 21 when the modem did not initialise, 6 or 20 when the call
  // was cancelled or did not connect, 7 without memory for the engine, 19 for a protocol this
  // build lacks, else what the engine's final code maps to (0 success).
  int32_t Run(ComLink* link);

  // Sets the process's generic Hayes modem up as the options say (dialing, flow control, the
  // values changed with --modem-set). False, with error set, for a value it does not have.
  static bool SetUpModem(const CommandLine& options, std::string& error);

  // The engine for the options' protocol, configured as the job configures it; the caller owns
  // it. Null when out of memory or for a protocol this build lacks.
  static FileTransfer* MakeEngine(const CommandLine& options, SerialPort* port, TransferStatus* status);

 private:
  // The engine's run on a connected line: its result code.
  int32_t Transfer(SerialPort& port, bool watchCarrier);

  const CommandLine& options;
  ConsoleStatus& status;
};
