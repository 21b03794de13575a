// zandrel: sends or receives files over a serial device from the command line. Parses the
// options, opens the log and the port, and hands the rest to ConsoleJob.
#include <cstdio>
#include <memory>
#include <string>

#include "job/StatusTable.h"
#include "job/TransferLog.h"
#include "link/ComLink.h"
#include "modem/DeviceLists.h"
#include "tools/CommandLine.h"
#include "tools/Console.h"
#include "tools/ConsoleJob.h"
#include "tools/ConsoleStatus.h"

namespace {
// What the system knows of its ports and modems, for the user's first look at a machine.
void ListDevices(const DeviceLists& lists) {
  std::printf("Ports:\n");
  if (lists.PortCount() == 0) std::printf("  (none found)\n");
  for (int32_t i = 0; i < lists.PortCount(); ++i)
    std::printf("  %-16s %s\n", lists.Port(i).name.c_str(), lists.Port(i).detail.c_str());
  std::printf("Modems:\n");
  if (lists.ModemCount() == 0) std::printf("  (none installed)\n");
  for (int32_t i = 0; i < lists.ModemCount(); ++i) {
    const ModemEntry& m = lists.Modem(i);
    if (m.portIndex >= 0) std::printf("  %s (COM%d)\n", m.name.c_str(), m.portIndex + 1);
    else std::printf("  %s (on the port given with --port)\n", m.name.c_str());
  }
}

std::string OneLine(const char* text) {
  std::string s = text ? text : "";
  for (char& c : s)
    if (c == '\n') c = ' ';
  return s;
}
}  // namespace

int main(int argc, char** argv) {
  CommandLine options;
  std::string error;
  if (!options.Parse(argc, argv, error)) {
    std::fprintf(stderr, "zandrel: %s\nTry 'zandrel --help'.\n", error.c_str());
    return CommandLine::kUsageError;
  }
  if (options.help) {
    std::fputs(CommandLine::Help(), stdout);
    return 0;
  }
  if (options.listPorts) {
    ListDevices(DeviceLists::Process());
    return 0;
  }
  if (options.UsesModem() && !ConsoleJob::SetUpModem(options, error)) {
    std::fprintf(stderr, "zandrel: %s\nTry 'zandrel --help'.\n", error.c_str());
    return CommandLine::kUsageError;
  }
  if (const int32_t refused = options.Check()) {
    std::fprintf(stderr, "zandrel: %s\n", OneLine(StatusTable::ResultText(refused)).c_str());
    return refused;
  }

  TransferLog log;
  if (!options.logFile.empty() && !log.Open(options.logFile.c_str(), options.logAppend))
    std::fprintf(stderr, "zandrel: ERROR: Log file could not be created.\n");
  ConsoleStatus status(stderr, Console::IsTerminal(stderr), options.quiet, log.IsOpen() ? &log : nullptr,
                       &Console::Interrupted);
  Console::CatchInterrupt();

  std::unique_ptr<ComLink> link(Console::OpenPort(options.port));
  ConsoleJob job(options, status);
  const int32_t result = job.Run(link.get());
  link.reset();  // closes the device before the log
  if (result != 0 && !options.quiet)
    std::fprintf(stderr, "zandrel: %s\n", OneLine(StatusTable::ResultText(result)).c_str());
  return result;
}
