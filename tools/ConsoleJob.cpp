// The host's transfer, written over the portable link so the Windows console reuses it.
#include "tools/ConsoleJob.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "job/StatusTable.h"
#include "link/CoalescingLink.h"
#include "link/ComLink.h"
#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "modem/ConnectModem.h"
#include "modem/GenericHayes.h"
#include "modem/MemoryModemInstallation.h"
#include "modem/Modem.h"
#include "object/TransferSettings.h"
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

// The host's front of the line. With the carrier assumed (a line without carrier detect while
// a call is up) carrier detect reads as on, so the modem's CONNECT is taken at its word.
class HostLink : public CoalescingLink {
 public:
  using CoalescingLink::CoalescingLink;
  int32_t Signal(int32_t number, int32_t value) override {
    if (carrierAssumed && number == LineSignal::Cd && value < 0) return 1;
    return CoalescingLink::Signal(number, value);
  }
  int32_t GetLineStatus(LineStatus& status) override {
    const int32_t r = CoalescingLink::GetLineStatus(status);
    if (carrierAssumed) status.SetField(6, 1);  // carrier detect's field
    return r;
  }
  bool carrierAssumed = false;
};

// The modem's waits end when the user presses Ctrl-C.
class ConsoleModem : public Modem {
 public:
  explicit ConsoleModem(ConsoleStatus& s) : Modem(GenericHayes::Process()), status(s) {}
  int32_t QueryAbort() override { return status.Cancelled() ? TransferCode::UserCancelled : 0; }

 private:
  ConsoleStatus& status;
};
}  // namespace

bool ConsoleJob::SetUpModem(const CommandLine& o, std::string& error) {
  MemoryModemInstallation& generic = GenericHayes::Process();
  GenericHayes::Configure(generic, o.pulse, o.flowControl);
  for (const std::string& value : o.modemValues)
    if (!GenericHayes::Override(generic, value, error)) return false;
  return true;
}

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
  HostLink batched(link);
  SerialPort port(&batched);
  uint16_t lineErrors = 0;
  if (port.LineErrors(lineErrors) != 0 || !port.Format()) {
    status.Say("Error opening the COM port");
    return 18;
  }
  if (options.protocol == CommandLine::kZModem) port.SetTxQueueSize(4096);
  if (port.Format()->SetBaud(options.baudRate) != 0)
    status.Say("Warning: the port refused " + std::to_string(options.baudRate) + " baud.");
  if (!options.sending && !options.dir.empty()) {
    std::error_code failed;
    std::filesystem::current_path(options.dir, failed);
    if (failed) {
      status.Say("Cannot receive into " + options.dir + ": " + failed.message());
      return 11;
    }
  }

  // Connect: the modem sets the flow control, dials or answers.
  std::unique_ptr<ConsoleModem> modem;
  int32_t flowControl = options.flowControl;
  if (options.UsesModem()) {
    status.Say("Initializing modem...");
    modem = std::make_unique<ConsoleModem>(status);
    modem->SetResponseTimeout(options.responseTimeoutMs);
    if (modem->Init(&port, GenericHayes::kName, GenericHayes::kDriverKey) != 0) return 21;
    status.Say("Modem Initialized...");
    flowControl = modem->FlowControl();
  }
  static const int32_t kHandshake[3][2] = {{0, 0}, {1, 1}, {4, 12}};
  if (flowControl >= 0 && flowControl <= 2)
    port.Lines()->SetHandshake(kHandshake[flowControl][0], kHandshake[flowControl][1]);
  if (modem) {
    TransferSettings call;
    call.Transfer = options.sending ? 1 : 0;
    call.Telephone = options.dial;
    call.SendTimeout = static_cast<int32_t>(std::min<uint32_t>(options.sendTimeoutSeconds, 0x7FFFFFFF));
    call.RecvTimeout = static_cast<int32_t>(std::min<uint32_t>(options.recvTimeoutSeconds, 0x7FFFFFFF));
    batched.carrierAssumed = options.noCarrierDetect;
    const int32_t connected = ConnectModem(false, options.modemInit.c_str(), *modem, *port.Lines(), call, status);
    if (connected != 0) return connected;  // the caller says "Failed to connect."
  }

  int32_t result = Transfer(port, modem && !options.noCarrierDetect);

  // Hang up, and say why when the modem would not.
  if (modem) {
    if (status.code == TransferCode::CarrierLost) status.Say("The modem lost the carrier.");
    status.Say("Disconnecting...");
    batched.carrierAssumed = false;
    const int32_t hungUp = modem->HangUp();
    if (hungUp == LinkCode::Failure) status.Say("The modem still shows a carrier after hanging up.");
    else if (hungUp != 0 && modem->TakeCallResult().find("NO CARRIER") != std::string::npos)
      status.Say("The call had already ended.");
    else if (hungUp != 0) status.Say("The modem did not confirm the hang-up.");
  }
  return result;
}

int32_t ConsoleJob::Transfer(SerialPort& port, bool watchCarrier) {
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
  engine->SetCarrierWatch(watchCarrier ? 1 : 0);
  status.Say(options.sending ? "Waiting for receiver..." : "Waiting for sender...");

  const std::string list = options.FileList();
  std::vector<char> text(list.begin(), list.end());
  text.push_back('\0');
  const int32_t code = options.sending ? engine->Send(text.data())
                                       : engine->Receive(list.empty() ? nullptr : text.data());
  engine.reset();

  const uint32_t deadline = TickSource::Now() + kDrainLimitMs;
  while (port.TxCount() > 0 && !TickSource::Passed(deadline))
    if (port.Yield() < 0) break;
  Pause(port, static_cast<int32_t>(kSettleMs + kFifoBits * 1000u / (options.baudRate ? options.baudRate : 1)));

  char summary[80];
  std::snprintf(summary, sizeof summary, "%d / %d File(s) %s.", status.FilesDone(), status.FilesSeen(),
                options.sending ? "sent" : "received");
  status.Say(summary);
  // The engine's final code decides; a run that ended well keeps what its events set (a file
  // skipped as already there, for one).
  const StatusEntry last = StatusTable::Look(code);
  return code != 0 && last.result != StatusEntry::kUnchanged ? last.result : status.Result();
}
