// The job driver: one run from the port to the last pass, written over the link, engine and
// view seams so that the Windows object and the zandrel host share it.
#include "job/TransferJob.h"

#include <new>
#include <vector>

#include "job/JobModem.h"
#include "job/JobStatus.h"
#include "job/ProgressView.h"
#include "job/StatusTable.h"
#include "link/CoalescingLink.h"
#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/NetworkPort.h"
#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "modem/ConnectModem.h"
#include "modem/ModemInstallation.h"
#include "transfer/AckNak.h"
#include "transfer/XModem.h"
#include "transfer/XModem1K.h"
#include "transfer/YModem.h"
#include "transfer/zmodem/ZModem.h"

namespace {
// After the last pass the port closes, and closing drops what it still holds while the peer
// may wait for our last answer. Once the queue reads empty a UART may still hold a FIFO's worth
// (16 bytes of 10 bits).
constexpr uint32_t kDrainLimitMs = 2000;
constexpr uint32_t kSettleMs = 20;
constexpr uint32_t kFifoBits = 160;
// A host-mode pass that ended without a file sooner than this waits out the rest first.
constexpr uint32_t kQuickPassMs = 1000;

void Drain(SerialPort& port, uint32_t baudRate) {
  const int32_t r = port.AwaitDrain(kDrainLimitMs);
  if (r < 0 && r != LinkCode::Timeout) return;
  Pause(port, static_cast<int32_t>(kSettleMs + kFifoBits * 1000u / (baudRate ? baudRate : 1)));
}

// The front of the job's link: gathers back-to-back writes into one device write (a block
// leaves whole, which a pty peer that purges after each answer needs), and on a line without
// carrier detect reports the carrier while a call is up, so that the modem's CONNECT is taken
// at its word.
class JobLink : public CoalescingLink {
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

// The handshake pair of a flow-control value: none, XON/XOFF, RTS/CTS; false for another value.
bool HandshakeOf(int32_t flowControl, int32_t& input, int32_t& output) {
  switch (flowControl & 0xFFFF) {
    case 0:
      input = output = 0;
      return true;
    case 1:
      input = output = 1;
      return true;
    case 2:
      input = 4;
      output = 12;
      return true;
    default:
      return false;
  }
}
}  // namespace

TransferJob::TransferJob(int32_t errorsShown, TransferSettings& record, const DeviceLists& lists)
    : showErrors(errorsShown), settings(record), devices(lists) {}

TransferJob::~TransferJob() = default;

int32_t TransferJob::RunEngine(SerialPort& port, JobStatus& status, char* list, bool watchCarrier) {
  const bool sending = settings.Transfer != 0;
  const auto runXModem = [&](XModem& engine) {
    engine.SetCarrierWatch(watchCarrier);
    engine.SetMaxErrors(settings.MaxErrors);
    engine.SetOverwrite(settings.Overwrite == TransferSettings::kAlways ? 1 : 0);
    return sending ? engine.Send(list) : engine.Receive(list);
  };
  switch (settings.Protocol) {
    case TransferSettings::kXModem: {
      XModem engine(&port, &status);
      return runXModem(engine);
    }
    case TransferSettings::kXModem1K: {
      XModem1K engine(&port, &status);
      return runXModem(engine);
    }
    case TransferSettings::kYModem: {
      YModem engine(&port, &status);
      engine.SetCarrierWatch(watchCarrier);
      engine.SetMaxErrors(settings.MaxErrors);
      engine.SetPathMode(settings.PathSwitch == 1 ? 1 : 0);
      engine.SetManagement(settings.Overwrite);
      if (sending) return engine.Send(list);
      return engine.Receive(list[0] == '\0' ? nullptr : list);
    }
    case TransferSettings::kZModem: {
      ZModem engine(&port, &status);
      engine.SetCarrierWatch(watchCarrier);
      engine.SetCrashRecovery(settings.CrashRecovery);
      engine.SetMaxErrors(settings.MaxErrors);
      engine.SetPathMode(settings.PathSwitch);
      engine.SetManagement(settings.Overwrite);
      engine.SetWindowSize(settings.WindowSize);
      if (sending) return engine.Send(list);
      // Holding the remote around disk writes costs a pause per subpacket; it is worth it only
      // where the port can really hold the far end (XON/XOFF on a POSIX port).
      const bool canHold = port.HoldRemote() == 0;
      if (canHold) port.ReleaseRemote();
      engine.SetHoldRemote(canHold ? 1 : 0);
      return engine.Receive(hostLoop || list[0] == '\0' ? nullptr : list);
    }
    default: {
      AckNak engine(&port, &status);
      engine.SetCarrierWatch(watchCarrier);
      engine.SetMaxErrors(settings.MaxErrors);
      engine.SetExistingFile(settings.Overwrite == TransferSettings::kAppend   ? AckNak::kAppend
                             : settings.Overwrite == TransferSettings::kAlways ? AckNak::kReplace
                                                                               : AckNak::kRefuse);
      return sending ? engine.Send(list) : engine.Receive(list);
    }
  }
}

bool TransferJob::OpensByName(const std::string& name) { return NetworkPort::IsUrl(name); }

bool TransferJob::OpenNamedPort(const std::string& name, std::unique_ptr<ComLink>& port) {
  if (!OpensByName(name)) return false;
  std::unique_ptr<NetworkPort> network(new (std::nothrow) NetworkPort(name, 4096, 2048));
  if (!network)
    portProblem = name + ": out of memory";
  else if (network->Status() != 0)
    portProblem = name + ": " + network->Reason();
  networkPort = network.get();
  port = std::move(network);
  return true;
}

void TransferJob::Run(ProgressView& view) {
  const bool sending = settings.Transfer != 0;
  const bool useModem = settings.UseModem != 0;
  hostLoop = !sending && settings.HostMode != 0;

  networkPort = nullptr;
  std::unique_ptr<ComLink> device = OpenPort();
  // The user's Cancel ends the link's current wait instead of waiting for its time.
  if (device) device->SetWakeEvent(view.doneEvent.NativeHandle());
  std::unique_ptr<JobLink> link(device ? new (std::nothrow) JobLink(device.get()) : nullptr);
  std::unique_ptr<SerialPort> port(link ? new (std::nothrow) SerialPort(link.get()) : nullptr);
  uint16_t lineErrors = 0;
  if (!port || port->LineErrors(lineErrors) != 0) {
    view.SetStatus("Error opening the COM port");
    result = 18;
    view.SetHelpId(30);
    view.FinishRun();
    return;
  }
  if (settings.Protocol == TransferSettings::kZModem) port->SetTxQueueSize(4096);

  JobStatus status(*this, view, sending,
                   static_cast<uint32_t>(sending ? settings.SendTimeout : settings.RecvTimeout));
  DataFormat format(port.get());
  if (format.SetBaud(static_cast<uint32_t>(settings.BaudRate)) != 0)
    view.SetStatus("The port refused %ld baud.", static_cast<long>(settings.BaudRate));
  format.Attach(port.get());  // what it puts back at the end is the run's own format
  LineControl lines(port.get());
  JobModem modem(view.doneEvent, modemInstallation ? *modemInstallation : ModemInstallation::System());

  int32_t flowControl = settings.FlowControl;
  if (useModem) {
    lines.SetHandshake(0, 0);
    view.SetStatus("Initializing modem...");
    modem.SetResponseTimeout(modemResponseMs);
    const bool known = settings.ModemName >= 0 && settings.ModemName < devices.ModemCount();
    const ModemEntry* entry = known ? &devices.Modem(settings.ModemName) : nullptr;
    if (!entry || modem.Init(port.get(), entry->name.c_str(), entry->driverKeyPath.c_str()) != 0) {
      result = 21;
      view.SetHelpId(33);
      view.FinishRun();
      return;
    }
    view.SetStatus("Modem Initialized...");
    flowControl = modem.FlowControl();
  }
  int32_t input = 0, output = 0;
  if (HandshakeOf(flowControl, input, output)) lines.SetHandshake(input, output);

  std::vector<char> list(settings.FileList.begin(), settings.FileList.end());
  list.push_back('\0');
  result = 0;

  bool userEnded = false;
  for (;;) {
    if (view.doneEvent.IsSet()) {
      userEnded = true;
      break;
    }
    if (useModem) {
      link->carrierAssumed = assumeCarrier;
      CallPlan call;
      call.sending = sending;
      call.hostLoop = hostLoop != 0;
      call.telephone = settings.Telephone.c_str();
      call.userCommand = settings.ModemCmd.c_str();
      call.timeoutSeconds = sending ? settings.SendTimeout : settings.RecvTimeout;
      std::string why;
      const int32_t connected = ConnectModem(call, modem, lines, view, why);
      if (connected != 0) {
        result = connected;
        userEnded = connected == 6;
        if (connected == 20) {
          // The modem's own word for it (BUSY, NO DIALTONE, ...) on the screen and in the log.
          const std::string outcome = "Failed to connect: " + why;
          view.AddLogEntry(sending ? call.telephone : "(incoming call)", outcome.c_str(), 0);
          view.SetStatus("%s", outcome.c_str());
        } else {
          view.SetStatus("%s", StatusTable::ResultText(connected));
        }
        // As after any other failure: the alert, then Close and the help topic ConnectModem set
        // (or the window closes by itself when errors are not shown).
        view.FinishRun();
        break;
      }
    }
    // The inactivity clock counts from here: silence before this pass (a host waiting for its
    // next sender, a call that came late) is no sign of a dead transfer.
    status.BeginPass(hostLoop && !useModem);
    view.SetStatus("Waiting for %s...", sending ? "receiver" : "sender");
    const uint32_t passStart = TickSource::Now();
    const int32_t code = RunEngine(*port, status, list.data(), useModem && !assumeCarrier);
    // A failure the engine ended with but never reported (a run stopped before its first report)
    // still reaches the result and the finish step.
    if (code < 0 && code != status.lastEvent) status.Notify(code);
    userEnded = status.lastEvent == TransferCode::UserCancelled;
    Drain(*port, format.BaudRate());
    if (useModem) {
      if (code == TransferCode::CarrierLost)
        view.SetStatus("The modem lost the carrier.");
      view.SetStatus("Disconnecting...");
      link->carrierAssumed = false;
      // The hang-up's outcome changes nothing in the result; a user still wants to know.
      const int32_t hungUp = modem.HangUp();
      if (hungUp == LinkCode::Failure)
        view.SetStatus("The modem still shows a carrier after hanging up.");
      else if (hungUp != 0 && modem.TakeCallResult().find("NO CARRIER") != std::string::npos)
        view.SetStatus("The call had already ended.");
      else if (hungUp != 0)
        view.SetStatus("The modem did not confirm the hang-up.");
    }
    // Files that ended well: a file that failed half-way was opened but is not done.
    const int32_t filesDone = status.filesOk;
    view.SetStatus("%d / %d File(s) %s.", filesDone, view.filesSeen, sending ? "sent" : "received");
    settings.Transferred = static_cast<int16_t>(settings.Transferred + filesDone);
    if (!hostLoop || status.finished) {
      if (settings.Batch() && filesDone < view.filesSeen)
        result += (view.filesSeen - filesDone) * 65536;
      // The end-of-run step comes once the engine is done: a batch goes on past one file's
      // failure, which the finish step would otherwise cut short.
      if ((result & 0xFFFF) != 0) view.FinishRun();
      break;
    }
    // Whatever ended this pass, the next one must not follow at once: a pass that ends as soon
    // as it starts would turn host mode into a busy loop.
    const uint32_t spent = TickSource::Now() - passStart;
    if (view.filesSeen == 0 && spent < kQuickPassMs) Pause(*port, static_cast<int32_t>(kQuickPassMs - spent));
    view.ShowFile("", 0);
    settings.FileList.clear();
  }
  // Host mode ends only when the user ends it (or the port fails): that is a cancel, whatever
  // the last pass did.
  if (hostLoop && userEnded) result = 6;
  // A connection that ended under the run: where and how, for a host to print.
  if ((result & 0xFFFF) == 15 && networkPort && !networkPort->Reason().empty())
    portProblem = networkPort->Url() + ": " + networkPort->Reason();
  networkPort = nullptr;
  // Files skipped by the existing-file rule count as not done, but the run did what was asked.
  if ((result & 0xFFFF) == 0) view.doneEvent.Set();
}

int32_t TransferJob::CheckOptions(const TransferSettings& s) {
  if (s.Protocol == TransferSettings::kZModem) return 0;
  if (s.FlowControl == TransferSettings::kFlowXonXoff) return 1;
  if (s.HostMode != 0) return 2;
  return 0;
}

int32_t TransferJob::CheckFileList(const TransferSettings& s, bool prompted, int16_t& attempted) {
  if (s.FileList.empty()) return s.Batch() && s.Transfer == 0 ? 0 : 3;
  if (prompted) return 0;
  int32_t names = 1;
  for (char c : s.FileList) names += c == ';';
  if (!s.Batch()) names = 1;
  attempted = static_cast<int16_t>(names);
  if (s.Protocol != TransferSettings::kZModem || s.PathSwitch != 2) return 0;
  // Pairs of sender and receiver name. An odd count is refused and stays in Attempted, so a
  // script can see how many names it gave.
  if (names % 2 != 0) return 4;
  attempted = static_cast<int16_t>(names / 2);
  return 0;
}
