// The host's transfer, written over the portable link so the Windows console reuses it.
#include "tools/ConsoleJob.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "link/ComLink.h"
#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "link/CoalescingLink.h"
#include "tools/ConsoleStatus.h"
#include "transfer/AckNak.h"
#include "transfer/XModem.h"
#include "transfer/zmodem/ZModem.h"

namespace {
// Closing a port drops what it still holds; the peer may be waiting for our last answer. Once
// the queue reads empty, a UART may still hold a FIFO's worth (16 bytes of 10 bits).
constexpr uint32_t kDrainLimitMs = 2000;
constexpr uint32_t kSettleMs = 20;
constexpr uint32_t kFifoBits = 160;
}  // namespace

ConsoleJob::ConsoleJob(const CommandLine& commandLine, ConsoleStatus& statusObject)
    : options(commandLine), status(statusObject) {}

FileTransfer* ConsoleJob::MakeEngine(const CommandLine& o, SerialPort* port, TransferStatus* statusObject) {
  switch (o.protocol) {
    case CommandLine::kXModem: {
      XModem* engine = new (std::nothrow) XModem(port, statusObject);
      if (engine) {
        engine->SetMaxErrors(o.maxErrors);
        engine->SetOverwrite(o.overwrite == 4 ? 1 : 0);
      }
      return engine;
    }
    case CommandLine::kAckNak: {
      AckNak* engine = new (std::nothrow) AckNak(port, statusObject);
      if (engine) {
        engine->SetMaxErrors(o.maxErrors);
        engine->SetExistingFile(o.overwrite == 3 ? AckNak::kAppend
                                : o.overwrite == 4 ? AckNak::kReplace
                                                   : AckNak::kRefuse);
      }
      return engine;
    }
    case CommandLine::kZModem: {
      // The job driver's order. No hold-remote: a POSIX port cannot hold the far end, so only
      // its 70 ms pause per disk write would remain.
      ZModem* engine = new (std::nothrow) ZModem(port, statusObject);
      if (engine) {
        engine->SetCrashRecovery(o.crashRecovery);
        engine->SetMaxErrors(o.maxErrors);
        engine->SetPathMode(o.pathMode);
        engine->SetManagement(o.overwrite);
        engine->SetWindowSize(o.windowSize);
      }
      return engine;
    }
    default:
      return nullptr;
  }
}

int32_t ConsoleJob::Run(ComLink* link) {
  if (!link || link->Status() != 0) {
    status.Say("Error opening the COM port");
    return 18;
  }
  // Whole blocks reach the device in one write (see CoalescingLink).
  CoalescingLink batched(link);
  SerialPort port(&batched);
  uint16_t lineErrors = 0;
  if (port.LineErrors(lineErrors) != 0 || !port.Format()) {
    status.Say("Error opening the COM port");
    return 18;
  }
  if (options.protocol == CommandLine::kZModem) port.SetTxQueueSize(4096);
  if (port.Format()->SetBaud(options.baudRate) != 0)
    status.Say("Warning: the port refused " + std::to_string(options.baudRate) + " baud.");
  static const int32_t kHandshake[3][2] = {{0, 0}, {1, 1}, {4, 12}};
  port.Lines()->SetHandshake(kHandshake[options.flowControl][0], kHandshake[options.flowControl][1]);

  if (!options.sending && !options.dir.empty()) {
    std::error_code failed;
    std::filesystem::current_path(options.dir, failed);
    if (failed) {
      status.Say("Cannot receive into " + options.dir + ": " + failed.message());
      return 11;
    }
  }
  status.SetSending(options.sending);
  status.SetBatch(options.protocol == CommandLine::kZModem);
  status.SetTimeout(options.sending ? options.sendTimeoutSeconds : options.recvTimeoutSeconds);
  std::unique_ptr<FileTransfer> engine(MakeEngine(options, &port, &status));
  if (!engine) {
    if (options.protocol == CommandLine::kZModem) {
      status.Say("ZModem is not part of this build.");
      return 19;
    }
    status.Say("Out of memory.");
    return 7;
  }
  status.Say(options.sending ? "Waiting for receiver..." : "Waiting for sender...");

  const std::string list = options.FileList();
  std::vector<char> text(list.begin(), list.end());
  text.push_back('\0');
  if (options.sending)
    engine->Send(text.data());
  else
    engine->Receive(list.empty() ? nullptr : text.data());
  const int32_t filesDone = status.filesDone;
  engine.reset();

  const uint32_t deadline = TickSource::Now() + kDrainLimitMs;
  while (port.TxCount() > 0 && !TickSource::Passed(deadline))
    if (port.Yield() < 0) break;
  Pause(port, static_cast<int32_t>(kSettleMs + kFifoBits * 1000u / (options.baudRate ? options.baudRate : 1)));

  char summary[80];
  std::snprintf(summary, sizeof summary, "%d / %d File(s) %s.", filesDone, status.FilesSeen(),
                options.sending ? "sent" : "received");
  status.Say(summary);
  return status.Result();
}
