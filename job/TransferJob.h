// One transfer from start to end, run on a worker thread: the port, the line settings, the
// modem when one is used, the protocol engine for each pass, the file counts, and the end of
// the run signalled through the view's done event. In host mode the receive repeats until the
// done event is set.
//
// How TransferFiles uses it (Windows):
//   TransferJob job(showErrors);             // the process's settings and device lists
//   ProgressWindow window(job);              // the window's worker calls job.Run(window)
//   window.RunModal(GetActiveWindow());      // returns once the run is over and the window closed
//   result = job.result;                     // low 16 bits: a result code; see StatusTable
//   if (settings.Attempted == 0) settings.Attempted = window.filesSeen;
// The zandrel host runs job.Run(consoleView) on a thread of its own the same way.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "modem/DeviceLists.h"
#include "job/TransferSettings.h"

class ComLink;
class JobStatus;
class ModemInstallation;
class NetworkPort;
class ProgressView;
class SerialPort;

class TransferJob {
 public:
  // Reads settings and devices for the whole run (they must not change meanwhile) and writes
  // only settings.Transferred.
  explicit TransferJob(int32_t showErrors, TransferSettings& settings = TransferSettings::Process(),
                       const DeviceLists& devices = DeviceLists::Process());
  virtual ~TransferJob();
  TransferJob(const TransferJob&) = delete;
  TransferJob& operator=(const TransferJob&) = delete;

  // The whole run, on the worker thread; everything it produces is in result, in
  // settings.Transferred, in the view and in the log. Sets view.doneEvent when the run
  // succeeded; a failure goes through the view's finish step, a failed dial or answer too.
  void Run(ProgressView& view);

  // The checks before a run starts, as TransferFiles makes them; the result code, 0 to go on.
  // Options: 1 XON/XOFF without ZModem, 2 host mode without ZModem.
  static int32_t CheckOptions(const TransferSettings& settings);
  // The file list: 3 when a name is needed and there is none (a batch receive needs none).
  // A list the host set (prompted false) is also counted: attempted = the files it names, pairs
  // of sender and receiver name counting once, and an odd number of names in pairs gives 4. A
  // list made by the file prompt was counted there and leaves attempted alone.
  static int32_t CheckFileList(const TransferSettings& settings, bool prompted, int16_t& attempted);

  // The result code handed back to the host: 0 success, else a code of StatusTable; a batch
  // (ZModem, YModem) adds the files announced but not done times 65536.
  int32_t result = 0;
  int32_t showErrors;
  int32_t hostLoop = 0;       // receiving with HostMode on (set by Run)
  // When the port did not open: the device and the system's reason, for a host to print.
  std::string portProblem;

  // Through a modem (UseModem): where its command strings are (null: the system's installation,
  // ModemInstallation::System()), the silence each command may take for its "OK", and whether
  // the line lacks carrier detect (a three-wire cable, a pty): then CONNECT alone counts as
  // connected and the engines do not watch the carrier.
  ModemInstallation* modemInstallation = nullptr;
  int32_t modemResponseMs = 2000;
  bool assumeCarrier = false;

  // Whether the user chose the rate and the flow control. A port the run borrows as it is
  // (standard input and output, "-") keeps its own unless they were chosen; a device the job
  // opens always takes the settings' values.
  bool rateChosen = true, flowChosen = true;

  // The port a modem entry names for the port list entry at listIndex: the COM port's index on
  // Windows (-1 for a port opened by name), the list position elsewhere (where ports are paths).
  static int32_t ModemPortOf(const DeviceLists& devices, int32_t listIndex);
  // Whether the job opens a port of this name alike on every platform, rather than as the
  // platform's serial device: a network port (rfc2217://, socket://, tcp://).
  static bool OpensByName(const std::string& name);

  TransferSettings& Settings() const { return settings; }
  const DeviceLists& Devices() const { return devices; }

 protected:
  // The serial device of the run, already opened: its Status() is 0, or the open failure (then
  // portProblem says why). The platform's port by default (Win32Port on Windows, PosixPort
  // elsewhere) with a 4096-byte receive and a 2048-byte transmit queue.
  virtual std::unique_ptr<ComLink> OpenPort();
  // The port of a name that OpensByName: true with port set and opened (its Status() 0, or the
  // failure with portProblem naming the port and why); false for any other name.
  bool OpenNamedPort(const std::string& name, std::unique_ptr<ComLink>& port);

  TransferSettings& settings;
  const DeviceLists& devices;

 private:
  // Builds the engine that Protocol names, runs the send or receive of list (consumed in place)
  // with the carrier watched or not, destroys the engine; the engine's final code.
  int32_t RunEngine(SerialPort& port, JobStatus& status, char* list, bool watchCarrier);

  // The run's port while Run holds it, when it is a network port: why its connection ended.
  const NetworkPort* networkPort = nullptr;
};
