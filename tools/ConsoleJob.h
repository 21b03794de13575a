// One transfer of the command-line host: the link set up as the options say, the engine the
// protocol names, one Send or Receive, and the result code of the status table.
#pragma once
#include <cstdint>

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
  // 18 when the link did not open, 7 without memory for the engine, 19 for a protocol this
  // build lacks, else what the engine's last status maps to (0 success).
  int32_t Run(ComLink* link);

  // The engine for the options' protocol, configured as the job configures it; the caller owns
  // it. Null when out of memory or for a protocol this build lacks.
  static FileTransfer* MakeEngine(const CommandLine& options, SerialPort* port, TransferStatus* status);

 private:
  const CommandLine& options;
  ConsoleStatus& status;
};
