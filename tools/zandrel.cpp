// zandrel: sends or receives files over a serial device from the command line. Parses the
// options into the settings record, makes the checks a transfer makes before it starts, and runs
// the transfer job on a worker thread with the console as its progress view; Ctrl-C is the
// user's Cancel.
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "job/StatusTable.h"
#include "job/TransferJob.h"
#include "link/Utf8Text.h"
#include "modem/DeviceLists.h"
#include "modem/GenericHayes.h"
#include "modem/MemoryModemInstallation.h"
#include "tools/CommandLine.h"
#include "tools/Console.h"
#include "tools/ConsoleView.h"

namespace {
// printf into stream through the console's own text output (texts are UTF-8).
void Say(std::FILE* stream, const char* format, ...) {
  va_list arguments, again;
  va_start(arguments, format);
  va_copy(again, arguments);
  const int n = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::string text(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
  if (n > 0) std::vsnprintf(&text[0], text.size(), format, again);
  va_end(again);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  Console::Write(stream, text);
}

// What the system knows of its ports and modems, for the user's first look at a machine.
void ListDevices(const DeviceLists& lists) {
  Say(stdout, "Ports:\n");
  if (lists.PortCount() == 0) Say(stdout, "  (none found)\n");
  for (int32_t i = 0; i < lists.PortCount(); ++i) {
    const PortEntry& p = lists.Port(i);
    if (p.detail.empty()) Say(stdout, "  %s\n", p.name.c_str());
    else Say(stdout, "  %s %s\n", Utf8Text::Padded(p.name, 16).c_str(), p.detail.c_str());
  }
  Say(stdout, "Modems:\n");
  if (lists.ModemCount() == 0) Say(stdout, "  (none installed)\n");
  for (int32_t i = 0; i < lists.ModemCount(); ++i) {
    const ModemEntry& m = lists.Modem(i);
    if (m.portIndex >= 0) Say(stdout, "  %s (COM%d)\n", m.name.c_str(), m.portIndex + 1);
    else Say(stdout, "  %s (on the port given with --port)\n", m.name.c_str());
  }
}

std::string OneLine(const char* text) {
  std::string s = text ? text : "";
  for (char& c : s)
    if (c == '\n') c = ' ';
  return s;
}

// Whether a line already says the result: its text, or its text with the reason after a colon
// ("Failed to connect: BUSY").
bool Says(const std::string& line, int32_t code) {
  std::string text = OneLine(StatusTable::ResultText(code));
  if (line == text) return true;
  if (!text.empty() && text.back() == '.') text.pop_back();
  return line.compare(0, text.size() + 1, text + ":") == 0;
}

// The process's generic Hayes modem as the options set it up. False, with error set, for a
// value it does not have.
bool SetUpModem(const CommandLine& o, std::string& error) {
  MemoryModemInstallation& generic = GenericHayes::Process();
  GenericHayes::Configure(generic, o.pulse, o.settings.FlowControl);
  for (const std::string& value : o.modemValues)
    if (!GenericHayes::Override(generic, value, error)) return false;
  return true;
}

// The port list entry of name, added when the system's lists do not have it (a pty, a device
// discovery missed).
int16_t PortListIndex(DeviceLists& devices, const std::string& name) {
  for (int32_t i = 0; i < devices.PortCount(); ++i)
    if (devices.Port(i).name == name) return static_cast<int16_t>(i);
  devices.AddPort({name, ""});
  return static_cast<int16_t>(devices.PortCount() - 1);
}
}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = Console::Arguments(argc, argv);
  std::vector<const char*> given;
  for (const std::string& a : arguments) given.push_back(a.c_str());
  given.push_back(nullptr);
  CommandLine options;
  std::string error;
  if (!options.Parse(static_cast<int>(arguments.size()), given.data(), error)) {
    Say(stderr, "zandrel: %s\nTry 'zandrel --help'.\n", error.c_str());
    return CommandLine::kUsageError;
  }
  if (options.help) {
    Console::Write(stdout, CommandLine::Help());
    return 0;
  }
  if (options.version) {
    Say(stdout, "zandrel %s\n", ZANDREL_VERSION);
    return 0;
  }
  if (options.listPorts) {
    ListDevices(DeviceLists::Process());
    return 0;
  }
  TransferSettings& settings = options.settings;
  if (options.UsesModem() && !SetUpModem(options, error)) {
    Say(stderr, "zandrel: %s\nTry 'zandrel --help'.\n", error.c_str());
    return CommandLine::kUsageError;
  }
  // The checks of a transfer before it starts, with their result codes; the port is not touched.
  int16_t attempted = 0;
  int32_t refused = TransferJob::CheckOptions(settings);
  if (refused == 0) refused = TransferJob::CheckFileList(settings, false, attempted);
  if (refused != 0) {
    Say(stderr, "zandrel: %s\n", OneLine(StatusTable::ResultText(refused)).c_str());
    return refused;
  }

  DeviceLists devices = DeviceLists::Process();
  const std::string portName = Console::PortName(options.port);
  if (portName.empty()) {
    if (options.port == "-")
      Say(stderr, "zandrel: --port -: the standard input and output serve as the port on POSIX systems only\n");
    else
      Say(stderr, "zandrel: %s: not a serial port (COM1, COM2, ...)\n", options.port.c_str());
    return 18;
  }
  settings.Port = PortListIndex(devices, portName);
  if (options.UsesModem()) {
    devices.AddModem({GenericHayes::kName, GenericHayes::kDriverKey, TransferJob::ModemPortOf(devices, settings.Port)});
    settings.ModemName = static_cast<int16_t>(devices.ModemCount() - 1);
  }
  if (settings.Transfer == 0 && !options.dir.empty()) {
    std::error_code failed;
    std::filesystem::current_path(std::filesystem::u8path(options.dir), failed);
    if (failed) {
      Say(stderr, "zandrel: cannot receive into %s: %s\n", options.dir.c_str(), failed.message().c_str());
      return 11;
    }
  }

  // Standard error that is the port itself (a login terminal, 2>&1 into the pipe) would put our
  // words into the transfer: nothing is said until the port is given back.
  const bool errorIsPort = options.port == "-" && Console::SharesStdio(stderr);
  ConsoleView view(stderr, Console::IsTerminal(stderr), options.quiet || errorIsPort, settings.Batch());
  view.OpenLog(settings);
  TransferJob job(0, settings, devices);
  job.rateChosen = options.baudGiven;
  job.flowChosen = options.flowGiven;
  job.modemInstallation = &GenericHayes::Process();
  job.modemResponseMs = options.responseTimeoutMs;
  job.assumeCarrier = options.noCarrierDetect;

  // The worker runs the job; this thread is the user's: Ctrl-C sets the done event.
  Console::CatchInterrupt();
  std::promise<void> ended;
  std::future<void> end = ended.get_future();
  std::thread worker([&] {
    job.Run(view);
    ended.set_value();
  });
  while (end.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    if (Console::Interrupted()) view.doneEvent.Set();
  worker.join();
  view.CloseLog();

  const int32_t code = job.result & 0xFFFF;
  const int32_t notDone = job.result >> 16;
  if (!options.quiet) {
    if (settings.HostMode != 0)
      Say(stderr, "zandrel: host mode ended; %d file(s) received.\n", settings.Transferred);
    if ((code == 18 || code == 15) && !job.portProblem.empty()) {
      std::string problem = job.portProblem;
      for (size_t at = problem.find('\n'); at != std::string::npos; at = problem.find('\n', at + 1))
        problem.insert(at + 1, "  ");
      Say(stderr, "zandrel: %s\n", problem.c_str());
    } else if (code != 0 && !(settings.HostMode != 0 && code == 6) && (errorIsPort || !Says(view.LastLine(), code))) {
      // The result in words, unless the last line said it (Ctrl-C is how host mode ends).
      Say(stderr, "zandrel: %s\n", OneLine(StatusTable::ResultText(code)).c_str());
    }
    if (notDone > 0)
      Say(stderr, "zandrel: %d file(s) announced but not done.\n", static_cast<int>(notDone));
  }
  return code;
}
