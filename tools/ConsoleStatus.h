// The command-line host's TransferStatus: progress on standard error (a live line on a
// terminal, one line per file otherwise), one transfer-log entry per file, the result code of
// the status table, and Ctrl-C and inactivity as -901 and -909. Dialing reports through it too.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "modem/StatusSink.h"
#include "transfer/TransferStatus.h"

class TransferLog;

class ConsoleStatus : public TransferStatus, public StatusSink {
 public:
  using CancelQuery = bool (*)();

  // out: where progress goes (not owned); live: redraw one line in place; quiet: print nothing;
  // log: the open transfer log or null; cancelled: polled by QueryAbort (Ctrl-C).
  ConsoleStatus(std::FILE* out, bool live, bool quiet, TransferLog* log, CancelQuery cancelled);

  // Seconds without a change of the byte count that end the run with -909; 0 none. Restarts
  // the inactivity clock.
  void SetTimeout(uint32_t seconds);
  // Whether the run sends (progress says "Sending file..." or "Receiving file...").
  void SetSending(bool on) { sending = on; }
  // A batch protocol: progress names each file with its number in the batch.
  void SetBatch(bool on) { batch = on; }

  // Keeps the display in step with the engine; at the first event of a file its log entry and
  // result line; every event sets the result code and the status message. Names are shown
  // with control characters as \xNN: they come from the remote.
  void Notify(int32_t code) override;
  // -901 once cancelled, -909 after the inactivity limit, else 0.
  int32_t QueryAbort() override;

  // Shows a status line of the host's own (waiting, summary).
  void Say(const std::string& text);
  // The dialer's status lines; the console has no help topics to offer.
  void ShowStatus(const char* text) override { Say(text); }
  void SetHelpId(int32_t) override {}
  // Whether the user asked to stop (Ctrl-C).
  bool Cancelled() const { return cancelled && cancelled(); }

  int32_t Result() const { return result; }
  const std::string& Message() const { return message; }
  int32_t FilesSeen() const { return filesSeen; }
  // Files whose report was "OK".
  int32_t FilesDone() const { return filesOk; }

 private:
  void Draw(bool force);
  void EndLiveLine();

  std::FILE* out;
  bool live, quiet;
  TransferLog* log;
  CancelQuery cancelled;
  bool sending = false;
  bool batch = false;
  uint32_t timeoutSeconds = 0;
  uint32_t lastActivity;
  uint32_t fileStart = 0;
  uint32_t lastDraw = 0;
  bool lineOpen = false;
  std::string shownName;
  std::string rawName;  // the engine's name, shownName's source
  int64_t shownBytes = 0;
  int32_t shownErrors = 0;
  bool logged = false;
  int32_t filesSeen = 0;
  int32_t filesOk = 0;
  int32_t result = 0;
  std::string message;
};
