// The job driver: one run from the port to the last pass, written over the link, engine and
// view seams so that the Windows object and the zandrel host share it.
#include "job/TransferJob.h"

#include <vector>

#include "job/JobStatus.h"
#include "job/ProgressView.h"
#include "link/CoalescingLink.h"
#include "link/DataFormat.h"
#include "link/LineControl.h"
#include "link/Pause.h"
#include "link/SerialPort.h"
#include "link/TickSource.h"
#include "transfer/AckNak.h"
#include "transfer/XModem.h"
#include "transfer/zmodem/ZModem.h"

namespace {
// After the last pass the port closes, and closing drops what it still holds while the peer
// may wait for our last answer. Once the queue reads empty a UART may still hold a FIFO's worth
// (16 bytes of 10 bits).
constexpr uint32_t kDrainLimitMs = 2000;
constexpr uint32_t kSettleMs = 20;
constexpr uint32_t kFifoBits = 160;

void Drain(SerialPort& port, uint32_t baudRate) {
  const uint32_t deadline = TickSource::Now() + kDrainLimitMs;
  while (port.TxCount() > 0 && !TickSource::Passed(deadline))
    if (port.Yield() < 0) return;
  Pause(port, static_cast<int32_t>(kSettleMs + kFifoBits * 1000u / (baudRate ? baudRate : 1)));
}

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

int32_t TransferJob::RunEngine(SerialPort& port, JobStatus& status, char* list) {
  const bool sending = settings.Transfer != 0;
  switch (settings.Protocol) {
    case TransferSettings::kXModem: {
      XModem engine(&port, &status);
      engine.SetMaxErrors(settings.MaxErrors);
      engine.SetOverwrite(settings.Overwrite == TransferSettings::kAlways ? 1 : 0);
      sending ? engine.Send(list) : engine.Receive(list);
      break;
    }
    case TransferSettings::kZModem: {
      ZModem engine(&port, &status);
      engine.SetCrashRecovery(settings.CrashRecovery);
      engine.SetMaxErrors(settings.MaxErrors);
      engine.SetPathMode(settings.PathSwitch);
      engine.SetManagement(settings.Overwrite);
      engine.SetWindowSize(settings.WindowSize);
      if (sending) {
        engine.Send(list);
      } else {
        // Holding the remote around disk writes costs a pause per subpacket; it is worth it
        // only where the port can really hold the far end (XON/XOFF on a POSIX port).
        const bool canHold = port.HoldRemote() == 0;
        if (canHold) port.ReleaseRemote();
        engine.SetHoldRemote(canHold ? 1 : 0);
        engine.Receive(hostLoop || list[0] == '\0' ? nullptr : list);
      }
      break;
    }
    default: {
      AckNak engine(&port, &status);
      engine.SetMaxErrors(settings.MaxErrors);
      engine.SetExistingFile(settings.Overwrite == TransferSettings::kAppend   ? AckNak::kAppend
                             : settings.Overwrite == TransferSettings::kAlways ? AckNak::kReplace
                                                                               : AckNak::kRefuse);
      sending ? engine.Send(list) : engine.Receive(list);
      break;
    }
  }
  return status.filesDone;
}

void TransferJob::Run(ProgressView& view) {
  const bool sending = settings.Transfer != 0;
  hostLoop = !sending && settings.HostMode != 0;

  // The link stack: the device, the gathering of back-to-back writes into one device write (a
  // block leaves whole, which a pty peer that purges after each answer needs), the port.
  std::unique_ptr<ComLink> device = OpenPort();
  if (!device) {
    view.SetStatus("Error opening the COM port");
    result = 18;
    view.SetHelpId(30);
    view.FinishRun();
    return;
  }
  CoalescingLink link(device.get());
  SerialPort port(&link);
  uint16_t lineErrors = 0;
  if (port.LineErrors(lineErrors) != 0) {
    view.SetStatus("Error opening the COM port");
    result = 18;
    view.SetHelpId(30);
    view.FinishRun();
    return;
  }
  if (settings.Protocol == TransferSettings::kZModem) port.SetTxQueueSize(4096);

  JobStatus status(*this, view, sending,
                   static_cast<uint32_t>(sending ? settings.SendTimeout : settings.RecvTimeout));
  DataFormat format(&port);
  if (format.SetBaud(static_cast<uint32_t>(settings.BaudRate)) != 0)
    view.SetStatus("The port refused %ld baud.", static_cast<long>(settings.BaudRate));
  format.Attach(&port);  // what it puts back at the end is the run's own format
  LineControl lines(&port);

  int32_t input = 0, output = 0;
  if (HandshakeOf(settings.FlowControl, input, output)) lines.SetHandshake(input, output);

  std::vector<char> list(settings.FileList.begin(), settings.FileList.end());
  list.push_back('\0');
  result = 0;

  while (!view.doneEvent.IsSet()) {
    status.ClearShown();
    view.filesSeen = 0;
    view.SetStatus("Waiting for %s...", sending ? "receiver" : "sender");
    const int32_t filesDone = RunEngine(port, status, list.data());
    Drain(port, format.BaudRate());
    view.SetStatus("%d / %d File(s) %s.", filesDone, view.filesSeen, sending ? "sent" : "received");
    settings.Transferred = static_cast<int16_t>(settings.Transferred + filesDone);
    if (!hostLoop) {
      if (settings.Protocol == TransferSettings::kZModem && filesDone < view.filesSeen)
        result += (view.filesSeen - filesDone) * 65536;
      break;
    }
    view.ShowFile("", 0);
    settings.FileList.clear();
  }
  if (result == 0) view.doneEvent.Set();
}

int32_t TransferJob::CheckOptions(const TransferSettings& s) {
  if (s.Protocol == TransferSettings::kZModem) return 0;
  if (s.FlowControl == TransferSettings::kFlowXonXoff) return 1;
  if (s.HostMode != 0) return 2;
  return 0;
}

int32_t TransferJob::CheckFileList(const TransferSettings& s, bool prompted, int16_t& attempted) {
  const bool zmodem = s.Protocol == TransferSettings::kZModem;
  if (s.FileList.empty()) return zmodem && s.Transfer == 0 ? 0 : 3;
  if (prompted) return 0;
  int32_t names = 1;
  for (char c : s.FileList) names += c == ';';
  if (!zmodem) names = 1;
  if (zmodem && s.PathSwitch == 2) {
    if (names % 2 != 0) return 4;
    names /= 2;
  }
  attempted = static_cast<int16_t>(names);
  return 0;
}
